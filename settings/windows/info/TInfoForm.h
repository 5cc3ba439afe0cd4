#pragma once

// The information window: what the current player has open, and the module
// lists it asks the engine for.

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;

namespace velbrin::engine {
class TKelvraSpectrum;
}

namespace velbrin::player {

class TModulesForm;

class TInfoForm : public QDialog {
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    // The player the buttons act on: the main window's current one.
    void setCurrentPlayer(std::function<engine::TKelvraSpectrum *()> current) {
        current_ = std::move(current);
    }
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
    engine::TKelvraSpectrum *current() const { return current_ ? current_() : nullptr; }

    std::function<engine::TKelvraSpectrum *()> current_;
    TModulesForm *modules_ = nullptr;
    QListWidget *StreamPropertiesList = nullptr;
};

} // namespace velbrin::player
