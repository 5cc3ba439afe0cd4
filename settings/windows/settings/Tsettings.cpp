#include "Tsettings.h"

#include "SettingsHost.h"
#include "TfrmSAPI51.h"
#include "message_helpers.h"
#include "settings_store.h"
#include "shared_helpers.h"
#include "studio_sound.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace velbrin::settings {

namespace {

const QString kEngine = QStringLiteral("Engine");
const QString kDj = QStringLiteral("DJ-Settings");
const QString kKeys = QStringLiteral("KeyMappings");
const QString kNoDir = QStringLiteral("(No dir assigned)");
const QString kDefaultTemplate =
    QStringLiteral("That was %ARTIST% playing %SONGTITLE% from the album %ALBUM%");
const char *const kPitchVariable = "OUTPUT.DIRECTSOUND.PITCH";
constexpr int kPitchNormal = 1000;

// The stored WAV folder when it exists, else empty.
QString usableWavDir() {
    const QString dir = ReadSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir"));
    return !dir.isEmpty() && QDir(dir).exists() ? dir : QString();
}

template <typename W> W *named(W *widget, const char *name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QSlider *levelSlider(QWidget *parent, const char *name, int minimum, int maximum) {
    auto *s = named(new QSlider(Qt::Horizontal, parent), name);
    s->setRange(minimum, maximum);
    s->setTickPosition(QSlider::NoTicks);
    return s;
}

QString modeOf(const QWidget *control) {
    return control->toolTip();
}

} // namespace

Tsettings::Tsettings(SettingsHost &host, TfrmSAPI51 &speech, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), host_(host),
      speech_(speech) {
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);
    chooseFolder = [this](const QString &start) {
        // Qt's folder dialog offers to create a new folder.
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Select dir..."), start);
    };

    auto *layout = new QVBoxLayout(this);
    PageControl1 = named(new QTabWidget(this), "PageControl1");
    PageControl1->addTab(buildEnginePage(), QStringLiteral("MP3 Engine"));
    SpeechPage = buildSpeechPage();
    PageControl1->addTab(SpeechPage, QStringLiteral("Speech"));
    PageControl1->addTab(buildDjPage(), QStringLiteral("Dj-mode"));
    PageControl1->addTab(buildControlsetPage(), QStringLiteral("Controlset"));
    PageControl1->addTab(buildMiscPage(), QStringLiteral("Misc"));
    layout->addWidget(PageControl1);
    auto *bar = new QHBoxLayout;
    bar->addStretch();
    CancelBtn = named(new QPushButton(QStringLiteral("Close"), this), "CancelBtn");
    bar->addWidget(CancelBtn);
    layout->addLayout(bar);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::close);

    connectActions();
    FormCreate();
}

// --- pages ------------------------------------------------------------------------------

