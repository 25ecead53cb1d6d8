#include "app/kex_main.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "link/box_link.h"
#include "link/box_ops.h"
#include "link/kex_comm.h"
#include "link/kex_setp.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>

namespace varnel {

void TMainForm::wireLink() {
    connect(AbortBtn, &QPushButton::clicked, this, &TMainForm::AbortBtnClick);
    connect(BoxTerminal, &QAction::triggered, this, &TMainForm::BoxTerminalClick);
    connect(BoxOptions, &QAction::triggered, this, &TMainForm::BoxOptionsClick);
    connect(&link_, &BoxLink::commandSent, SIOLabel, &QLabel::setText);
}

bool TMainForm::ConnectBox() {
    const Operation operation(*this);
    return varnel::ConnectBox(state_, link_, ui_);
}

bool TMainForm::MonitorBox() {
    const Operation operation(*this);
    MonitorResult result;
    const bool frequency = OutputRGrp->itemIndex() == 1;
    const int generation = document().generation();
    if (!varnel::MonitorBox(state_, link_, ui_, frequency, result)) return false;
    // The curve of a project closed or replaced meanwhile belongs to no project shown.
    if (document().generation() != generation) return false;
    // Every failure comes before this: a failed read keeps the previous curve.
    Series2->clear();
    for (const QPointF& p : result.points) Series2->append(p);
    return true;
}

void TMainForm::AbortBtnClick() {
    // While a transfer runs the button reads "Abort", whether or not a box was connected
    // before: a click must stop the transfer, never start a Connect inside it.
    if (transferRunning()) {
        state_.AbortFlag = true;
        return;
    }
    if (state_.MonitorMode) {
        MonitorBox();
        UpdateControls();
    } else if (state_.Connected) {
        // The button reads "Abort": the running transfer stops at its next check and refreshes
        // the window itself.
        state_.AbortFlag = true;
    } else {
        ConnectBox();
        UpdateControls();
    }
}

void TMainForm::BoxTerminalClick() {
    TCommForm* comm = dialogs_.CommForm;
    if (!comm) return;
    comm->show();
    comm->raise();
    comm->activateWindow();
}

void TMainForm::BoxOptionsClick() {
    TSetupDialog* d = dialogs_.SetupDialog;
    if (!d) return;
    // Numbers beyond the four items select the last; below 1 select nothing.
    const int index = link_.PortNumber < 1 ? -1 : std::min(link_.PortNumber, 4) - 1;
    d->ComPortRGrp->setItemIndex(index);
    d->refreshPorts();
    d->DeviceEdit->setText(link_.Device);
    if (ui_.runModal(*d) != QDialog::Accepted) return;
    link_.PortNumber = d->ComPortRGrp->itemIndex() + 1;
    link_.Device = d->DeviceEdit->text().trimmed();
    ui_.information(QStringLiteral("Changes will be effective at next program execution"));
}

}  // namespace varnel
