#include "kex_matd.h"

namespace varnel {

TMatchDialog::TMatchDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("MatchDialog"));
    setWindowTitle(QStringLiteral("Meter Match Dialog"));
}

}  // namespace varnel
