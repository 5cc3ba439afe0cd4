#include "PlayerForm.h"

#include "KeyboardControl.h"
#include "LiveSpectrum.h"
#include "PlayerInformation.h"
#include "PlayerLogic.h"
#include "Skin.h"
#include "SpectrumView.h"
#include "TAboutBox.h"
#include "TCoolScrollingText.h"
#include "TFEditTag.h"
#include "TInfoForm.h"
#include "TModulesForm.h"
#include "TSlider.h"
#include "TVolumeForm.h"
#include "TfrmPlayCategories.h"
#include "Tplaylist.h"
#include "message_box.h"
#include "message_helpers.h"
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
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QToolButton>

namespace velbrin::player {

namespace {

constexpr int kClientWidth = 512;
constexpr int kClientHeight = 188;
constexpr int kStatusHeight = 20;

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

} // namespace

TPlayerForm::TPlayerForm(Options options, QWidget *parent)
    : QMainWindow(parent), options_(std::move(options)) {
    setObjectName(QStringLiteral("PlayerForm"));
    setApplicationTitle(QStringLiteral("Velbrin MP3 Player"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    PlaybackController::Options c;
    c.enginePath = options_.enginePath;
    c.windowHandle = [this] { return static_cast<int>(winId()); };
    c.chooseWavFolder = [this] {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Select folder"),
                                                 controller_->appDir());
    };
    c.appDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    c.voice = options_.voice;
    controller_ = new PlaybackController(std::move(c), this);

    buildControls();
    buildMenus();
    infoForm_ = new TInfoForm(this);
    modulesForm_ = new TModulesForm(this);
    infoForm_->setModulesForm(modulesForm_);
    connectController();
    liveSpectrum_ = new LiveSpectrum(controller_, spectrumView, this);
    FormCreate();
}

TPlayerForm::~TPlayerForm() {
    // The analysers go before the players that feed them.
    liveSpectrum_->shutDown();
    // The playlist window measures durations through the controller's probe;
    // the window must go first.
    delete std::exchange(playlist_, nullptr);
}

void TPlayerForm::setPlaylist(library::Tplaylist *playlist) {
    playlist_ = playlist;
    controller_->setLibrary(&playlist_->library(), &playlist_->durations());
    initButtons();
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
    // Nobody sees it under the background picture; painting its blinking
    // cursor would send a frame to the display twice a second for nothing.
    Edit2->setUpdatesEnabled(false);

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
    // Time, comment and the live spectrum share the panel below the title.
    makeLabel(central, "TimeLabel", QStringLiteral("Time:"), QRect(r.x() + 8, r.y() + 28, 40, 17),
              yellow);
    TimeCode = makeLabel(central, "TimeCode", QStringLiteral("00:00:00"),
                         QRect(r.x() + 50, r.y() + 28, 70, 17), yellow);
    DurationText = makeLabel(central, "DurationText", QStringLiteral("00:00:00"),
                             QRect(r.right() - 74, r.y() + 28, 70, 17), yellow);
    comments = makeLabel(central, "comments", QStringLiteral("Comments"),
                         QRect(r.x() + 8, r.y() + 45, r.width() - 16, 17), yellow);
    spectrumView = new SpectrumView(central);
    spectrumView->setGeometry(r.x() + 8, r.y() + 62, r.width() - 16, 13);
    spectrumView->setBackground(Skin::picture(Skin::Picture::RightPanel)
                                    .copy(spectrumView->geometry().translated(-r.topLeft())));
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
        controller_->seek(static_cast<uint32_t>(Slider->Position()),
                          static_cast<uint32_t>(Slider->Maximum()));
    });
    connect(Slider, &TSlider::OnMouseDown, this, [this] { controller_->setTracking(true); });
    connect(Slider, &TSlider::OnMouseUp, this, [this] { controller_->setTracking(false); });

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
    connect(Timer5, &QTimer::timeout, this, &TPlayerForm::Timer5Timer);

    connect(PlayButton, &QToolButton::clicked, this, &TPlayerForm::PlayButtonClick);
    connect(PauseButton, &QToolButton::clicked, this, &TPlayerForm::PauseButtonClick);
    connect(StopButton, &QToolButton::clicked, this, &TPlayerForm::StopButtonClick);
    connect(SpeedButton1, &QToolButton::clicked, this, [this] { infoForm_->show(); });
    connect(VolumeButton, &QToolButton::clicked, this, &TPlayerForm::VolumeButtonClick);
    Label8->installEventFilter(this);
}

