#include "TfrmSAPI51.h"

#include "settings_store.h"
#include "shared_helpers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>
#include <vector>

namespace velbrin::settings {

namespace {
constexpr int kMinRate = -10;
constexpr int kMaxRate = 10;
} // namespace

TfrmSAPI51::TfrmSAPI51(std::shared_ptr<platform::SpeechVoice> voice, QWidget *parent)
    : QDialog(parent),
      voice_(voice ? std::move(voice) : std::make_shared<platform::NoSpeechVoice>()) {
    setObjectName(QStringLiteral("frmSAPI51"));
    setWindowTitle(QStringLiteral("SAPI 5.1"));
    auto *layout = new QVBoxLayout(this);
    auto *engines = new QLabel(QStringLiteral("&Speech engines"), this);
    cbVoices = new QComboBox(this);
    cbVoices->setObjectName(QStringLiteral("cbVoices"));
    engines->setBuddy(cbVoices);
    layout->addWidget(engines);
    layout->addWidget(cbVoices);
    auto *attributes = new QGroupBox(QStringLiteral(" &Attributes "), this);
    auto *grid = new QGridLayout(attributes);
    auto *rateCaption = new QLabel(QStringLiteral("R&ate:"), attributes);
    tbRate = new QSlider(Qt::Horizontal, attributes);
    tbRate->setObjectName(QStringLiteral("tbRate"));
    tbRate->setRange(kMinRate, kMaxRate);
    tbRate->setValue(0);
    rateCaption->setBuddy(tbRate);
    lblRate = new QLabel(QStringLiteral("0"), attributes);
    lblRate->setObjectName(QStringLiteral("lblRate"));
    grid->addWidget(rateCaption, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("-10"), attributes), 0, 1);
    grid->addWidget(tbRate, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("10"), attributes), 0, 3);
    grid->addWidget(lblRate, 0, 4);
    layout->addWidget(attributes);
    FormCreate();
    connect(cbVoices, &QComboBox::currentIndexChanged, this, [this] { VoiceChange(); });
    connect(tbRate, &QSlider::valueChanged, this, [this] { RateChange(); });
}

TfrmSAPI51::~TfrmSAPI51() {
    // The voice stays installed only while its window lives.
    if (&CurrentSpeechVoice() == voice_.get()) {
        SetSpeechVoice(nullptr);
    }
}

void TfrmSAPI51::FormCreate() {
    CurrentVoiceName = ReadSetting(QStringLiteral("Text2Speech"), QStringLiteral("Voice"));
    if (!voice_->available()) {
        // No speech for this run: the settings window disables its page and
        // SpeakText stays silent.
        SetSpeechVoice(nullptr);
        return;
    }
    // The list is sorted as a sorted list box sorts, without regard to case;
    // each entry keeps the index of its voice.
    const QStringList names = voice_->voices();
    std::vector<int> order(static_cast<size_t>(names.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&names](int a, int b) {
        return names.at(a).compare(names.at(b), Qt::CaseInsensitive) < 0;
    });
    for (int i : order) {
        cbVoices->addItem(names.at(i), i);
    }
    cbVoices->setCurrentIndex(-1);
    for (int i = 0; i < cbVoices->count(); ++i) {
        if (cbVoices->itemText(i) == CurrentVoiceName) {
            cbVoices->setCurrentIndex(i);
            VoiceChange();
            break;
        }
    }
    const int rate =
        ReadIntegerSetting(QStringLiteral("Text2Speech"), QStringLiteral("SpeedSAPI5.1"), 0);
    tbRate->setValue(std::clamp(rate, kMinRate, kMaxRate));
    voice_->setRate(tbRate->value());
    lblRate->setNum(tbRate->value());
    SetSpeechVoice(voice_);
}

void TfrmSAPI51::VoiceChange() {
    const int i = cbVoices->currentIndex();
    if (i >= 0) {
        voice_->setVoice(cbVoices->itemData(i).toInt());
    }
}

void TfrmSAPI51::RateChange() {
    Stop();
    voice_->setRate(tbRate->value());
    lblRate->setNum(tbRate->value());
}

void TfrmSAPI51::Stop() {
    voice_->stop();
}

} // namespace velbrin::settings
