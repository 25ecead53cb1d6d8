#pragma once

#include "correct/log_correction.h"
#include "log/log_layout.h"

#include <QDialog>
#include <QFutureWatcher>

#include <array>
#include <functional>
#include <optional>

class QCategoryAxis;
class QChartView;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
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

// Edit > Correct from Log: datalogs' fuel trims (closed loop) and wideband mixtures (open loop)
// turned into a proposed table, shown beside the current one with the rows behind it, and
// applied on request. Opening a log shows what its reader found (the layout, and the columns
// picked by their roles with their units and first values) before anything is computed; every
// pick stays the user's to change. The logs are read on a worker thread; the minimum samples,
// the largest change and the locks only reshape the proposal, so they take effect at once.
// Nothing in the project changes before Apply.
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
    const QStringList& logPaths() const { return logPaths_; }
    // The first log's layout, as the found panel shows it.
    const std::optional<LogLayout>& layout() const { return layout_; }
    // Opens path as the only log without asking (the open button's second half); addLog adds
    // it to the logs already open (the add button's).
    bool openLog(const QString& path);
    bool addLog(const QString& path);
    void AddBtnClick();
    // Entry i keeps its word whatever the log says (the grid's Lock column).
    void setLocked(int entry, bool on);
    const std::array<bool, kTableEntries>& locked() const { return locked_; }

    QLineEdit* LogEdit;
    QPushButton* OpenBtn;
    QPushButton* AddBtn;
    QComboBox* DecimalCombo;  // found in the log, point, comma
    QLabel* FoundLabel;       // what the reader found, and the picked columns' values
    QLabel* MeterLabel;
    QPushButton* MeterBtn;
    QComboBox* SignalCombo;
    QComboBox* Trim1Combo;
    QComboBox* Trim2Combo;  // item 0: "(none)"
    // The open loop's columns; item 0: "(none)".
    QComboBox* WidebandCombo;
    QComboBox* CommandedCombo;
    QComboBox* LoopCombo;
    std::array<QComboBox*, 2> FilterCombos;  // item 0: "(none)"
    std::array<QLineEdit*, 2> FilterMinEdits;
    std::array<QLineEdit*, 2> FilterMaxEdits;
    // In place of min and max when the filter's column holds text: "CL*".
    std::array<QLineEdit*, 2> FilterPatternEdits;
    QComboBox* ModeCombo;  // closed and open loop, closed loop only, open loop only
    QDoubleSpinBox* StoichSpin;
    QSpinBox* LagSpin;             // ms; 0: off
    QDoubleSpinBox* MaxRateSpin;   // V/s (Hz/s); 0: off
    QCheckBox* OpenLoopLtftCheck;  // the long-term trims apply in open loop
    QSpinBox* MinSamplesSpin;
    QSpinBox* StrengthSpin;
    QSpinBox* MaxChangeSpin;  // percent of flow; 0: no limit
    QPushButton* ComputeBtn;
    QPushButton* ApplyBtn;
    QPushButton* CloseBtn;
    QProgressBar* Progress;
    QPushButton* CancelBtn;
    QLabel* CountsLabel;
    // The scatter view: each used row's signal and correction, closed and open loop apart, the
    // rows left out as outliers, each entry's estimate, and the entries as light vertical lines.
    QChartView* ScatterChart;
    QLineSeries* ClosedPoints;  // drawn as points only
    QLineSeries* OpenPoints;
    QLineSeries* OutlierPoints;
    QLineSeries* EstimateSeries;
    QCategoryAxis* EntryAxis;
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
    bool readLogs(const QStringList& paths);
    void fillColumns();
    void showFound();
    void showFilterKinds();
    LogOptions logOptions() const;
    bool readSettings(CorrectionSettings& settings);
    void computed();
    // The proposal again from the report's estimates, with the limits now set.
    void propose();
    void showResult();
    void showScatter();
    void updateButtons();
    void showMeter();
    QString gridText(int col, int row) const;
    QString outputText(uint16_t word) const;
    std::array<uint16_t, kTableEntries> words() const;

    AppState& state_;
    UiServices& ui_;
    QValueAxis* outAxis_;
    QValueAxis* changeAxis_;
    QValueAxis* signalAxis_;
    QValueAxis* correctionAxis_;
    std::array<bool, kTableEntries> locked_{};
    MeterCurve meter_;  // the one the report was computed with
    bool frequency_ = false;
    QStringList logPaths_;
    std::optional<LogLayout> layout_;
    QList<qint64> logRows_;  // each log's rows
    QString rolesError_;     // why the roles picked no signal or trim in the first log
    QString meterPath_;
    std::optional<CorrectionReport> report_;
    bool busy_ = false;
    QFutureWatcher<CorrectionResult> watcher_;
};

}  // namespace varnel
