// The main window on Qt's offscreen platform, driving the engine test double.
#include "Application.h"
#include "PlayerForm.h"
#include "ProgramWindows.h"
#include "SpectrumView.h"
#include "TAboutBox.h"
#include "TCoolScrollingText.h"
#include "TInfoForm.h"
#include "TModulesForm.h"
#include "TSlider.h"
#include "TVolumeForm.h"
#include "TfrmPlayCategories.h"
#include "Tplaylist.h"
#include "engine_double.h"
#include "id3v1.h"
#include "play_order.h"
#include "settings_store.h"
#include "song_library.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

using velbrin::player::TPlayerForm;
using velbrin::test::doublePath;
using velbrin::test::EngineDouble;

// Readable failure messages for Qt texts.
void PrintTo(const QString &s, std::ostream *os) {
    *os << '"' << s.toStdString() << '"';
}
void PrintTo(const QStringList &l, std::ostream *os) {
    *os << '{' << l.join(", ").toStdString() << '}';
}

namespace {

class PlayerForm : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELBRIN_SETTINGS", dir.filePath("velbrin.ini").toLocal8Bit());
        engine.reset();
    }
    void TearDown() override { qunsetenv("VELBRIN_SETTINGS"); }

    std::unique_ptr<TPlayerForm> makeForm(QStringList args = {QStringLiteral("/prog/velbrin")}) {
        TPlayerForm::Options o;
        o.enginePath = doublePath();
        o.arguments = std::move(args);
        auto f = velbrin::player::createProgramWindows(o).form;
        for (int id = 1; id < 1000; ++id) {
            if (kv_player *p = engine.player(id)) {
                players.push_back(p);
            }
        }
        return f;
    }
    // The double's players of this form: song players first, then the probe.
    kv_player *player(int n) { return players.at(players.size() - 3 + static_cast<size_t>(n)); }
    std::string id(int n) {
        for (int i = 1; i < 1000; ++i) {
            if (engine.player(i) == player(n)) {
                return "#" + std::to_string(i);
            }
        }
        return "?";
    }
    void post(int n, KV_Message m) {
        engine.post(player(n), m);
        QApplication::processEvents();
    }
    static KV_Message state(int s) {
        KV_Message m{};
        m.Code = KV_NOTIFY_PLAYER_STATE;
        m.Data.State = static_cast<uint8_t>(s);
        return m;
    }
    std::vector<std::string> sendsTo(int n) {
        std::vector<std::string> out;
        const std::string tag = " " + id(n) + " ";
        for (const auto &l : engine.log()) {
            const auto at = l.find(tag);
            if (l.rfind("send_", 0) == 0 && at != std::string::npos) {
                out.push_back(l.substr(at + tag.size()));
            }
        }
        return out;
    }
    // Runs the action, answers the message box it shows, if any, and returns its text.
    static QString answerNextMessageBox(const std::function<void()> &action) {
        const QStringList texts = answerMessageBoxes(action);
        return texts.isEmpty() ? QString() : texts.front();
    }
    // Runs the action and answers every message box it shows, then or once
    // it has returned (messages are shown after the handler that found them);
    // returns their texts.
    static QStringList answerMessageBoxes(const std::function<void()> &action) {
        QStringList texts;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&texts] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                    texts << box->text();
                    box->accept();
                }
            }
        });
        poll.start();
        action();
        for (int pass = 0; pass < 5; ++pass) {
            QApplication::processEvents();
        }
        return texts;
    }

    QTemporaryDir dir;
    EngineDouble engine;
    std::vector<kv_player *> players;
};

} // namespace

TEST_F(PlayerForm, StartUpConfiguresThePlayersFromTheStore) {
    velbrin::WriteSetting("DJ-Settings", "OverlapStudio", "6");
    velbrin::WriteSetting("DJ-Settings", "MinVolumeStudio", "43");
    velbrin::WriteSetting("Settings", "PlayMode", "sTuDiO");
    auto form = makeForm();

    for (int n : {0, 1}) {
        const auto s = sendsTo(n);
        ASSERT_GE(s.size(), 3u);
        EXPECT_EQ(s[0], "27 'dsound_output_module_register@kv_dsound_output.dll'");
        EXPECT_EQ(s[1].substr(0, 31), "36 'OUTPUT.DIRECTSOUND.WINDOW' ");
        EXPECT_EQ(s[2], "49 '/dev/dsound/0'");
    }
    const auto probe = sendsTo(2);
    ASSERT_EQ(probe.size(), 6u);
    EXPECT_EQ(probe[2], "49 '/dev/dsound/0'");
    EXPECT_EQ(probe[3], "6");
    EXPECT_EQ(probe[4], "22");
    EXPECT_EQ(probe[5], "2");
    for (const auto &l : engine.log()) {
        if (l.rfind("player_set_priority", 0) == 0) {
            EXPECT_EQ(l.substr(l.size() - 2), " 4");
        }
    }

    EXPECT_TRUE(form->findChild<QRadioButton *>("RadioGroup1Item1")->isChecked());
    EXPECT_EQ(velbrin::ReadSetting("Settings", "PlayMode"), "Studio");
    EXPECT_EQ(form->statusPanel(3), "Overlap: 6 sec");
    EXPECT_EQ(form->statusPanel(4), "Min vol: 43");
}