QWidget *Tsettings::buildEnginePage() {
    auto *page = named(new QWidget, "EnginePage");
    auto *layout = new QVBoxLayout(page);
    auto *output = named(new QGroupBox(QStringLiteral("Output Module"), page), "OutputGroup");
    auto *grid = new QGridLayout(output);
    UseDirectSoundRadioButton = named(new QRadioButton(QStringLiteral("Use DirectSound"), output),
                                      "UseDirectSoundRadioButton");
    UseWaveDriverRadioButton = named(new QRadioButton(QStringLiteral("Use Wave Driver"), output),
                                     "UseWaveDriverRadioButton");
    RadioButton1 =
        named(new QRadioButton(QStringLiteral("Create WAV-file in"), output), "RadioButton1");
    UseDirectSoundRadioButton->setChecked(true);
    WavDirLabel = named(new QLabel(kNoDir, output), "WavDirLabel");
    WavDirLabel->setTextFormat(Qt::PlainText);
    Button1 = named(new QPushButton(QStringLiteral("Select dir..."), output), "Button1");
    Button1->setEnabled(false);
    grid->addWidget(UseDirectSoundRadioButton, 0, 0);
    grid->addWidget(UseWaveDriverRadioButton, 1, 0);
    grid->addWidget(RadioButton1, 2, 0);
    grid->addWidget(Button1, 2, 1);
    grid->addWidget(WavDirLabel, 3, 0, 1, 2);
    layout->addWidget(output);

    auto *pitch = new QHBoxLayout;
    pitch->addWidget(new QLabel(QStringLiteral("Pitch:"), page));
    PitchBar1 = levelSlider(page, "PitchBar1", 0, 2000);
    PitchBar1->setValue(kPitchNormal);
    pitch->addWidget(PitchBar1);
    bitbtn5 = named(new QToolButton(page), "bitbtn5");
    bitbtn5->setText(QStringLiteral("0"));
    bitbtn5->setToolTip(QStringLiteral("Normal pitch"));
    pitch->addWidget(bitbtn5);
    layout->addLayout(pitch);

    auto *loudness = new QHBoxLayout;
    auto *loudnessLabel = new QLabel(QStringLiteral("Loudness:"), page);
    loudness->addWidget(loudnessLabel);
    LoudnessComboBox = named(new QComboBox(page), "LoudnessComboBox");
    LoudnessComboBox->addItems({QStringLiteral("Off"), QStringLiteral("Track")});
    LoudnessComboBox->setToolTip(
        QStringLiteral("Track: every song plays at the same loudness, from the next song on"));
    loudnessLabel->setBuddy(LoudnessComboBox);
    loudness->addWidget(LoudnessComboBox);
    loudness->addStretch();
    layout->addLayout(loudness);

    RadioGroup2 = named(new QGroupBox(QStringLiteral("Thread priority"), page), "RadioGroup2");
    auto *priorities = new QGridLayout(RadioGroup2);
    priorityGroup_ = new QButtonGroup(this);
    const QStringList names{QStringLiteral("Lowest"), QStringLiteral("Low"),
                            QStringLiteral("Normal"), QStringLiteral("High"),
                            QStringLiteral("Highest")};
    for (int i = 0; i < names.size(); ++i) {
        auto *b = new QRadioButton(names.at(i), RadioGroup2);
        b->setObjectName(QStringLiteral("RadioGroup2Item%1").arg(i));
        priorityGroup_->addButton(b, i);
        priorities->addWidget(b, i / 3, i % 3); // three columns
    }
    layout->addWidget(RadioGroup2);
    layout->addStretch();
    return page;
}

QWidget *Tsettings::buildSpeechPage() {
    auto *page = named(new QWidget, "SpeechPage");
    auto *layout = new QVBoxLayout(page);
    auto *voice = new QGroupBox(QStringLiteral("Voice-settings SAPI 5.1"), page);
    auto *grid = new QGridLayout(voice);
    grid->addWidget(new QLabel(QStringLiteral("Voice:"), voice), 0, 0);
    cbVoices = named(new QComboBox(voice), "cbVoices");
    grid->addWidget(cbVoices, 0, 1, 1, 3);
    auto *rateCaption = new QLabel(QStringLiteral("R&ate:"), voice);
    grid->addWidget(rateCaption, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("-10"), voice), 1, 1);
    tbRate = levelSlider(voice, "tbRate", -10, 10);
    rateCaption->setBuddy(tbRate);
    grid->addWidget(tbRate, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("10"), voice), 1, 3);
    lblRate = named(new QLabel(QStringLiteral("0"), voice), "lblRate");
    grid->addWidget(lblRate, 1, 4);
    layout->addWidget(voice);

    auto *test = new QGroupBox(QStringLiteral("Test selected voice"), page);
    auto *testLayout = new QHBoxLayout(test);
    Memo1 = named(new QPlainTextEdit(test), "Memo1");
    Memo1->setFixedHeight(60);
    Button9 = named(new QPushButton(QStringLiteral("Speak"), test), "Button9");
    testLayout->addWidget(Memo1);
    testLayout->addWidget(Button9);
    layout->addWidget(test);
    layout->addStretch();
    return page;
}

