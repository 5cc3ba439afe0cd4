#include "TVolumeForm.h"

#include "settings_store.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace velbrin::settings {

namespace {

const QString kSection = QStringLiteral("Equalizer");
const QString kEnabledName = QStringLiteral("Enabled");

QString bandValueName(int bandNumber) {
    return QStringLiteral("Barnr") + QString::number(bandNumber);
}

QSlider *makeLevelSlider(QWidget *parent, const char *name) {
    auto *slider = new QSlider(Qt::Horizontal, parent);
    slider->setObjectName(QLatin1String(name));
    slider->setRange(0, 99);
    slider->setTickPosition(QSlider::NoTicks);
    slider->setMinimumWidth(200);
    return slider;
}

} // namespace

TVolumeForm::TVolumeForm(VolumeTarget &target, QWidget *parent) : QDialog(parent), target_(target) {
    setObjectName(QStringLiteral("VolumeForm"));
    setWindowTitle(QStringLiteral("Velbrin Volume Control"));
    setWindowFlag(Qt::Tool);
    setModal(false);
    buildControls();
    loadEqualizer();
}

void TVolumeForm::buildControls() {
    VolumeGroup = new QGroupBox(QStringLiteral("Volume:"), this);
    VolumeGroup->setObjectName(QStringLiteral("VolumeGroup"));
    MasterTrackBar = makeLevelSlider(VolumeGroup, "MasterTrackBar");
    VolumeTrackBar = makeLevelSlider(VolumeGroup, "VolumeTrackBar");
    BalanceTrackBar = makeLevelSlider(VolumeGroup, "BalanceTrackBar");
    CenterButton = new QPushButton(QStringLiteral("Center"), VolumeGroup);
    CenterButton->setObjectName(QStringLiteral("CenterButton"));
    CenterButton->setToolTip(QStringLiteral("Resets balance"));
    CenterButton->setAutoDefault(false);
    MuteCheckBox = new QCheckBox(QStringLiteral("Mute"), VolumeGroup);
    MuteCheckBox->setObjectName(QStringLiteral("MuteCheckBox"));
    auto *levels = new QGridLayout(VolumeGroup);
    levels->addWidget(new QLabel(QStringLiteral("Master:"), VolumeGroup), 0, 0);
    levels->addWidget(MasterTrackBar, 0, 1);
    levels->addWidget(new QLabel(QStringLiteral("PCM:"), VolumeGroup), 1, 0);
    levels->addWidget(VolumeTrackBar, 1, 1);
    levels->addWidget(new QLabel(QStringLiteral("Balance:"), VolumeGroup), 2, 0);
    levels->addWidget(BalanceTrackBar, 2, 1);
    levels->addWidget(CenterButton, 2, 2);
    levels->addWidget(MuteCheckBox, 3, 1);

    RadioGroup1 = new QGroupBox(QStringLiteral("Channels:"), this);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    auto *channels = new QVBoxLayout(RadioGroup1);
    const char *captions[] = {"Stereo", "Mono Left", "Mono Right", "MonoMix"};
    for (int i = 0; i < 4; ++i) {
        auto *button = new QRadioButton(QLatin1String(captions[i]), RadioGroup1);
        button->setObjectName(QStringLiteral("ChannelButton%1").arg(i));
        channels->addWidget(button);
        ChannelButtons[static_cast<size_t>(i)] = button;
        connect(button, &QRadioButton::clicked, this, [this, i] { ChannelsClick(i); });
    }
    ChannelButtons[0]->setChecked(true);

    EqualizerGroup = new QGroupBox(QStringLiteral("Equalizer:"), this);
    EqualizerGroup->setObjectName(QStringLiteral("EqualizerGroup"));
    EnableCheckBox = new QCheckBox(QStringLiteral("Enable"), EqualizerGroup);
    EnableCheckBox->setObjectName(QStringLiteral("EnableCheckBox"));
    NeutralizeButton = new QPushButton(QStringLiteral("Neutralize"), EqualizerGroup);
    NeutralizeButton->setObjectName(QStringLiteral("NeutralizeButton"));
    NeutralizeButton->setAutoDefault(false);
    auto *eqTop = new QHBoxLayout;
    eqTop->addWidget(EnableCheckBox);
    eqTop->addStretch(1);
    eqTop->addWidget(NeutralizeButton);
    auto *sliders = new QHBoxLayout;
    for (size_t i = 0; i < EqualizerTrackBars.size(); ++i) {
        auto *slider = new QSlider(Qt::Vertical, EqualizerGroup);
        slider->setObjectName(i == 0 ? QStringLiteral("TrackBar01")
                                     : QStringLiteral("TrackBar%1").arg(i));
        slider->setRange(kEqualizerMinPosition, kEqualizerMaxPosition);
        // The lowest position (the most gain) at the top.
        slider->setInvertedAppearance(true);
        slider->setPageStep(10);
        slider->setTickInterval(10);
        slider->setTickPosition(QSlider::TicksBothSides);
        slider->setMinimumHeight(140);
        slider->setProperty("bandNumber", kEqualizerBandNumbers[i]);
        sliders->addWidget(slider);
        EqualizerTrackBars[i] = slider;
        connect(slider, &QSlider::valueChanged, this, &TVolumeForm::EqualizerTrackBarChange);
    }
    auto *eq = new QVBoxLayout(EqualizerGroup);
    eq->addLayout(eqTop);
    eq->addLayout(sliders);

    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));

    connect(MasterTrackBar, &QSlider::valueChanged, this, &TVolumeForm::MasterTrackBarChange);
    connect(VolumeTrackBar, &QSlider::valueChanged, this, &TVolumeForm::VolumeTrackBarChange);
    connect(BalanceTrackBar, &QSlider::valueChanged, this, &TVolumeForm::BalanceTrackBarChange);
    connect(CenterButton, &QPushButton::clicked, this, &TVolumeForm::CenterButtonClick);
    connect(MuteCheckBox, &QCheckBox::clicked, this, &TVolumeForm::MuteCheckBoxClick);
    connect(EnableCheckBox, &QCheckBox::toggled, this, &TVolumeForm::EnableCheckBoxClick);
    connect(NeutralizeButton, &QPushButton::clicked, this, &TVolumeForm::NeutralizeClick);
    connect(CloseButton, &QPushButton::clicked, this, &TVolumeForm::CloseButtonClick);

    auto *top = new QHBoxLayout;
    top->addWidget(VolumeGroup, 1);
    top->addWidget(RadioGroup1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(CloseButton);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(EqualizerGroup);
    outer->addLayout(bottom);
}