TEST_F(PlayerForm, AFirstStartShowsTheOverlapTheSettingsWindowStores) {
    velbrin::WriteSetting("Settings", "PlayMode", "Studio");
    auto form = makeForm();
    EXPECT_EQ(form->statusPanel(3), "Overlap: 6 sec");
    EXPECT_EQ(form->statusPanel(4), "Min vol: 43");
}

TEST_F(PlayerForm, UnknownPlayModeSelectsNormAndWavOutputSetsNoName) {
    velbrin::WriteSetting("Settings", "PlayMode", "Party");
    velbrin::WriteSetting("Engine", "OutputModule", "3");
    auto form = makeForm();
    EXPECT_TRUE(form->findChild<QRadioButton *>("RadioGroup1Item0")->isChecked());
    EXPECT_EQ(velbrin::ReadSetting("Settings", "PlayMode"), "Norm");
    EXPECT_EQ(form->statusPanel(3), "Overlap: 0 sec");
    EXPECT_EQ(form->statusPanel(4), "Min vol: ");
    EXPECT_TRUE(form->controller()->soundOutput().wavFileOutput());
    for (int n : {0, 1, 2}) {
        for (const auto &s : sendsTo(n)) {
            EXPECT_NE(s.rfind("49 ", 0), 0u) << s;
        }
    }
}

TEST_F(PlayerForm, InitialControls) {
    auto form = makeForm();
    EXPECT_FALSE(form->PlayButton->isEnabled());
    EXPECT_FALSE(form->PauseButton->isEnabled());
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_EQ(form->PlayButton->toolTip(), "Plays the current song");
    EXPECT_EQ(form->prevdisc->toolTip(), "Moves to the previous directory");
    EXPECT_EQ(form->artist->text(), "Artist");
    EXPECT_EQ(form->Label8->text(), ">>>");
    EXPECT_EQ(form->TimeCode->text(), "00:00:00");
    EXPECT_EQ(form->comments->text(), "Comments");
    EXPECT_EQ(form->statusPanel(0), "Status:");
    EXPECT_EQ(form->statusPanel(1), "Idle...");
    EXPECT_EQ(form->statusPanel(5), "Playlist: 00:00:00");
    EXPECT_EQ(form->applicationTitle(), "Velbrin MP3 Player");
    EXPECT_EQ(form->centralWidget()->width(), 512);
    EXPECT_EQ(form->centralWidget()->height() + form->statusBar()->height(), 188);
    EXPECT_EQ(form->Timer2->interval(), 10000);
    EXPECT_TRUE(form->Timer2->isSingleShot());
    EXPECT_FALSE(form->Timer5->isActive());
    // The position slider sits at its place with its track's size and range.
    EXPECT_EQ(form->Slider->pos(), QPoint(264, 89));
    EXPECT_EQ(form->Slider->size(), form->Slider->Track().size());
    EXPECT_EQ(form->Slider->Maximum(), 400);
}

TEST_F(PlayerForm, PlayerStateRowsFollowOnlyTheCurrentPlayer) {
    auto form = makeForm();
    form->Title2->setText("My Song");
    post(0, state(1));
    EXPECT_TRUE(form->StopButton->isEnabled());
    EXPECT_FALSE(form->PlayButton->isEnabled());
    EXPECT_TRUE(form->PauseButton->isEnabled());
    EXPECT_EQ(form->statusPanel(1), "Playing");
    EXPECT_EQ(form->applicationTitle(), "My Song playing");
    EXPECT_TRUE(form->isPlaying());

    post(1, state(0)); // the other player
    post(2, state(0)); // the duration probe
    EXPECT_EQ(form->statusPanel(1), "Playing");

    post(0, state(2));
    EXPECT_EQ(form->statusPanel(1), "Paused");
    EXPECT_TRUE(form->PlayButton->isEnabled());
    EXPECT_FALSE(form->PauseButton->isEnabled());
    EXPECT_EQ(form->applicationTitle(), "My Song paused");

    post(0, state(0));
    EXPECT_EQ(form->statusPanel(1), "Stopped");
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_EQ(form->applicationTitle(), "Stopped");
    EXPECT_FALSE(form->isPlaying());
}

TEST_F(PlayerForm, EndOfSongStopsAndRepeatsOnlyWhenAsked) {
    auto form = makeForm();
    post(0, state(1));
    engine.reset();
    post(0, state(3));
    EXPECT_EQ(form->statusPanel(1), "End of song");
    EXPECT_FALSE(form->StopButton->isEnabled());
    EXPECT_TRUE(form->PlayButton->isEnabled());
    EXPECT_FALSE(form->isPlaying());
    const auto s = sendsTo(0);
    // Stop both, reset both, synchronize both, then back to the start: no Play.
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), "6");
    EXPECT_EQ(s.back(), "7 0 0");
    EXPECT_EQ(std::count(s.begin(), s.end(), "4"), 0);
    EXPECT_EQ(sendsTo(1).front(), "6");

    form->LoopedCb->setChecked(true);
    form->shuffle->setChecked(true);
    engine.reset();
    post(0, state(3));
    const auto again = sendsTo(0);
    ASSERT_FALSE(again.empty());
    EXPECT_EQ(again.back(), "4");
    EXPECT_TRUE(form->Timer2->isActive());
}

