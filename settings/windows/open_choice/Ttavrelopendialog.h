#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QFileSystemModel;
class QTreeView;

namespace velbrin::player {

// Where the playlist window's "Add files..." picks a folder.
class Ttavrelopendialog : public QDialog {
    Q_OBJECT
public:
    enum class Choice { Add, MakeNew, Cancel };
    explicit Ttavrelopendialog(QWidget *parent = nullptr);

    // Points the chooser at a folder (when it exists).
    void setFolder(const QString &folder);
    Choice choice() const { return choice_; }
    QString catalogue;
    QString filename;

private:
    void finish(Choice choice);
    QComboBox *ShellComboBox1 = nullptr;
    QTreeView *ShellTreeView1 = nullptr;
    QFileSystemModel *model_ = nullptr;
    Choice choice_ = Choice::Cancel;
};

} // namespace velbrin::player
