// The settings and speech windows on Qt's offscreen platform, with a recording
// host for the players and a recording voice.
#include "SettingsHost.h"
#include "TfrmSAPI51.h"
#include "Tsettings.h"
#include "recording_speech_voice.h"
#include "settings_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextCursor>
#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace velbrin::settings;
using velbrin::test::RecordingSpeechVoice;

void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

int argc = 1;
char arg0[] = "test";
char *argv[] = {arg0, nullptr};

class RecordingHost : public SettingsHost {
public:
    void chooseOutput(int module) override { calls.push_back(QString("output %1").arg(module)); }
    void setPriority(int priority) override {
        calls.push_back(QString("priority %1").arg(priority));
    }
    void setPlayerEnvironmentInteger(const QString &name, int value) override {
        calls.push_back(QString("%1 %2").arg(name).arg(value));
    }
    void setDuckDepth(int decibels) override { calls.push_back(QString("duck %1").arg(decibels)); }
    void selectPlayMode(int index) override { calls.push_back(QString("mode %1").arg(index)); }
    QStringList styleNames() const override { return {"Fusion", "Windows"}; }
    int activeStyleIndex() const override { return 0; }
    void styleApplied() override { calls.push_back("style"); }
    QString appDir() const override { return "/"; }
    std::vector<QString> calls;
};

const QString kTemplate = "That was %ARTIST% playing %SONGTITLE% from the album %ALBUM%";

class SettingsWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QApplication::instance() == nullptr) {
            static QApplication app(argc, argv);
        }
    }
    void SetUp() override { qputenv("VELBRIN_SETTINGS", file().toLocal8Bit()); }
    void TearDown() override {
        window.reset();
        speech.reset();
        qunsetenv("VELBRIN_SETTINGS");
    }
    QString file() const { return dir.filePath("velbrin.ini"); }
    void open(std::shared_ptr<RecordingSpeechVoice> v = std::make_shared<RecordingSpeechVoice>()) {
        voice = std::move(v);
        speech = std::make_unique<TfrmSAPI51>(voice);
        window = std::make_unique<Tsettings>(host, *speech);
    }
    std::map<QString, QString> stored() const {
        QSettings s(file(), QSettings::IniFormat);
        std::map<QString, QString> all;
        // Keys from the file, texts through the store, which reads them exactly.
        for (const QString &key : s.allKeys()) {
            all[key] = velbrin::ReadSetting(key.section('/', 0, 0), key.section('/', 1));
        }
        return all;
    }

    QTemporaryDir dir;
    RecordingHost host;
    std::shared_ptr<RecordingSpeechVoice> voice;
    std::unique_ptr<TfrmSAPI51> speech;
    std::unique_ptr<Tsettings> window;
};

TEST_F(SettingsWindow, AFirstStartStoresExactlyTheDefaultsItApplies) {
    open();
    const std::map<QString, QString> expected{
        {"Engine/Priority", "4"},
        {"DJ-Settings/MinVolumeStudio", "43"},
        {"DJ-Settings/MinVolumeLive", "24"},
        {"DJ-Settings/DJ-text0", kTemplate},
        {"Appearance/Skin", "1"},
        {"DJ-Settings/OverlapStudio", "6"},
        {"KeyMappings/Default", "0"},
        {"DJ-Settings/OverlapLive", "11"},
    };
    EXPECT_EQ(stored(), expected);
    EXPECT_EQ(host.calls, std::vector<QString>{"priority 4"});
}

TEST_F(SettingsWindow, StoredOutputModulesApplyAtStart) {
    velbrin::WriteSetting("Engine", "OutputModule", "2");
    velbrin::WriteSetting("Engine", "Pitch", "1300");
    open();
    EXPECT_EQ(host.calls,
              (std::vector<QString>{"priority 4", "output 2", "OUTPUT.DIRECTSOUND.PITCH 1300"}));
    EXPECT_EQ(stored().at("Engine/OutputModule"), "2");

    window.reset();
    host.calls.clear();
    velbrin::WriteSetting("Engine", "OutputModule", "3");
    open();
    EXPECT_EQ(host.calls, (std::vector<QString>{"priority 4", "output 3", "mode 0",
                                                "OUTPUT.DIRECTSOUND.PITCH 1300"}));
    EXPECT_TRUE(window->Button1->isEnabled());
}

TEST_F(SettingsWindow, TheDuckAndSkipSilenceShowWhatIsStoredAndStoreAChoiceAtOnce) {
    open();
    EXPECT_EQ(window->DuckSpinEdit->value(), 12);
    EXPECT_EQ(window->DuckSpinEdit->suffix(), " dB");
    EXPECT_TRUE(window->SkipSilenceCheckBox->isChecked());
    window.reset();
    velbrin::WriteSetting("DJ-Settings", "DuckDepth", "30");
    velbrin::WriteBooleanSetting("DJ-Settings", "SkipSilence", false);
    host.calls.clear();
    open();
    EXPECT_EQ(window->DuckSpinEdit->value(), 24);
    EXPECT_FALSE(window->SkipSilenceCheckBox->isChecked());
    EXPECT_EQ(stored().at("DJ-Settings/DuckDepth"), "30") << "showing stores nothing";
    window->DuckSpinEdit->setValue(0);
    window->SkipSilenceCheckBox->setChecked(true);
    EXPECT_EQ(stored().at("DJ-Settings/DuckDepth"), "0");
    EXPECT_EQ(stored().at("DJ-Settings/SkipSilence"), "-1");
    EXPECT_EQ(host.calls.back(), "duck 0");
}

