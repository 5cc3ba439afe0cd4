#include "TModulesForm.h"

#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velbrin::player {

TModulesForm::TModulesForm(QWidget *parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("ModulesForm"));
    setWindowTitle(QStringLiteral("Modules"));
    resize(360, 280);
    auto *layout = new QVBoxLayout(this);
    TreeView = new QTreeWidget(this);
    TreeView->setObjectName(QStringLiteral("TreeView"));
    TreeView->setHeaderHidden(true);
    layout->addWidget(TreeView);
    auto *close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("Close"));
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    layout->addWidget(close);
}

void TModulesForm::startList(const QString &caption) {
    TreeView->clear();
    TreeView->addTopLevelItem(new QTreeWidgetItem(QStringList{caption}));
}

void TModulesForm::addModule(const QString &text) {
    show();
    if (TreeView->topLevelItemCount() == 0) {
        startList(QStringLiteral("Modules"));
    }
    QTreeWidgetItem *root = TreeView->topLevelItem(0);
    root->addChild(new QTreeWidgetItem(QStringList{text}));
    root->setExpanded(true);
}

void TModulesForm::addDevice(int moduleIndex, const QString &text) {
    if (TreeView->topLevelItemCount() == 0) {
        startList(QStringLiteral("Modules"));
    }
    QTreeWidgetItem *root = TreeView->topLevelItem(0);
    QTreeWidgetItem *parent =
        moduleIndex >= 0 && moduleIndex < root->childCount() ? root->child(moduleIndex) : root;
    parent->addChild(new QTreeWidgetItem(QStringList{text}));
    root->setExpanded(true);
}

} // namespace velbrin::player
