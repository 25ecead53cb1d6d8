#include "app/kex_main.h"
#include "base/ui_services.h"
#include "meter/kex_maed.h"

namespace varnel {

void TMainForm::EditMeterClick() {
    // The editor's result does not matter: whatever it saved is on disk already.
    if (dialogs_.MassAirEditorDialog) ui_.runModal(*dialogs_.MassAirEditorDialog);
    UpdateControls();
}

}  // namespace varnel