QWidget *Tsettings::buildMixTab(const QString &mode, QSpinBox *&overlap, QSlider *&level,
                                const char *overlapName, const char *levelName) {
    auto *tab = new QWidget;
    auto *outer = new QVBoxLayout(tab);
    auto *group = new QGroupBox(QStringLiteral("Mix-settings"), tab);
    auto *grid = new QGridLayout(group);
    grid->addWidget(new QLabel(QStringLiteral("Overlap:"), group), 0, 0);
    overlap = named(new QSpinBox(group), overlapName);
    // Any whole number is accepted; what the modes make of it is theirs.
    overlap->setRange(INT_MIN, INT_MAX);
    overlap->setToolTip(mode);
    grid->addWidget(overlap, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("sec"), group), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Lowest soundlevel:"), group), 1, 0);
    level = levelSlider(group, levelName, 0, 99);
    level->setToolTip(mode);
    grid->addWidget(level, 1, 1);
    auto *value = new QLabel(QStringLiteral("0"), group);
    value->setObjectName(QLatin1String(levelName) + QStringLiteral("Value"));
    grid->addWidget(value, 1, 2);
    outer->addWidget(group);
    return tab;
}

QWidget *Tsettings::buildDjPage() {
    auto *page = named(new QWidget, "DjPage");
    auto *layout = new QVBoxLayout(page);
    PageControl2 = named(new QTabWidget(page), "PageControl2");
    PageControl2->addTab(buildMixTab(QStringLiteral("Studio"), SpinEdit1, VolumeTrackBar,
                                     "SpinEdit1", "VolumeTrackBar"),
                         QStringLiteral("Studiomode"));
    PageControl2->addTab(
        buildMixTab(QStringLiteral("Live"), SpinEdit2, TrackBar1, "SpinEdit2", "TrackBar1"),
        QStringLiteral("Livemode"));
    PageControl2->addTab(
        buildMixTab(QStringLiteral("Norm"), SpinEdit3, TrackBar2, "SpinEdit3", "TrackBar2"),
        QStringLiteral("Normal mode"));
    // Norm has no cross-fade: its values only show what the mode does.
    SpinEdit3->setValue(1);
    TrackBar2->setValue(99);
    page->findChild<QLabel *>(QStringLiteral("TrackBar2Value"))->setNum(99);
    SpinEdit3->setEnabled(false);
    TrackBar2->setEnabled(false);
    layout->addWidget(PageControl2);
    SkipSilenceCheckBox = named(new QCheckBox(QStringLiteral("Skip silence at song ends"), page),
                                "SkipSilenceCheckBox");
    SkipSilenceCheckBox->setToolTip(
        QStringLiteral("Studio and Live start the next song before the silence a song ends with"));
    SkipSilenceCheckBox->setChecked(true);
    layout->addWidget(SkipSilenceCheckBox);

    auto *voice = new QGroupBox(QStringLiteral("Dj-voice-settings"), page);
    auto *v = new QVBoxLayout(voice);
    auto *checks = new QHBoxLayout;
    CheckBox1 = named(new QCheckBox(QStringLiteral("Use Dj-voice"), voice), "CheckBox1");
    CheckBox2 = named(new QCheckBox(QStringLiteral("Random DJ-text"), voice), "CheckBox2");
    checks->addWidget(CheckBox1);
    checks->addWidget(CheckBox2);
    checks->addStretch();
    // Beside the voice it lowers the music for.
    auto *duckLabel = new QLabel(QStringLiteral("Lower music under the DJ:"), voice);
    DuckSpinEdit = named(new QSpinBox(voice), "DuckSpinEdit");
    DuckSpinEdit->setRange(0, kDuckDepthMaxDb);
    DuckSpinEdit->setSuffix(QStringLiteral(" dB"));
    DuckSpinEdit->setToolTip(QStringLiteral("0 leaves the music at its level"));
    duckLabel->setBuddy(DuckSpinEdit);
    auto *duck = new QHBoxLayout;
    duck->addWidget(duckLabel);
    duck->addWidget(DuckSpinEdit);
    duck->addStretch();
    v->addLayout(checks);
    v->addLayout(duck);
    TabControl1 = named(new QTabBar(voice), "TabControl1");
    for (int i = 1; i <= 9; ++i) {
        TabControl1->addTab(QString::number(i));
    }
    v->addWidget(TabControl1);
    Memo2 = named(new QPlainTextEdit(voice), "Memo2");
    Memo2->setFixedHeight(56);
    Memo2->setContextMenuPolicy(Qt::CustomContextMenu);
    v->addWidget(Memo2);
    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    for (const char *variable : {"%ARTIST%", "%SONGTITLE%", "%ALBUM%", "%YEAR%"}) {
        const QString text = QLatin1String(variable);
        QAction *a = PopupMenu1->addAction(QStringLiteral("Insert ") + text);
        a->setData(text);
        connect(a, &QAction::triggered, this, [this, text] { insertVariable(text); });
    }
    PopupMenu1->addSeparator();
    connect(PopupMenu1->addAction(QStringLiteral("Help...")), &QAction::triggered, this,
            &Tsettings::HelpClick);
    connect(Memo2, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(Memo2->mapToGlobal(at)); });
    layout->addWidget(voice);
    return page;
}

