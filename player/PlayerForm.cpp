#include "PlayerForm.h"

#include "EngineDurationProbe.h"
#include "PlayerLogic.h"
#include "Skin.h"
#include "TCoolScrollingText.h"
#include "TFEditTag.h"
#include "TSlider.h"
#include "TVolumeForm.h"
#include "TfrmPlayCategories.h"
#include "Tplaylist.h"
#include "id3v1.h"
#include "message_helpers.h"
#include "play_order.h"
#include "playlist_files.h"
#include "secondary_windows.h"
#include "settings_store.h"
#include "song_library.h"

#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolButton>

namespace velbrin::player {

using engine::TKelvraSpectrum;

namespace {

constexpr int kClientWidth = 512;
constexpr int kClientHeight = 188;
constexpr int kStatusHeight = 20;
const char *const kOutputModule = "dsound_output_module_register@kv_dsound_output.dll";
const char *const kWindowVariable = "OUTPUT.DIRECTSOUND.WINDOW";

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry,
                  const QColor &colour) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText); // tags and paths are never markup
    label->setGeometry(geometry);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    label->setPalette(p);
    return label;
}

QToolButton *makeButton(QWidget *parent, const char *name, Skin::Picture glyph, const QString &hint,
                        int x) {
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(QIcon(Skin::picture(glyph)));
    b->setToolTip(hint);
    b->setStatusTip(hint);
    b->setGeometry(x, 110, 28, 26);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

std::string ansi(const QString &text) {
    return text.toLocal8Bit().toStdString();
}

// text + " (" + the engine's wording of the code + ")".
void showEngineError(const QString &text, int code, engine::TKelvraSpectrum &engine) {
    ShowEngineError(text, code,
                    [&engine](int c) { return QString::fromLocal8Bit(engine.ErrorString(c)); });
}

} // namespace