TEST_F(SettingsWindow, LoudnessShowsTrackUntilOffIsChosen) {
    open();
    EXPECT_EQ(window->LoudnessComboBox->currentText(), "Track");
    window->LoudnessComboBox->setCurrentText("Off");
    EXPECT_EQ(stored().at("Engine/Loudness"), "Off");
    window.reset();
    open();
    EXPECT_EQ(window->LoudnessComboBox->currentText(), "Off");
}

TEST_F(SettingsWindow, AVariableGoesInAtTheCursorAndNothingIsLost) {
    open();
    struct Case {
        int anchor, position;
        const char *expected;
    };
    for (const Case c :
         {Case{3, 3, "abc%YEAR%def"}, Case{0, 0, "%YEAR%abcdef"}, Case{4, 1, "a%YEAR%bcdef"}}) {
        window->Memo2->setPlainText("abcdef");
        QTextCursor cursor = window->Memo2->textCursor();
        cursor.setPosition(c.anchor);
        cursor.setPosition(c.position, QTextCursor::KeepAnchor);
        window->Memo2->setTextCursor(cursor);
        window->insertVariable("%YEAR%");
        EXPECT_EQ(window->Memo2->toPlainText(), c.expected);
        EXPECT_EQ(stored().at("DJ-Settings/DJ-text0"), c.expected);
    }
}

TEST_F(SettingsWindow, SwitchingDjTabsStoresEachTextUnchanged) {
    velbrin::WriteSetting("DJ-Settings", "DJ-text1", "  second text\n");
    open();
    window->TabControl1->setCurrentIndex(1);
    EXPECT_EQ(window->Memo2->toPlainText(), "  second text\n");
    window->TabControl1->setCurrentIndex(2);
    EXPECT_EQ(window->Memo2->toPlainText(), "") << "only the first tab gets the default";
    window->TabControl1->setCurrentIndex(0);
    EXPECT_EQ(window->Memo2->toPlainText(), kTemplate);
    const auto s = stored();
    EXPECT_EQ(s.at("DJ-Settings/DJ-text1"), "  second text\n");
    EXPECT_EQ(s.at("DJ-Settings/DJ-text2"), "");
    EXPECT_EQ(s.at("DJ-Settings/DJ-text0"), kTemplate);
}

TEST_F(SettingsWindow, ChoosingWavFilesAsksForTheFolderOnlyWhenNoneIsUsable) {
    open();
    int asked = 0;
    window->chooseFolder = [&](const QString &) {
        ++asked;
        return dir.path();
    };
    window->RadioButton1->click();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(stored().at("Settings/WAVDir"), dir.path());
    window->UseDirectSoundRadioButton->click();
    window->RadioButton1->click();
    EXPECT_EQ(asked, 1) << "the folder is there";
}

TEST_F(SettingsWindow, WithoutSpeechTheSpeechPageIsDisabled) {
    open(std::make_shared<RecordingSpeechVoice>(QStringList{"English"}, false));
    EXPECT_FALSE(window->SpeechPage->isEnabled());
    EXPECT_EQ(window->cbVoices->count(), 0);
    for (const auto &[key, value] : stored()) {
        EXPECT_FALSE(key.startsWith("Text2Speech")) << key.toStdString();
    }
}

TEST_F(SettingsWindow, VoicesAreSortedAndTheStoredNameMatchesInItsCase) {
    velbrin::WriteSetting("Text2Speech", "Voice", "alpha");
    velbrin::WriteSetting("Text2Speech", "SpeedSAPI5.1", "25");
    open(std::make_shared<RecordingSpeechVoice>(QStringList{"b voice", "Alpha", "alpha"}));
    EXPECT_EQ(speech->cbVoices->currentText(), "alpha");
    // Clamped, applied by the speech window, and again by the settings window
    // as its slider follows.
    EXPECT_EQ(voice->events, (std::vector<QString>{"voice:2", "rate:10", "rate:10"}));
    ASSERT_TRUE(window->SpeechPage->isEnabled());
    EXPECT_EQ(window->cbVoices->itemText(0), "Alpha");
    EXPECT_EQ(window->cbVoices->currentText(), "alpha");
    EXPECT_EQ(window->tbRate->value(), 10);

    voice->events.clear();
    window->tbRate->setValue(-3);
    EXPECT_EQ(voice->events.front(), "stop") << "speech stops before the rate changes";
    EXPECT_EQ(voice->events.at(1), "rate:-3");
    EXPECT_EQ(window->lblRate->text(), "-3");
    window->cbVoices->setCurrentIndex(2);
    EXPECT_EQ(stored().at("Text2Speech/Voice"), "b voice");
    EXPECT_EQ(stored().at("Text2Speech/SpeedSAPI5.1"), "-3");
    EXPECT_EQ(voice->events.back(), "voice:0");
}

} // namespace
