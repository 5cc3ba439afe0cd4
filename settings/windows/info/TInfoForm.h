#pragma once

// The information window: what the current player has open, and the module
// lists it asks the engine for.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;

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

} // namespace velbrin::player
