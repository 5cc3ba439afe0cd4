#pragma once

#include "id3v1.h"

#include <QString>

#include <optional>

namespace velbrin::library {

struct SongTags;

// A song's merged tags as the contents a save starts from; a genre outside
// the categories' rows counts as none chosen.
TagContents contentsOf(const SongTags &tags);

// Saves a song's tag as the editor (or a genre change) leaves it. `shown` is
// what was shown of the file's merged tags, `edited` what is to be kept. The
// ID3v1 block is written from `edited` whole, as it always was. When the file
// also has an ID3v2 or APEv2 tag, the fields that differ from `shown` are
// written there in full and in Unicode; the others keep what those tags hold,
// every value and frame of them. A file without such tags gets none.
//
// Returns an error text naming the file, or nothing on success. A file that
// cannot be written is left as it was.
std::optional<QString> saveSongTags(const QString &path, const TagContents &shown,
                                    const TagContents &edited);

} // namespace velbrin::library
