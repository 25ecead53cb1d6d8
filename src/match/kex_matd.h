#pragma once

#include "match/match_session.h"

#include <QDialog>

#include <functional>

class QChartView;
class QComboBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace varnel {

struct AppState;
class RadioGroup;
class StringGrid;
class UiServices;

// The meter match dialog: two meter files of the project's group, the 256-step match of one
// onto the other as a grid, and the copy of the result into the project's table. Made once at
// start; the cells live as long as the dialog and are emptied at every showing.
class TMatchDialog : public QDialog {
    Q_OBJECT
  public:
    TMatchDialog(AppState& state, UiServices& ui, QWidget* parent = nullptr);

    // The match's state without the widgets.
    MeterMatchSession& session() { return session_; }
    const MeterMatchSession& session() const { return session_; }

    // Runs the copy into the project; set by the main window, which owns the project's
    // controls. Returns true when the project changed.
    std::function<bool(const MatchCopySource&)> copyToProject;

    // Fills both lists from the project folder and preselects the meters of the last copy;
    // runs before the dialog is shown.
    void FillMeterLists();
    // Each showing: empty grid, first headers, nothing to copy.
    void FormActivate();
    void MeterComboChange();
    void MatchBtnClick();
    void CopyE2PBtnClick();
    QString MatchGridDrawCell(int col, int row) const;
    // The method Copy E2P copies by: "Classic" or "Precise".
    MatchMethod method() const;
    // The predicted error of both methods' tables against the input, from the last match.
    void DrawErrorChart();

    // Controls, named as their objectName.
    QLabel* Label1;
    QLabel* Label2;
    QComboBox* MeterUseCombo;
    QComboBox* MeterMatchCombo;
    QLabel* FlowUnits;
    QPushButton* MatchBtn;
    QPushButton* CopyE2PBtn;
    QPushButton* CloseBtn;
    StringGrid* MatchGrid;
    RadioGroup* MethodRGrp;
    QChartView* ErrorChart;
    QLineSeries* ClassicSeries;
    QLineSeries* PreciseSeries;
    QValueAxis* InputAxis;
    QValueAxis* ErrorAxis;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void showHeaders();

    AppState& state_;
    UiServices& ui_;
    MeterMatchSession session_;
};

}  // namespace varnel