TEST_F(PlayerForm, RefusalsShowTheEngineText) {
    auto form = makeForm();
    KV_Message nack{};
    nack.Code = KV_NOTIFY_NACK;
    nack.Data.Nack.Command = 8;
    nack.Data.Nack.Code = 12;
    EXPECT_EQ(answerNextMessageBox([&] { post(0, nack); }), "Cannot Open Input (error 12)");
    nack.Data.Nack.Command = 4;
    nack.Data.Nack.Code = -3;
    EXPECT_EQ(answerNextMessageBox([&] { post(0, nack); }), "Cannot Play Stream (error -3)");
    nack.Data.Nack.Command = 6;
    EXPECT_EQ(answerNextMessageBox([&] { post(0, nack); }), "");
    nack.Data.Nack.Command = 8;
    EXPECT_EQ(answerNextMessageBox([&] { post(1, nack); }), ""); // not the current player
}

TEST_F(PlayerForm, InitPlayerOpensAndNamesTheWavFile) {
    velbrin::WriteSetting("Engine", "OutputModule", "3");
    velbrin::WriteSetting("Settings", "WAVDir", dir.path());
    auto form = makeForm();
    const QString song = dir.filePath("abc.mp3");
    engine.reset();
    form->initPlayer(song);
    const auto s = sendsTo(0);
    ASSERT_GE(s.size(), 5u);
    EXPECT_EQ(s[0], "6");
    EXPECT_EQ(s[1], "22");
    EXPECT_EQ(s[2], "2");
    EXPECT_EQ(s[3], "8 '" + song.toStdString() + "'");
    const std::string wav = "49 'wav:" + dir.path().toStdString() + "/abc.wav'";
    EXPECT_EQ(s[4], wav);
    EXPECT_EQ(s.back(), "4");
    // The other player may still be writing the previous song's file.
    const auto other = sendsTo(1);
    EXPECT_EQ(std::count(other.begin(), other.end(), wav), 0);
    EXPECT_EQ(form->currentSongFile(), song);
    EXPECT_TRUE(form->Timer2->isActive());
}

TEST_F(PlayerForm, Timer2WritesLastPlayAndStopStartsItAnew) {
    auto form = makeForm();
    form->controller()->setAppDir(dir.path() + "/");
    form->initPlayer("/music/one.mp3");
    form->Timer2Timer();
    form->initPlayer("/music/two.mp3");
    form->Timer2Timer();
    QFile f(form->lastPlayPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "/music/one.mp3\r\n/music/two.mp3\r\n");
    f.close();

    form->StopButtonClick();
    form->initPlayer("/music/three.mp3");
    form->Timer2Timer();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "/music/three.mp3\r\n");
}

TEST_F(PlayerForm, UpdateViewWithAndWithoutTag) {
    auto form = makeForm();
    const QString untagged = dir.filePath("plain song.mp3");
    {
        QFile f(untagged);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(400, '\x55'));
    }
    form->UpdateView(untagged);
    EXPECT_EQ(form->Title2->Strings(), QStringList{"plain song.mp3"});
    EXPECT_EQ(form->artist->text(), "(No file information)");
    EXPECT_EQ(form->category->text(), "(Press F5 to edit tag)");
    EXPECT_EQ(form->album->text(), "");

    const QString tagged = dir.filePath("tagged.mp3");
    {
        velbrin::library::TagContents t;
        t.title = "<b>A Title</b>";
        t.artist = "An Artist";
        t.album = "An Album";
        t.year = "2001";
        t.genre = 17;
        QFile f(tagged);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(400, '\x55'));
        f.write(velbrin::library::buildTagBlock(t));
    }
    form->UpdateView(tagged);
    EXPECT_EQ(form->artist->text(), "An Artist");
    EXPECT_EQ(form->album->text(), "An Album");
    EXPECT_EQ(form->year->text(), "2001");
    EXPECT_EQ(form->category->text(), velbrin::library::GenreNames[17]);
    EXPECT_EQ(form->title->text(), "<b>A Title</b>");
    EXPECT_EQ(form->title->textFormat(), Qt::PlainText);
    EXPECT_EQ(form->CurrentTitleText, "<b>A Title</b>\r\n");
    EXPECT_EQ(form->applicationTitle(), "<b>A Title</b> playing");
    EXPECT_TRUE(form->title->isVisibleTo(form.get()));
    EXPECT_FALSE(form->Title2->Active());

    // A title too wide for the title area scrolls instead.
    form->Title2->setText(QString(80, QChar('W')));
    form->FitTitle();
    EXPECT_TRUE(form->Title2->Active());
    EXPECT_FALSE(form->title->isVisibleTo(form.get()));
}

TEST_F(PlayerForm, TitleThatStartsScrollingUnderTheBusyPanelLosesThePanelWithIt) {
    auto form = makeForm();
    form->show();
    form->showworkpanel();
    form->Title2->setText(QString(80, QChar('W')));
    form->FitTitle();
    form->hideworkpanel();
    const QRgb panel = form->pnlWorking->palette().color(QPalette::Window).rgb();
    const QImage frame = form->Title2->grab().toImage();
    int panelPixels = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            panelPixels += frame.pixel(x, y) == panel ? 1 : 0;
        }
    }
    EXPECT_EQ(panelPixels, 0);
}

