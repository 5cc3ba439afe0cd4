#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <unordered_map>

// The 8-bit text encoding of ID3v1 fields. A tag carries no note of its
// encoding, so the user chooses the one their collection was written in; every
// reader and writer of tag texts goes through the one choice, so what is shown,
// announced and saved always agree.
namespace velbrin::library {

enum class TagEncoding { Latin1, Windows1251, Windows1252, System };

// The names offered to the user and kept in the settings store.
QString tagEncodingName(TagEncoding encoding);
// Any other text (a missing or hand-edited setting) gives Latin-1.
TagEncoding tagEncodingFromName(const QString &name);
const std::array<TagEncoding, 4> &allTagEncodings();

class TagTextCodec {
public:
    explicit TagTextCodec(TagEncoding encoding);

    TagEncoding encoding() const { return encoding_; }

    QString decode(const char *bytes, qsizetype size) const;

    // At most `width` bytes, never a character cut in half; a character the
    // encoding cannot hold becomes "?".
    QByteArray encode(const QString &text, qsizetype width) const;

    // Whether `text` fits `width` bytes whole, so an editor can refuse what
    // would otherwise be cut on saving.
    bool fits(const QString &text, qsizetype width) const;

private:
    TagEncoding encoding_;
    // Single-byte encodings: byte -> character and back. Bytes the code page
    // leaves undefined map to the control character of the same value, so every
    // byte of a tag survives being read and written again.
    std::array<char16_t, 256> toUnicode_{};
    std::unordered_map<char16_t, char> fromUnicode_;
};

// The program-wide choice; Latin-1 until set. User-interface thread only.
void setTagEncoding(TagEncoding encoding);
const TagTextCodec &tagCodec();

} // namespace velbrin::library
