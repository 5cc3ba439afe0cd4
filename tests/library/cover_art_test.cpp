// A song's embedded front cover, exported once for the desktop.
#include "cover_art.h"
#include "library_test_support.h"
#include "tagged_media.h"

#include <QDateTime>
#include <QFileInfo>

using namespace velbrin::library;
using namespace velbrin::library::test;

namespace {

QString withPictures(const QString &name) {
    const QString f = TaggedMedia::get().untagged(name);
    EXPECT_TRUE(TaggedMedia::mutagen(
        f,
        "from mutagen.id3 import ID3, APIC, TIT2\n"
        "t = ID3()\n"
        "t.add(TIT2(encoding=3, text=['Covered']))\n"
        "t.add(APIC(encoding=0, mime='image/jpeg', type=0, desc='back', data=b'\\xff\\xd8other'))\n"
        "t.add(APIC(encoding=0, mime='image/png', type=3, desc='front', data=b'\\x89PNGfront'))\n"
        "t.save(f, v2_version=3)\n"));
    return f;
}

TEST(CoverArt, TheFrontCoverIsWrittenOnceAndShared) {
    QTemporaryDir cache;
    CoverArtExporter exporter(cache.filePath("covers"));
    const QString first = exporter.exportFor(withPictures("cover1.mp3"));
    ASSERT_FALSE(first.isEmpty());
    EXPECT_TRUE(first.endsWith(".png"));
    EXPECT_EQ(readAll(first), QByteArray("\x89PNGfront"));
    const QDateTime written = QFileInfo(first).lastModified();

    CoverArtExporter again(cache.filePath("covers"));
    EXPECT_EQ(again.exportFor(withPictures("cover2.mp3")), first) << "one file per picture";
    EXPECT_EQ(QFileInfo(first).lastModified(), written);
    EXPECT_EQ(QDir(cache.filePath("covers")).entryList(QDir::Files).size(), 1);

    EXPECT_EQ(exporter.exportFor(TaggedMedia::get().untagged("bare.mp3")), QString());
}

} // namespace