void TPlayerForm::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("FileMenu"));
    QAction *open = file->addAction(QStringLiteral("&Open..."));
    open->setObjectName(QStringLiteral("Open1"));
    open->setShortcut(QKeySequence(Qt::Key_F3));
    connect(open, &QAction::triggered, this, &TPlayerForm::Open1Click);
    file->addSeparator();
    file->addAction(QStringLiteral("&Play CD..."))->setObjectName(QStringLiteral("PlayCD1"));
    file->addSeparator();
    QAction *wave = file->addAction(QStringLiteral("Make &Wave-file"));
    wave->setObjectName(QStringLiteral("MakeWave1"));
    connect(wave, &QAction::triggered, this, &TPlayerForm::MakeWaveClick);
    QAction *record = file->addAction(QStringLiteral("&Record..."));
    record->setObjectName(QStringLiteral("Record1"));
    record->setShortcut(QKeySequence(Qt::Key_F8));
    connect(record, &QAction::triggered, this, &TPlayerForm::RecordClick);
    file->addSeparator();
    QAction *exit = file->addAction(QStringLiteral("&Exit"));
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu *edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction *tag = edit->addAction(QStringLiteral("&TAG..."));
    tag->setObjectName(QStringLiteral("TAG1"));
    tag->setShortcut(QKeySequence(Qt::Key_F5));
    connect(tag, &QAction::triggered, this, &TPlayerForm::TAG1Click);
    QAction *playlistItem = edit->addAction(QStringLiteral("&Playlist..."));
    playlistItem->setObjectName(QStringLiteral("Playlist1"));
    connect(playlistItem, &QAction::triggered, this, &TPlayerForm::playlistbuttonClick);
    edit->addAction(QStringLiteral("&Settings..."))->setObjectName(QStringLiteral("Settings1"));
    QAction *volume = edit->addAction(QStringLiteral("&Volume..."));
    volume->setObjectName(QStringLiteral("Volume1"));
    connect(volume, &QAction::triggered, this, &TPlayerForm::VolumeButtonClick);

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
    connect(on, &QAction::triggered, this, [this] { ScreensaverClick(true); });
    connect(off, &QAction::triggered, this, [this] { ScreensaverClick(false); });

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
    setAcceptDrops(true);
    applyAppearance(ReadIntegerSetting(QStringLiteral("Appearance"), QStringLiteral("Skin"), 1));

    controller_->start();
    modeButtons_.at(controller_->overlapMode())->setChecked(true);
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

    connect(shuffle, &QCheckBox::toggled, this, &TPlayerForm::shuffleClick);
    connect(checkbox1, &QCheckBox::toggled, this, &TPlayerForm::checkbox1Click);
    connect(LoopedCb, &QCheckBox::toggled, this, &TPlayerForm::LoopedCbClick);
    connect(bitbtn1, &QToolButton::clicked, this, [this] { StepSong(-1); });
    connect(bitbtn2, &QToolButton::clicked, this, [this] { StepSong(+1); });
    connect(prevdisc, &QToolButton::clicked, this, [this] { MoveToDirectory(false); });
    connect(nextdisc, &QToolButton::clicked, this, [this] { MoveToDirectory(true); });
    connect(playlistbutton, &QToolButton::clicked, this, &TPlayerForm::playlistbuttonClick);
    setupKeys();
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
    spectrumView->setLook(SpectrumView::Look::Plain);
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
    controller_->addCommandLine(options_.arguments);
    hideworkpanel();
    initButtons();
    if (playlist_ != nullptr) {
        playlist_->songListChanged();
        categoriesChanged();
    }
    emit commandLineProcessed();
}