TPlayerForm::TPlayerForm(Options options, QWidget *parent)
    : QMainWindow(parent), options_(std::move(options)),
      tags_(std::make_unique<library::TagReader>()) {
    setObjectName(QStringLiteral("PlayerForm"));
    setApplicationTitle(QStringLiteral("Velbrin MP3 Player"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    KelvraSpelare1 = new TKelvraSpectrum(this);
    KelvraSpelare2 = new TKelvraSpectrum(this);
    KelvraPlayer3 = new TKelvraSpectrum(this);
    for (auto [player, name] :
         {std::pair{KelvraSpelare1, "KelvraSpelare1"}, std::pair{KelvraSpelare2, "KelvraSpelare2"},
          std::pair{KelvraPlayer3, "KelvraPlayer3"}}) {
        player->setObjectName(QLatin1String(name));
        player->setPriority(4);
        player->setKelvraPath(options_.enginePath);
        bindEvents(player);
    }

    probe_ = std::make_unique<library::EngineDurationProbe>(*KelvraPlayer3);

    buildControls();
    buildMenus();
    infoForm_ = new TInfoForm(this);
    modulesForm_ = new TModulesForm(this);
    infoForm_->setModulesForm(modulesForm_);
    infoForm_->setCurrentPlayer([this] { return KelvraSpectrum1; });
    FormCreate();
}

TPlayerForm::~TPlayerForm() {
    // The playlist window measures durations through the probe, which goes with
    // this object; the window must go first.
    delete std::exchange(playlist_, nullptr);
}

void TPlayerForm::setPlaylist(library::Tplaylist *playlist) {
    playlist_ = playlist;
    probe_->attach(playlist_->durations());
    library::SongLibrary &songs = playlist_->library();
    order_ = std::make_unique<library::PlayOrder>(songs.list, songs.categories, [](int n) {
        return static_cast<int>(QRandomGenerator::global()->bounded(n));
    });
    order_->modes.shuffle = shuffle->isChecked();
    order_->modes.repeatAll = checkbox1->isChecked();
    order_->modes.currentTrack = LoopedCb->isChecked();
    initButtons();
}

int TPlayerForm::windowHandle() {
    return static_cast<int>(winId());
}

void TPlayerForm::buildControls() {
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainPanel"));
    central->setFixedSize(kClientWidth, kClientHeight - kStatusHeight);
    setCentralWidget(central);

    BackgroundImage = new QLabel(central);
    BackgroundImage->setObjectName(QStringLiteral("BackgroundImage"));
    BackgroundImage->setPixmap(Skin::picture(Skin::Picture::WindowBackground));
    BackgroundImage->setGeometry(0, 0, kClientWidth, kClientHeight);
    LeftPanelImage = new QLabel(central);
    LeftPanelImage->setObjectName(QStringLiteral("LeftPanelImage"));
    LeftPanelImage->setPixmap(Skin::picture(Skin::Picture::LeftPanel));
    LeftPanelImage->setGeometry(Skin::LeftPanelRect);
    RightPanelImage = new QLabel(central);
    RightPanelImage->setObjectName(QStringLiteral("RightPanelImage"));
    RightPanelImage->setPixmap(Skin::picture(Skin::Picture::RightPanel));
    RightPanelImage->setGeometry(Skin::RightPanelRect);

    // The keyboard focus holder lies behind everything else.
    Edit2 = new QLineEdit(central);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(0, 0, 1, 1);
    Edit2->lower();

    const QColor yellow(255, 255, 0);
    const QColor aqua(0, 255, 255);
    const QRect l = Skin::LeftPanelRect;
    artist = makeLabel(central, "artist", QStringLiteral("Artist"),
                       QRect(l.x() + 8, l.y() + 4, l.width() - 16, 17), yellow);
    album = makeLabel(central, "album", QStringLiteral("Album"),
                      QRect(l.x() + 8, l.y() + 22, l.width() - 16, 17), yellow);
    category = makeLabel(central, "category", QStringLiteral("Category"),
                         QRect(l.x() + 8, l.y() + 40, l.width() - 40, 17), yellow);
    Label8 = makeLabel(central, "Label8", QStringLiteral(">>>"),
                       QRect(l.right() - 30, l.y() + 40, 26, 17), aqua);
    year = makeLabel(central, "year", QStringLiteral("Year"),
                     QRect(l.x() + 8, l.y() + 58, l.width() - 16, 17), yellow);

    const QRect t = Skin::TitleRect;
    title = makeLabel(central, "title", QString(), t, aqua);
    title->setAlignment(Qt::AlignCenter);
    QFont titleFont(QStringLiteral("Comic Sans MS"));
    titleFont.setPixelSize(16);
    title->setFont(titleFont);
    Title2 = new TCoolScrollingText(central);
    Title2->setObjectName(QStringLiteral("Title2"));
    Title2->setGeometry(t);
    Title2->setFont(titleFont);
    Title2->setFontColor(aqua);
    Title2->setSimpleView(true);
    Title2->setTransparent(true);
    Title2->setVisible(false);

    const QRect r = Skin::RightPanelRect;
    makeLabel(central, "TimeLabel", QStringLiteral("Time:"), QRect(r.x() + 8, r.y() + 32, 40, 17),
              yellow);
    TimeCode = makeLabel(central, "TimeCode", QStringLiteral("00:00:00"),
                         QRect(r.x() + 50, r.y() + 32, 70, 17), yellow);
    DurationText = makeLabel(central, "DurationText", QStringLiteral("00:00:00"),
                             QRect(r.right() - 74, r.y() + 32, 70, 17), yellow);
    comments = makeLabel(central, "comments", QStringLiteral("Comments"),
                         QRect(r.x() + 8, r.y() + 54, r.width() - 16, 17), yellow);
    Label2 = makeLabel(central, "Label2", QStringLiteral("0"), QRect(8, 90, 20, 14),
                       QColor(128, 128, 128));

    struct ButtonSpec {
        QToolButton *&field;
        const char *name;
        Skin::Picture glyph;
        const char *hint;
    };
    const ButtonSpec buttons[] = {
        {prevdisc, "prevdisc", Skin::Picture::GlyphPreviousFolder,
         "Moves to the previous directory"},
        {bitbtn1, "bitbtn1", Skin::Picture::GlyphPrevious, "Plays previous song"},
        {PlayButton, "PlayButton", Skin::Picture::GlyphPlay, "Plays the current song"},
        {PauseButton, "PauseButton", Skin::Picture::GlyphPause, "Pauses the current song"},
        {StopButton, "StopButton", Skin::Picture::GlyphStop, "Stops playing"},
        {bitbtn2, "bitbtn2", Skin::Picture::GlyphNext, "Plays next song"},
        {nextdisc, "nextdisc", Skin::Picture::GlyphNextFolder, "Moves to the next directory"},
        {playlistbutton, "playlistbutton", Skin::Picture::GlyphPlaylist, "Shows the playlist"},
        {VolumeButton, "VolumeButton", Skin::Picture::GlyphVolume, "Sound Settings"},
    };
    int x = 8;
    for (const ButtonSpec &b : buttons) {
        b.field = makeButton(central, b.name, b.glyph, QString::fromLatin1(b.hint), x);
        x += 30;
    }
    SpeedButton1 = new QToolButton(central);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("Trackinfo..."));
    SpeedButton1->setToolTip(QStringLiteral("Shows miscellaneous information"));
    SpeedButton1->setGeometry(436, 110, 68, 26);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    PlayButton->setEnabled(false);
    PauseButton->setEnabled(false);
    StopButton->setEnabled(false);

    ModePanel = new QFrame(central);
    ModePanel->setObjectName(QStringLiteral("ModePanel"));
    ModePanel->setGeometry(8, 140, 306, 26);
    shuffle = new QCheckBox(ModePanel);
    shuffle->setObjectName(QStringLiteral("shuffle"));
    shuffle->setToolTip(QStringLiteral("Plays the songs in random order"));
    shuffle->setGeometry(4, 5, 16, 16);
    // Dark mode captions read on the light metal of the skin.
    const QColor navy(0, 0, 96);
    ShuffleLabel =
        makeLabel(ModePanel, "ShuffleLabel", QStringLiteral("Shuffle"), QRect(22, 5, 50, 16), navy);
    RepeatLabel =
        makeLabel(ModePanel, "RepeatLabel", QStringLiteral("Repeat"), QRect(80, 5, 48, 16), navy);
    checkbox1 = new QCheckBox(ModePanel);
    checkbox1->setObjectName(QStringLiteral("checkbox1"));
    checkbox1->setToolTip(QStringLiteral("Repeats all songs"));
    checkbox1->setGeometry(128, 5, 16, 16);
    AllSongsLabel = makeLabel(ModePanel, "AllSongsLabel", QStringLiteral("All songs"),
                              QRect(146, 5, 58, 16), navy);
    LoopedCb = new QCheckBox(ModePanel);
    LoopedCb->setObjectName(QStringLiteral("LoopedCb"));
    LoopedCb->setToolTip(QStringLiteral("Repeats the current song"));
    LoopedCb->setGeometry(206, 5, 16, 16);
    CurrentTrackLabel = makeLabel(ModePanel, "CurrentTrackLabel", QStringLiteral("Current track"),
                                  QRect(224, 5, 82, 16), navy);

    RadioGroup1 = new QGroupBox(QStringLiteral("Playmode"), central);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setGeometry(316, 136, 188, 32);
    const QStringList &captions = playModeCaptions();
    for (int i = 0; i < captions.size(); ++i) {
        auto *b = new QRadioButton(captions.at(i), RadioGroup1);
        b->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(i));
        b->setGeometry(6 + 60 * i, 13, 58, 16);
        b->setFocusPolicy(Qt::NoFocus);
        modeButtons_ << b;
        connect(b, &QRadioButton::clicked, this, [this] { RadioGroup1Click(); });
    }

    pnlWorking = new QFrame(central);
    pnlWorking->setObjectName(QStringLiteral("pnlWorking"));
    pnlWorking->setFrameShape(QFrame::StyledPanel);
    pnlWorking->setAutoFillBackground(true);
    pnlWorking->setGeometry(106, 23, 300, 64);
    auto *busyText =
        new QLabel(QStringLiteral("Adding files to playlist, please wait..."), pnlWorking);
    busyText->setGeometry(10, 6, 280, 18);
    busyText->setAlignment(Qt::AlignCenter);
    busyAnimation_ = new QLabel(pnlWorking);
    busyAnimation_->setGeometry(126, 30, Skin::BusyFrameSize.width(), Skin::BusyFrameSize.height());
    busyTimer_ = new QTimer(this);
    busyTimer_->setInterval(100);
    connect(busyTimer_, &QTimer::timeout, this,
            [this] { busyAnimation_->setPixmap(Skin::busyFrame(++busyFrame_)); });
    pnlWorking->hide();

    ListBox2 = new QListWidget(central);
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->hide();
    ComboBox1 = new QComboBox(central);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->hide();

    Slider = new TSlider(central);
    Slider->setObjectName(QStringLiteral("Slider"));
    connect(Slider, &TSlider::OnChange, this, [this](TSlider *) {
        KelvraSpectrum1->InputSeek(static_cast<uint32_t>(Slider->Position()),
                                   static_cast<uint32_t>(Slider->Maximum()));
    });
    connect(Slider, &TSlider::OnMouseDown, this, [this] { Tracking = true; });
    connect(Slider, &TSlider::OnMouseUp, this, [this] { Tracking = false; });

    auto *bar = new QStatusBar(this);
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(kStatusHeight);
    bar->setContentsMargins(0, 0, 0, 0);
    QFont small = bar->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    bar->setFont(small);
    const int widths[6] = {42, 60, 138, 82, 70, 100};
    const QString initial[6] = {
        QStringLiteral("Status:"),           QStringLiteral("Idle..."), {}, {}, {},
        QStringLiteral("Playlist: 00:00:00")};
    for (int i = 0; i < 6; ++i) {
        auto *panel = new QLabel(initial[i], bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setTextFormat(Qt::PlainText);
        panel->setFixedWidth(widths[i]);
        bar->addWidget(panel);
        panels_ << panel;
    }
    setStatusBar(bar);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(10000);
    Timer2->setSingleShot(true);
    connect(Timer2, &QTimer::timeout, this, &TPlayerForm::Timer2Timer);
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(200);
    Timer3->setSingleShot(true);
    connect(Timer3, &QTimer::timeout, this, &TPlayerForm::Timer3Timer);
    Timer5 = new QTimer(this);
    Timer5->setObjectName(QStringLiteral("Timer5"));
    Timer5->setInterval(500);

    connect(PlayButton, &QToolButton::clicked, this, &TPlayerForm::PlayButtonClick);
    connect(PauseButton, &QToolButton::clicked, this, &TPlayerForm::PauseButtonClick);
    connect(StopButton, &QToolButton::clicked, this, &TPlayerForm::StopButtonClick);
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { infoForm_->show(); });
    connect(VolumeButton, &QToolButton::clicked, this, [this] {
        if (volumeForm_ != nullptr) {
            volumeForm_->show();
            volumeForm_->raise();
        }
    });
    Label8->installEventFilter(this);
}