QWidget *Tsettings::buildControlsetPage() {
    auto *page = named(new QWidget, "ControlsetPage");
    auto *layout = new QVBoxLayout(page);
    auto *group = new QGroupBox(QStringLiteral("Keys to control MP3Player"), page);
    auto *v = new QVBoxLayout(group);
    presetGroup_ = new QButtonGroup(this);
    struct Preset {
        QRadioButton *&button;
        const char *name;
        const char *caption;
        const char *description;
    };
    const Preset presets[] = {
        {RadioButton4, "RadioButton4", "Velbrin Standard",
         "Space = Play/Pause, P = Prev, N = Next, LeftArrow = Rwnd, RightArrow = Ffwd, UpArrow = "
         "Volume up, DownArrow = VolumeDown"},
        {RadioButton5, "RadioButton5", "Media Player compatible",
         "CTRL P = Play/Pause, CTRL B = Prev, CTRL F = Next, CTRL S = Stop, LeftArrow = Rwnd, "
         "RightArrow = Ffwd, F10 = Volume up, F9 = VolumeDown"},
        {RadioButton2, "RadioButton2", "Selvana tandgård", nullptr},
    };
    int id = 0;
    for (const Preset &p : presets) {
        p.button = named(new QRadioButton(QString::fromUtf8(p.caption), group), p.name);
        presetGroup_->addButton(p.button, id++);
        v->addWidget(p.button);
        if (p.description != nullptr) {
            auto *d = new QLabel(QLatin1String(p.description), group);
            d->setWordWrap(true);
            d->setIndent(20);
            v->addWidget(d);
        }
    }
    CheckBox3 = named(new QCheckBox(QStringLiteral("Always listen"), group), "CheckBox3");
    v->addWidget(CheckBox3);
    layout->addWidget(group);
    layout->addStretch();
    return page;
}

QWidget *Tsettings::buildMiscPage() {
    auto *page = named(new QWidget, "MiscPage");
    auto *layout = new QVBoxLayout(page);
    RadioGroup1 = named(new QGroupBox(QStringLiteral("Appearance"), page), "RadioGroup1");
    auto *v = new QVBoxLayout(RadioGroup1);
    appearanceGroup_ = new QButtonGroup(this);
    int id = 0;
    for (const char *caption : {"Windows Standard", "Chrome Skin"}) {
        auto *b = new QRadioButton(QLatin1String(caption), RadioGroup1);
        b->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(id));
        appearanceGroup_->addButton(b, id++);
        v->addWidget(b);
    }
    layout->addWidget(RadioGroup1);
    auto *style = new QHBoxLayout;
    UtseendeLabel = named(new QLabel(QStringLiteral("Utseende:"), page), "UtseendeLabel");
    ComboBox1 = named(new QComboBox(page), "ComboBox1");
    UtseendeLabel->setEnabled(false);
    ComboBox1->setEnabled(false);
    style->addWidget(UtseendeLabel);
    style->addWidget(ComboBox1, 1);
    layout->addLayout(style);
    layout->addStretch();
    return page;
}

