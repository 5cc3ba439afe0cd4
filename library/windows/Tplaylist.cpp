#include "Tplaylist.h"

#include "PlaylistHost.h"
#include "SongListView.h"
#include "Ttavrelopendialog.h"
#include "folder_walk.h"
#include "message_helpers.h"
#include "playlist_files.h"
#include "settings_store.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace velbrin::library {

namespace {

const QString kPlayListSection = QStringLiteral("PlayList");
const QString kAutoUpdateName = QStringLiteral("AutoUpdatePlaytime");
const QString kSettingsSection = QStringLiteral("Settings");
const QString kLastDriveName = QStringLiteral("LastDrive");

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &hint = QString()) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    if (!hint.isEmpty()) {
        button->setToolTip(hint);
    }
    // Enter in the search box must not press "Play" or any other button.
    button->setAutoDefault(false);
    return button;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

// The folder "LastDrive" names, when it still exists.
QString lastDrive() {
    const QString folder = ReadSetting(kSettingsSection, kLastDriveName);
    return !folder.isEmpty() && QDir(folder).exists() ? folder : QString();
}

bool namesPlaylist(const QStringList &names) {
    return std::any_of(names.begin(), names.end(), [](const QString &name) {
        return isPlaylistExtension(upperExtension(name));
    });
}

} // namespace

