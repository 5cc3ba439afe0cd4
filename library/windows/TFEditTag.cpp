#include "TFEditTag.h"

#include "id3v1.h"
#include "settings_store.h"
#include "song_library.h"
#include "song_tags.h"
#include "tag_encoding.h"
#include "tag_writer.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QValidator>

namespace velbrin::library {

namespace {

const QString kSettingsSection = QStringLiteral("Settings");
const QString kDefaultCommentName = QStringLiteral("DefaultComment");
const QString kTagEncodingName = QStringLiteral("TagEncoding");
constexpr int kTextWidth = 30;

// Refuses an edit that the tag field could not hold whole in the chosen
// encoding, so what is typed is what is saved and read back.
class FieldWidthValidator : public QValidator {
public:
    FieldWidthValidator(int width, QObject *parent) : QValidator(parent), width_(width) {}
    State validate(QString &input, int &) const override {
        return tagCodec().fits(input, width_) ? Acceptable : Invalid;
    }

private:
    int width_;
};

QLabel *makeLabel(QWidget *parent, const char *name, const QString &caption) {
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QLineEdit *makeEdit(QWidget *parent, const char *name) {
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(kTextWidth);
    return edit;
}

} // namespace

TFEditTag::TFEditTag(SongLibrary &library, QWidget *parent) : QDialog(parent), library_(library) {
    setObjectName(QStringLiteral("FEditTag"));
    setWindowTitle(QStringLiteral("Edit / add MP3-tag"));
    setWindowFlag(Qt::Tool);
    setModal(true);
    setTagEncoding(tagEncodingFromName(ReadSetting(kSettingsSection, kTagEncodingName)));
    buildControls();
    for (int i = 0; i < GenreRowCount; ++i) {
        ComboBox1->addItem(QString::fromLatin1(GenreNames[static_cast<size_t>(i)]));
    }
    limitFieldsToEncoding();
}

void TFEditTag::buildControls() {
    Label6 = makeLabel(this, "Label6", QStringLiteral("MP3-file:"));
    Edit5 = new QLineEdit(this);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit5->setReadOnly(true);
    QPalette grey = Edit5->palette();
    grey.setColor(QPalette::Base, QColor(0xD4, 0xD0, 0xC8));
    Edit5->setPalette(grey);
    Edit5->setMinimumWidth(380);

    Label2 = makeLabel(this, "Label2", QStringLiteral("Artist:"));
    Edit1 = makeEdit(this, "Edit1");
    Label1 = makeLabel(this, "Label1", QStringLiteral("Comments:"));
    Edit4 = makeEdit(this, "Edit4");
    Button1 = new QPushButton(QStringLiteral("Get default"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Album:"));
    Edit2 = makeEdit(this, "Edit2");
    Label5 = makeLabel(this, "Label5", QStringLiteral("Year:"));
    MaskEdit1 = new QLineEdit(this);
    MaskEdit1->setObjectName(QStringLiteral("MaskEdit1"));
    // Four optional digits; a blank position shows, and is saved, as a space.
    MaskEdit1->setInputMask(QStringLiteral("0000; "));
    MaskEdit1->setMaximumWidth(60);
    Label8 = makeLabel(this, "Label8", QStringLiteral("Category"));
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(false);
    ComboBox1->setMaxVisibleItems(20);
    Label4 = makeLabel(this, "Label4", QStringLiteral("Title:"));
    Edit3 = makeEdit(this, "Edit3");
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    SpeedButton1 = new QPushButton(QStringLiteral("Cancel"), this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setAutoDefault(false);

    CommentMenu = new QMenu(this);
    CommentMenu->setObjectName(QStringLiteral("CommentMenu"));
    Saveasdefaultcomment1 = CommentMenu->addAction(QStringLiteral("Save as default comment"));
    Saveasdefaultcomment1->setObjectName(QStringLiteral("Saveasdefaultcomment1"));
    Edit4->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Edit4, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { CommentMenu->popup(Edit4->mapToGlobal(at)); });
    connect(Saveasdefaultcomment1, &QAction::triggered, this, &TFEditTag::SaveDefaultCommentClick);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QMenu *encodings = PopupMenu1->addMenu(QStringLiteral("Tag text encoding"));
    EncodingGroup = new QActionGroup(this);
    for (TagEncoding encoding : allTagEncodings()) {
        QAction *action = encodings->addAction(tagEncodingName(encoding));
        action->setObjectName(QStringLiteral("Encoding_") + tagEncodingName(encoding));
        action->setCheckable(true);
        action->setData(static_cast<int>(encoding));
        action->setChecked(encoding == tagCodec().encoding());
        EncodingGroup->addAction(action);
    }
    connect(EncodingGroup, &QActionGroup::triggered, this, &TFEditTag::EncodingClick);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(mapToGlobal(at)); });

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(SpeedButton1, &QPushButton::clicked, this, &TFEditTag::SpeedButton1Click);
    connect(Button1, &QPushButton::clicked, this, &TFEditTag::Button1Click);

    auto *grid = new QGridLayout;
    grid->addWidget(Label6, 0, 0);
    grid->addWidget(Edit5, 0, 1, 1, 3);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit1, 1, 1, 1, 3);
    grid->addWidget(Label4, 2, 0);
    grid->addWidget(Edit3, 2, 1, 1, 3);
    grid->addWidget(Label3, 3, 0);
    grid->addWidget(Edit2, 3, 1, 1, 3);
    grid->addWidget(Label5, 4, 0);
    grid->addWidget(MaskEdit1, 4, 1);
    grid->addWidget(Label8, 4, 2, Qt::AlignRight);
    grid->addWidget(ComboBox1, 4, 3);
    grid->addWidget(Label1, 5, 0);
    grid->addWidget(Edit4, 5, 1, 1, 2);
    grid->addWidget(Button1, 5, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(SpeedButton1);
    auto *outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);

