// The volume and equalizer window with a recording target in place of the players.
#include "TVolumeForm.h"
#include "settings_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

using namespace velbrin;
using velbrin::settings::TVolumeForm;

namespace {

struct Recorder : settings::VolumeTarget {
    void SetOutputVolume(int b, int p, int m) override { volumes.push_back({b, p, m}); }
    void OutputMute() override { calls.push_back("mute"); }
    void OutputUnmute() override { calls.push_back("unmute"); }
    void SetOutputChannels(uint32_t c) override {
        calls.push_back("channels " + std::to_string(c));
    }
    void SetCodecEqualizer(const KV_EqualizerInfo *eq) override {
        equalizers.push_back(eq ? std::optional<KV_EqualizerInfo>(*eq) : std::nullopt);
    }
    std::vector<std::array<int, 3>> volumes;
    std::vector<std::string> calls;
    std::vector<std::optional<KV_EqualizerInfo>> equalizers;
};

class SettingsVolumeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }
    std::unique_ptr<TVolumeForm> make() { return std::make_unique<TVolumeForm>(target); }
    static QString stored(int band) {
        return ReadSetting("Equalizer", "Barnr" + QString::number(band));
    }

    QTemporaryDir dir;
    Recorder target;
};

TEST(SettingsEqualizerBands, SixteenSlidersCoverTheThirtyTwoBandsOnce) {
    std::array<int, 32> driven{};
    for (int number : kEqualizerBandNumbers) {
        for (int band : engineBandsFor(number)) {
            ++driven[static_cast<size_t>(band)];
        }
    }
    EXPECT_EQ(driven, (std::array<int, 32>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                           1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(engineBandsFor(19), (std::vector<int>{17, 18, 19}));
    EXPECT_TRUE(engineBandsFor(0).empty());
    EXPECT_TRUE(engineBandsFor(20).empty());
}

TEST_F(SettingsVolumeWindow, TopOfSlider15RaisesBands20To25OfBothChannels) {
    auto w = make();
    w->EnableCheckBox->setChecked(true);
    w->EqualizerTrackBars[14]->setValue(-80); // TrackBar14, the 15th slider, band 25
    EXPECT_EQ(w->EqualizerTrackBars[14]->objectName(), "TrackBar14");
    ASSERT_TRUE(target.equalizers.back().has_value());
    const KV_EqualizerInfo &eq = *target.equalizers.back();
    for (int band = 0; band < 32; ++band) {
        const int expected = band >= 20 && band <= 25 ? 80 : 0;
        EXPECT_EQ(eq.Left[band], expected) << band;
        EXPECT_EQ(eq.Right[band], expected) << band;
    }
    EXPECT_EQ(stored(25), "-80");
    EXPECT_EQ(ReadSetting("Equalizer", "Enabled"), "1");
}

TEST_F(SettingsVolumeWindow, UntickedEnableStoresTheSliderAndSwitchesTheEqualizerOff) {
    auto w = make();
    w->EqualizerTrackBars[0]->setValue(30);
    ASSERT_EQ(target.equalizers.size(), 1u);
    EXPECT_FALSE(target.equalizers.back().has_value());
    EXPECT_EQ(stored(1), "30");
    EXPECT_EQ(ReadSetting("Equalizer", "Enabled"), "0");
}

TEST_F(SettingsVolumeWindow, LoadsStoredSlidersAndTicksOnlyForExactlyOne) {
    WriteSetting("Equalizer", "Barnr1", "200");
    WriteSetting("Equalizer", "Barnr31", "junk");
    WriteSetting("Equalizer", "Barnr19", "-35");
    WriteSetting("Equalizer", "Enabled", "-1");
    auto w = make();
    EXPECT_EQ(w->EqualizerTrackBars[0]->value(), 80);
    EXPECT_EQ(w->EqualizerTrackBars[15]->value(), 0);
    EXPECT_EQ(w->EqualizerTrackBars[13]->value(), -35);
    EXPECT_FALSE(w->EnableCheckBox->isChecked());
    EXPECT_TRUE(target.equalizers.empty());

    WriteSetting("Equalizer", "Enabled", "1");
    auto ticked = make();
    EXPECT_TRUE(ticked->EnableCheckBox->isChecked());
    ASSERT_EQ(target.equalizers.size(), 1u);
    EXPECT_EQ(target.equalizers.back()->Left[17], 35);
}

TEST_F(SettingsVolumeWindow, NeutralizeSendsAFlatEqualizerOnlyWhenSomethingMoved) {
    auto w = make();
    w->EnableCheckBox->setChecked(true);
    w->EqualizerTrackBars[3]->setValue(-20);
    w->EqualizerTrackBars[12]->setValue(40);
    target.equalizers.clear();
    w->NeutralizeButton->click();
    ASSERT_EQ(target.equalizers.size(), 2u); // one update per slider that moved
    const KV_EqualizerInfo flat{};
    EXPECT_EQ(std::memcmp(&*target.equalizers.back(), &flat, sizeof flat), 0);
    for (int number : kEqualizerBandNumbers) {
        EXPECT_EQ(stored(number), "0") << number;
    }
    w->NeutralizeButton->click();
    EXPECT_EQ(target.equalizers.size(), 2u);
}

TEST_F(SettingsVolumeWindow, ReportedLevelsAreShownWithoutBeingSentBack) {
    auto w = make();
    w->showReportedVolume(70, 60, 40);
    w->showReportedPcmLevel(55);
    EXPECT_EQ(w->MasterTrackBar->value(), 70);
    EXPECT_EQ(w->VolumeTrackBar->value(), 55);
    EXPECT_EQ(w->BalanceTrackBar->value(), 40);
    EXPECT_TRUE(target.volumes.empty());
    EXPECT_FALSE(w->UpdatingVolumeControls);
}

TEST_F(SettingsVolumeWindow, ReadBackEqualizerIsShownOnlyWhileOnAndNeverSentOrStored) {
    auto w = make();
    w->EnableCheckBox->setChecked(true);
    w->EqualizerTrackBars[14]->setValue(-20);
    const size_t sent = target.equalizers.size();
    KV_EqualizerInfo reported{};
    for (int band = 20; band <= 25; ++band) {
        reported.Left[band] = 80; // slider 15's bands, read by its first
    }
    reported.Left[0] = -100; // beyond the slider: shown at its end
    w->showReportedEqualizer(reported);
    EXPECT_EQ(w->EqualizerTrackBars[14]->value(), -80);
    EXPECT_EQ(w->EqualizerTrackBars[0]->value(), 80);
    EXPECT_EQ(target.equalizers.size(), sent);
    EXPECT_EQ(stored(25), "-20");

    w->EnableCheckBox->setChecked(false);
    w->showReportedEqualizer(KV_EqualizerInfo{});
    EXPECT_EQ(w->EqualizerTrackBars[14]->value(), -80);
}

TEST_F(SettingsVolumeWindow, LevelControlsDriveTheCurrentPlayer) {
    auto w = make();
    w->MasterTrackBar->setValue(10);
    w->VolumeTrackBar->setValue(20);
    w->BalanceTrackBar->setValue(30);
    w->CenterButton->click();
    EXPECT_EQ(target.volumes, (std::vector<std::array<int, 3>>{
                                  {-1, -1, 10}, {-1, 20, -1}, {30, -1, -1}, {50, -1, -1}}));
    w->MuteCheckBox->click();
    w->MuteCheckBox->click();
    w->ChannelButtons[3]->click();
    EXPECT_EQ(target.calls, (std::vector<std::string>{"mute", "unmute", "channels 3"}));
    EXPECT_TRUE(w->ChannelButtons[3]->isChecked());
}

} // namespace
