#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace varnel {

class TAboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDialog(QWidget* parent = nullptr);

    void FormActivate();

    QFrame* Panel1;
    QLabel* ProgramIcon;
    QLabel* ProductNameLabel;
    QLabel* VersionLabel;
    QLabel* CopyrightLabel;
    QLabel* CommentsLabel;
    QLabel* LicenceLabel;  // the credits: the terms Varnel is given under
    QPushButton* OKButton;

protected:
    void showEvent(QShowEvent* e) override;
};

}  // namespace varnel