void TPlayerForm::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    QAction *open = file->addAction(QStringLiteral("&Open..."));
    open->setObjectName(QStringLiteral("Open1"));
    open->setShortcut(QKeySequence(Qt::Key_F3));
    connect(open, &QAction::triggered, this, [this] {
        const QString lastDrive =
            ReadSetting(QStringLiteral("Settings"), QStringLiteral("LastDrive"));
        const QStringList files = QFileDialog::getOpenFileNames(
            this, QStringLiteral("Open"), QDir(lastDrive).exists() ? lastDrive : QString(),
            QStringLiteral("MPEG-Music files and playlists (*.mp3 *.mp1 *.mp2 *.mpg *.lst *.pls "
                           "*.m3u *.m3u8);;All files (*)"));
        if (files.isEmpty()) {
            return;
        }
        addNames(files, true);
        WriteSetting(QStringLiteral("Settings"), QStringLiteral("LastDrive"),
                     QFileInfo(files.front()).absolutePath() + QLatin1Char('/'));
    });
    file->addSeparator();
    file->addAction(QStringLiteral("&Play CD..."))->setObjectName(QStringLiteral("PlayCD1"));
    file->addSeparator();
    file->addAction(QStringLiteral("Make &Wave-file"))->setObjectName(QStringLiteral("MakeWave1"));
    QAction *record = file->addAction(QStringLiteral("&Record..."));
    record->setObjectName(QStringLiteral("Record1"));
    record->setShortcut(QKeySequence(Qt::Key_F8));
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction *tag = edit->addAction(QStringLiteral("&TAG..."));
    tag->setObjectName(QStringLiteral("TAG1"));
    tag->setShortcut(QKeySequence(Qt::Key_F5));
    QAction *playlistItem = edit->addAction(QStringLiteral("&Playlist..."));
    playlistItem->setObjectName(QStringLiteral("Playlist1"));
    connect(playlistItem, &QAction::triggered, this, &TPlayerForm::playlistbuttonClick);
    edit->addAction(QStringLiteral("&Settings..."))->setObjectName(QStringLiteral("Settings1"));
    edit->addAction(QStringLiteral("&Volume..."))->setObjectName(QStringLiteral("Volume1"));

    QMenu *saver = menuBar()->addMenu(QStringLiteral("Screensaver"));
    auto *group = new QActionGroup(this);
    QAction *on = saver->addAction(QStringLiteral("On"));
    QAction *off = saver->addAction(QStringLiteral("Off"));
    on->setObjectName(QStringLiteral("ScreensaverOn"));
    off->setObjectName(QStringLiteral("ScreensaverOff"));
    for (QAction *a : {on, off}) {
        a->setCheckable(true);
        group->addAction(a);
    }
    on->setChecked(true);
    connect(on, &QAction::triggered, this, [this] { fScreenSaverActive = true; });
    connect(off, &QAction::triggered, this, [this] { fScreenSaverActive = false; });

    QMenu *help = menuBar()->addMenu(QStringLiteral("&?"));
    QAction *about = help->addAction(QStringLiteral("&About"));
    about->setObjectName(QStringLiteral("About1"));
    connect(about, &QAction::triggered, this, [this] {
        TAboutBox box(this);
        box.exec();
    });
}