TEST_F(PlayerForm, DisplayFollowsPositionTimeAndStreamReports) {
    auto form = makeForm();
    KV_Message m{};
    m.Code = KV_NOTIFY_INPUT_POSITION;
    m.Data.Position = {100, 400};
    post(0, m);
    EXPECT_EQ(form->Slider->Position(), 100);
    m.Data.Position = {300, 0}; // a zero range must not divide by zero
    post(0, m);
    EXPECT_EQ(form->Slider->Position(), 0);
    m.Data.Position = {50, 100};
    post(1, m); // not current
    EXPECT_EQ(form->Slider->Position(), 0);

    m = {};
    m.Code = KV_NOTIFY_INPUT_TIMECODE;
    m.Data.TimeCode = {1, 2, 3, 0};
    post(0, m);
    EXPECT_EQ(form->TimeCode->text(), "01:02:03");
    m = {};
    m.Code = KV_NOTIFY_STREAM_DURATION;
    m.Data.Duration = 754;
    post(0, m);
    EXPECT_EQ(form->DurationText->text(), "00:12:34");
    m = {};
    m.Code = KV_NOTIFY_STREAM_PARAMETERS;
    m.Data.Stream_Parameters = {44100, 128, 2};
    post(0, m);
    EXPECT_EQ(form->statusPanel(2), "44100 Hz, 2 Ch, 128 kbps");
    EXPECT_EQ(form->InfoForm()->fieldText("StreamParametersText"), "44100 Hz, 2 Ch, 128 kbps");
    m = {};
    m.Code = KV_NOTIFY_OUTPUT_MODULE;
    m.Data.Module_ID = -1;
    post(0, m);
    EXPECT_EQ(form->InfoForm()->fieldText("OutputModuleText"), "AUTOSELECT");
    m = {};
    m.Code = KV_NOTIFY_OUTPUT_STATE;
    m.Data.State = 2;
    post(0, m);
    EXPECT_FALSE(form->VolumeForm()->isEnabled());
    EXPECT_TRUE(form->VolumeButton->isEnabled()) << "the button still shows the window";
}

TEST_F(PlayerForm, StreamPropertiesShowIntegersAndTexts) {
    auto form = makeForm();
    const KV_Property props[] = {{"Layer", KV_PROPERTY_TYPE_INTEGER, {.IntegerValue = 3}},
                                 {"Channel mode", KV_PROPERTY_TYPE_STRING, {.StringValue = "Mono"}},
                                 {"Odd", 7, {.IntegerValue = 1}}};
    KV_Message m{};
    m.Code = KV_NOTIFY_STREAM_PROPERTIES;
    m.Data.Properties = {3, props};
    post(0, m);
    auto *list = form->InfoForm()->findChild<QListWidget *>("StreamPropertiesList");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(0)->text(), "Layer: 3");
    EXPECT_EQ(list->item(1)->text(), "Channel mode: Mono");
    // The numbers the engine sends: 1 an integer, 0 a text.
    EXPECT_EQ(KV_PROPERTY_TYPE_INTEGER, 1);
    EXPECT_EQ(KV_PROPERTY_TYPE_STRING, 0);
}

TEST_F(PlayerForm, ModuleListIsEmptiedForEachRequest) {
    auto form = makeForm();
    KV_Message module{};
    module.Code = KV_NOTIFY_OUTPUT_MODULE_INFO;
    module.Data.Module_Info = {0, 1, "null", "Silent output"};
    KV_Message device{};
    device.Code = KV_NOTIFY_OUTPUT_DEVICE_INFO;
    device.Data.Device_Info = {0, 0, 0, "/dev/null/0", "nothing"};
    KV_Message stray = device;
    stray.Data.Device_Info.Module_ID = 9; // no such module node: must not fail
    for (int round = 0; round < 2; ++round) {
        form->InfoForm()->ListOutputModulesClick();
        post(0, module);
        post(0, device);
        post(0, stray);
    }
    auto *tree = form->ModulesForm()->TreeView;
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Output Modules");
    ASSERT_EQ(tree->topLevelItem(0)->childCount(), 2); // the module and the stray device
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(0), "null [Silent output]");
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->child(0)->text(0), "/dev/null/0 [nothing]");
    EXPECT_TRUE(form->ModulesForm()->isVisible());
}

TEST_F(PlayerForm, CommandLineRestoresModeBoxesAndPlaysTheFirstSong) {
    velbrin::WriteSetting("Settings", "ShuffleOn", "-1");
    velbrin::WriteSetting("Settings", "RepeatAll", "TRUE");
    const QString song = dir.filePath("x.mp3");
    QFile(song).open(QIODevice::WriteOnly);
    auto form = makeForm({"/prog/velbrin", song, dir.filePath("nothing-here")});
    engine.reset();
    form->Timer3Timer();
    EXPECT_TRUE(form->shuffle->isChecked());
    EXPECT_TRUE(form->checkbox1->isChecked());
    EXPECT_EQ(form->currentSongFile(), song);
    EXPECT_FALSE(form->pnlWorking->isVisible());
    const auto sent = sendsTo(0);
    ASSERT_FALSE(sent.empty());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "4"), sent.end());
}

namespace {
// Songs in two folders, with tags so the list shows their texts.
QStringList makeSongs(const QTemporaryDir &dir, bool fourth = false) {
    QStringList paths;
    std::vector<const char *> names{"a/1.mp3", "a/2.mp3", "b/3.mp3"};
    if (fourth) {
        names.push_back("b/4.mp3");
    }
    for (const char *name : names) {
        const QString path = dir.filePath(QLatin1String(name));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        velbrin::library::TagContents t;
        t.title = QStringLiteral("Song %1").arg(paths.size() + 1);
        t.artist = QStringLiteral("Artist");
        f.write(QByteArray(300, '\x55'));
        f.write(velbrin::library::buildTagBlock(t));
        paths << path;
    }
    return paths;
}
} // namespace

