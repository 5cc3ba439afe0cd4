#include "secondary_windows.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sys/utsname.h>

namespace velbrin::player {

// --- information window ------------------------------------------------------------

TInfoForm::TInfoForm(QWidget *parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("InfoForm"));
    setWindowTitle(QStringLiteral("Info"));
    auto *layout = new QVBoxLayout(this);
    auto *buttons = new QHBoxLayout;
    const std::pair<const char *, const char *> captions[] = {
        {"ListInputModules", "List Input Modules..."},
        {"ListOutputModules", "List Output Modules..."},
        {"ListCodecModules", "List Codec Modules..."},
        {"Refresh", "Refresh"},
        {"Close", "Close"}};
    QList<QPushButton *> made;
    for (const auto &[name, caption] : captions) {
        auto *b = new QPushButton(QLatin1String(caption), this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        made << b;
    }
    connect(made[0], &QPushButton::clicked, this, &TInfoForm::ListInputModulesClick);
    connect(made[1], &QPushButton::clicked, this, &TInfoForm::ListOutputModulesClick);
    connect(made[2], &QPushButton::clicked, this, &TInfoForm::ListCodecModulesClick);
    connect(made[3], &QPushButton::clicked, this, &TInfoForm::RefreshClick);
    connect(made[4], &QPushButton::clicked, this, &QWidget::hide);

    auto *input = new QGroupBox(QStringLiteral("Current Input"), this);
    input->setLayout(new QGridLayout);
    field("InputNameText", QStringLiteral("Name:"), input, 0);
    field("InputModuleText", QStringLiteral("Module:"), input, 1);
    field("StreamParametersText", QStringLiteral("Info:"), input, 2);
    field("StaticText1", QStringLiteral("Type:"), input, 3);
    auto *grid = static_cast<QGridLayout *>(input->layout());
    grid->addWidget(new QLabel(QStringLiteral("Extra:"), input), 4, 0);
    StreamPropertiesList = new QListWidget(input);
    StreamPropertiesList->setObjectName(QStringLiteral("StreamPropertiesList"));
    grid->addWidget(StreamPropertiesList, 4, 1);

    auto *output = new QGroupBox(QStringLiteral("Current Output"), this);
    output->setLayout(new QGridLayout);
    field("OutputNameText", QStringLiteral("Name:"), output, 0);
    field("OutputModuleText", QStringLiteral("Module:"), output, 1);

    layout->addLayout(buttons);
    layout->addWidget(input);
    layout->addWidget(output);
}

QLabel *TInfoForm::field(const char *name, const QString &caption, QWidget *group, int row) {
    auto *grid = static_cast<QGridLayout *>(group->layout());
    grid->addWidget(new QLabel(caption, group), row, 0);
    auto *value = new QLabel(group);
    value->setObjectName(QLatin1String(name));
    value->setTextFormat(Qt::PlainText);
    value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    value->setMinimumWidth(280);
    grid->addWidget(value, row, 1);
    return value;
}

QString TInfoForm::fieldText(const char *objectName) const {
    auto *label = findChild<QLabel *>(QLatin1String(objectName));
    return label != nullptr ? label->text() : QString();
}

void TInfoForm::setInputName(const QString &t) {
    findChild<QLabel *>(QStringLiteral("InputNameText"))->setText(t);
}
void TInfoForm::setInputModule(const QString &t) {
    findChild<QLabel *>(QStringLiteral("InputModuleText"))->setText(t);
}
void TInfoForm::setStreamParameters(const QString &t) {
    findChild<QLabel *>(QStringLiteral("StreamParametersText"))->setText(t);
}
void TInfoForm::setMimeType(const QString &t) {
    findChild<QLabel *>(QStringLiteral("StaticText1"))->setText(t);
}
void TInfoForm::setOutputName(const QString &t) {
    findChild<QLabel *>(QStringLiteral("OutputNameText"))->setText(t);
}
void TInfoForm::setOutputModule(const QString &t) {
    findChild<QLabel *>(QStringLiteral("OutputModuleText"))->setText(t);
}
void TInfoForm::setProperties(const QStringList &lines) {
    StreamPropertiesList->clear();
    StreamPropertiesList->addItems(lines);
}

void TInfoForm::listModules(const QString &caption, const std::function<void()> &request) {
    if (modules_ != nullptr && request) {
        modules_->startList(caption);
        request();
    }
}
void TInfoForm::ListInputModulesClick() {
    listModules(QStringLiteral("Input Modules"), requests_.listInputModules);
}
void TInfoForm::ListOutputModulesClick() {
    listModules(QStringLiteral("Output Modules"), requests_.listOutputModules);
}
void TInfoForm::ListCodecModulesClick() {
    listModules(QStringLiteral("Codec Modules"), requests_.listCodecModules);
}
void TInfoForm::RefreshClick() {
    if (requests_.refresh) {
        requests_.refresh();
    }
}

// --- module list -----------------------------------------------------------------------

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

// --- about box -------------------------------------------------------------------------------

QString kilobytesText(qulonglong kilobytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::DefaultNumberOptions);
    return locale.toString(kilobytes) + QStringLiteral(" KB");
}

QString operatingSystemLine(const QString &systemName, const QString &release) {
    static const QRegularExpression numbers(QStringLiteral("^(\\d+)\\.(\\d+)(?:\\.(\\d+))?(.*)$"));
    const auto m = numbers.match(release);
    if (!m.hasMatch()) {
        return systemName;
    }
    const QString extra = m.captured(4);
    const int build = m.captured(3).toInt();
    if (!extra.isEmpty()) {
        return QStringLiteral("%1 %2.%3 (Build %4: %5)")
            .arg(systemName, m.captured(1), m.captured(2))
            .arg(build)
            .arg(extra);
    }
    return QStringLiteral("%1 %2.%3 (Build %4)")
        .arg(systemName, m.captured(1), m.captured(2))
        .arg(build);
}

namespace {
// Total and available physical memory in kilobytes, from the kernel's report.
std::pair<qulonglong, qulonglong> memoryKilobytes() {
    QFile f(QStringLiteral("/proc/meminfo"));
    qulonglong total = 0;
    qulonglong available = 0;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "MemTotal:") {
                total = parts[1].toULongLong();
            } else if (parts.size() >= 2 && parts[0] == "MemAvailable:") {
                available = parts[1].toULongLong();
            }
        }
    }
    return {total, available};
}
} // namespace

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent, Qt::Tool) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About MP3 player"));
    auto *layout = new QGridLayout(this);
    auto add = [&](const char *name, const QString &text, int row, int column) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setTextFormat(Qt::PlainText);
        layout->addWidget(l, row, column);
        return l;
    };
    add("ProductText", QStringLiteral("MP3 player for Linux"), 0, 0);
    add("ProductName", QStringLiteral("Velbrin"), 1, 0);
    add("Version", QStringLiteral("ver: 5.10.0"), 2, 0);
    const auto [total, available] = memoryKilobytes();
    add("PhysMemCaption", QStringLiteral("Physical Memory Available to Linux:"), 3, 0);
    add("PhysMem", kilobytesText(total), 3, 1);
    add("FreeResCaption", QStringLiteral("Physical Memory Available to MP3:"), 4, 0);
    add("FreeRes", kilobytesText(available), 4, 1);
    utsname u{};
    QString os = QStringLiteral("Linux");
    if (uname(&u) == 0) {
        os = operatingSystemLine(QString::fromLocal8Bit(u.sysname),
                                 QString::fromLocal8Bit(u.release));
    }
    add("OS", os, 5, 0);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 6, 1);
}

// --- open-choice dialog ----------------------------------------------------------------------

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