void TPlayerForm::FormCreate() {
    fScreenSaverActive = true;
    applyStyle();
    // The standard generator seeds itself from the system's entropy.
    LastPlayFirstWrite = true;
    setAcceptDrops(true);
    AppDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    KelvraSpectrum1 = KelvraSpelare1;
    KelvraSpectrumOld = KelvraSpelare2;

    auto guarded = [](const std::function<void()> &step) {
        try {
            step();
        } catch (const engine::EKelvraException &e) {
            ShowInformation(QString::fromLocal8Bit(e.what()));
        }
    };
    guarded([this] {
        configureSongPlayer(KelvraSpelare1);
        configureSongPlayer(KelvraSpelare2);
        WavFileOutput = false;
        const int output =
            ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("OutputModule"), 1);
        if (auto name = deviceOutputName(output)) {
            KelvraSpelare1->SetOutputName(ansi(*name));
            KelvraSpelare2->SetOutputName(ansi(*name));
        } else if (output == 3) {
            WavFileOutput = true;
        }
    });

    applyAppearance(ReadIntegerSetting(QStringLiteral("Appearance"), QStringLiteral("Skin"), 1));

    guarded([this] {
        KelvraSpectrum1->Init();
        KelvraSpectrumOld->Init();
    });
    setupDurationProbe();

    const int mode =
        playModeIndex(ReadSetting(QStringLiteral("Settings"), QStringLiteral("PlayMode")));
    modeButtons_.at(mode)->setChecked(true);
    RadioGroup1Click();

    // The slider's track follows the window colour: light track on light colours.
    const QColor panelColour = palette().color(QPalette::Window);
    Slider->setThumbNormal(Skin::picture(Skin::Picture::ThumbNormal));
    Slider->setThumbHighlighted(Skin::picture(Skin::Picture::ThumbHighlighted));
    Slider->setThumbClicked(Skin::picture(Skin::Picture::ThumbClicked));
    Slider->setTrack(Skin::picture(Skin::trackFor(panelColour)));
    Slider->setMinimum(0);
    Slider->setMaximum(400);
    Slider->setGeometry(QRect(Skin::SliderPos, Slider->Track().size()));
    Tracking = false;

    connect(shuffle, &QCheckBox::toggled, this, &TPlayerForm::shuffleClick);
    connect(checkbox1, &QCheckBox::toggled, this, &TPlayerForm::checkbox1Click);
    connect(LoopedCb, &QCheckBox::toggled, this, &TPlayerForm::LoopedCbClick);
    connect(bitbtn1, &QToolButton::clicked, this, [this] { StepSong(-1); });
    connect(bitbtn2, &QToolButton::clicked, this, [this] { StepSong(+1); });
    connect(prevdisc, &QToolButton::clicked, this, [this] { MoveToDirectory(false); });
    connect(nextdisc, &QToolButton::clicked, this, [this] { MoveToDirectory(true); });
    connect(playlistbutton, &QToolButton::clicked, this, &TPlayerForm::playlistbuttonClick);
}

void TPlayerForm::configureSongPlayer(TKelvraSpectrum *player) {
    player->OutputModuleRegister(kOutputModule);
    player->SetPlayerEnvironmentInteger(kWindowVariable, windowHandle());
}

void TPlayerForm::setupDurationProbe() {
    try {
        configureSongPlayer(KelvraPlayer3);
        const int output =
            ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("OutputModule"), 1);
        if (auto name = deviceOutputName(output)) {
            KelvraPlayer3->SetOutputName(ansi(*name));
        }
        KelvraPlayer3->Init();
        KelvraPlayer3->Stop();
        KelvraPlayer3->OutputReset();
        KelvraPlayer3->Synchronize();
    } catch (const std::exception &e) {
        ShowInformation(QStringLiteral("There was an error initializing the PlayListPlayer!\r\r") +
                        QString::fromLocal8Bit(e.what()));
    }
}

void TPlayerForm::applyStyle() {
    ComboBox1->addItems(QStyleFactory::keys());
    try {
        if (ReadSetting(QStringLiteral("KlientSettings"), QStringLiteral("Style")) ==
            QLatin1String("ERROR")) {
            WriteSetting(QStringLiteral("KlientSettings"), QStringLiteral("Style"),
                         QStringLiteral("Windows"));
        }
        const QString name = ReadSetting(QStringLiteral("KlientSettings"), QStringLiteral("Style"));
        for (const QString &key : QStyleFactory::keys()) {
            if (!name.isEmpty() && key.compare(name, Qt::CaseInsensitive) == 0) {
                QApplication::setStyle(key);
                break;
            }
        }
        ComboBox1->setCurrentText(QApplication::style()->name());
    } catch (...) {
        // An unusable style leaves the default look.
    }
}