TEST_F(PlayerForm, AFolderOnTheCommandLineFillsTheListAndStartsItsFirstSong) {
    const QStringList songs = makeSongs(dir);
    auto form = makeForm({"/prog/velbrin", dir.path()});
    form->Timer3Timer();
    const auto &list = form->playlist()->library().list;
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.filenamelist(), songs);
    EXPECT_EQ(form->currentSongFile(), songs[0]);
    EXPECT_EQ(list.itemIndex(), 0);
    // At the first song: no previous song or folder, next of both.
    EXPECT_FALSE(form->bitbtn1->isEnabled());
    EXPECT_TRUE(form->bitbtn2->isEnabled());
    EXPECT_FALSE(form->prevdisc->isEnabled());
    EXPECT_TRUE(form->nextdisc->isEnabled());
}

TEST_F(PlayerForm, NextSongNextFolderAndTheEndOfTheList) {
    const QStringList songs = makeSongs(dir, true);
    auto form = makeForm({"/prog/velbrin", dir.path()});
    form->Timer3Timer();
    engine.reset();
    form->bitbtn2->click();
    EXPECT_EQ(form->currentSongFile(), songs[1]);
    const auto sent = sendsTo(0);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "8 '" + songs[1].toStdString() + "'"),
              sent.end());
    form->nextdisc->click();
    EXPECT_EQ(form->currentSongFile(), songs[2]);
    EXPECT_TRUE(form->prevdisc->isEnabled());

    // The end of a song that is not the last plays the next one ...
    post(0, state(3));
    EXPECT_EQ(form->currentSongFile(), songs[3]);
    EXPECT_FALSE(form->bitbtn2->isEnabled());
    EXPECT_FALSE(form->nextdisc->isEnabled());
    // ... nothing follows the last one without "All songs" ...
    post(0, state(3));
    EXPECT_EQ(form->currentSongFile(), songs[3]);
    EXPECT_EQ(form->statusPanel(1), "End of song");
    // ... and the first song with it.
    form->checkbox1->setChecked(true);
    post(0, state(3));
    EXPECT_EQ(form->currentSongFile(), songs[0]);
    EXPECT_EQ(form->playlist()->library().list.itemIndex(), 0);

    form->bitbtn2->click();
    form->prevdisc->click(); // from the first folder: entry 0 plays again
    EXPECT_EQ(form->currentSongFile(), songs[0]);
}

TEST_F(PlayerForm, NextFolderWhoseFirstSongIsTheLastPlaysNothing) {
    const QStringList songs = makeSongs(dir);
    auto form = makeForm({"/prog/velbrin", dir.path()});
    form->Timer3Timer();
    form->nextdisc->click();
    EXPECT_EQ(form->currentSongFile(), songs[0]);
    EXPECT_FALSE(form->nextdisc->isEnabled());
}

TEST_F(PlayerForm, RepeatModesExcludeEachOtherAndAreSaved) {
    auto form = makeForm();
    form->checkbox1->setChecked(true);
    form->LoopedCb->setChecked(true);
    EXPECT_FALSE(form->checkbox1->isChecked());
    EXPECT_EQ(velbrin::ReadSetting("Settings", "RepeatAll"), "0");
    form->checkbox1->setChecked(true);
    EXPECT_FALSE(form->LoopedCb->isChecked());
    EXPECT_EQ(velbrin::ReadSetting("Settings", "RepeatAll"), "-1");
    form->shuffle->setChecked(true);
    EXPECT_EQ(velbrin::ReadSetting("Settings", "ShuffleOn"), "-1");
}

TEST_F(PlayerForm, DroppedNamesJoinTheListInOrderWithoutDuplicates) {
    const QStringList songs = makeSongs(dir);
    auto form = makeForm();
    // Only a name repeated right after itself is skipped; a folder is walked.
    form->addNames({songs[2], songs[2], songs[0], dir.filePath("a")});
    const auto &list = form->playlist()->library().list;
    EXPECT_EQ(list.filenamelist(), (QStringList{songs[2], songs[0], songs[0], songs[1]}));
    EXPECT_EQ(form->currentSongFile(), songs[2]); // the first song of an empty list starts
}

TEST_F(PlayerForm, OpenAddsSongsAndPlaylistsInDialogOrderAndKeepsTheSelection) {
    const QStringList songs = makeSongs(dir, true);
    const QString playlistFile = dir.filePath("mix.lst");
    QFile lst(playlistFile);
    ASSERT_TRUE(lst.open(QIODevice::WriteOnly));
    lst.write((songs[3] + "\r\n" + songs[0] + "\r\n").toLocal8Bit());
    lst.close();
    auto form = makeForm();
    auto &list = form->playlist()->library().list;

    form->openFiles({songs[2], playlistFile, songs[1]});
    EXPECT_EQ(list.filenamelist(), (QStringList{songs[2], songs[3], songs[0], songs[1]}));
    EXPECT_EQ(velbrin::ReadSetting("Settings", "LastDrive"), dir.filePath("b") + "/");
    EXPECT_EQ(form->currentSongFile(), songs[2]); // the first song of an empty list starts

    // While a song plays, it is the one selected afterwards ...
    post(0, state(1));
    list.select(3);
    form->openFiles({songs[0]});
    EXPECT_EQ(list.itemIndex(), 0);
    // ... otherwise the entry the user had selected stays so.
    post(0, state(0));
    list.select(2);
    form->openFiles({songs[1]});
    EXPECT_EQ(list.itemIndex(), 2);
    EXPECT_EQ(list.count(), 6);
}

