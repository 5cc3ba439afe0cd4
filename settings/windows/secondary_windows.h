#pragma once

// Small windows around the engine: the information window, the module list,
// the about box and the open-choice dialog.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QLabel;
class QListWidget;
class QTreeView;
class QTreeWidget;
class QFileSystemModel;

namespace velbrin::player {

class TModulesForm;

class TInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    // What the buttons ask of the song being heard; the main window answers.
    struct Requests {
        std::function<void()> listInputModules, listOutputModules, listCodecModules, refresh;
    };
    void setRequests(Requests requests) { requests_ = std::move(requests); }
    void setModulesForm(TModulesForm *modules) { modules_ = modules; }

    void setInputName(const QString &text);
    void setInputModule(const QString &text);
    void setStreamParameters(const QString &text);
    void setMimeType(const QString &text);
    void setProperties(const QStringList &lines);
    void setOutputName(const QString &text);
    void setOutputModule(const QString &text);
    QString fieldText(const char *objectName) const;

    void ListInputModulesClick();
    void ListOutputModulesClick();
    void ListCodecModulesClick();
    void RefreshClick();

private:
    QLabel *field(const char *name, const QString &caption, QWidget *group, int row);
    void listModules(const QString &caption, const std::function<void()> &request);

    Requests requests_;
    TModulesForm *modules_ = nullptr;
    QListWidget *StreamPropertiesList = nullptr;
};

class TModulesForm : public QDialog {
    Q_OBJECT
public:
    explicit TModulesForm(QWidget *parent = nullptr);

    // Empties the tree and starts it with one top-level node.
    void startList(const QString &caption);
    // A module reported by the engine, shown under the top node.
    void addModule(const QString &text);
    // A device of the module at `moduleIndex` (0 = the first reported). A device
    // of a module the tree does not have is added under the top node itself.
    void addDevice(int moduleIndex, const QString &text);
    QTreeWidget *TreeView = nullptr;
};

// The about box shows this machine's memory and operating system.
class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget *parent = nullptr);
};

// Memory sizes in kilobytes with the locale's thousands separators, e.g. "2,097,152 KB".
QString kilobytesText(qulonglong kilobytes);
// "Linux 6.1 (Build 0: -18-amd64)" style line from a kernel release text.
QString operatingSystemLine(const QString &systemName, const QString &release);

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
