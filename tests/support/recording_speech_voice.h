#pragma once

// A speech voice for tests: it speaks nothing and records every operation in
// order ("speak:<text>", "stop", "rate:<n>", "voice:<index>"), and keeps the
// output it was given.

#include "speech.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace velbrin::test {

class RecordingSpeechVoice : public platform::SpeechVoice {
public:
    explicit RecordingSpeechVoice(QStringList voiceNames = {QStringLiteral("English"),
                                                            QStringLiteral("Deutsch")},
                                  bool canSpeak = true)
        : names_(std::move(voiceNames)), available_(canSpeak) {}

    bool available() const override { return available_; }
    QStringList voices() const override { return names_; }
    bool setVoice(int index) override {
        if (index < 0 || index >= names_.size()) {
            return false;
        }
        events.push_back(QStringLiteral("voice:%1").arg(index));
        return true;
    }
    void setRate(int rate) override { events.push_back(QStringLiteral("rate:%1").arg(rate)); }
    void stop() override { events.push_back(QStringLiteral("stop")); }
    void speak(const QString &text) override { events.push_back(QStringLiteral("speak:") + text); }
    void setOutput(std::shared_ptr<platform::SpeechOutput> to) override { output = std::move(to); }

    // The texts spoken, without the other events.
    std::vector<QString> spoken() const {
        std::vector<QString> texts;
        for (const QString &e : events) {
            if (e.startsWith(QLatin1String("speak:"))) {
                texts.push_back(e.mid(6));
            }
        }
        return texts;
    }

    std::vector<QString> events;
    std::shared_ptr<platform::SpeechOutput> output; // the last one set

private:
    QStringList names_;
    bool available_;
};

} // namespace velbrin::test
