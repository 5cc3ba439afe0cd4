#pragma once

// The module list the information window fills from the engine's reports.

#include <QDialog>
#include <QString>

class QTreeWidget;

namespace velbrin::player {

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

} // namespace velbrin::player
