#include "recording_speech_voice.h"
#include "settings_test_support.h"
#include "shared_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace velbrin;

namespace {

// A voice that records what it is asked to speak.
class RecordingVoice : public test::RecordingSpeechVoice {
public:
    explicit RecordingVoice(bool available) : RecordingSpeechVoice({}, available) {}
};

class SettingsHelpersSpeech : public ::testing::Test {
protected:
    void TearDown() override { SetSpeechVoice(nullptr); }
};

TEST_F(SettingsHelpersSpeech, WithoutAnInstalledVoiceSpeechIsUnavailable) {
    EXPECT_FALSE(SpeechAvailable());
    SpeakText(QStringLiteral("nothing happens")); // must not crash or block
}

TEST_F(SettingsHelpersSpeech, SeparatorsAreSpokenAsBlanksAndOtherSignsStay) {
    auto voice = std::make_shared<RecordingVoice>(true);
    SetSpeechVoice(voice);
    ASSERT_TRUE(SpeechAvailable());
    SpeakText(QStringLiteral("AC-DC: C:\\Music\\Live|Best/of, \"x\" --::"));
    SpeakText(QStringLiteral("That was %ARTIST%"));
    ASSERT_EQ(voice->spoken().size(), 2u);
    EXPECT_EQ(voice->spoken()[0], QStringLiteral("AC DC  C  Music Live Best/of, \"x\"     "));
    EXPECT_EQ(voice->spoken()[1], QStringLiteral("That was %ARTIST%"));
}

TEST_F(SettingsHelpersSpeech, UnavailableVoiceIsNeverAskedToSpeak) {
    auto voice = std::make_shared<RecordingVoice>(false);
    SetSpeechVoice(voice);
    EXPECT_FALSE(SpeechAvailable());
    SpeakText(QStringLiteral("hello"));
    EXPECT_TRUE(voice->spoken().empty());

    // Removing a voice that could speak leaves none that can.
    auto speaking = std::make_shared<RecordingVoice>(true);
    SetSpeechVoice(speaking);
    SetSpeechVoice(nullptr);
    EXPECT_FALSE(SpeechAvailable());
    SpeakText(QStringLiteral("hello"));
    EXPECT_TRUE(speaking->spoken().empty());
}

TEST(SettingsHelpersEngineError, MessageIsTextBlankAndEngineTextInParentheses) {
    std::vector<int> asked;
    const EngineErrorText engineText = [&asked](int code) {
        asked.push_back(code);
        return QStringLiteral("File not found");
    };
    EXPECT_EQ(EngineErrorMessage(QStringLiteral("Cannot Open Input"), -7, engineText),
              QStringLiteral("Cannot Open Input (File not found)"));
    EXPECT_EQ(asked, std::vector<int>{-7});
}

TEST(SettingsHelpersEngineError, WithoutEngineTextTheParenthesesStayEmpty) {
    EXPECT_EQ(EngineErrorMessage(QStringLiteral("Cannot Play Stream"), 3, {}),
              QStringLiteral("Cannot Play Stream ()"));
    EXPECT_EQ(
        EngineErrorMessage(QStringLiteral("Cannot Play Stream"), 3, [](int) { return QString(); }),
        QStringLiteral("Cannot Play Stream ()"));
}

} // namespace