// --- change actions -----------------------------------------------------------------------

void Tsettings::connectActions() {
    connect(UseDirectSoundRadioButton, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            outputChosen(1);
        }
    });
    connect(UseWaveDriverRadioButton, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            outputChosen(2);
        }
    });
    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            outputChosen(3);
        }
    });
    // Chosen by the user, WAV output wants its folder now: a song change that
    // comes later never stops to ask.
    connect(RadioButton1, &QRadioButton::clicked, this, [this] {
        if (usableWavDir().isEmpty()) {
            Button1Click();
        }
    });
    connect(Button1, &QPushButton::clicked, this, &Tsettings::Button1Click);
    connect(PitchBar1, &QSlider::valueChanged, this, [this](int position) {
        host_.setPlayerEnvironmentInteger(QLatin1String(kPitchVariable), position);
        WriteIntegerSetting(kEngine, QStringLiteral("Pitch"), position);
    });
    connect(bitbtn5, &QToolButton::clicked, this, [this] { PitchBar1->setValue(kPitchNormal); });
    connect(LoudnessComboBox, &QComboBox::currentTextChanged, this,
            [](const QString &text) { WriteSetting(kEngine, QStringLiteral("Loudness"), text); });
    connect(priorityGroup_, &QButtonGroup::idToggled, this, [this](int index, bool on) {
        if (on) {
            host_.setPriority(index);
            WriteIntegerSetting(kEngine, QStringLiteral("Priority"), index);
        }
    });

    connect(cbVoices, &QComboBox::currentIndexChanged, this, &Tsettings::voiceChosen);
    connect(tbRate, &QSlider::valueChanged, this, &Tsettings::rateMoved);
    connect(Button9, &QPushButton::clicked, this, [this] { SpeakText(Memo1->toPlainText()); });

    for (QSlider *level : {VolumeTrackBar, TrackBar1, TrackBar2}) {
        auto *value = findChild<QLabel *>(level->objectName() + QStringLiteral("Value"));
        connect(level, &QSlider::valueChanged, this, [level, value](int position) {
            WriteIntegerSetting(kDj, QStringLiteral("MinVolume") + modeOf(level), position);
            value->setNum(position);
        });
    }
    for (QSpinBox *overlap : {SpinEdit1, SpinEdit2, SpinEdit3}) {
        connect(overlap, &QSpinBox::valueChanged, this, [overlap](int seconds) {
            WriteIntegerSetting(kDj, QStringLiteral("Overlap") + modeOf(overlap), seconds);
        });
    }
    connect(CheckBox1, &QCheckBox::toggled, this,
            [](bool on) { WriteBooleanSetting(kDj, QStringLiteral("UseDJ"), on); });
    connect(CheckBox2, &QCheckBox::toggled, this,
            [](bool on) { WriteBooleanSetting(kDj, QStringLiteral("UseRandomDJText"), on); });
    connect(DuckSpinEdit, &QSpinBox::valueChanged, this, [this](int decibels) {
        WriteIntegerSetting(kDj, QStringLiteral("DuckDepth"), decibels);
        host_.setDuckDepth(decibels);
    });
    connect(SkipSilenceCheckBox, &QCheckBox::toggled, this,
            [](bool on) { WriteBooleanSetting(kDj, QStringLiteral("SkipSilence"), on); });
    connect(CheckBox3, &QCheckBox::toggled, this,
            [](bool on) { WriteBooleanSetting(kKeys, QStringLiteral("AlwaysListen"), on); });
    connect(TabControl1, &QTabBar::currentChanged, this, [this](int index) {
        Memo2->setPlainText(ReadSetting(kDj, QStringLiteral("DJ-text%1").arg(index)));
    });
    connect(Memo2, &QPlainTextEdit::textChanged, this, [this] {
        WriteSetting(kDj, QStringLiteral("DJ-text%1").arg(TabControl1->currentIndex()),
                     Memo2->toPlainText());
    });
    connect(presetGroup_, &QButtonGroup::idToggled, this, [](int preset, bool on) {
        if (on) {
            WriteIntegerSetting(kKeys, QStringLiteral("Default"), preset);
        }
    });
    connect(appearanceGroup_, &QButtonGroup::idToggled, this, [this](int index, bool on) {
        if (!on) {
            return;
        }
        WriteIntegerSetting(QStringLiteral("Appearance"), QStringLiteral("Skin"), index);
        UtseendeLabel->setEnabled(index == 0);
        ComboBox1->setEnabled(index == 0);
    });
    connect(ComboBox1, &QComboBox::currentTextChanged, this, &Tsettings::styleChosen);
}