void TPlayerForm::addNames(const QStringList &names) {
    // The song list is the playlist window's; it adds the names as its own
    // drop does and keeps this window's buttons in step.
    if (playlist_ != nullptr) {
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
    addNames(names);
}

// --- play order -----------------------------------------------------------------------

void TPlayerForm::initButtons() {
    if (controller_->playOrder() == nullptr) {
        return;
    }
    const library::NavButtons b = controller_->navButtons();
    bitbtn1->setEnabled(b.previousSong);
    bitbtn2->setEnabled(b.nextSong);
    prevdisc->setEnabled(b.previousFolder);
    nextdisc->setEnabled(b.nextFolder);
    emit navigationChanged();
}

void TPlayerForm::StepSong(int direction) {
    if (direction < 0) {
        controller_->previous();
    } else {
        controller_->next();
    }
}

void TPlayerForm::MoveToDirectory(bool forward) {
    const library::NavOutcome outcome =
        forward ? controller_->nextFolder() : controller_->previousFolder();
    if (outcome == library::NavOutcome::RefreshButtons) {
        (forward ? nextdisc : prevdisc)->setEnabled(false);
    }
}

void TPlayerForm::shuffleClick() {
    controller_->setShuffle(shuffle->isChecked());
    Edit2->setFocus();
}

void TPlayerForm::checkbox1Click() {
    controller_->setRepeatAll(checkbox1->isChecked());
    Edit2->setFocus();
}

void TPlayerForm::LoopedCbClick() {
    controller_->setCurrentTrack(LoopedCb->isChecked());
    Edit2->setFocus();
}

void TPlayerForm::drawModes(const PlayModes &modes) {
    // The check boxes show the controller's modes; setting them here is no click.
    const QSignalBlocker a(shuffle);
    const QSignalBlocker b(checkbox1);
    const QSignalBlocker c(LoopedCb);
    shuffle->setChecked(modes.shuffle);
    checkbox1->setChecked(modes.repeatAll);
    LoopedCb->setChecked(modes.currentTrack);
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
        controller_->playFile(playlist_->filename);
    } else if (p >= 0 && p < list.count()) {
        list.select(p);
    }
    initButtons();
}

void TPlayerForm::VolumeButtonClick() {
    // In every output state: while the output reports a fault the window is
    // shown disabled, rather than the command doing nothing.
    if (volumeForm_ != nullptr) {
        volumeForm_->show();
        volumeForm_->raise();
    }
}

bool TPlayerForm::shuffleOn() const {
    return controller_->playModes().shuffle;
}

void TPlayerForm::stopCurrentSong() {
    setApplicationTitle(QStringLiteral("Velbrin is Stopped"));
    controller_->stopAndForget();
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
    if (const QString current = controller_->currentSongFile(); !current.isEmpty()) {
        UpdateView(current);
    }
}

void TPlayerForm::closeEvent(QCloseEvent *event) {
    // The timers go first, so no tick reaches a controller shutting down.
    for (QTimer *timer : {Timer2, Timer3, Timer5, busyTimer_}) {
        timer->stop();
    }
    keyboard_->clear();
    setAcceptDrops(false);
    liveSpectrum_->shutDown();
    controller_->shutDown();
    event->accept();
    QCoreApplication::quit();
}

// --- playing --------------------------------------------------------------------------

void TPlayerForm::initPlayer(const QString &path) {
    controller_->playFile(path);
}

void TPlayerForm::PlayButtonClick() {
    controller_->play();
}

void TPlayerForm::PauseButtonClick() {
    controller_->pause();
}

void TPlayerForm::StopButtonClick() {
    setApplicationTitle(QStringLiteral("Velbrin is Stopped"));
    controller_->stop();
}

void TPlayerForm::ResetCurrentOutput() {
    controller_->resetCurrentOutput();
}

void TPlayerForm::Timer2Timer() {
    Timer2->stop();
    controller_->logCurrentSong();
}

void TPlayerForm::Timer5Timer() {
    controller_->Timer5Timer();
}

void TPlayerForm::RadioGroup1Click() {
    int index = 0;
    for (int i = 0; i < modeButtons_.size(); ++i) {
        if (modeButtons_.at(i)->isChecked()) {
            index = i;
        }
    }
    controller_->setOverlapMode(index);
    const QString mode = playModeCaptions().at(index);
    // The overlap the song changer will use, as it reads it.
    setStatusPanel(3,
                   QStringLiteral("Overlap: %1 sec")
                       .arg(readModeMix(ProgramSettings(), static_cast<PlayMode>(index)).overlap));
    setStatusPanel(4,
                   QStringLiteral("Min vol: ") + ReadSetting(QStringLiteral("DJ-Settings"),
                                                             QStringLiteral("MinVolume") + mode));
}

// --- display --------------------------------------------------------------------------

void TPlayerForm::UpdateView(const QString &path) {
    drawNowPlaying(controller_->describeSong(path));
}

void TPlayerForm::drawNowPlaying(const NowPlaying &v) {
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
    // A title that started scrolling while the panel was up captured the
    // panel's edge as its background; capture what lies there now.
    Title2->RefreshBackground();
}

QString TPlayerForm::statusPanel(int index) const {
    return panels_.at(index)->text();
}
void TPlayerForm::setStatusPanel(int index, const QString &text) {
    panels_.at(index)->setText(text);
}

// --- what the controller reports ------------------------------------------------------

