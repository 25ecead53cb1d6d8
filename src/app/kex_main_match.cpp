#include "app/kex_main.h"
#include "app/undo_history.h"
#include "base/ui_services.h"
#include "match/kex_matd.h"
#include "match/match_session.h"

#include <QAction>

namespace varnel {

void TMainForm::wireMatch() {
    connect(EditMatch, &QAction::triggered, this, &TMainForm::EditMatchClick);
    if (TMatchDialog* d = dialogs_.MatchDialog)
        d->copyToProject = [this](const MatchCopySource& source) { return MatchCopyE2P(source); };
}

void TMainForm::EditMatchClick() {
    TMatchDialog* d = dialogs_.MatchDialog;
    if (!d) return;
    d->FillMeterLists();
    // Whatever the dialog copied is in the project already; closing it changes nothing more.
    ui_.runModal(*d);
}

bool TMainForm::MatchCopyE2P(const MatchCopySource& source) {
    // The document's controls are this window's: the Output selector, the chart and the
    // refresh all run as they do for any other change of the project.
    document();
    bool copied = false;
    history().record(QStringLiteral("Copy E2P"),
                     [&] { copied = CopyMatchToProject(source, state_, *projectControls_, ui_); });
    return copied;
}

}  // namespace varnel