void TPlayerForm::applyAppearance(int skin) {
    if (skin != 0) {
        return;
    }
    BackgroundImage->hide();
    LeftPanelImage->hide();
    RightPanelImage->hide();
    QPalette p = palette();
    p.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    setPalette(p);
    auto colour = [](QLabel *label, const QColor &c) {
        QPalette lp = label->palette();
        lp.setColor(QPalette::WindowText, c);
        label->setPalette(lp);
    };
    colour(ShuffleLabel, QColor(0, 128, 0));
    for (QLabel *label : {RepeatLabel, AllSongsLabel, CurrentTrackLabel}) {
        colour(label, QColor(128, 0, 0));
    }
    ModePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    // Without the panel pictures the display keeps plain black panels, so its
    // light texts stay readable.
    for (QRect r : {Skin::LeftPanelRect, Skin::RightPanelRect}) {
        auto *panel = new QFrame(centralWidget());
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAutoFillBackground(true);
        QPalette pp = panel->palette();
        pp.setColor(QPalette::Window, Qt::black);
        panel->setPalette(pp);
        panel->setGeometry(r);
        panel->show();
        panel->stackUnder(artist);
    }
}

void TPlayerForm::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TPlayerForm::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    // Some window managers never activate a new window (focus-stealing
    // prevention); the command line must still be processed then.
    QTimer::singleShot(1000, this, [this] {
        if (!activatedOnce_) {
            activatedOnce_ = true;
            Timer3->start();
        }
    });
}

void TPlayerForm::FormActivate() {
    if (!activatedOnce_) {
        activatedOnce_ = true;
        Timer3->start();
    }
    Edit2->setFocus();
}

void TPlayerForm::Timer3Timer() {
    Timer3->stop();
    if (!options_.arguments.isEmpty()) {
        showworkpanel();
    }
    if (playlist_ != nullptr) {
        library::SongLibrary &songs = playlist_->library();
        for (const QString &entry : options_.arguments) {
            switch (classifyEntry(entry)) {
            case EntryKind::Song:
                songs.ProcessFile(entry);
                break;
            case EntryKind::Playlist:
                if (const auto result = songs.ProcessFile2(entry); result.message) {
                    ShowInformation(*result.message);
                }
                break;
            case EntryKind::OtherFile:
                break;
            case EntryKind::Folder:
                songs.ScanDir(entry);
                break;
            }
        }
        songs.list.selectAfterAdd(IsPlaying, CurrentSongFile);
    }
    hideworkpanel();
    initButtons();
    if (playlist_ != nullptr) {
        playlist_->songListChanged();
    }
    restoreModeCheckBoxes();
    emit commandLineProcessed();
}

void TPlayerForm::restoreModeCheckBoxes() {
    shuffle->setChecked(
        ReadBooleanSetting(QStringLiteral("Settings"), QStringLiteral("ShuffleOn"), false));
    checkbox1->setChecked(
        ReadBooleanSetting(QStringLiteral("Settings"), QStringLiteral("RepeatAll"), false));
}

void TPlayerForm::addNames(const QStringList &names, bool chosenInDialog) {
    // The song list is the playlist window's; it adds the names as its own
    // commands do and keeps this window's buttons in step.
    if (playlist_ == nullptr) {
        return;
    }
    if (chosenInDialog) {
        playlist_->addChosenFiles(names);
    } else {
        playlist_->dropNames(names);
    }
}

void TPlayerForm::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TPlayerForm::dropEvent(QDropEvent *event) {
    QStringList names;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            names << url.toLocalFile();
        }
    }
    event->acceptProposedAction();
    addNames(names, false);
}

// --- play order -----------------------------------------------------------------------

void TPlayerForm::initButtons() {
    if (order_ == nullptr) {
        return;
    }
    const library::NavButtons b = order_->initButtons();
    bitbtn1->setEnabled(b.previousSong);
    bitbtn2->setEnabled(b.nextSong);
    prevdisc->setEnabled(b.previousFolder);
    nextdisc->setEnabled(b.nextFolder);
}

void TPlayerForm::playSelection() {
    initButtons();
    library::SongList &list = playlist_->library().list;
    const int i = list.itemIndex();
    playlist_->filename = i >= 0 && i < list.count() ? list.path(i) : QString();
    playlist_->songListChanged();
    // A step that found no song only refreshes the buttons; nothing is opened.
    if (!playlist_->filename.isEmpty()) {
        initPlayer(playlist_->filename);
    }
}

void TPlayerForm::StepSong(int direction) {
    if (order_ == nullptr) {
        return;
    }
    switch (order_->StepSong(direction)) {
    case library::NavOutcome::PlaySelection:
        playSelection();
        break;
    case library::NavOutcome::RefreshButtons:
        initButtons();
        break;
    case library::NavOutcome::Nothing:
        break;
    }
}

void TPlayerForm::MoveToDirectory(bool forward) {
    if (order_ == nullptr) {
        return;
    }
    const library::NavOutcome outcome = order_->MoveToDirectory(forward);
    if (outcome == library::NavOutcome::PlaySelection) {
        playSelection();
    } else {
        // The folder buttons follow the selection the walk ended on.
        initButtons();
        if (outcome == library::NavOutcome::RefreshButtons) {
            (forward ? nextdisc : prevdisc)->setEnabled(false);
        }
    }
}

void TPlayerForm::shuffleClick() {
    WriteBooleanSetting(QStringLiteral("Settings"), QStringLiteral("ShuffleOn"),
                        shuffle->isChecked());
    if (order_ != nullptr && order_->shuffleClicked(shuffle->isChecked())) {
        StepSong(+1); // a random song starts at once
    }
    Edit2->setFocus();
}

void TPlayerForm::checkbox1Click() {
    WriteBooleanSetting(QStringLiteral("Settings"), QStringLiteral("RepeatAll"),
                        checkbox1->isChecked());
    if (order_ != nullptr) {
        order_->repeatAllClicked(checkbox1->isChecked());
    }
    if (checkbox1->isChecked() && LoopedCb->isChecked()) {
        LoopedCb->setChecked(false);
    }
    initButtons();
    Edit2->setFocus();
}

