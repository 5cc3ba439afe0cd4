#include "TInfoForm.h"

#include "TModulesForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace velbrin::player {

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

} // namespace velbrin::player