Tplaylist::Tplaylist(PlaylistHost &host, DurationProbe &probe, QWidget *parent,
                     std::chrono::milliseconds durationLimit)
    : QDialog(parent), host_(host),
      durations_(std::make_unique<DurationQueue>(probe, durationLimit)) {
    setObjectName(QStringLiteral("playlist"));
    setWindowTitle(QStringLiteral("Playlist"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setMinimumSize(530, 350);
    setAcceptDrops(true);

    library_.durations = durations_.get();
    library_.shuffleOn = [this] { return host_.shuffleOn(); };
    library_.startFirstSong = [this](const QString &path) {
        // The first song of an empty list starts at once; a failure to start
        // it must not stop the songs after it from being added.
        try {
            host_.initPlayer(path);
        } catch (const std::exception &) {
        }
    };
    connect(durations_.get(), &DurationQueue::totalChanged, this, &Tplaylist::showTotal);
    connect(durations_.get(), &DurationQueue::finished, this, &Tplaylist::durationsFinished);

    buildControls();
    buildDialogs();

    CheckBox1->setChecked(ReadBooleanSetting(kPlayListSection, kAutoUpdateName, false));
    library_.autoUpdatePlaytime = CheckBox1->isChecked();
    showList();
}

Tplaylist::~Tplaylist() {
    // The queue may still be measuring through the probe; end that before the
    // library that points at it goes.
    library_.durations = nullptr;
    durations_.reset();
}

void Tplaylist::buildControls() {
    Label3 = makeLabel(this, "Label3", QStringLiteral("Songs in playlist:"));
    Label4 = makeLabel(this, "Label4", QStringLiteral("0"));
    CheckBox1 = new QCheckBox(QStringLiteral("Autoupdate total playtime"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setLayoutDirection(Qt::RightToLeft); // the text left of the box
    Label5 = makeLabel(this, "Label5", QStringLiteral("Playlist total playtime: "));
    DurationText = makeLabel(this, "DurationText", QStringLiteral("0"));
    Label1 = makeLabel(this, "Label1", QStringLiteral("Search for song:"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Label1->setBuddy(Edit1);
    SpeedButton1 = makeButton(this, "SpeedButton1", QStringLiteral("Update total Playingtime"));

    realnamelist = new QListView(this);
    realnamelist->setObjectName(QStringLiteral("realnamelist"));
    realnamelist->setSelectionMode(QAbstractItemView::ExtendedSelection);
    realnamelist->setUniformItemSizes(true);
    realnamelist->setEditTriggers(QAbstractItemView::NoEditTriggers);
    realnamelist->setContextMenuPolicy(Qt::CustomContextMenu);
    QPalette palette = realnamelist->palette();
    palette.setColor(QPalette::Base, Qt::black);
    realnamelist->setPalette(palette);
    QFont font(QStringLiteral("Times New Roman"));
    font.setBold(true);
    font.setPixelSize(11);
    realnamelist->setFont(font);
    model_ = new SongListModel(library_.list, this);
    realnamelist->setModel(model_);
    realnamelist->setItemDelegate(
        new SongEntryDelegate(library_.list,
                              {[this] { return fupdating; }, [this] { return host_.shuffleOn(); },
                               [this] { return host_.currentSongFile(); }},
                              realnamelist));

    SpeedButton2 = makeButton(this, "SpeedButton2", QStringLiteral("Copy playlist..."));
    BitBtn1 = makeButton(this, "BitBtn1", QStringLiteral("Move up    "),
                         QStringLiteral("Moves selected files upwards in playlist"));
    BitBtn2 = makeButton(this, "BitBtn2", QStringLiteral("Move down"),
                         QStringLiteral("Moves selected files downwards in playlist"));
    BitBtn4 = makeButton(this, "BitBtn4", QStringLiteral("Remove"),
                         QStringLiteral("Removes selected files from playlist"));
    Button3 = makeButton(this, "Button3", QStringLiteral("Clear list"),
                         QStringLiteral("Clear the playlist of all songs"));
    button2 =
        makeButton(this, "button2", QStringLiteral("Play"), QStringLiteral("Play selected file"));
    BitBtn3 = makeButton(this, "BitBtn3", QStringLiteral("Add files..."),
                         QStringLiteral("Add files by choosing a directory"));
    BitBtn6 = makeButton(this, "BitBtn6", QStringLiteral("Add file..."),
                         QStringLiteral("Add single files and saved playlists"));
    BitBtn5 = makeButton(this, "BitBtn5", QStringLiteral("Save this Playlist..."),
                         QStringLiteral("Save the current playlist"));
    CancelBtn = makeButton(this, "CancelBtn", QStringLiteral("Close"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    EditMP3tag1 = PopupMenu1->addAction(QStringLiteral("Edit MP3-tag..."));
    EditMP3tag1->setObjectName(QStringLiteral("EditMP3tag1"));
    EditMP3tag1->setShortcut(QKeySequence(Qt::Key_F5));
    EditMP3tag1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    PopupMenu1->addSeparator();
    Deletefilefromdisk1 = PopupMenu1->addAction(QStringLiteral("Delete file from disk"));
    Deletefilefromdisk1->setObjectName(QStringLiteral("Deletefilefromdisk1"));
    addAction(EditMP3tag1); // F5 works without opening the menu

    auto *top = new QHBoxLayout;
    top->addWidget(Label3);
    top->addWidget(Label4);
    top->addStretch(1);
    top->addWidget(CheckBox1);
    top->addStretch(1);
    top->addWidget(Label5);
    top->addWidget(DurationText);
    auto *search = new QHBoxLayout;
    search->addWidget(Label1);
    search->addWidget(Edit1, 1);
    search->addWidget(SpeedButton1);
    auto *side = new QVBoxLayout;
    for (QPushButton *b : {SpeedButton2, BitBtn1, BitBtn2, BitBtn4, Button3}) {
        side->addWidget(b);
    }
    side->addStretch(1);
    side->addWidget(button2);
    auto *middle = new QHBoxLayout;
    middle->addWidget(realnamelist, 1);
    middle->addLayout(side);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(BitBtn3);
    bottom->addWidget(BitBtn6);
    bottom->addWidget(BitBtn5);
    bottom->addStretch(1);
    bottom->addWidget(CancelBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(search);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    resize(620, 420);

    connect(button2, &QPushButton::clicked, this, &Tplaylist::button2Click);
    connect(realnamelist, &QListView::doubleClicked, this, [this] { button2Click(); });
    connect(CancelBtn, &QPushButton::clicked, this, &Tplaylist::CancelBtnClick);
    connect(Edit1, &QLineEdit::textChanged, this, &Tplaylist::Edit1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &Tplaylist::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &Tplaylist::BitBtn2Click);
    connect(BitBtn4, &QPushButton::clicked, this, &Tplaylist::BitBtn4Click);
    connect(Button3, &QPushButton::clicked, this, &Tplaylist::Button3Click);
    connect(BitBtn3, &QPushButton::clicked, this, &Tplaylist::BitBtn3Click);
    connect(BitBtn6, &QPushButton::clicked, this, &Tplaylist::BitBtn6Click);
    connect(BitBtn5, &QPushButton::clicked, this, &Tplaylist::BitBtn5Click);
    connect(SpeedButton1, &QPushButton::clicked, this, &Tplaylist::SpeedButton1Click);
    connect(SpeedButton2, &QPushButton::clicked, this, &Tplaylist::SpeedButton2Click);
    connect(CheckBox1, &QCheckBox::clicked, this, &Tplaylist::CheckBox1Click);
    connect(EditMP3tag1, &QAction::triggered, this, &Tplaylist::EditMP3tagClick);
    connect(Deletefilefromdisk1, &QAction::triggered, this, &Tplaylist::DeleteFileFromDiskClick);
    connect(realnamelist, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PopupMenu1->popup(realnamelist->viewport()->mapToGlobal(at));
    });
    connect(realnamelist->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { takeSelectionFromView(); });
    connect(realnamelist->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { takeSelectionFromView(); });
}

void Tplaylist::buildDialogs() {
    SaveDialog1 = new QFileDialog(this, QStringLiteral("Save this Playlist"));
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->setOption(QFileDialog::DontUseNativeDialog);
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setDefaultSuffix(QStringLiteral("lst"));
    SaveDialog1->setNameFilter(QStringLiteral("PlayList Files (*.lst)"));

    OpenDialog1 = new QFileDialog(this, QStringLiteral("Add file"));
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFiles);
    OpenDialog1->setOption(QFileDialog::ReadOnly, false);
    OpenDialog1->setNameFilters(
        {QStringLiteral("MPEG-Music files and playlists (*.mp3 *.mp1 *.mp2 *.mpg *.lst *.pls "
                        "*.m3u *.m3u8)"),
         QStringLiteral("All files (*)")});
}

// --- keeping the view and the song list together ---------------------------------------

void Tplaylist::showList() {
    const SongList &list = library_.list;
    syncing_ = true;
    model_->reload();
    QItemSelection selection;
    const std::vector<int> selected = list.selectedIndexes();
    for (size_t i = 0; i < selected.size();) {
        size_t j = i;
        while (j + 1 < selected.size() && selected[j + 1] == selected[j] + 1) {
            ++j;
        }
        selection.select(model_->index(selected[i]), model_->index(selected[j]));
        i = j + 1;
    }
    QItemSelectionModel *model = realnamelist->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect);
    const int k = list.itemIndex();
    if (k >= 0) {
        model->setCurrentIndex(model_->index(k), QItemSelectionModel::NoUpdate);
        realnamelist->scrollTo(model_->index(k));
        realnamelist->setToolTip(list.path(k));
    } else {
        realnamelist->setToolTip(QString());
    }
    syncing_ = false;
    EditMP3tag1->setEnabled(k >= 0);
    Deletefilefromdisk1->setEnabled(k >= 0);
    showCount();
}

void Tplaylist::takeSelectionFromView() {
    if (syncing_) {
        return;
    }
    SongList &list = library_.list;
    QItemSelectionModel *model = realnamelist->selectionModel();
    list.clearSelection();
    for (const QItemSelectionRange &range : model->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            list.setSelected(row, true);
        }
    }
    const QModelIndex current = model->currentIndex();
    if (current.isValid()) {
        list.select(current.row());
        realnamelist->setToolTip(list.path(current.row()));
    }
    EditMP3tag1->setEnabled(list.itemIndex() >= 0);
    Deletefilefromdisk1->setEnabled(list.itemIndex() >= 0);
}

void Tplaylist::showCount() {
    Label4->setText(QString::number(library_.list.count()));
}

void Tplaylist::showTotal(std::int64_t totalSeconds) {
    const QString text = formatPlaytime(totalSeconds);
    DurationText->setText(text);
    host_.setPlaylistTotal(QStringLiteral("Playlist: ") + text);
}

void Tplaylist::repaintList() {
    realnamelist->viewport()->update();
}

void Tplaylist::songListChanged() {
    showList();
    repaintList();
}

void Tplaylist::selectPlayingOrFirst() {
    library_.list.selectAfterAdd(host_.isPlaying(), host_.currentSongFile());
    host_.refreshButtons();
}

// After a playlist file was read, the songs whose durations did not come in
// time are listed once, when the queue has measured them all.
void Tplaylist::reportUnmeasuredWhenDone() {
    if (durations_->isBusy()) {
        reportUnmeasured_ = true;
        return;
    }
    reportUnmeasured_ = false;
    if (!durations_->errantalplayedforduration().isEmpty()) {
        ShowInformation(unmeasuredSongsMessage(durations_->errantalplayedforduration()));
    }
}

void Tplaylist::durationsFinished() {
    if (std::exchange(reportUnmeasured_, false) &&
        !durations_->errantalplayedforduration().isEmpty()) {
        ShowInformation(unmeasuredSongsMessage(durations_->errantalplayedforduration()));
    }
}

// --- commands ----------------------------------------------------------------------------

void Tplaylist::button2Click() {
    SongList &list = library_.list;
    fupdating = true;
    const int k = list.itemIndex();
    list.clearSelection();
    list.setSelected(k, true);
    filename.clear();
    if (!list.isEmpty() && k >= 0) {
        filename = list.path(k);
    }
    fupdating = false;
    showList();
    repaintList();
    accept();
}

void Tplaylist::CancelBtnClick() {
    reject();
}

void Tplaylist::reject() {
    filename.clear();
    QDialog::reject();
}

void Tplaylist::Edit1Change() {
    fupdating = true;
    library_.list.search(Edit1->text());
    fupdating = false;
    showList();
    repaintList();
}

void Tplaylist::BitBtn1Click() {
    library_.list.moveSelectedUp();
    showList();
}

void Tplaylist::BitBtn2Click() {
    library_.list.moveSelectedDown();
    showList();
}

void Tplaylist::BitBtn4Click() {
    if (library_.list.itemIndex() < 0) {
        return;
    }
    if (library_.list.removeSelected(host_.currentSongFile(), library_.categories)) {
        host_.stopCurrentSong();
    }
    filename.clear();
    showList();
    host_.categoriesChanged();
    host_.refreshButtons();
}

void Tplaylist::Button3Click() {
    reportUnmeasured_ = false;
    library_.clearList(); // also resets the total, which shows "00:00:00" in both places
    host_.stopCurrentSong();
    filename.clear();
    showList();
    host_.categoriesChanged();
    host_.refreshButtons();
}

void Tplaylist::setOpenChoiceDialog(player::Ttavrelopendialog *dialog) {
    openChoice_ = dialog;
}

void Tplaylist::BitBtn3Click() {
    if (openChoice_ == nullptr) {
        openChoice_ = new player::Ttavrelopendialog(this); // a child, kept for later use
    }
    player::Ttavrelopendialog *dialog = openChoice_;
    if (const QString folder = lastDrive(); !folder.isEmpty()) {
        dialog->setFolder(folder);
    }
    dialog->exec();
    switch (dialog->choice()) {
    case player::Ttavrelopendialog::Choice::Add:
        addFolder(dialog->catalogue, false);
        break;
    case player::Ttavrelopendialog::Choice::MakeNew:
        addFolder(dialog->catalogue, true);
        break;
    case player::Ttavrelopendialog::Choice::Cancel:
        break;
    }
}

void Tplaylist::addFolder(const QString &folder, bool makeNewPlaylist) {
    if (makeNewPlaylist) {
        // A new playlist starts with its counts and total at zero too, so the
        // categories and the total never count songs that are gone.
        reportUnmeasured_ = false;
        library_.clearList();
        filename.clear();
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    host_.showWorkPanel(true);
    const auto restore = qScopeGuard([this] {
        host_.showWorkPanel(false);
        QApplication::restoreOverrideCursor();
    });
    library_.scanDisc(folder);
    selectPlayingOrFirst();
    showList();
    host_.categoriesChanged();
}

void Tplaylist::BitBtn6Click() {
    if (const QString folder = lastDrive(); !folder.isEmpty()) {
        OpenDialog1->setDirectory(folder);
    }
    if (OpenDialog1->exec() == QDialog::Accepted && !OpenDialog1->selectedFiles().isEmpty()) {
        const QStringList names = OpenDialog1->selectedFiles();
        addChosenFiles(names);
    } else {
        selectPlayingOrFirst();
        showList();
    }
}

void Tplaylist::addChosenFiles(const QStringList &names) {
    host_.showWorkPanel(true);
    const SongLibrary::DropResult result =
        library_.addChosenFiles(names, host_.isPlaying(), host_.currentSongFile());
    host_.showWorkPanel(false);
    // Both open commands start their next dialog in the first file's folder.
    if (!names.isEmpty()) {
        WriteSetting(kSettingsSection, kLastDriveName,
                     QFileInfo(names.front()).absolutePath() + QLatin1Char('/'));
    }
    host_.refreshButtons();
    showAdded(result, names);
}

void Tplaylist::showAdded(const SongLibrary::DropResult &result, const QStringList &names) {
    showList();
    host_.categoriesChanged();
    for (const QString &message : result.messages) {
        ShowInformation(message);
    }
    if (namesPlaylist(names)) {
        reportUnmeasuredWhenDone();
    }
}

void Tplaylist::dropNames(const QStringList &names) {
    host_.showWorkPanel(true);
    const SongLibrary::DropResult result =
        library_.dropFiles(names, host_.isPlaying(), host_.currentSongFile());
    host_.showWorkPanel(false);
    if (!library_.list.isEmpty()) {
        host_.refreshButtons();
    }
    showAdded(result, names);
}

void Tplaylist::BitBtn5Click() {
    QString start = host_.appDir();
    while (start.size() > 1 && (start.endsWith(QLatin1Char('/')) || start.endsWith('\\'))) {
        start.chop(1);
    }
    SaveDialog1->setDirectory(start);
    if (SaveDialog1->exec() == QDialog::Accepted && !SaveDialog1->selectedFiles().isEmpty()) {
        savePlaylist(SaveDialog1->selectedFiles().front());
    }
}

bool Tplaylist::savePlaylist(const QString &fileName) {
    if (writeLstPlaylist(fileName, library_.list.filenamelist())) {
        ShowInformation(QStringLiteral("An error occured while saving the file ") + fileName);
        return false;
    }
    return true;
}

void Tplaylist::SpeedButton2Click() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, QStringLiteral("Select directory to copy current playlist to"), QString(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    if (folder.isEmpty()) {
        return;
    }
    const QStringList failed = copyPlaylistTo(folder);
    if (!failed.isEmpty()) {
        QString text = QStringLiteral("Following songs could not be copied:\r");
        for (const QString &path : failed) {
            text += path + QStringLiteral("\r\n");
        }
        ShowInformation(text);
    }
}

QStringList Tplaylist::copyPlaylistTo(const QString &folder) {
    const int total = static_cast<int>(library_.list.count());
    QProgressDialog progress(QStringLiteral("Copying songs, please wait..."),
                             QStringLiteral("Cancel"), 0, total, this);
    progress.setObjectName(QStringLiteral("CopyProgress"));
    progress.setWindowTitle(QStringLiteral("Copying songs, please wait..."));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setValue(0);
    // As a file manager would: a file of the same name is replaced only when
    // the user agrees.
    const auto replace = [this](const QString &destination) {
        return QMessageBox::question(this, QStringLiteral("Replace file"),
                                     QStringLiteral("The file \"%1\" already exists. Replace it?")
                                         .arg(QDir::toNativeSeparators(destination)),
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };
    return library_.copySongs(
        folder,
        [&progress](int done, int) {
            progress.setValue(done);
            return !progress.wasCanceled();
        },
        replace);
}

void Tplaylist::DeleteFileFromDiskClick() {
    const int k = library_.list.itemIndex();
    if (k < 0) {
        return;
    }
    const QString path = library_.list.path(k);
    // A user's file is never deleted without asking.
    const auto answer = QMessageBox::question(
        this, QStringLiteral("Delete file from disk"),
        QStringLiteral("Delete the file \"%1\" from disk?").arg(QDir::toNativeSeparators(path)),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes || library_.list.itemIndex() != k ||
        library_.list.path(k) != path) {
        return;
    }
    fupdating = true;
    if (path == host_.currentSongFile()) {
        host_.stopCurrentSong();
    }
    filename.clear();
    const std::optional<QString> error = library_.deleteCurrentFromDisk();
    fupdating = false;
    showList();
    repaintList();
    host_.categoriesChanged();
    host_.refreshButtons();
    if (error) {
        ShowInformation(*error);
    }
}

void Tplaylist::EditMP3tagClick() {
    const int k = library_.list.itemIndex();
    if (k < 0) {
        return;
    }
    host_.editTag(library_.list.path(k));
    songListChanged();
}

void Tplaylist::SpeedButton1Click() {
    library_.updateTotalPlaytime();
    reportUnmeasuredWhenDone();
}

void Tplaylist::CheckBox1Click() {
    library_.autoUpdatePlaytime = CheckBox1->isChecked();
    WriteBooleanSetting(kPlayListSection, kAutoUpdateName, CheckBox1->isChecked());
}

void Tplaylist::showEvent(QShowEvent *event) {
    // Songs may have come in through the main window while this one was hidden.
    songListChanged();
    QDialog::showEvent(event);
}

// --- drops ------------------------------------------------------------------------------

void Tplaylist::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void Tplaylist::dropEvent(QDropEvent *event) {
    QStringList names;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            names.append(url.toLocalFile());
        }
    }
    event->acceptProposedAction();
    dropNames(names);
}

} // namespace velbrin::library
