// What the DJ says: template choice, the placeholder check and replacement.
#include "DjAnnouncer.h"
#include "settings_store.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

using namespace velbrin::player;

namespace {

TEST(DjAnnouncer, TemplateChoice) {
    const std::map<int, QString> stored{{0, "first"}, {3, "third"}};
    auto read = [&stored](int digit) {
        const auto it = stored.find(digit);
        return it == stored.end() ? QString() : it->second;
    };
    int draws = 0;
    auto drawing = [&draws](std::vector<int> sequence) {
        draws = 0;
        return [&draws, sequence] { return sequence.at(static_cast<size_t>(draws++)); };
    };
    EXPECT_EQ(chooseDjTemplate(false, read, drawing({})), "first");
    EXPECT_EQ(chooseDjTemplate(true, read, drawing({5, 9, 3, 0})), "third");
    EXPECT_EQ(draws, 3);
    // Twenty misses and the DJ says nothing.
    EXPECT_EQ(chooseDjTemplate(true, read, drawing(std::vector<int>(20, 7))), "");
    EXPECT_EQ(draws, 20);
}

TEST(DjAnnouncer, EveryPlaceholderNeedsAShownValue) {
    const AnnouncedFields shown{"Title", "Artist", "", "1999"};
    EXPECT_TRUE(djPlaceholdersShown("That was %ARTIST% with %SONGTITLE% (%YEAR%)", shown));
    EXPECT_FALSE(djPlaceholdersShown("From %ALBUM%", shown));
    // The check is exact in case, the replacement is not.
    EXPECT_TRUE(djPlaceholdersShown("From %album%", shown));
    EXPECT_TRUE(djPlaceholdersShown("No placeholders at all", AnnouncedFields{}));
}

TEST(DjAnnouncer, ReplacementIgnoresCase) {
    const AnnouncedFields song{"Night Drive", "The Band", "Roads", "2001"};
    EXPECT_EQ(fillDjTemplate("That was %Artist% playing %SONGTITLE% from the album %album% "
                             "(%YEAR%), %artist% again",
                             song),
              "That was The Band playing Night Drive from the album Roads (2001), The Band again");
}

class DjSettings : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        velbrin::WriteSetting("DJ-Settings", "DJ-text0", "That was %ARTIST%");
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }
    std::optional<QString> at(int64_t tag, int64_t overlap) {
        DjInput in{tag, overlap, {"New title", "New artist", "", ""}, [] {
                       return AnnouncedFields{"Old title", "Old artist", "", ""};
                   }};
        return djAnnouncement(velbrin::ProgramSettings(), in, [] { return 0; });
    }
    QTemporaryDir dir;
};

TEST_F(DjSettings, SpeaksOnlyWhenOnAndOnItsTick) {
    EXPECT_FALSE(at(8, 6)); // "UseDJ" missing counts as off
    velbrin::WriteBooleanSetting("DJ-Settings", "UseDJ", true);
    EXPECT_EQ(at(8, 6), "That was Old artist");
    EXPECT_FALSE(at(9, 6));
    velbrin::WriteSetting("DJ-Settings", "DJ-text0", "");
    EXPECT_FALSE(at(8, 6));
}

} // namespace
