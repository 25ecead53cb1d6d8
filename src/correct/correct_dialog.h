#pragma once

#include "correct/log_correction.h"

#include <QDialog>
#include <QFutureWatcher>

#include <array>
#include <functional>
#include <optional>

class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QValueAxis;

namespace varnel {

struct AppState;
class StringGrid;
class UiServices;

// Edit > Correct from Log: a datalog's fuel trims turned into a proposed table, shown beside the
// current one, and applied on request. The log is read on a worker thread; nothing in the
// project changes before Apply.
class TCorrectDialog : public QDialog {
    Q_OBJECT
  public:
    TCorrectDialog(AppState& state, UiServices& ui, QWidget* parent = nullptr);
    ~TCorrectDialog() override;

    // Stores the proposed words into the project as one step; set by the main window. Returns
    // true when the project changed.
    std::function<bool(const std::array<uint16_t, kTableEntries>&)> applyToProject;

    // Each opening: the table's output kind, the expected meter found from the header's
    // VOutMeterName and VOutMeterGroup (the name in any case on disk), no result yet.
    void prepare(bool frequency);

    void OpenBtnClick();
    void MeterBtnClick();
    void ComputeBtnClick();
    void CancelBtnClick();
    void ApplyBtnClick();

    // From Compute until its result has been taken (the watcher's finished signal is queued).
    bool computing() const { return busy_; }
    const std::optional<CorrectionReport>& report() const { return report_; }
    const QString& meterPath() const { return meterPath_; }
    const QString& logPath() const { return logPath_; }
    // Opens path as the log without asking (the open button's second half).
    bool openLog(const QString& path);

    QLineEdit* LogEdit;
    QPushButton* OpenBtn;
    QLabel* MeterLabel;
    QPushButton* MeterBtn;
    QComboBox* SignalCombo;
    QComboBox* Trim1Combo;
    QComboBox* Trim2Combo;                   // item 0: "(none)"
    std::array<QComboBox*, 2> FilterCombos;  // item 0: "(none)"
    std::array<QLineEdit*, 2> FilterMinEdits;
    std::array<QLineEdit*, 2> FilterMaxEdits;
    QSpinBox* MinSamplesSpin;
    QSpinBox* StrengthSpin;
    QPushButton* ComputeBtn;
    QPushButton* ApplyBtn;
    QPushButton* CloseBtn;
    QProgressBar* Progress;
    QPushButton* CancelBtn;
    QLabel* CountsLabel;
    QChartView* Chart;
    QLineSeries* NowSeries;
    QLineSeries* ProposedSeries;
    // Proposed minus now at the entries that are corrected, in mV or Hz on the right axis: the
    // two curves lie too close together to read a few percent off them.
    QLineSeries* ChangeSeries;
    StringGrid* ResultGrid;

  public slots:
    void done(int result) override;

  private:
    bool readSettings(CorrectionSettings& settings);
    void computed();
    void showResult();
    void updateButtons();
    void showMeter();
    QString gridText(int col, int row) const;
    QString outputText(uint16_t word) const;
    std::array<uint16_t, kTableEntries> words() const;

    AppState& state_;
    UiServices& ui_;
    QValueAxis* outAxis_;
    QValueAxis* changeAxis_;
    bool frequency_ = false;
    QString logPath_;
    QString meterPath_;
    std::optional<CorrectionReport> report_;
    bool busy_ = false;
    QFutureWatcher<CorrectionResult> watcher_;
};

}  // namespace varnel
