#include "kex_setp.h"

namespace varnel {

TSetupDialog::TSetupDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SetupDialog"));
    setWindowTitle(QStringLiteral("Setup"));
}

}  // namespace varnel