TEST_F(PlayerForm, MenuCommandsOpenTheirWindows) {
    const QStringList songs = makeSongs(dir);
    auto form = makeForm();
    // The class of the modal window the command opens; the window is closed again.
    const auto modalOpenedBy = [&](const char *action) {
        QString seen;
        QTimer close;
        close.setInterval(20);
        QObject::connect(&close, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                seen = QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        close.start();
        form->findChild<QAction *>(QLatin1String(action))->trigger();
        return seen;
    };
    EXPECT_EQ(modalOpenedBy("TAG1"), ""); // no song selected: nothing happens
    form->openFiles({songs[1]});
    EXPECT_EQ(modalOpenedBy("TAG1"), "velbrin::library::TFEditTag");
    EXPECT_EQ(modalOpenedBy("Settings1"), "velbrin::settings::Tsettings");

    form->findChild<QAction *>("PlayCD1")->trigger();
    const auto *cd = form->findChild<QDialog *>("Cdform");
    ASSERT_NE(cd, nullptr);
    EXPECT_TRUE(cd->isVisible());
}

TEST_F(PlayerForm, AboutBoxShowsThisMachine) {
    EXPECT_EQ(velbrin::player::kilobytesText(2097152).remove(QRegularExpression("[^0-9 KB]")),
              "2097152 KB");
    EXPECT_EQ(velbrin::player::operatingSystemLine("Linux", "6.1.0-18-amd64"),
              "Linux 6.1 (Build 0: -18-amd64)");
    EXPECT_EQ(velbrin::player::operatingSystemLine("Linux", "5.10.12"), "Linux 5.10 (Build 12)");
    velbrin::player::TAboutBox box;
    auto *mem = box.findChild<QLabel *>("PhysMem");
    ASSERT_NE(mem, nullptr);
    EXPECT_TRUE(mem->text().endsWith(" KB"));
    EXPECT_NE(mem->text(), "0 KB");
    EXPECT_TRUE(box.findChild<QLabel *>("OS")->text().startsWith("Linux"));
}

TEST_F(PlayerForm, AMissingEngineIsReportedAndNothingCrashes) {
    TPlayerForm::Options o;
    o.enginePath = "/nonexistent/kelvra.dll";
    o.arguments = {"/prog/velbrin"};
    std::unique_ptr<TPlayerForm> form;
    const QStringList shown =
        answerMessageBoxes([&] { form = velbrin::player::createProgramWindows(o).form; });
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.front(), "Cannot Load Kelvra DLL (/nonexistent/kelvra.dll)");
    EXPECT_TRUE(shown.back().startsWith("There was an error initializing the PlayListPlayer!"))
        << shown.join("|").toStdString();

    // A user action that reaches the missing engine is reported, not fatal.
    form->show();
    form->PlayButton->setEnabled(true);
    const QStringList reported = answerMessageBoxes([&] {
        QTest::mouseClick(form->PlayButton, Qt::LeftButton);
        form->PauseButtonClick();
        form->StopButtonClick(); // every step fails, one message
    });
    const QString refused = "Cannot Load Kelvra DLL (/nonexistent/kelvra.dll)";
    EXPECT_EQ(reported, (QStringList{refused, refused, refused}));
}

