#pragma once

#include <QDialog>

namespace varnel {

class TCommForm : public QDialog {
    Q_OBJECT
public:
    explicit TCommForm(QWidget* parent = nullptr);
};

}  // namespace varnel