void Tsettings::outputChosen(int module) {
    Button1->setEnabled(RadioButton1->isChecked());
    host_.chooseOutput(module);
    WriteIntegerSetting(kEngine, QStringLiteral("OutputModule"), module);
    if (module == 2) {
        PitchBar1->setValue(kPitchNormal);
    } else if (module == 3) {
        // A WAV file per song wants whole songs, not cross-fades.
        host_.selectPlayMode(0);
    }
}

void Tsettings::Button1Click() {
    QString start = usableWavDir();
    if (start.isEmpty()) {
        start = host_.appDir();
    }
    const QString chosen = chooseFolder ? chooseFolder(start) : QString();
    if (chosen.isEmpty()) {
        return;
    }
    WriteSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir"), chosen);
    setWavDirLabel();
}

void Tsettings::setWavDirLabel() {
    const QString dir = usableWavDir();
    WavDirLabel->setText(!dir.isEmpty() ? dir : kNoDir);
}

void Tsettings::voiceChosen(int index) {
    if (index < 0) {
        return;
    }
    {
        const QSignalBlocker quiet(speech_.cbVoices);
        speech_.cbVoices->setCurrentIndex(index);
    }
    speech_.CurrentVoiceName = cbVoices->itemText(index);
    WriteSetting(QStringLiteral("Text2Speech"), QStringLiteral("Voice"), speech_.CurrentVoiceName);
    speech_.VoiceChange();
}

void Tsettings::rateMoved(int position) {
    // The speech window's slider stops the current speech before the new rate.
    speech_.tbRate->setValue(position);
    speech_.voice().setRate(position);
    lblRate->setNum(position);
    WriteIntegerSetting(QStringLiteral("Text2Speech"), QStringLiteral("SpeedSAPI5.1"), position);
}

void Tsettings::styleChosen(const QString &name) {
    if (fupdating || name.isEmpty()) {
        return;
    }
    WriteSetting(QStringLiteral("KlientSettings"), QStringLiteral("Style"), name);
    if (QStyle *style = QStyleFactory::create(name)) {
        QApplication::setStyle(style);
        host_.styleApplied();
    } else {
        QMessageBox::warning(this, QStringLiteral("Error"),
                             QStringLiteral("The style \"%1\" is not available.").arg(name));
    }
}

void Tsettings::insertVariable(const QString &variable) {
    QTextCursor cursor = Memo2->textCursor();
    cursor.setPosition(cursor.selectionStart());
    cursor.insertText(variable);
    Memo2->setTextCursor(cursor);
}

void Tsettings::HelpClick() {
    ShowInformation(QStringLiteral("The following varables can be used:\r\r%ARTIST% = The name "
                                   "of the Artist\r%SONGTITLE% = The name of the Song\r%ALBUM% = "
                                   "The name of the Album\r%YEAR% = The year of the Song"));
}

// --- load and refresh ---------------------------------------------------------------------

