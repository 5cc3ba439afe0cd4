#include "tag_file.h"

#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velbrin::library::detail {

namespace {

constexpr qint64 kId3v1Size = 128;
constexpr qint64 kApeFooterSize = 32;
// Beyond these the bytes are not a tag but damage; nothing that large is read.
constexpr qint64 kLargestApe = 16 << 20;

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

QByteArray readAt(int fd, qint64 offset, qint64 length) {
    QByteArray bytes(static_cast<qsizetype>(length), Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, static_cast<size_t>(length - done), offset + done);
        if (n <= 0) {
            break;
        }
        done += n;
    }
    bytes.truncate(static_cast<qsizetype>(done));
    return bytes;
}

quint32 littleEndian32(const char *p) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32{u[0]} | quint32{u[1]} << 8 | quint32{u[2]} << 16 | quint32{u[3]} << 24;
}

// The size the header announces, header (and a footer) included; 0 when the
// ten bytes are no ID3v2 header.
qint64 id3v2Size(const QByteArray &head) {
    if (head.size() < 10 || !head.startsWith("ID3")) {
        return 0;
    }
    const auto *u = reinterpret_cast<const unsigned char *>(head.constData());
    if (u[3] < 2 || u[3] > 4 || u[4] == 0xFF) {
        return 0;
    }
    qint64 size = 0;
    for (int i = 6; i < 10; ++i) {
        if (u[i] & 0x80) {
            return 0;
        }
        size = size << 7 | u[i];
    }
    const bool footer = u[3] == 4 && (u[5] & 0x10) != 0;
    return 10 + size + (footer ? 10 : 0);
}

} // namespace

TagRegions readTagRegions(const QString &path, bool withId3v2) {
    TagRegions regions;
    const Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size < kId3v1Size) {
        return regions;
    }
    regions.size = info.st_size;
    const QByteArray tail = readAt(fd.get(), regions.size - kId3v1Size, kId3v1Size);
    if (tail.size() != kId3v1Size) {
        return regions;
    }
    regions.opened = true;
    qint64 end = regions.size;
    if (tail.startsWith("TAG")) {
        regions.id3v1 = tail;
        end -= kId3v1Size;
    }

    const qint64 tagSize = id3v2Size(readAt(fd.get(), 0, 10));
    // A tag that says it runs into the ID3v1 block or past the end is damage;
    // read, it would take in whatever lies behind it, and change with it.
    if (tagSize > 0 && tagSize <= end) {
        regions.audioStart = tagSize;
        if (withId3v2) {
            regions.id3v2 = readAt(fd.get(), 0, regions.audioStart);
        }
    }

    if (end - kApeFooterSize >= regions.audioStart) {
        const QByteArray footer = readAt(fd.get(), end - kApeFooterSize, kApeFooterSize);
        if (footer.size() == kApeFooterSize && footer.startsWith("APETAGEX")) {
            const qint64 size = littleEndian32(footer.constData() + 12);
            if (size >= kApeFooterSize && size <= kLargestApe && end - size >= regions.audioStart) {
                regions.ape = readAt(fd.get(), end - size, size);
                if (regions.ape.size() != size) {
                    regions.ape.clear();
                }
            }
        }
    }
    return regions;
}

MemoryTagFile::MemoryTagFile(const QByteArray &bytes)
    : MemoryTagFile(std::make_unique<TagLib::ByteVectorStream>(
          TagLib::ByteVector(bytes.constData(), static_cast<unsigned int>(bytes.size())))) {}

MemoryTagFile::MemoryTagFile(std::unique_ptr<TagLib::ByteVectorStream> stream)
    : TagLib::File(stream.get()), stream_(std::move(stream)) {}

MemoryTagFile::~MemoryTagFile() = default;

std::unique_ptr<TagLib::ID3v2::Tag> parseId3v2(MemoryTagFile &file) {
    if (file.length() < 10) {
        return nullptr;
    }
    return std::make_unique<TagLib::ID3v2::Tag>(&file, 0);
}

std::unique_ptr<TagLib::APE::Tag> parseApe(MemoryTagFile &file, qint64 length) {
    if (length < kApeFooterSize) {
        return nullptr;
    }
    return std::make_unique<TagLib::APE::Tag>(&file, static_cast<long>(length - kApeFooterSize));
}

} // namespace velbrin::library::detail
