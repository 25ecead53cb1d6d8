#include "kex_new.h"

#include "base/ui_services.h"
#include "base/widgets.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace varnel {

TNewDialog::TNewDialog(UiServices& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
    setObjectName(QStringLiteral("NewDialog"));
    setWindowTitle(QStringLiteral("Project Setup"));
    setFixedSize(321, 226);

    Label1 = new QLabel(QStringLiteral("Name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 120, 16);
    ProjectNameEdit = new QLineEdit(this);
    ProjectNameEdit->setObjectName(QStringLiteral("ProjectNameEdit"));
    ProjectNameEdit->setGeometry(8, 24, 305, 22);
    Label1->setBuddy(ProjectNameEdit);

    Label2 = new QLabel(QStringLiteral("Description"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(8, 52, 120, 16);
    DescriptionEdit = new QLineEdit(this);
    DescriptionEdit->setObjectName(QStringLiteral("DescriptionEdit"));
    DescriptionEdit->setGeometry(8, 68, 305, 22);
    Label2->setBuddy(DescriptionEdit);

    GroupRGrp = new RadioGroup(
        QStringLiteral("Group"),
        {QStringLiteral("Ford"), QStringLiteral("GM"), QStringLiteral("Import")}, this);
    GroupRGrp->setObjectName(QStringLiteral("GroupRGrp"));
    GroupRGrp->setGeometry(8, 98, 148, 84);
    GroupRGrp->setItemIndex(0);
    UnitsRGrp = new RadioGroup(QStringLiteral("Units"),
                               {QStringLiteral("English"), QStringLiteral("Metric")}, this);
    UnitsRGrp->setObjectName(QStringLiteral("UnitsRGrp"));
    UnitsRGrp->setGeometry(165, 98, 148, 62);
    UnitsRGrp->setItemIndex(0);
    connect(GroupRGrp, &RadioGroup::changed, this, &TNewDialog::GroupRGrpClick);

    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(72, 192, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(155, 192, 75, 25);
    HelpBtn = new QPushButton(QStringLiteral("Help"), this);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setGeometry(238, 192, 75, 25);
    HelpBtn->setAutoDefault(false);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TNewDialog::preset(const ProjectAnswers& answers) {
    ProjectNameEdit->setText(answers.name);
    DescriptionEdit->setText(answers.description);
    GroupRGrp->setItemIndex(answers.group >= 0 && answers.group < GroupRGrp->count() ? answers.group
                                                                                     : -1);
    UnitsRGrp->setItemIndex(answers.metric ? 1 : 0);
}

ProjectAnswers TNewDialog::answers() const {
    ProjectAnswers a;
    a.name = ProjectNameEdit->text();
    a.description = DescriptionEdit->text();
    a.group = GroupRGrp->itemIndex();
    a.metric = UnitsRGrp->itemIndex() == 1;
    return a;
}

void TNewDialog::GroupRGrpClick(int index) {
    if (index != 1) return;
    ui_.warning(QStringLiteral("GM Mode not implemented yet"));
    GroupRGrp->setItemIndex(0);
}

}  // namespace varnel
