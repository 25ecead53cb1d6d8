#include "table_value_dialog.h"

#include "image/table_ops.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace varnel {

TTableValueDialog::TTableValueDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TableValueDialog"));
    setFixedSize(260, 96);
    PromptLabel = new QLabel(this);
    PromptLabel->setObjectName(QStringLiteral("PromptLabel"));
    PromptLabel->setGeometry(8, 8, 244, 16);
    ValueEdit = new QLineEdit(this);
    ValueEdit->setObjectName(QStringLiteral("ValueEdit"));
    ValueEdit->setGeometry(8, 28, 244, 22);
    PromptLabel->setBuddy(ValueEdit);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(96, 62, 75, 25);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(177, 62, 75, 25);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ValueEdit, &QLineEdit::textChanged, this,
            [this] { OKBtn->setEnabled(!value().isEmpty()); });
}

void TTableValueDialog::prepare(const QString& title, const QString& prompt) {
    setWindowTitle(title);
    PromptLabel->setText(prompt);
    ValueEdit->clear();
    OKBtn->setEnabled(false);
    ValueEdit->setFocus();
}

QString TTableValueDialog::value() const {
    double number = 0;
    return ParseNumber(ValueEdit->text(), number) ? ValueEdit->text().trimmed() : QString();
}

}  // namespace varnel
