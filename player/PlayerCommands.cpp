// The main window's key commands and the menu commands that start tools,
// write WAV files and hold the screen saver.

#include "KeyboardControl.h"
#include "PlayerForm.h"
#include "PlayerLogic.h"
#include "TSlider.h"
#include "Tplaylist.h"
#include "message_helpers.h"
#include "screen_saver.h"
#include "settings_store.h"
#include "shared_helpers.h"
#include "song_library.h"

#include "TFEditTag.h"
#include "TVolumeForm.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSlider>
#include <QToolButton>

namespace velbrin::player {

void TPlayerForm::setupKeys() {
    keyboard_ = new KeyboardControl(*this, [this](KeyCommand c) { runKeyCommand(c); });
}

void TPlayerForm::runKeyCommand(KeyCommand command) {
    try {
        switch (command) {
        case KeyCommand::PlayPause:
            if (PlayButton->isEnabled())
                PlayButtonClick();
            else if (PauseButton->isEnabled())
                PauseButtonClick();
            break;
        case KeyCommand::Stop:
            if (StopButton->isEnabled())
                StopButtonClick();
            break;
        case KeyCommand::NextSong:
            StepSong(+1);
            break;
        case KeyCommand::PreviousSong:
            StepSong(-1);
            break;
        case KeyCommand::Rewind:
        case KeyCommand::FastForward: {
            const int step = command == KeyCommand::Rewind ? -5 : +5;
            const int maximum = Slider->Maximum();
            controller_->seek(static_cast<uint32_t>(seekOffset(Slider->Position(), step, maximum)),
                              static_cast<uint32_t>(maximum));
            break;
        }
        case KeyCommand::VolumeUp:
        case KeyCommand::VolumeDown:
            // The volume window's slider carries the level: its change
            // handler sends it to the current player.
            if (volumeForm_ != nullptr) {
                QSlider *slider = volumeForm_->VolumeTrackBar;
                slider->setValue(command == KeyCommand::VolumeUp ? volumeUp(slider->value())
                                                                 : volumeDown(slider->value()));
            }
            break;
        case KeyCommand::Playlist:
            playlistbuttonClick();
            break;
        case KeyCommand::ToggleShuffle:
            shuffle->toggle();
            break;
        case KeyCommand::None:
            break;
        }
    } catch (const std::exception &e) {
        ShowInformation(QString::fromLocal8Bit(e.what()));
    }
}

void TPlayerForm::Open1Click() {
    const QString lastDrive = ReadSetting(QStringLiteral("Settings"), QStringLiteral("LastDrive"));
    const QStringList files = QFileDialog::getOpenFileNames(
        this, QStringLiteral("Open"), QDir(lastDrive).exists() ? lastDrive : QString(),
        QStringLiteral("MPEG-Music files and playlists (*.mp3 *.mp1 *.mp2 *.mpg *.lst *.pls "
                       "*.m3u *.m3u8);;All files (*)"));
    if (!files.isEmpty())
        openFiles(files);
}

void TPlayerForm::openFiles(const QStringList &files) {
    if (playlist_ == nullptr || files.isEmpty())
        return;
    library::SongList &list = playlist_->library().list;
    const int remembered = list.itemIndex();
    // The playlist window adds them as its own "Add file..." does: songs and
    // playlists in the dialog's order, behind the busy panel, and the first
    // file's folder becomes "LastDrive".
    playlist_->addChosenFiles(files);
    // Unlike that window, this command leaves the selection where the user
    // had it unless a song plays. A first song that these files started may
    // not have reported playing yet; with nothing selected before, it is
    // the one to show.
    const QString current = controller_->currentSongFile();
    const bool showCurrent = controller_->isPlaying() || (remembered < 0 && !current.isEmpty());
    list.select(showCurrent ? list.indexOfPathExact(current) : remembered);
    if (list.itemIndex() >= 0)
        list.setSelected(list.itemIndex(), true);
    playlist_->songListChanged();
    initButtons();
}

QString TPlayerForm::selectedSongPath() const {
    if (playlist_ == nullptr)
        return {};
    const library::SongList &list = playlist_->library().list;
    const int i = list.itemIndex();
    return i >= 0 && i < list.count() ? list.path(i) : QString();
}

void TPlayerForm::TAG1Click() {
    if (const QString path = selectedSongPath(); !path.isEmpty())
        editTag(path);
}

QString TPlayerForm::recorderPath() const {
    return controller_->appDir() + QStringLiteral("TavrelRec");
}

void TPlayerForm::RecordClick() {
    // The song is paused even when the Pause button is disabled.
    controller_->pause();
    // The tools are installed beside the program; it never writes programs
    // at run time.
    const QString path = recorderPath();
    const QFileInfo tool(path);
    if (!tool.isFile() || !tool.isExecutable()) {
        ShowInformation(QStringLiteral("The recorder could not be started: %1 is missing or "
                                       "cannot be run.")
                            .arg(path));
        return;
    }
    // The main window does not respond until the recorder ends.
    RunAndWait(path, {});
}

void TPlayerForm::MakeWaveClick() {
    controller_->soundOutput().makeWaveFile();
    const QString path = selectedSongPath();
    if (path.isEmpty()) {
        ShowInformation(QStringLiteral("Please select a song first."));
        return;
    }
    // Only a song that really started into a WAV file gets the notice, not a
    // cancelled folder choice or a song that could not be opened.
    bool started = false;
    const QMetaObject::Connection watch = connect(controller_, &PlaybackController::playStarted,
                                                  this, [&started] { started = true; });
    initPlayer(path);
    disconnect(watch);
    if (!started || !controller_->soundOutput().wavFileOutput())
        return;
    ShowInformation(fileNamePart(path.left(path.size() - 4) + QStringLiteral(".wav")) +
                    QStringLiteral(" is being created in ") +
                    ReadSetting(QStringLiteral("Settings"), QStringLiteral("WAVDir")));
}

void TPlayerForm::ScreensaverClick(bool allowed) {
    fScreenSaverActive = allowed;
    if (screenSaver_ == nullptr)
        screenSaver_ = new platform::ScreenSaverInhibit(QDBusConnection::sessionBus(), this);
    if (allowed)
        screenSaver_->release();
    else
        screenSaver_->hold(QStringLiteral("Playing music"));
}

} // namespace velbrin::player
