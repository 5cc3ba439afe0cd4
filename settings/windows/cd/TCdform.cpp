#include "TCdform.h"

#include "cd_time.h"
#include "message_helpers.h"
#include "settings_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace velbrin::settings {

namespace {

const QString kSection = QStringLiteral("CD-Player");
const QString kDrive = QStringLiteral("DefaultDrive");

QLabel *displayLabel(QWidget *parent, const char *name, const QString &text) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QToolButton *deviceButton(QWidget *parent, const char *name, QStyle::StandardPixmap icon,
                          const QString &tip) {
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(parent->style()->standardIcon(icon));
    button->setToolTip(tip);
    button->setAutoRaise(false);
    return button;
}

static_assert(static_cast<int>(platform::CdAudioDevice::Mode::Open) ==
              static_cast<int>(cd::DeviceMode::Open));

} // namespace

TCdform::TCdform(QWidget *parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("Cdform"));
    setWindowTitle(QStringLiteral("Velbrin CD-player"));
    setModal(false);
    MediaPlayer1Device = new platform::CdAudioDevice(this);
    connect(MediaPlayer1Device, &platform::CdAudioDevice::notify, this,
            &TCdform::MediaPlayer1Notify);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setAutoFillBackground(true);
    QPalette dark = Panel1->palette();
    dark.setColor(QPalette::Window, Qt::black);
    dark.setColor(QPalette::WindowText, QColor(0x40, 0xFF, 0x40));
    Panel1->setPalette(dark);

    auto *grid = new QGridLayout(Panel1);
    grid->addWidget(displayLabel(Panel1, "Label1", QStringLiteral("CD-Drive")), 0, 0);
    ShellComboBox1 = new QComboBox(Panel1);
    ShellComboBox1->setObjectName(QStringLiteral("ShellComboBox1"));
    ShellComboBox1->setMinimumWidth(200);
    ShellComboBox1->setPalette(palette());
    for (const QString &drive : platform::CdAudioDevice::drives()) {
        ShellComboBox1->addItem(style()->standardIcon(QStyle::SP_DriveCDIcon), drive, drive);
    }
    connect(ShellComboBox1, &QComboBox::activated, this, &TCdform::ShellComboBox1Change);
    OpenImageButton = new QToolButton(Panel1);
    OpenImageButton->setObjectName(QStringLiteral("OpenImageButton"));
    OpenImageButton->setText(QStringLiteral("Image..."));
    OpenImageButton->setToolTip(QStringLiteral("Play a CD image file"));
    OpenImageButton->setPalette(palette());
    connect(OpenImageButton, &QToolButton::clicked, this, &TCdform::OpenImageButtonClick);
    auto *chooser = new QHBoxLayout;
    chooser->addWidget(ShellComboBox1, 1);
    chooser->addWidget(OpenImageButton);
    grid->addLayout(chooser, 0, 1, 1, 3);

    grid->addWidget(displayLabel(Panel1, "Label2", QStringLiteral("Tracks")), 1, 0);
    Label3 = displayLabel(Panel1, "Label3", QStringLiteral("00"));
    grid->addWidget(Label3, 1, 1);
    grid->addWidget(displayLabel(Panel1, "Label4", QStringLiteral("Current")), 1, 2);
    Label5 = displayLabel(Panel1, "Label5", QStringLiteral("00"));
    grid->addWidget(Label5, 1, 3);
    Label6 = displayLabel(Panel1, "Label6", QStringLiteral("Time"));
    Label6->setCursor(Qt::PointingHandCursor);
    Label6->setToolTip(QStringLiteral("Disc length, position in the track, track length"));
    Label6->installEventFilter(this);
    grid->addWidget(Label6, 2, 0);
    Label7 = displayLabel(Panel1, "Label7", QStringLiteral("00:00:00"));
    Label7->setCursor(Qt::PointingHandCursor);
    Label7->installEventFilter(this);
    QFont big = Label7->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    Label7->setFont(big);
    grid->addWidget(Label7, 2, 1, 1, 3);

    MediaPlayer1 = new QWidget(this);
    MediaPlayer1->setObjectName(QStringLiteral("MediaPlayer1"));
    auto *buttons = new QHBoxLayout(MediaPlayer1);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(2);
    btPlay = deviceButton(MediaPlayer1, "btPlay", QStyle::SP_MediaPlay, QStringLiteral("Play"));
    btPause = deviceButton(MediaPlayer1, "btPause", QStyle::SP_MediaPause, QStringLiteral("Pause"));
    btStop = deviceButton(MediaPlayer1, "btStop", QStyle::SP_MediaStop, QStringLiteral("Stop"));
    btNext = deviceButton(MediaPlayer1, "btNext", QStyle::SP_MediaSkipForward,
                          QStringLiteral("Next track"));
    btPrev = deviceButton(MediaPlayer1, "btPrev", QStyle::SP_MediaSkipBackward,
                          QStringLiteral("Previous track"));
    btEject = deviceButton(MediaPlayer1, "btEject", QStyle::SP_ArrowUp, QStringLiteral("Eject"));
    for (QToolButton *b : {btPlay, btPause, btStop, btNext, btPrev, btEject}) {
        buttons->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, b] { MediaPlayer1Click(b); });
    }
    buttons->addStretch(1);
    CheckBox1 = new QCheckBox(QStringLiteral("Repeat CD"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    buttons->addWidget(CheckBox1);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Panel1);
    layout->addWidget(MediaPlayer1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(900);
    connect(Timer1, &QTimer::timeout, this, &TCdform::Timer1Timer);
    enableButtons();
}

TCdform::~TCdform() = default;

void TCdform::showCdPlayer() {
    show();
    raise();
    activateWindow();
}

void TCdform::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        if (const QScreen *screen = QGuiApplication::primaryScreen()) {
            move(screen->availableGeometry().center() - rect().center());
        }
        FormShow();
    }
}

