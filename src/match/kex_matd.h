#pragma once

#include <QDialog>

namespace varnel {

class TMatchDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TMatchDialog(QWidget* parent = nullptr);
};

}  // namespace varnel