void Tsettings::FormCreate() {
    const int priority = ReadIntegerSetting(kEngine, QStringLiteral("Priority"), 4);
    if (priority >= 0) {
        priorityGroup_->button(std::min(priority, 4))->setChecked(true);
    }
    VolumeTrackBar->setValue(ReadIntegerSetting(kDj, QStringLiteral("MinVolumeStudio"), 43));
    TrackBar1->setValue(ReadIntegerSetting(kDj, QStringLiteral("MinVolumeLive"), 24));
    TabControl1->setCurrentIndex(0);
    const QString first = ReadSetting(kDj, QStringLiteral("DJ-text0"));
    if (first != Memo2->toPlainText()) {
        Memo2->setPlainText(first);
    }
    if (Memo2->toPlainText().trimmed().isEmpty()) {
        Memo2->setPlainText(kDefaultTemplate);
    }
    const int skin = ReadIntegerSetting(QStringLiteral("Appearance"), QStringLiteral("Skin"), 1);
    if (QAbstractButton *b = appearanceGroup_->button(skin)) {
        b->setChecked(true);
    }
    CheckBox1->setChecked(ReadBooleanSetting(kDj, QStringLiteral("UseDJ"), false));
    CheckBox3->setChecked(ReadBooleanSetting(kKeys, QStringLiteral("AlwaysListen"), false));
    CheckBox2->setChecked(ReadBooleanSetting(kDj, QStringLiteral("UseRandomDJText"), false));
    SpinEdit1->setValue(ReadIntegerSetting(kDj, QStringLiteral("OverlapStudio"), 6));
    if (QAbstractButton *b =
            presetGroup_->button(ReadIntegerSetting(kKeys, QStringLiteral("Default"), 0))) {
        b->setChecked(true);
    }
    SpinEdit2->setValue(ReadIntegerSetting(kDj, QStringLiteral("OverlapLive"), 11));
    setWavDirLabel();
    switch (ReadIntegerSetting(kEngine, QStringLiteral("OutputModule"), 1)) {
    case 2:
        UseWaveDriverRadioButton->setChecked(true);
        break;
    case 3:
        RadioButton1->setChecked(true);
        break;
    default:
        break; // "Use DirectSound" is selected already
    }
    PitchBar1->setValue(ReadIntegerSetting(kEngine, QStringLiteral("Pitch"), kPitchNormal));
    // Anything but "Off" (a missing value too) matches the songs' loudness.
    const bool loudnessOff = ReadSetting(kEngine, QStringLiteral("Loudness"))
                                 .compare(QLatin1String("Off"), Qt::CaseInsensitive) == 0;
    {
        // Shown, not stored: a missing value stays missing until chosen.
        const QSignalBlocker quiet(LoudnessComboBox);
        LoudnessComboBox->setCurrentIndex(loudnessOff ? 0 : 1);
    }
    {
        // Shown, not stored; the program reads them itself.
        const StudioSound sound = readStudioSound(ProgramSettings());
        const QSignalBlocker quietDuck(DuckSpinEdit);
        const QSignalBlocker quietSkip(SkipSilenceCheckBox);
        DuckSpinEdit->setValue(sound.duckDepthDb);
        SkipSilenceCheckBox->setChecked(sound.skipSilence);
    }
    FormShow();
}

void Tsettings::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void Tsettings::FormShow() {
    {
        fupdating = true;
        const auto done = qScopeGuard([this] { fupdating = false; });
        ComboBox1->clear();
        ComboBox1->addItems(host_.styleNames());
        ComboBox1->setCurrentIndex(host_.activeStyleIndex());
    }
    if (!SpeechAvailable()) {
        SpeechPage->setEnabled(false);
        return;
    }
    SpeechPage->setEnabled(true);
    {
        // Copying the list is not a choice of the user: nothing is stored.
        const QSignalBlocker quiet(cbVoices);
        cbVoices->clear();
        for (int i = 0; i < speech_.cbVoices->count(); ++i) {
            cbVoices->addItem(speech_.cbVoices->itemText(i));
        }
        cbVoices->setCurrentIndex(speech_.cbVoices->currentIndex());
    }
    tbRate->setValue(speech_.tbRate->value());
}

} // namespace velbrin::settings
