#include "app/kex_main.h"
#include "app/ui_services.h"

namespace varnel {

bool TMainForm::ConnectBox() {
    // The link does not talk to a port yet, so no box can answer.
    state_.Connected = false;
    ui_.error(QStringLiteral("Hardware not found"));
    return false;
}

}  // namespace varnel
