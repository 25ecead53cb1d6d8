#include "app/kex_main.h"
#include "app/undo_history.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "correct/correct_dialog.h"

#include <QAction>

namespace varnel {

void TMainForm::wireCorrect() {
    connect(EditCorrect, &QAction::triggered, this, &TMainForm::EditCorrectClick);
}

TCorrectDialog* TMainForm::correctDialog() {
    if (!correctDialog_) {
        correctDialog_ = new TCorrectDialog(state_, ui_, this);
        correctDialog_->applyToProject = [this](const std::array<uint16_t, kTableEntries>& words) {
            bool changed = false;
            history().record(QStringLiteral("Correct from log"),
                             [&] { changed = document().SetTableWords(words); });
            return changed;
        };
    }
    return correctDialog_;
}

void TMainForm::EditCorrectClick() {
    if (state_.ProjectState == DocState::None) return;
    TCorrectDialog* d = correctDialog();
    d->prepare(OutputRGrp->itemIndex() == 1);
    ui_.runModal(*d);
}

}  // namespace varnel