void TVolumeForm::loadEqualizer() {
    UpdatingVolumeControls = true;
    for (size_t i = 0; i < EqualizerTrackBars.size(); ++i) {
        EqualizerTrackBars[i]->setValue(clampEqualizerPosition(
            ReadIntegerSetting(kSection, bandValueName(kEqualizerBandNumbers[i]), 0)));
    }
    // Ticking runs the "Enable" action, which the flag does not hold back: a
    // stored "1" sends the equalizer to both players at start.
    EnableCheckBox->setChecked(ReadSetting(kSection, kEnabledName) == QLatin1String("1"));
    UpdatingVolumeControls = false;
}

void TVolumeForm::setSliderQuietly(QSlider *slider, int value) {
    UpdatingVolumeControls = true;
    slider->setValue(value);
    UpdatingVolumeControls = false;
}

void TVolumeForm::showReportedVolume(int masterLevel, int pcmLevel, int balance) {
    UpdatingVolumeControls = true;
    MasterTrackBar->setValue(masterLevel);
    VolumeTrackBar->setValue(pcmLevel);
    BalanceTrackBar->setValue(balance);
    UpdatingVolumeControls = false;
}

void TVolumeForm::showReportedPcmLevel(int pcmLevel) {
    setSliderQuietly(VolumeTrackBar, pcmLevel);
}

