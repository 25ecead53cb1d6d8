#pragma once

#include <QDialog>

namespace varnel {

class TSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSetupDialog(QWidget* parent = nullptr);
};

}  // namespace varnel
