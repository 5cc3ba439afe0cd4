#include "Ttavrelopendialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace velbrin::player {

Ttavrelopendialog::Ttavrelopendialog(QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("tavrelopendialog"));
    setWindowTitle(QStringLiteral("Open"));
    auto *layout = new QVBoxLayout(this);
    auto *look = new QHBoxLayout;
    auto *lookLabel = new QLabel(QStringLiteral("Look &in:"), this);
    ShellComboBox1 = new QComboBox(this);
    ShellComboBox1->setObjectName(QStringLiteral("ShellComboBox1"));
    ShellComboBox1->setEditable(true);
    lookLabel->setBuddy(ShellComboBox1);
    look->addWidget(lookLabel);
    look->addWidget(ShellComboBox1, 1);
    layout->addLayout(look);

    model_ = new QFileSystemModel(this);
    model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    model_->setRootPath(QDir::rootPath());
    ShellTreeView1 = new QTreeView(this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setModel(model_);
    ShellTreeView1->setRootIsDecorated(false);
    ShellTreeView1->header()->hide();
    for (int c = 1; c < model_->columnCount(); ++c) {
        ShellTreeView1->hideColumn(c);
    }
    layout->addWidget(ShellTreeView1, 1);
    // The chooser and the tree follow each other.
    connect(ShellTreeView1->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &index) {
                ShellComboBox1->setCurrentText(model_->filePath(index));
            });
    connect(ShellComboBox1, &QComboBox::currentTextChanged, this, [this](const QString &path) {
        const QModelIndex index = model_->index(path);
        if (index.isValid() && ShellTreeView1->currentIndex() != index) {
            ShellTreeView1->setCurrentIndex(index);
        }
    });

    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(QStringLiteral("Add to playlist"), this);
    add->setObjectName(QStringLiteral("AddButton"));
    add->setDefault(true);
    auto *makeNew = new QPushButton(QStringLiteral("Make new playlist"), this);
    makeNew->setObjectName(QStringLiteral("MakeNewButton"));
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelButton"));
    buttons->addWidget(add);
    buttons->addWidget(makeNew);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] { finish(Choice::Add); });
    connect(makeNew, &QPushButton::clicked, this, [this] { finish(Choice::MakeNew); });
    connect(cancel, &QPushButton::clicked, this, [this] { finish(Choice::Cancel); });
    resize(420, 360);
}

void Ttavrelopendialog::setFolder(const QString &folder) {
    if (QDir(folder).exists()) {
        ShellComboBox1->setCurrentText(QDir::cleanPath(folder));
    }
}

void Ttavrelopendialog::finish(Choice choice) {
    choice_ = choice;
    filename.clear();
    if (choice != Choice::Cancel) {
        QString path = ShellComboBox1->currentText();
        if (!path.endsWith(QLatin1Char('/'))) {
            path += QLatin1Char('/');
        }
        catalogue = path;
        accept();
    } else {
        reject();
    }
}

} // namespace velbrin::player
