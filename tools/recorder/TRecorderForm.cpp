#include "TRecorderForm.h"

#include "wav_file.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <SDL.h>

#include <cstdlib>
#include <mutex>
#include <span>
#include <vector>

namespace velbrin::tools {

// The sound library delivers captured samples on a thread of its own. Locking:
// `mutex_` guards `pending_`, which that thread appends to and the
// user-interface thread takes out with take(); nothing else is shared.
class TRecorderForm::Capture {
public:
    // Opens and starts the default input at 44100 Hz 16-bit stereo; on
    // failure `error` tells why.
    Capture() {
        // The sound library would otherwise take SIGINT and SIGTERM for its own event
        // queue, which nothing reads, and the program could no longer be ended.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            error = QString::fromUtf8(SDL_GetError());
            return;
        }
        subsystem_ = true;
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 2048;
        want.callback = &Capture::arrived;
        want.userdata = this;
        SDL_AudioSpec have{};
        device_ = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
        if (device_ == 0) {
            error = QString::fromUtf8(SDL_GetError());
            return;
        }
        SDL_PauseAudioDevice(device_, 0);
    }
    ~Capture() {
        if (device_ != 0)
            SDL_CloseAudioDevice(device_);
        if (subsystem_)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    bool ok() const { return device_ != 0; }
    std::vector<int16_t> take() {
        std::lock_guard lock(mutex_);
        return std::exchange(pending_, {});
    }
    QString error;

private:
    static void arrived(void *self, Uint8 *bytes, int length) {
        auto *capture = static_cast<Capture *>(self);
        const auto *samples = reinterpret_cast<const int16_t *>(bytes);
        std::lock_guard lock(capture->mutex_);
        capture->pending_.insert(capture->pending_.end(), samples,
                                 samples + static_cast<size_t>(length) / 2);
    }
    bool subsystem_ = false;
    SDL_AudioDeviceID device_ = 0;
    std::mutex mutex_;
    std::vector<int16_t> pending_;
};

TRecorderForm::TRecorderForm(QWidget *parent) : QWidget(parent), drainTimer_(new QTimer(this)) {
    drainTimer_->setInterval(50);
    connect(drainTimer_, &QTimer::timeout, this, &TRecorderForm::captured);
    setObjectName(QStringLiteral("RecorderForm"));
    setWindowTitle(QStringLiteral("TavrelRec"));
    FileNameEdit = new QLineEdit(QDir::home().filePath(QStringLiteral("recording.wav")), this);
    FileNameEdit->setObjectName(QStringLiteral("FileNameEdit"));
    BrowseButton = new QPushButton(QStringLiteral("..."), this);
    BrowseButton->setObjectName(QStringLiteral("BrowseButton"));
    RecordButton = new QPushButton(QStringLiteral("&Record"), this);
    RecordButton->setObjectName(QStringLiteral("RecordButton"));
    StopButton = new QPushButton(QStringLiteral("&Stop"), this);
    StopButton->setObjectName(QStringLiteral("StopButton"));
    StopButton->setEnabled(false);
    LevelMeter = new QProgressBar(this);
    LevelMeter->setObjectName(QStringLiteral("LevelMeter"));
    LevelMeter->setRange(0, 100);
    LevelMeter->setValue(0);
    LevelMeter->setTextVisible(false);
    StatusLabel = new QLabel(QStringLiteral("Ready"), this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));

    auto *grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("File:"), this), 0, 0);
    grid->addWidget(FileNameEdit, 0, 1);
    grid->addWidget(BrowseButton, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Level:"), this), 1, 0);
    grid->addWidget(LevelMeter, 1, 1, 1, 2);
    grid->addWidget(RecordButton, 2, 1, Qt::AlignRight);
    grid->addWidget(StopButton, 2, 2);
    grid->addWidget(StatusLabel, 3, 0, 1, 3);
    resize(420, 140);

    connect(RecordButton, &QPushButton::clicked, this, &TRecorderForm::RecordButtonClick);
    connect(StopButton, &QPushButton::clicked, this, &TRecorderForm::StopButtonClick);
    connect(BrowseButton, &QPushButton::clicked, this, [this] {
        const QString name =
            QFileDialog::getSaveFileName(this, QStringLiteral("Record to"), FileNameEdit->text(),
                                         QStringLiteral("WAV files (*.wav);;All files (*)"));
        if (!name.isEmpty())
            FileNameEdit->setText(name);
    });
}

TRecorderForm::~TRecorderForm() {
    StopButtonClick();
}

void TRecorderForm::fail(const QString &message) {
    StopButtonClick();
    StatusLabel->setText(message);
    QMessageBox::warning(this, QStringLiteral("TavrelRec"), message);
}

void TRecorderForm::RecordButtonClick() {
    if (recording())
        return;
    const QString path = FileNameEdit->text().trimmed();
    if (path.isEmpty()) {
        fail(QStringLiteral("Please name the file to record to."));
        return;
    }
    writer_ = std::make_unique<WavWriter>(QFile::encodeName(path).toStdString(), 44100, 2);
    if (!writer_->ok()) {
        writer_.reset();
        fail(QStringLiteral("The file %1 cannot be created.").arg(QDir::toNativeSeparators(path)));
        return;
    }
    capture_ = std::make_unique<Capture>();
    if (!capture_->ok()) {
        const QString reason = capture_->error;
        fail(QStringLiteral("The sound input could not be opened: %1").arg(reason));
        return;
    }
    drainTimer_->start();
    RecordButton->setEnabled(false);
    StopButton->setEnabled(true);
    FileNameEdit->setEnabled(false);
    StatusLabel->setText(QStringLiteral("Recording to %1").arg(QDir::toNativeSeparators(path)));
}

void TRecorderForm::captured() {
    if (!writer_ || !capture_)
        return;
    const std::vector<int16_t> samples = capture_->take();
    int peak = 0;
    for (int16_t sample : samples)
        peak = std::max(peak, std::abs(int{sample}));
    LevelMeter->setValue(peak * 100 / 32768);
    if (!writer_->write(samples))
        fail(QStringLiteral("Writing the recording failed; the disk may be full."));
}

void TRecorderForm::StopButtonClick() {
    drainTimer_->stop();
    if (capture_) {
        captured();
        capture_.reset();
    }
    if (writer_) {
        const uint64_t frames = writer_->framesWritten();
        const bool closed = writer_->close();
        writer_.reset();
        StatusLabel->setText(closed ? QStringLiteral("Recorded %1 seconds")
                                          .arg(static_cast<double>(frames) / 44100.0, 0, 'f', 1)
                                    : QStringLiteral("Writing the recording failed."));
    }
    LevelMeter->setValue(0);
    RecordButton->setEnabled(true);
    StopButton->setEnabled(false);
    FileNameEdit->setEnabled(true);
}

void TRecorderForm::closeEvent(QCloseEvent *event) {
    StopButtonClick();
    event->accept();
}

} // namespace velbrin::tools
