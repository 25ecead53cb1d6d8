#pragma once

#include <QDialog>

namespace varnel {

class TNewDialog : public QDialog {
    Q_OBJECT
public:
    explicit TNewDialog(QWidget* parent = nullptr);
};

}  // namespace varnel
