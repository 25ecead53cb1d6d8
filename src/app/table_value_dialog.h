#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnel {

// The number for Set Value, Add and Scale: OK takes only a text that is a number.
class TTableValueDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TTableValueDialog(QWidget* parent = nullptr);

    // Caption and prompt for the next showing; the box starts empty.
    void prepare(const QString& title, const QString& prompt);
    // The number typed, trimmed; empty when it is not a number.
    QString value() const;

    QLabel* PromptLabel;
    QLineEdit* ValueEdit;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;
};

}  // namespace varnel