void TPlayerForm::LoopedCbClick() {
    if (order_ != nullptr) {
        order_->currentTrackClicked(LoopedCb->isChecked());
    }
    if (LoopedCb->isChecked() && checkbox1->isChecked()) {
        checkbox1->setChecked(false);
    }
    Edit2->setFocus();
}

void TPlayerForm::playlistbuttonClick() {
    if (playlist_ == nullptr) {
        return;
    }
    library::SongList &list = playlist_->library().list;
    const int p = list.itemIndex();
    if (p >= 0) {
        list.select(p);
    }
    playlist_->songListChanged();
    const int result = playlist_->exec();
    if (result == QDialog::Accepted && !playlist_->filename.isEmpty() &&
        QFileInfo::exists(playlist_->filename)) {
        initPlayer(playlist_->filename);
    } else if (p >= 0 && p < list.count()) {
        list.select(p);
    }
    initButtons();
}

bool TPlayerForm::shuffleOn() const {
    return shuffle->isChecked();
}

void TPlayerForm::stopCurrentSong() {
    StopButtonClick();
    CurrentSongFile.clear();
}

void TPlayerForm::categoriesChanged() {
    if (categoriesWindow_ != nullptr) {
        categoriesWindow_->checksomechecked();
    }
    showCategoryFilter();
    initButtons();
}

void TPlayerForm::showCategoryFilter() {
    const bool active =
        playlist_ != nullptr && playlist_->library().categories.CategoryFilterActive();
    QPalette p = Label8->palette();
    p.setColor(QPalette::WindowText, active ? QColor(255, 0, 0) : QColor(0, 255, 255));
    Label8->setPalette(p);
}

bool TPlayerForm::eventFilter(QObject *watched, QEvent *event) {
    if (watched == Label8 && event->type() == QEvent::MouseButtonDblClick &&
        categoriesWindow_ != nullptr) {
        categoriesWindow_->show();
        categoriesWindow_->raise();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TPlayerForm::showWorkPanel(bool visible) {
    if (visible) {
        showworkpanel();
    } else {
        hideworkpanel();
    }
}

void TPlayerForm::editTag(const QString &path) {
    if (tagEditor_ == nullptr) {
        return;
    }
    tagEditor_->editSong(path);
    if (!CurrentSongFile.isEmpty()) {
        UpdateView(CurrentSongFile);
    }
}

void TPlayerForm::closeEvent(QCloseEvent *event) {
    for (TKelvraSpectrum *p : {KelvraSpelare1, KelvraSpelare2}) {
        try {
            p->Stop();
        } catch (const std::exception &) {
            // A player that never started has nothing to stop.
        }
    }
    setAcceptDrops(false);
    // Deleting the players waits, bounded, for the engine to finish, so a WAV
    // file being written is complete before the process ends.
    delete std::exchange(KelvraSpelare1, nullptr);
    delete std::exchange(KelvraSpelare2, nullptr);
    delete std::exchange(KelvraPlayer3, nullptr);
    KelvraSpectrum1 = nullptr;
    KelvraSpectrumOld = nullptr;
    event->accept();
    QCoreApplication::quit();
}

// --- playing --------------------------------------------------------------------------

void TPlayerForm::initPlayer(const QString &path) {
    try {
        KelvraSpectrum1->Stop();
        KelvraSpectrum1->OutputReset();
        KelvraSpectrum1->Synchronize();
        KelvraSpectrum1->InputOpen(ansi(path));
        CurrentSongFile = path;
        if (WavFileOutput) {
            QString folder = ReadSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir"));
            if (!QDir(folder).exists() || folder.isEmpty()) {
                folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select folder"),
                                                           AppDir);
                if (folder.isEmpty()) {
                    return;
                }
                WriteSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir"), folder);
            }
            const std::string name = ansi(wavOutputName(folder, path));
            KelvraSpelare1->SetOutputName(name);
            KelvraSpelare2->SetOutputName(name);
        } else {
            const int output =
                ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("OutputModule"), 1);
            if (auto name = deviceOutputName(output)) {
                KelvraSpelare1->SetOutputName(ansi(*name));
                KelvraSpelare2->SetOutputName(ansi(*name));
            }
        }
        UpdateView(path);
        KelvraSpectrum1->Play();
        Timer2->stop();
        Timer2->start();
    } catch (const std::exception &) {
        ShowInformation(QStringLiteral("There was an error opening the file: ") + path);
    }
}

void TPlayerForm::PlayButtonClick() {
    KelvraSpectrum1->Play();
    Timer2->stop();
    Timer2->start();
}

void TPlayerForm::PauseButtonClick() {
    KelvraSpectrum1->Pause();
}

void TPlayerForm::StopButtonClick() {
    setApplicationTitle(QStringLiteral("Velbrin is Stopped"));
    KelvraSpelare1->Stop();
    KelvraSpelare2->Stop();
    KelvraSpelare1->OutputReset();
    KelvraSpelare2->OutputReset();
    KelvraSpelare1->Synchronize();
    KelvraSpelare2->Synchronize();
    ResetCurrentOutput();
    KelvraSpectrum1->InputSeek(0, 0);
    LastPlayFirstWrite = true;
}

void TPlayerForm::ResetCurrentOutput() {
    KelvraSpectrum1->Init();
    KelvraSpectrum1->OutputModuleRegister(kOutputModule);
    KelvraSpectrum1->SetPlayerEnvironmentInteger(kWindowVariable, windowHandle());
    WavFileOutput = false;
    const int output =
        ReadIntegerSetting(QStringLiteral("Engine"), QStringLiteral("OutputModule"), 1);
    if (auto name = deviceOutputName(output)) {
        KelvraSpectrum1->SetOutputName(ansi(*name));
    } else if (output == 3) {
        WavFileOutput = true;
    }
}

