#include "kex_comm.h"

namespace varnel {

TCommForm::TCommForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CommForm"));
    setWindowTitle(QStringLiteral("Terminal"));
}

}  // namespace varnel