bool TCdform::eventFilter(QObject *watched, QEvent *event) {
    if ((watched == Label6 || watched == Label7) && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        Label6Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TCdform::FormShow() {
    const QString stored = ReadSetting(kSection, kDrive).trimmed();
    if (stored.isEmpty()) {
        return;
    }
    selectInChooser(stored);
    OpenDrive(cd::ElementNameForStoredDrive(stored));
}

void TCdform::selectInChooser(const QString &path) {
    int index = ShellComboBox1->findData(path);
    if (index < 0) {
        ShellComboBox1->addItem(style()->standardIcon(QStyle::SP_FileIcon), path, path);
        index = ShellComboBox1->count() - 1;
    }
    ShellComboBox1->setCurrentIndex(index);
}

void TCdform::chooseDrive(const QString &path) {
    selectInChooser(path);
    ShellComboBox1Change();
}

void TCdform::OpenImageButtonClick() {
    const QString image = QFileDialog::getOpenFileName(
        this, QStringLiteral("Play a CD image"), QString(),
        QStringLiteral("CD images (*.cue *.toc *.nrg *.bin);;All files (*)"));
    if (!image.isEmpty()) {
        chooseDrive(image);
    }
}

void TCdform::ShellComboBox1Change() {
    const QString path = ShellComboBox1->currentData().toString();
    WriteSetting(kSection, kDrive, path);
    OpenDrive(path);
}

void TCdform::OpenDrive(const QString &name) {
    try {
        // Showing the window again reads the drive afresh, so a changed disc
        // shows its own tracks, but never cuts off the disc that plays.
        const auto mode = MediaPlayer1Device->mode();
        const bool inUse = mode == platform::CdAudioDevice::Mode::Playing ||
                           mode == platform::CdAudioDevice::Mode::Paused;
        if (!inUse || name != openElement_ || !MediaPlayer1Device->holdsOpenDisc(name)) {
            openElement_.clear();
            MediaPlayer1Device->open(name);
            openElement_ = name;
        }
        Label3->setText(QString::number(MediaPlayer1Device->trackCount()));
        Timer1->start();
        enableButtons();
        UpdateDisplay();
    } catch (const platform::CdError &e) {
        Timer1->stop();
        enableButtons();
        ShowInformation(cd::OpenFailureMessage(ShellComboBox1->currentData().toString(),
                                               QString::fromLocal8Bit(e.what())));
    }
}

void TCdform::UpdateDisplay() {
    try {
        platform::CdAudioDevice &cd = *MediaPlayer1Device;
        const uint32_t position = cd.position();
        const int track = cd::PackedByte(position, 0);
        Label5->setText(QString::number(track));
        const uint32_t trackLength = cd.trackLength(track);
        Label7->setText(cd::TimeText(TimeMode, cd.discLength(), position, trackLength));
        if (cd::AtEndOfDisc(Label3->text(), Label5->text(), trackLength, position)) {
            cd.stop();
            cd.rewind();
            if (CheckBox1->isChecked()) {
                cd.play();
            }
        }
    } catch (const platform::CdError &) {
        Timer1->stop();
    }
}

void TCdform::Label6Click() {
    TimeMode = cd::NextDisplayMode(TimeMode);
    UpdateDisplay();
}

void TCdform::MediaPlayer1Click(QToolButton *button) {
    if (button == btStop) {
        Timer1->stop();
    }
    platform::CdAudioDevice &cd = *MediaPlayer1Device;
    try {
        if (button == btPlay) {
            cd.play();
        } else if (button == btPause) {
            cd.pause();
        } else if (button == btStop) {
            cd.stop();
        } else if (button == btNext) {
            cd.next();
        } else if (button == btPrev) {
            cd.previous();
        } else if (button == btEject) {
            cd.eject();
            openElement_.clear();
        }
    } catch (const platform::CdError &e) {
        ShowInformation(QString::fromLocal8Bit(e.what()));
    }
    enableButtons();
    UpdateDisplay();
}

void TCdform::MediaPlayer1Notify() {
    setWindowTitle(cd::CdCaption(static_cast<cd::DeviceMode>(MediaPlayer1Device->mode())));
    repaint();
}

void TCdform::Timer1Timer() {
    if (isVisible()) {
        UpdateDisplay();
    }
}

void TCdform::enableButtons() {
    const bool open = MediaPlayer1Device->isOpen();
    for (QToolButton *b : {btPlay, btPause, btStop, btNext, btPrev}) {
        b->setEnabled(open);
    }
    // Images have no tray.
    btEject->setEnabled(open && !MediaPlayer1Device->isImage());
}

} // namespace velbrin::settings