QString TPlayerForm::lastPlayPath() const {
    return library::lastPlayPath(AppDir,
                                 QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void TPlayerForm::Timer2Timer() {
    Timer2->stop();
    library::LastPlayLog log(lastPlayPath());
    log.LastPlayFirstWrite = LastPlayFirstWrite;
    log.addSong2TextFile(CurrentSongFile);
    LastPlayFirstWrite = log.LastPlayFirstWrite;
}

void TPlayerForm::RadioGroup1Click() {
    int index = 0;
    for (int i = 0; i < modeButtons_.size(); ++i) {
        if (modeButtons_.at(i)->isChecked()) {
            index = i;
        }
    }
    const QString mode = playModeCaptions().at(index);
    WriteSetting(QStringLiteral("Settings"), QStringLiteral("PlayMode"), mode);
    setStatusPanel(3, QStringLiteral("Overlap: %1 sec")
                          .arg(ReadIntegerSetting(QStringLiteral("DJ-Settings"),
                                                  QStringLiteral("Overlap") + mode, 0)));
    setStatusPanel(4,
                   QStringLiteral("Min vol: ") + ReadSetting(QStringLiteral("DJ-Settings"),
                                                             QStringLiteral("MinVolume") + mode));
}

// --- display --------------------------------------------------------------------------

void TPlayerForm::UpdateView(const QString &path) {
    using library::TagField;
    TagTexts tag;
    tag.artist = tags_->getInfo(path, TagField::Artist);
    tag.title = tags_->getInfo(path, TagField::Title);
    tag.album = tags_->getInfo(path, TagField::Album);
    tag.year = tags_->getInfo(path, TagField::Year);
    tag.comment = tags_->getInfo(path, TagField::Comment);
    tag.genre = tags_->getInfo(path, TagField::Genre);
    const NowPlaying v = nowPlayingFor(path, tag);
    artist->setText(v.artist);
    CurrentTitleText = v.currentTitleText;
    Title2->setText(v.titleLines);
    FitTitle();
    year->setText(v.year);
    comments->setText(v.comments);
    album->setText(v.album);
    category->setText(v.category);
    setApplicationTitle(v.applicationTitle);
}

void TPlayerForm::FitTitle() {
    const QString text = Title2->Strings().join(QLatin1Char(' '));
    title->setText(text);
    if (QFontMetrics(Title2->font()).horizontalAdvance(text) > Title2->width()) {
        title->move(title->x(), -100);
        title->hide();
        Title2->show();
        Title2->raise();
        Title2->setActive(true);
    } else {
        title->move(title->x(), Skin::TitleRect.y());
        title->show();
        title->raise();
        Title2->setActive(false);
        Title2->hide();
    }
}

void TPlayerForm::showworkpanel() {
    pnlWorking->move(width() / 2 - pnlWorking->width() / 2, 23);
    pnlWorking->raise();
    pnlWorking->show();
    busyTimer_->start();
    QCoreApplication::processEvents();
}

void TPlayerForm::hideworkpanel() {
    pnlWorking->hide();
    pnlWorking->lower();
    busyTimer_->stop();
}

QString TPlayerForm::statusPanel(int index) const {
    return panels_.at(index)->text();
}
void TPlayerForm::setStatusPanel(int index, const QString &text) {
    panels_.at(index)->setText(text);
}

// --- engine notifications ---------------------------------------------------------------

void TPlayerForm::bindEvents(TKelvraSpectrum *p) {
    p->OnNotifyPlayerState = [this](TKelvraSpectrum *s, int st) { NotifyPlayerState(s, st); };
    p->OnNotifyNack = [this](TKelvraSpectrum *s, uint8_t c, int16_t code) {
        NotifyNack(s, c, code);
    };
    p->OnNotifyReady = [this](TKelvraSpectrum *s) {
        if (s == KelvraSpectrum1) {
            Tracking = false;
        }
    };
    p->OnNotifyInputPosition = [this](TKelvraSpectrum *s, uint32_t o, uint32_t r) {
        NotifyInputPosition(s, o, r);
    };
    p->OnNotifyInputTimecode = [this](TKelvraSpectrum *s, uint8_t h, uint8_t m, uint8_t sec,
                                      uint8_t) { NotifyInputTimecode(s, h, m, sec); };
    p->OnNotifyStreamDuration = [this](TKelvraSpectrum *s, uint32_t d) {
        NotifyStreamDuration(s, d);
    };
    p->OnNotifyStreamParameters = [this](TKelvraSpectrum *s, uint32_t f, int16_t b, uint8_t ch) {
        NotifyStreamParameters(s, f, b, ch);
    };
    p->OnNotifyOutputState = [this](TKelvraSpectrum *s, int st) { NotifyOutputState(s, st); };
    p->OnNotifyInputName = [this](TKelvraSpectrum *s, const std::string &n) {
        if (s == KelvraSpectrum1) {
            infoForm_->setInputName(QString::fromLocal8Bit(n));
        }
    };
    p->OnNotifyOutputName = [this](TKelvraSpectrum *s, const std::string &n) {
        if (s == KelvraSpectrum1) {
            infoForm_->setOutputName(QString::fromLocal8Bit(n));
        }
    };
    p->OnNotifyInputModule = [this](TKelvraSpectrum *s, int16_t id) {
        if (s == KelvraSpectrum1) {
            infoForm_->setInputModule(moduleIdText(id));
        }
    };
    p->OnNotifyOutputModule = [this](TKelvraSpectrum *s, int16_t id) {
        if (s == KelvraSpectrum1) {
            infoForm_->setOutputModule(moduleIdText(id));
        }
    };
    p->OnNotifyStreamMimeType = [this](TKelvraSpectrum *s, const std::string &t) {
        if (s == KelvraSpectrum1) {
            infoForm_->setMimeType(QString::fromLocal8Bit(t));
        }
    };
    p->OnNotifyStreamProperties = [this](TKelvraSpectrum *s, uint32_t n, const KV_Property *props) {
        if (s != KelvraSpectrum1) {
            return;
        }
        QStringList lines;
        for (uint32_t i = 0; props != nullptr && i < n; ++i) {
            const KV_Property &prop = props[i];
            const QString name = QString::fromLocal8Bit(prop.Name ? prop.Name : "");
            if (prop.ValueType == 1) {
                lines << name + QStringLiteral(": ") + QString::number(prop.Value.IntegerValue);
            } else if (prop.ValueType == 0) {
                lines << name + QStringLiteral(": ") +
                             QString::fromLocal8Bit(prop.Value.StringValue ? prop.Value.StringValue
                                                                           : "");
            }
        }
        infoForm_->setProperties(lines);
    };
    auto moduleInfo = [this](TKelvraSpectrum *s, uint8_t, uint8_t, const std::string &name,
                             const std::string &description) {
        if (s == KelvraSpectrum1) {
            modulesForm_->addModule(
                moduleNodeText(QString::fromLocal8Bit(name), QString::fromLocal8Bit(description)));
        }
    };
    auto deviceInfo = [this](TKelvraSpectrum *s, uint8_t module, uint8_t, uint8_t,
                             const std::string &name, const std::string &description) {
        if (s == KelvraSpectrum1) {
            modulesForm_->addDevice(module, moduleNodeText(QString::fromLocal8Bit(name),
                                                           QString::fromLocal8Bit(description)));
        }
    };
    p->OnNotifyInputModuleInfo = moduleInfo;
    p->OnNotifyOutputModuleInfo = moduleInfo;
    p->OnNotifyCodecModuleInfo = moduleInfo;
    p->OnNotifyInputDeviceInfo = deviceInfo;
    p->OnNotifyOutputDeviceInfo = deviceInfo;
    p->OnNotifyCodecDeviceInfo = deviceInfo;
}

void TPlayerForm::NotifyPlayerState(TKelvraSpectrum *sender, int state) {
    if (sender != KelvraSpectrum1) {
        return;
    }
    if (state == KV_PLAYER_STATE_EOS) {
        endOfSong();
        return;
    }
    const auto view = viewForState(state, Title2->Strings().join(QLatin1Char(' ')));
    if (!view) {
        return;
    }
    StopButton->setEnabled(view->stopEnabled);
    PlayButton->setEnabled(view->playEnabled);
    PauseButton->setEnabled(view->pauseEnabled);
    setStatusPanel(1, view->status);
    setApplicationTitle(view->applicationTitle);
    IsPlaying = view->isPlaying;
}

void TPlayerForm::endOfSong() {
    StopButtonClick();
    setStatusPanel(1, QStringLiteral("End of song"));
    StopButton->setEnabled(false);
    PlayButton->setEnabled(true);
    IsPlaying = false;
    PauseButton->setEnabled(false);
    bool selectedIsLast = true;
    if (playlist_ != nullptr) {
        const library::SongList &list = playlist_->library().list;
        selectedIsLast = list.itemIndex() < 0 || list.itemIndex() >= list.count() - 1;
    }
    switch (afterEndOfSong(
        {LoopedCb->isChecked(), selectedIsLast, shuffle->isChecked(), checkbox1->isChecked()})) {
    case AfterSong::PlayAgain:
        PlayButtonClick();
        break;
    case AfterSong::PlayNext:
        StepSong(+1);
        break;
    case AfterSong::PlayFirst:
        if (playlist_ != nullptr && !playlist_->library().list.isEmpty()) {
            playlist_->library().list.select(0);
            playSelection();
        }
        break;
    case AfterSong::Nothing:
        break;
    }
}

void TPlayerForm::NotifyNack(TKelvraSpectrum *sender, uint8_t command, int16_t code) {
    if (sender != KelvraSpectrum1) {
        return;
    }
    if (command == KV_CMD_PLAY) {
        showEngineError(QStringLiteral("Cannot Play Stream"), code, *sender);
    } else if (command == KV_CMD_INPUT_OPEN) {
        showEngineError(QStringLiteral("Cannot Open Input"), code, *sender);
    }
}

void TPlayerForm::NotifyInputPosition(TKelvraSpectrum *sender, uint32_t offset, uint32_t range) {
    if (sender != KelvraSpectrum1 || Tracking) {
        return;
    }
    Slider->setPosition(sliderPositionFor(offset, range, Slider->Minimum(), Slider->Maximum()));
}

void TPlayerForm::NotifyInputTimecode(TKelvraSpectrum *sender, uint8_t h, uint8_t m, uint8_t s) {
    if (sender != KelvraSpectrum1) {
        return;
    }
    TimeCode->setText(timeText(uint32_t{h} * 3600 + uint32_t{m} * 60 + s));
}

void TPlayerForm::NotifyStreamDuration(TKelvraSpectrum *sender, uint32_t duration) {
    if (sender == KelvraSpectrum1) {
        DurationText->setText(timeText(duration));
    }
}

void TPlayerForm::NotifyStreamParameters(TKelvraSpectrum *sender, uint32_t f, int16_t b,
                                         uint8_t ch) {
    if (sender != KelvraSpectrum1) {
        return;
    }
    const QString text = streamParametersText(f, b, ch);
    infoForm_->setStreamParameters(text);
    setStatusPanel(2, text);
}

void TPlayerForm::NotifyOutputState(TKelvraSpectrum *sender, int state) {
    if (sender != KelvraSpectrum1) {
        return;
    }
    VolumeButton->setEnabled(state == 0);
    if (volumeForm_ != nullptr) {
        volumeForm_->setEnabled(state == 0);
    }
}

} // namespace velbrin::player
