#include "kex_maed.h"

namespace varnel {

TMassAirEditorDialog::TMassAirEditorDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MassAirEditorDialog"));
    setWindowTitle(QStringLiteral("Mass Air Meter Editor"));
}

}  // namespace varnel
