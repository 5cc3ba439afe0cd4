#include "tag_encoding.h"

#include <iconv.h>

#include <algorithm>
#include <memory>

namespace velbrin::library {

namespace {

struct EncodingInfo {
    TagEncoding encoding;
    const char *name;
    const char *iconvName; // null for the encodings Qt converts itself
};

constexpr std::array<EncodingInfo, 4> kEncodings = {{
    {TagEncoding::Latin1, "Latin-1", nullptr},
    {TagEncoding::Windows1251, "Windows-1251", "WINDOWS-1251"},
    {TagEncoding::Windows1252, "Windows-1252", "WINDOWS-1252"},
    {TagEncoding::System, "System", nullptr},
}};

const EncodingInfo &infoOf(TagEncoding encoding) {
    for (const EncodingInfo &info : kEncodings) {
        if (info.encoding == encoding) {
            return info;
        }
    }
    return kEncodings[0];
}

// Qt reaches the Windows code pages only when it was built with ICU; glibc's
// iconv always has them, so the tables are taken from there once.
void fillFromIconv(const char *name, std::array<char16_t, 256> &table) {
    for (int b = 0; b < 256; ++b) {
        table[static_cast<size_t>(b)] = static_cast<char16_t>(b);
    }
    iconv_t cd = iconv_open("UTF-16LE", name);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return; // no such code page here: the bytes keep their Latin-1 view
    }
    const auto close = std::unique_ptr<void, int (*)(iconv_t)>(cd, iconv_close);
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[4] = {};
        char *inPtr = &in;
        auto *outPtr = reinterpret_cast<char *>(out);
        size_t inLeft = 1;
        size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            sizeof out - outLeft == 2) {
            table[static_cast<size_t>(b)] = static_cast<char16_t>(out[0] | (out[1] << 8));
        }
    }
}

bool isUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

TagEncoding current = TagEncoding::Latin1;

} // namespace

QString tagEncodingName(TagEncoding encoding) {
    return QString::fromLatin1(infoOf(encoding).name);
}

TagEncoding tagEncodingFromName(const QString &name) {
    for (const EncodingInfo &info : kEncodings) {
        if (name.compare(QLatin1String(info.name), Qt::CaseInsensitive) == 0) {
            return info.encoding;
        }
    }
    return TagEncoding::Latin1;
}

const std::array<TagEncoding, 4> &allTagEncodings() {
    static const std::array<TagEncoding, 4> all = {TagEncoding::Latin1, TagEncoding::Windows1251,
                                                   TagEncoding::Windows1252, TagEncoding::System};
    return all;
}

TagTextCodec::TagTextCodec(TagEncoding encoding) : encoding_(encoding) {
    if (encoding_ == TagEncoding::System) {
        return;
    }
    if (const char *name = infoOf(encoding_).iconvName) {
        fillFromIconv(name, toUnicode_);
    } else {
        for (int b = 0; b < 256; ++b) {
            toUnicode_[static_cast<size_t>(b)] = static_cast<char16_t>(b);
        }
    }
    for (int b = 255; b >= 0; --b) {
        fromUnicode_[toUnicode_[static_cast<size_t>(b)]] = static_cast<char>(b);
    }
}

QString TagTextCodec::decode(const char *bytes, qsizetype size) const {
    if (encoding_ == TagEncoding::System) {
        // Qt takes the system's 8-bit encoding to be UTF-8 on Unix.
        return QString::fromLocal8Bit(bytes, size);
    }
    QString text(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        text[i] = QChar(toUnicode_[static_cast<unsigned char>(bytes[i])]);
    }
    return text;
}

QByteArray TagTextCodec::encode(const QString &text, qsizetype width) const {
    if (encoding_ == TagEncoding::System) {
        QByteArray bytes = text.toLocal8Bit();
        if (bytes.size() > width) {
            qsizetype end = width;
            while (end > 0 && isUtf8Continuation(bytes[end])) {
                --end;
            }
            bytes.truncate(end);
        }
        return bytes;
    }
    QByteArray bytes;
    bytes.reserve(std::min(width, text.size()));
    for (qsizetype i = 0; i < text.size() && bytes.size() < width; ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i; // one character outside every 8-bit code page
            bytes.append('?');
            continue;
        }
        const auto found = fromUnicode_.find(c.unicode());
        bytes.append(found != fromUnicode_.end() ? found->second : '?');
    }
    return bytes;
}

bool TagTextCodec::fits(const QString &text, qsizetype width) const {
    if (encoding_ == TagEncoding::System) {
        return text.toLocal8Bit().size() <= width;
    }
    qsizetype characters = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;
        }
        ++characters;
    }
    return characters <= width;
}

void setTagEncoding(TagEncoding encoding) {
    current = encoding;
}

const TagTextCodec &tagCodec() {
    // One codec per encoding, built on first use and kept: readers ask for it
    // once per field.
    static const std::array<std::unique_ptr<const TagTextCodec>, 4> codecs = [] {
        std::array<std::unique_ptr<const TagTextCodec>, 4> all;
        for (size_t i = 0; i < kEncodings.size(); ++i) {
            all[i] = std::make_unique<const TagTextCodec>(kEncodings[i].encoding);
        }
        return all;
    }();
    return *codecs[static_cast<size_t>(current)];
}

} // namespace velbrin::library