TEST_F(PlayerForm, SoundSettingsAndTheArrowLabelOpenTheirWindows) {
    auto form = makeForm();
    const QString rock = dir.filePath("rock.mp3");
    QFile song(rock);
    ASSERT_TRUE(song.open(QIODevice::WriteOnly));
    song.write(QByteArray(300, 'a') + "TAG" + QByteArray(124, ' ') + char(17));
    song.close();
    form->playlist()->library().ProcessFile(rock);

    QTest::mouseClick(form->VolumeButton, Qt::LeftButton);
    EXPECT_TRUE(form->VolumeForm()->isVisible());
    QTest::mouseDClick(form->Label8, Qt::LeftButton);
    auto *categories = form->findChild<velbrin::library::TfrmPlayCategories *>();
    ASSERT_NE(categories, nullptr);
    EXPECT_TRUE(categories->isVisible());
    ASSERT_TRUE(form->playlist()->library().categories.setChecked(17, true));
    categories->CloseButtonClick();
    EXPECT_EQ(form->Label8->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    ASSERT_TRUE(form->playlist()->library().categories.setChecked(17, false));
    categories->CloseButtonClick();
    EXPECT_EQ(form->Label8->palette().color(QPalette::WindowText), QColor(0, 255, 255));
}

// While the output reports a fault the button and the menu item still show
// the volume window, disabled until the output works again.
TEST_F(PlayerForm, VolumeWindowShowsDisabledWhileTheOutputFails) {
    auto form = makeForm();
    KV_Message fault{};
    fault.Code = KV_NOTIFY_OUTPUT_STATE;
    fault.Data.State = 1;
    post(0, fault);
    for (const auto &open : std::vector<std::function<void()>>{
             [&] { form->findChild<QAction *>("Volume1")->trigger(); },
             [&] { QTest::mouseClick(form->VolumeButton, Qt::LeftButton); }}) {
        form->VolumeForm()->hide();
        open();
        EXPECT_TRUE(form->VolumeForm()->isVisible());
        EXPECT_FALSE(form->VolumeForm()->isEnabled());
    }
    fault.Data.State = 0;
    post(0, fault);
    EXPECT_TRUE(form->VolumeForm()->isEnabled());
}

// Each player reads the equalizer back after it is set; the window shows what
// the current player reports.
TEST_F(PlayerForm, EqualizerIsReadBackAndTheCurrentPlayersReportShown) {
    auto form = makeForm();
    velbrin::settings::TVolumeForm *volume = form->VolumeForm();
    const auto equalizerSends = [&](int n) {
        std::vector<std::string> out;
        for (const auto &s : sendsTo(n)) {
            if (s.rfind("65 ", 0) == 0 || s == "66") {
                out.push_back(s);
            }
        }
        return out;
    };
    engine.reset();
    volume->EnableCheckBox->setChecked(true);
    volume->EnableCheckBox->setChecked(false); // switched off: nothing to read back
    for (int n : {0, 1}) {
        EXPECT_EQ(equalizerSends(n), (std::vector<std::string>{"65 ptr", "66", "65 null"})) << n;
    }

    volume->EnableCheckBox->setChecked(true);
    KV_EqualizerInfo reported{};
    reported.Left[0] = 40; // the engine holds +40 in band 0 and nothing else
    KV_Message m{};
    m.Code = KV_NOTIFY_CODEC_EQUALIZER;
    m.Data.Equalizer = &reported;
    volume->EqualizerTrackBars[15]->setValue(30);
    post(1, m); // not the player the window follows
    EXPECT_EQ(volume->EqualizerTrackBars[15]->value(), 30);
    engine.reset();
    post(0, m);
    EXPECT_EQ(volume->EqualizerTrackBars[0]->value(), -40);
    EXPECT_EQ(volume->EqualizerTrackBars[15]->value(), 0);
    EXPECT_TRUE(equalizerSends(0).empty()) << "a report is not sent back";
}

TEST_F(PlayerForm, CurrentPlayersLevelsAreShownWithoutBeingSentBack) {
    auto form = makeForm();
    velbrin::settings::TVolumeForm *volume = form->VolumeForm();
    engine.reset();
    KV_Message m{};
    m.Code = KV_NOTIFY_OUTPUT_VOLUME;
    m.Data.Volume = {70, 60, 40};
    post(0, m);
    EXPECT_EQ(volume->MasterTrackBar->value(), 70);
    EXPECT_EQ(volume->VolumeTrackBar->value(), 60);
    EXPECT_EQ(volume->BalanceTrackBar->value(), 40);
    m.Data.Volume = {10, 10, 10};
    post(1, m); // the other player is not the one the window follows
    EXPECT_EQ(volume->VolumeTrackBar->value(), 60);
    const auto volumeSends = [&] {
        const auto s = sendsTo(0);
        return std::count_if(s.begin(), s.end(), [](const std::string &l) {
            return l.rfind(std::to_string(KV_CMD_SET_OUTPUT_VOLUME) + " ", 0) == 0;
        });
    };
    EXPECT_EQ(volumeSends(), 0);
    volume->VolumeTrackBar->setValue(20);
    EXPECT_EQ(volumeSends(), 1);

    // The window works only while the current player's output does.
    m = {};
    m.Code = KV_NOTIFY_OUTPUT_STATE;
    m.Data.State = 1;
    post(1, m);
    EXPECT_TRUE(volume->isEnabled());
    post(0, m);
    EXPECT_FALSE(volume->isEnabled());
    m.Data.State = 0;
    post(0, m);
    EXPECT_TRUE(volume->isEnabled());
}

namespace {
// Presses a key on the active main window as a user would.
void pressKey(TPlayerForm &form, Qt::Key key, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : &form;
    QTest::keyClick(target, key, m);
}
} // namespace

TEST_F(PlayerForm, WindowKeysFollowThePresetReadAtEachPress) {
    auto form = makeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto seeks = [&] {
        std::vector<std::string> out;
        for (const auto &s : sendsTo(0)) {
            if (s.rfind("7 ", 0) == 0)
                out.push_back(s);
        }
        return out;
    };
    // The seek is kept within the song: 398 + 5 goes to the end, 3 - 5 to the start.
    form->Slider->setPosition(398);
    engine.reset();
    pressKey(*form, Qt::Key_Right);
    form->Slider->setPosition(3);
    pressKey(*form, Qt::Key_Left);
    EXPECT_EQ(seeks(), (std::vector<std::string>{"7 400 400", "7 0 400"}));

    // Volume up and down move the volume window's slider within 0..99.
    QSlider *volume = form->VolumeForm()->VolumeTrackBar;
    volume->setValue(97);
    pressKey(*form, Qt::Key_Up);
    EXPECT_EQ(volume->value(), 99);
    pressKey(*form, Qt::Key_Up);
    EXPECT_EQ(volume->value(), 99);
    volume->setValue(3);
    pressKey(*form, Qt::Key_Down);
    EXPECT_EQ(volume->value(), 0);

    velbrin::WriteSetting("KeyMappings", "Default", "1");
    const bool shuffled = form->shuffle->isChecked();
    pressKey(*form, Qt::Key_Escape);
    EXPECT_NE(form->shuffle->isChecked(), shuffled);

    velbrin::WriteSetting("KeyMappings", "Default", "3"); // no such preset: no keys
    engine.reset();
    pressKey(*form, Qt::Key_Right);
    pressKey(*form, Qt::Key_Escape);
    EXPECT_TRUE(seeks().empty());
    EXPECT_NE(form->shuffle->isChecked(), shuffled);
}

TEST_F(PlayerForm, MakeWaveFileNoticeOnlyForAStartedSong) {
    const QStringList songs = makeSongs(dir);
    velbrin::WriteSetting("Settings", "WAVDir", dir.path());
    auto form = makeForm();
    EXPECT_EQ(answerNextMessageBox([&] { form->MakeWaveClick(); }),
              QStringLiteral("Please select a song first."));
    // stays set for the songs that follow
    EXPECT_TRUE(form->controller()->soundOutput().wavFileOutput());
    form->addNames({songs[0]});
    form->controller()->soundOutput().choose(velbrin::player::OutputChoice::SoundCard);
    EXPECT_EQ(answerNextMessageBox([&] { form->MakeWaveClick(); }),
              QStringLiteral("1.wav is being created in ") + dir.path());
    EXPECT_EQ(form->currentSongFile(), songs[0]);
}

TEST_F(PlayerForm, RecordPausesAndStartsTheInstalledRecorder) {
    auto form = makeForm();
    QTemporaryDir programDir;
    form->controller()->setAppDir(programDir.path() + QLatin1Char('/'));
    EXPECT_EQ(answerNextMessageBox([&] { form->RecordClick(); }),
              QStringLiteral("The recorder could not be started: %1TavrelRec is missing or "
                             "cannot be run.")
                  .arg(form->appDir()));

    // A stand-in recorder that leaves a mark when it runs.
    const QString tool = programDir.filePath(QStringLiteral("TavrelRec"));
    QFile script(tool);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\ntouch '%1/ran'\n").arg(programDir.path()).toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    engine.reset();
    form->RecordClick();
    EXPECT_TRUE(QFileInfo::exists(programDir.filePath(QStringLiteral("ran"))));
    const auto sent = sendsTo(0);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "5"), sent.end()); // paused first
}