void TVolumeForm::showReportedMasterLevel(int masterLevel) {
    setSliderQuietly(MasterTrackBar, masterLevel);
}

void TVolumeForm::showReportedBalance(int balance) {
    setSliderQuietly(BalanceTrackBar, balance);
}

void TVolumeForm::showReportedEqualizer(const KV_EqualizerInfo &equalizer) {
    // A report may answer an earlier change than the slider shows now; each
    // change is read back in turn, so the sliders settle on the last one. Only
    // a slider the user holds would be pulled away from the mouse.
    if (!EnableCheckBox->isChecked() ||
        std::any_of(EqualizerTrackBars.begin(), EqualizerTrackBars.end(),
                    [](const QSlider *s) { return s->isSliderDown(); })) {
        return;
    }
    UpdatingVolumeControls = true;
    for (size_t i = 0; i < EqualizerTrackBars.size(); ++i) {
        const std::vector<int> bands = engineBandsFor(kEqualizerBandNumbers[i]);
        if (!bands.empty()) {
            EqualizerTrackBars[i]->setValue(
                clampEqualizerPosition(-equalizer.Left[static_cast<size_t>(bands.front())]));
        }
    }
    UpdatingVolumeControls = false;
}

void TVolumeForm::MasterTrackBarChange() {
    if (!UpdatingVolumeControls) {
        target_.SetOutputVolume(-1, -1, MasterTrackBar->value());
    }
}

void TVolumeForm::VolumeTrackBarChange() {
    if (!UpdatingVolumeControls) {
        target_.SetOutputVolume(-1, VolumeTrackBar->value(), -1);
    }
}

void TVolumeForm::BalanceTrackBarChange() {
    if (!UpdatingVolumeControls) {
        target_.SetOutputVolume(BalanceTrackBar->value(), -1, -1);
    }
}

void TVolumeForm::CenterButtonClick() {
    BalanceTrackBar->setValue(50);
}

void TVolumeForm::MuteCheckBoxClick() {
    if (MuteCheckBox->isChecked()) {
        target_.OutputMute();
    } else {
        target_.OutputUnmute();
    }
}

void TVolumeForm::ChannelsClick(int index) {
    target_.SetOutputChannels(static_cast<uint32_t>(index));
}

void TVolumeForm::EnableCheckBoxClick() {
    UpdateEqualizer();
}

void TVolumeForm::EqualizerTrackBarChange() {
    if (!UpdatingVolumeControls) {
        UpdateEqualizer();
    }
}

void TVolumeForm::NeutralizeClick() {
    // One slider after the other: each that moves runs the update, so the last
    // one sends a flat equalizer; when none moves nothing is sent.
    for (QSlider *slider : EqualizerTrackBars) {
        slider->setValue(0);
    }
}

void TVolumeForm::CloseButtonClick() {
    hide();
}

void TVolumeForm::UpdateEqualizer() {
    std::array<int, 16> positions{};
    for (size_t i = 0; i < EqualizerTrackBars.size(); ++i) {
        positions[i] = EqualizerTrackBars[i]->value();
        WriteIntegerSetting(kSection, bandValueName(kEqualizerBandNumbers[i]), positions[i]);
    }
    const auto gains = equalizerGains(positions);
    KV_EqualizerInfo record{};
    for (size_t band = 0; band < gains.size(); ++band) {
        record.Left[band] = gains[band];
        record.Right[band] = gains[band];
    }
    if (EnableCheckBox->isChecked()) {
        target_.SetCodecEqualizer(&record);
        WriteSetting(kSection, kEnabledName, QStringLiteral("1"));
    } else {
        target_.SetCodecEqualizer(nullptr);
        WriteSetting(kSection, kEnabledName, QStringLiteral("0"));
    }
}

} // namespace velbrin::settings
