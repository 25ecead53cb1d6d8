#include "kex_new.h"

namespace varnel {

TNewDialog::TNewDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("NewDialog"));
    setWindowTitle(QStringLiteral("Project Setup"));
}

}  // namespace varnel
