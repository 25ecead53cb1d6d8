#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace varnel {

struct AppState;
class RadioGroup;
class StringGrid;
class UiServices;

// The frame of a learning function whose behaviour the box never defined: it is created at
// start and keeps its button states and its one question, but no menu item opens it.
class TLearnDialog : public QDialog {
    Q_OBJECT
public:
    // The result of Create Meter's Yes, distinct from OK (Close) and Cancel.
    static constexpr int ResultYes = 6;

    TLearnDialog(AppState& state, UiServices& ui, QWidget* parent = nullptr);

    void CloseBtnClick();
    void CreateMeterBtnClick();
    void StopBtnClick();
    void InputRGrpClick();

    QLabel* Label1;
    QLabel* BaseMeterLabel;
    StringGrid* LearnGrid;
    RadioGroup* InputRGrp;
    QPushButton* ClearBtn;
    QPushButton* GetLearnBtn;
    QPushButton* InterpBtn;
    QPushButton* CopyE2PBtn;
    QPushButton* CreateMeterBtn;
    QPushButton* CloseBtn;
    QPushButton* StopBtn;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void StopBtnKeyPress(int key);

    AppState& state_;
    UiServices& ui_;
};

}  // namespace varnel