void TPlayerForm::connectController() {
    PlaybackController *c = controller_;
    connect(c, &PlaybackController::stateChanged, this, &TPlayerForm::drawState);
    connect(c, &PlaybackController::nowPlayingChanged, this, &TPlayerForm::drawNowPlaying);
    connect(c, &PlaybackController::playModesChanged, this, &TPlayerForm::drawModes);
    connect(c, &PlaybackController::selectionChanged, this, [this] {
        initButtons();
        if (playlist_ != nullptr) {
            const library::SongList &list = playlist_->library().list;
            const int i = list.itemIndex();
            playlist_->filename = i >= 0 && i < list.count() ? list.path(i) : QString();
            playlist_->songListChanged();
        }
    });
    connect(c, &PlaybackController::playStarted, this, [this] {
        Timer2->stop();
        Timer2->start();
    });
    connect(c, &PlaybackController::positionChanged, this, [this](uint32_t offset, uint32_t range) {
        Slider->setPosition(sliderPositionFor(offset, range, Slider->Minimum(), Slider->Maximum()));
    });
    connect(c, &PlaybackController::timeCodeChanged, this,
            [this](uint32_t seconds) { TimeCode->setText(timeText(seconds)); });
    connect(c, &PlaybackController::durationChanged, this,
            [this](uint32_t seconds) { DurationText->setText(timeText(seconds)); });
    connect(c, &PlaybackController::streamParametersChanged, this, [this](const QString &text) {
        infoForm_->setStreamParameters(text);
        setStatusPanel(2, text);
    });
    connect(c, &PlaybackController::soundOutputLost, this, [this](bool lost) {
        lost ? statusBar()->showMessage(
                   QStringLiteral("Sound output lost: waiting for the sound server"))
             : statusBar()->showMessage(QStringLiteral("Sound output is back"), 5000);
    });
    connect(c, &PlaybackController::errorOccurred, this, &TPlayerForm::showError);
    // The controller's song changer decides when the half-second ramp runs.
    connect(c, &PlaybackController::songChangeTimer, Timer5,
            [this](bool on) { on ? Timer5->start() : Timer5->stop(); });
    connect(c, &PlaybackController::statusNotice, this,
            [this](const QString &text) { statusBar()->showMessage(text, 10000); });
    connectInformation();
}

void TPlayerForm::showError(const QString &text, ErrorKind kind) {
    // One box at a time, in the order the messages came: a message that
    // arrives while a box is open waits for it to close.
    waitingErrors_.push_back({text, kind});
    if (showingError_) {
        return;
    }
    showingError_ = true;
    while (!waitingErrors_.isEmpty()) {
        const auto [message, how] = waitingErrors_.takeFirst();
        if (how == ErrorKind::Engine) {
            // Worded with the engine's own text already, shown as its errors are.
            platform::showModalMessage(platform::MessageIcon::Error, QStringLiteral("Error"),
                                       message);
        } else {
            ShowInformation(message);
        }
    }
    showingError_ = false;
}

void TPlayerForm::drawState(PlaybackController::PlayState state) {
    const auto view =
        viewForState(static_cast<int>(state), Title2->Strings().join(QLatin1Char(' ')));
    if (!view) {
        return;
    }
    StopButton->setEnabled(view->stopEnabled);
    PlayButton->setEnabled(view->playEnabled);
    PauseButton->setEnabled(view->pauseEnabled);
    setStatusPanel(1, view->status);
    setApplicationTitle(view->applicationTitle);
}

void TPlayerForm::connectInformation() {
    PlayerInformation *info = &controller_->information();
    infoForm_->setRequests({[info] { info->listInputModules(); },
                            [info] { info->listOutputModules(); },
                            [info] { info->listCodecModules(); }, [info] { info->refresh(); }});
    connect(info, &PlayerInformation::inputNameChanged, infoForm_, &TInfoForm::setInputName);
    connect(info, &PlayerInformation::outputNameChanged, infoForm_, &TInfoForm::setOutputName);
    connect(info, &PlayerInformation::inputModuleChanged, infoForm_, &TInfoForm::setInputModule);
    connect(info, &PlayerInformation::outputModuleChanged, infoForm_, &TInfoForm::setOutputModule);
    connect(info, &PlayerInformation::mimeTypeChanged, infoForm_, &TInfoForm::setMimeType);
    connect(info, &PlayerInformation::propertiesChanged, infoForm_, &TInfoForm::setProperties);
    connect(info, &PlayerInformation::moduleListed, modulesForm_, &TModulesForm::addModule);
    connect(info, &PlayerInformation::deviceListed, modulesForm_, &TModulesForm::addDevice);
}

} // namespace velbrin::player