TEST_F(PlayerForm, LiveSpectrumFollowsTheCurrentPlayerAndGoesBeforeThePlayers) {
    velbrin::WriteIntegerSetting("DJ-Settings", "OverlapStudio", 2);
    makeSongs(dir);
    auto form = makeForm({"/prog/velbrin", dir.path()});
    form->Timer3Timer();
    form->controller()->setOverlapMode(1);
    form->show();
    auto *view = form->findChild<velbrin::player::SpectrumView *>("SpectrumView");
    ASSERT_NE(view, nullptr);
    const auto registered = [this](int n) {
        const auto s = sendsTo(n);
        return std::count_if(s.begin(), s.end(), [](const std::string &l) {
            return l.rfind("125 'function@", 0) == 0;
        });
    };
    EXPECT_EQ(registered(0), 0) << "nothing before a song plays";
    EXPECT_FALSE(view->isRunning());

    post(0, state(1));
    EXPECT_EQ(registered(0), 1);
    EXPECT_TRUE(view->isRunning());
    form->hide();
    EXPECT_FALSE(view->isRunning());
    form->show();
    EXPECT_TRUE(view->isRunning());
    post(0, state(0));
    EXPECT_FALSE(view->isRunning());
    post(0, state(1));
    EXPECT_EQ(registered(0), 1) << "switched on once per player";
    KV_Message output{};
    output.Code = KV_NOTIFY_OUTPUT_STATE;
    output.Data.State = KV_OUTPUT_STATE_LOST;
    post(0, output);
    EXPECT_FALSE(view->isRunning()) << "flat while the sound output is lost";
    output.Data.State = 0;
    post(0, output);
    EXPECT_TRUE(view->isRunning());

    // A Studio overlap hands the song over to the other player.
    KV_Message m{};
    m.Code = KV_NOTIFY_STREAM_DURATION;
    m.Data.Duration = 10;
    post(0, m);
    for (uint8_t s = 0; s <= 8; ++s) {
        m = {};
        m.Code = KV_NOTIFY_INPUT_TIMECODE;
        m.Data.TimeCode = {0, 0, s, 0};
        post(0, m);
    }
    post(1, state(1));
    EXPECT_EQ(registered(1), 1) << "the hand-over is followed";

    engine.reset();
    form->close();
    // The players go once no handler is left on the stack.
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto log = engine.log();
    const auto first = [&log](const std::string &prefix) {
        return std::find_if(log.begin(), log.end(),
                            [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
    };
    ASSERT_NE(first("fft_analyzer_delete A"), log.end());
    ASSERT_NE(first("player_delete"), log.end());
    EXPECT_LT(first("fft_analyzer_delete A"), first("player_delete"));
}

// The engine holds the song while its sound device is away; the user is told
// why nothing is heard, and told again when it plays on.
TEST_F(PlayerForm, StatusBarSaysWhenTheSoundOutputIsLostAndBack) {
    auto form = makeForm();
    const auto output = [](uint8_t s) {
        KV_Message m{};
        m.Code = KV_NOTIFY_OUTPUT_STATE;
        m.Data.State = s;
        return m;
    };
    post(0, output(0)); // every song's open says so
    EXPECT_EQ(form->statusBar()->currentMessage(), "");
    post(0, output(KV_OUTPUT_STATE_LOST));
    EXPECT_EQ(form->statusBar()->currentMessage(),
              "Sound output lost: waiting for the sound server");
    post(1, output(0)); // not the current player
    EXPECT_EQ(form->statusBar()->currentMessage(),
              "Sound output lost: waiting for the sound server");
    post(0, output(0));
    EXPECT_EQ(form->statusBar()->currentMessage(), "Sound output is back");
}
