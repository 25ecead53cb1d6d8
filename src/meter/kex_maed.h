#pragma once

#include "base/ui_services.h"
#include "meter/meter_file.h"

#include <QDialog>

class QChartView;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPlainTextEdit;
class QPushButton;
class QValueAxis;

namespace varnel {

struct AppState;
class MeterFitDialog;
class MeterGrid;
class RadioGroup;

// The meter editor: one meter at a time, its part number, description, units, signal kind and
// its table of signal against flow as a grid and a chart. It is made once at start and keeps
// its content, record buffer included, between showings.
class TMassAirEditorDialog : public QDialog {
    Q_OBJECT
  public:
    TMassAirEditorDialog(AppState& state, UiServices& ui, QWidget* parent = nullptr);

    // The record buffer, the unsaved-changes flag and the current file.
    TMeterRecord MeterRecord;
    bool MeterModified = false;
    QString MeterFileName;

    float MaxSignal = 6.0f;
    float MaxFlow = 9999.99f;
    const char* SignalFormat = kSignalFormat;
    const char* FlowFormat = kFlowFormat;
    bool MetricUnits = true;

    // Record and file.
    bool FormToRecord();
    void RecordToForm();
    void SaveFile(bool SaveAs);
    void OpenButtonClick();
    // Open's steps on a file chosen without the file dialog: the save question, then the read.
    void OpenFile(const QString& path);
    // Opens path once the dialog is next shown.
    void openOnShow(const QString& path);
    void SaveButtonClick();
    void SaveAsButtonClick();
    UiServices::Answer QuerySave();

    // The dialog and its grid.
    void FormActivate();
    void NewButtonClick();
    void ClearForm();
    bool StringGridKeyPress(QChar ch);
    void StringGridKeyDown(int key);
    void StringGridSetEditText(int col, int row, const QString& text);
    bool StringGridSelectCell(int col, int& row);
    void StringGridExit();
    void StringGridRowDragged(int from, int to);
    bool ValidateGrid();
    void BubbleSort();
    void UpdateGraph();
    void UnitsRGrpClick();
    void ConvertValues();
    void FrequencyCheckBoxClick();
    void SetStringGridHeaders();
    void Change();
    void InitStringGrid();
    void CloseButtonClick();
    void HelpButtonClick();

    // The text import.
    void ImportButtonClick();
    // A meter fitted to a published curve, into the editor as the import brings one.
    void FitCurveButtonClick();

    // The data rows of the grid (rows 1 to row count - 2) and what the controls hold.
    QVector<MeterPoint> gridRows() const;
    MeterForm form() const;

    // Controls, named as their objectName.
    QPushButton* NewButton;
    QPushButton* OpenButton;
    QPushButton* SaveButton;
    QPushButton* SaveAsButton;
    QPushButton* ImportButton;
    QPushButton* FitCurveButton;
    MeterFitDialog* FitDialog;
    QLabel* PartNumberLabel;
    QLineEdit* PartNumberEdit;
    QLabel* DescriptionLabel;
    QPlainTextEdit* DescriptionMemo;
    RadioGroup* UnitsRGrp;
    QCheckBox* FrequencyCheckBox;
    QGroupBox* DataTableGroupBox;
    MeterGrid* StringGrid;
    QChartView* MeterChart;
    QLineSeries* Series1;
    QValueAxis* FlowAxis;
    QValueAxis* SignalAxis;
    QPushButton* CloseButton;
    QPushButton* HelpButton;

  protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void setTitle();
    void readFile(QString name);
    QString pendingOpen_;
    bool groupValid();
    // The rows the grid may hold: a meter file has room for 62.
    bool refuseRow(int col, int row);
    // Sorts the data rows and moves the current row with its row; result[old - 1] + 1 is where
    // data row old went.
    QVector<int> sortGrid();

    AppState& state_;
    UiServices& ui_;
};

}  // namespace varnel
