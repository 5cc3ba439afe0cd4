#pragma once

#include "id3v1.h"

#include <QDialog>
#include <QString>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;

namespace velbrin::library {

class SongLibrary;

// The tag editor: shows one file's merged tags (ID3v2, else APEv2, else
// ID3v1) and writes a new ID3v1 tag, and the changed fields into the file's
// ID3v2 or APEv2 tag where it has one. It keeps no state between showings;
// every showing reloads the fields from the file. User-interface thread only.
class TFEditTag : public QDialog {
    Q_OBJECT
public:
    // Reads the tag text encoding from the settings store and makes it the
    // program's choice, as this window is where the user changes it.
    explicit TFEditTag(SongLibrary &library, QWidget *parent = nullptr);

    // Puts `path` into the file field and shows the editor modally; returns
    // true when a tag was written.
    bool editSong(const QString &path);

    // --- handlers -------------------------------------------------------------------
    void FormShow();          // reload the fields from the file in Edit5
    bool BitBtn1Click();      // OK: write and close; false (window stays) on a failed write
    void SpeedButton1Click(); // Cancel
    void Button1Click();      // Get default
    void SaveDefaultCommentClick();
    void EncodingClick(QAction *action);

    // Controls, by their form names.
    QLabel *Label6 = nullptr;
    QLineEdit *Edit5 = nullptr; // the file, read-only
    QLabel *Label2 = nullptr;
    QLineEdit *Edit1 = nullptr; // artist
    QLabel *Label1 = nullptr;
    QLineEdit *Edit4 = nullptr; // comment
    QPushButton *Button1 = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *Edit2 = nullptr; // album
    QLabel *Label5 = nullptr;
    QLineEdit *MaskEdit1 = nullptr; // year
    QLabel *Label8 = nullptr;
    QComboBox *ComboBox1 = nullptr; // genre
    QLabel *Label4 = nullptr;
    QLineEdit *Edit3 = nullptr; // title
    QPushButton *BitBtn1 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QMenu *CommentMenu = nullptr;
    QAction *Saveasdefaultcomment1 = nullptr;
    QMenu *PopupMenu1 = nullptr; // the window's own menu: the tag text encoding
    QActionGroup *EncodingGroup = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    // The text fields take no more than their ID3v1 fields hold in the chosen
    // encoding, unless the file keeps texts whole in another tag.
    void limitFieldsToEncoding();
    void refreshListEntry(const QString &path);
    TagContents typedContents() const;

    SongLibrary &library_;
    // What this showing loaded, so saving knows which fields the user changed.
    TagContents shown_;
    bool wholeTexts_ = false;
};

} // namespace velbrin::library
