#include "kex_lrnd.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "base/widgets.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace varnel {

TLearnDialog::TLearnDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent), state_(state), ui_(ui) {
    setObjectName(QStringLiteral("LearnDialog"));
    setWindowTitle(QStringLiteral("Learn Dialog"));
    setFixedSize(470, 420);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);

    Label1 = new QLabel(QStringLiteral("Base Meter:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 80, 18);
    BaseMeterLabel = new QLabel(QStringLiteral("Base Meter"), this);
    BaseMeterLabel->setObjectName(QStringLiteral("BaseMeterLabel"));
    BaseMeterLabel->setGeometry(92, 8, 200, 18);

    LearnGrid = new StringGrid(6, 257, 0, 1, this);
    LearnGrid->setObjectName(QStringLiteral("LearnGrid"));
    LearnGrid->setDefaultColWidth(45);
    LearnGrid->setDefaultRowHeight(14);
    LearnGrid->setGeometry(8, 32, 300, 380);
    LearnGrid->setCell(0, 0, QStringLiteral("Base V"));
    LearnGrid->setCell(1, 0, QStringLiteral("#"));
    LearnGrid->setCell(3, 0, QStringLiteral("E2P"));
    LearnGrid->setCell(4, 0, QStringLiteral("Flow"));

    InputRGrp = new RadioGroup(QStringLiteral("Input"),
                               {QStringLiteral("Voltage"), QStringLiteral("Frequency")}, this);
    InputRGrp->setObjectName(QStringLiteral("InputRGrp"));
    InputRGrp->setGeometry(320, 32, 140, 60);
    InputRGrp->setItemIndex(0);
    connect(InputRGrp, &RadioGroup::changed, this, &TLearnDialog::InputRGrpClick);

    auto button = [this](const char* name, const QString& caption, int y) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(320, y, 140, 26);
        b->setAutoDefault(false);
        return b;
    };
    GetLearnBtn = button("GetLearnBtn", QStringLiteral("&Get Learn"), 104);
    ClearBtn = button("ClearBtn", QStringLiteral("&Clear"), 136);
    InterpBtn = button("InterpBtn", QStringLiteral("&Interpolate"), 168);
    CopyE2PBtn = button("CopyE2PBtn", QStringLiteral("Copy E2P"), 200);
    CreateMeterBtn = button("CreateMeterBtn", QStringLiteral("Create Meter"), 232);
    StopBtn = button("StopBtn", QStringLiteral("&Stop"), 296);
    CloseBtn = button("CloseBtn", QStringLiteral("Close"), 386);

    connect(CloseBtn, &QPushButton::clicked, this, &TLearnDialog::CloseBtnClick);
    connect(CreateMeterBtn, &QPushButton::clicked, this, &TLearnDialog::CreateMeterBtnClick);
    connect(StopBtn, &QPushButton::clicked, this, &TLearnDialog::StopBtnClick);
    StopBtn->installEventFilter(this);
}

void TLearnDialog::CloseBtnClick() { done(QDialog::Accepted); }

void TLearnDialog::CreateMeterBtnClick() {
    if (ui_.confirm(QStringLiteral("Ok to close Learn dialog and open Meter Dialog?")) ==
        UiServices::Answer::Yes)
        done(ResultYes);
}

void TLearnDialog::StopBtnClick() {
    state_.Learning = false;
    ClearBtn->setEnabled(true);
    GetLearnBtn->setEnabled(true);
    InterpBtn->setEnabled(true);
    CopyE2PBtn->setEnabled(false);
    CreateMeterBtn->setEnabled(false);
    CloseBtn->setEnabled(true);
    StopBtn->hide();
    StopBtn->setEnabled(false);
}

void TLearnDialog::InputRGrpClick() { LearnGrid->refresh(); }

void TLearnDialog::StopBtnKeyPress(int key) {
    if (key == Qt::Key_Space) state_.LearnPaused = !state_.LearnPaused;
}

void TLearnDialog::keyPressEvent(QKeyEvent* e) {
    StopBtnKeyPress(e->key());
    QDialog::keyPressEvent(e);
}

bool TLearnDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StopBtn && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        StopBtnKeyPress(key->key());
        // Space would also click the button; on this button it only pauses.
        if (key->key() == Qt::Key_Space) return true;
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace varnel
