#pragma once

#include "speech.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QSlider;

namespace velbrin::settings {

// The speech window: owns the program's one voice, the sorted list of
// installed voices and the speech rate. It is never shown; the settings
// window's "Speech" page works through its lists, and SpeakText through the
// voice it installs.
class TfrmSAPI51 : public QDialog {
    Q_OBJECT
public:
    // Loads "Text2Speech"/"Voice" and "SpeedSAPI5.1", and installs the voice
    // as the program's when it can speak (SpeechAvailable then holds).
    explicit TfrmSAPI51(std::shared_ptr<platform::SpeechVoice> voice, QWidget *parent = nullptr);
    ~TfrmSAPI51() override;

    // The stored voice name as last loaded or chosen.
    QString CurrentVoiceName;

    // The selected entry's voice speaks from now on.
    void VoiceChange();
    // Stops the current speech, then applies the slider's rate.
    void RateChange();
    // Ends what is being spoken.
    void Stop();

    platform::SpeechVoice &voice() const { return *voice_; }

    QComboBox *cbVoices = nullptr;
    QSlider *tbRate = nullptr;
    QLabel *lblRate = nullptr;

private:
    void FormCreate();
    std::shared_ptr<platform::SpeechVoice> voice_;
};

} // namespace velbrin::settings