    // Enter and Esc work from every field; an open drop-down list is a window
    // of its own and keeps them.
    for (QWidget *w :
         std::initializer_list<QWidget *>{Edit1, Edit2, Edit3, Edit4, MaskEdit1, ComboBox1, Button1,
                                          BitBtn1, SpeedButton1, Edit5}) {
        w->installEventFilter(this);
    }
}

void TFEditTag::limitFieldsToEncoding() {
    for (QLineEdit *edit : {Edit1, Edit2, Edit3, Edit4}) {
        delete edit->validator();
        if (wholeTexts_) {
            // An ID3v2 or APEv2 tag keeps the whole text; ID3v1 gets what fits.
            edit->setValidator(nullptr);
            edit->setMaxLength(32767);
        } else {
            edit->setMaxLength(kTextWidth);
            edit->setValidator(new FieldWidthValidator(kTextWidth, edit));
        }
    }
}

bool TFEditTag::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::KeyPress && isVisible()) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BitBtn1Click();
            return true;
        }
        if (key == Qt::Key_Escape) {
            SpeedButton1Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TFEditTag::editSong(const QString &path) {
    Edit5->setText(path);
    return exec() == QDialog::Accepted;
}

void TFEditTag::showEvent(QShowEvent *event) {
    FormShow();
    QDialog::showEvent(event);
}

void TFEditTag::FormShow() {
    for (QLineEdit *edit : {Edit1, Edit2, Edit3, Edit4}) {
        edit->clear();
    }
    MaskEdit1->clear();
    ComboBox1->setCurrentIndex(-1);
    const QString path = Edit5->text();
    const SongTags &tags = library_.tags.tagsOf(path);
    wholeTexts_ = tags.hasId3v2 || tags.hasApe;
    limitFieldsToEncoding();
    Edit1->setText(tags.artist);
    Edit3->setText(tags.title);
    MaskEdit1->setText(tags.year);
    Edit4->setText(tags.comment);
    Edit2->setText(tags.album);
    // By name, first match: a genre byte of 83 ("Fusion" again) shows, and
    // saves, as 30. No genre, 115 and a genre outside the table match none.
    const bool row = tags.genre >= 0 && tags.genre < GenreRowCount;
    ComboBox1->setCurrentIndex(
        row ? ComboBox1->findText(QLatin1String(GenreNames[static_cast<size_t>(tags.genre)]),
                                  Qt::MatchExactly)
            : -1);
    shown_ = typedContents();
    Edit1->setFocus();
}

TagContents TFEditTag::typedContents() const {
    TagContents tag;
    tag.title = Edit3->text();
    tag.artist = Edit1->text();
    tag.album = Edit2->text();
    tag.year = MaskEdit1->displayText();
    tag.comment = Edit4->text();
    tag.genre = ComboBox1->currentIndex();
    return tag;
}

bool TFEditTag::BitBtn1Click() {
    const QString path = Edit5->text();
    library_.tags.forget();
    if (const auto error = saveSongTags(path, shown_, typedContents())) {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("The tag was not saved.\n") + *error);
        return false;
    }
    refreshListEntry(path);
    accept();
    return true;
}

void TFEditTag::refreshListEntry(const QString &path) {
    SongList &list = library_.list;
    // The current entry, as long as it is this file; otherwise the file's first
    // entry, so another song's text is never overwritten.
    int index = list.itemIndex();
    if (index < 0 || list.path(index) != path) {
        index = list.indexOfPathExact(path);
    }
    if (index < 0) {
        return;
    }
    // Taken back from the file, so the list shows what was saved.
    TagReader &tags = library_.tags;
    const QString text = trimTagText(tags.getInfo(path, TagField::Artist) + QStringLiteral(", ") +
                                     tags.getInfo(path, TagField::Title) + QStringLiteral(", ") +
                                     tags.getInfo(path, TagField::Album));
    if (text != QLatin1String(", ,")) {
        list.setDisplayText(index, text);
    }
}

void TFEditTag::SpeedButton1Click() {
    reject();
}

void TFEditTag::Button1Click() {
    Edit4->setText(ReadSetting(kSettingsSection, kDefaultCommentName));
}

void TFEditTag::SaveDefaultCommentClick() {
    WriteSetting(kSettingsSection, kDefaultCommentName, Edit4->text());
}

void TFEditTag::EncodingClick(QAction *action) {
    const auto encoding = static_cast<TagEncoding>(action->data().toInt());
    setTagEncoding(encoding);
    WriteSetting(kSettingsSection, kTagEncodingName, tagEncodingName(encoding));
    // Texts already in the list were read in the old encoding.
    library_.rebuildDisplayTexts();
    // The open file is shown again in the new encoding.
    if (isVisible()) {
        FormShow();
    }
}

} // namespace velbrin::library
