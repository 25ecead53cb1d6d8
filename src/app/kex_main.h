#pragma once

#include "base/app_state.h"
#include "base/project_document.h"
#include "image/table_ops.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <memory>
#include <optional>

class QAction;
class QDragEnterEvent;
class QDropEvent;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QChartView;
class QLineSeries;
class QValueAxis;

namespace varnel {

class BoxLink;
class RadioGroup;
class SpinButton;
class StringGrid;
class UiServices;
class UnwindingUi;
class TLearnDialog;
class TMatchDialog;
class TCommForm;
class TSetupDialog;
class TNewDialog;
class TAboutDialog;
class TMassAirEditorDialog;
class TTableValueDialog;
class TCorrectDialog;
class UndoHistory;
struct MatchCopySource;

// The windows made once at start; the main window reaches its dialogs through here.
struct Dialogs {
    TLearnDialog* LearnDialog = nullptr;
    TMatchDialog* MatchDialog = nullptr;
    TCommForm* CommForm = nullptr;
    TSetupDialog* SetupDialog = nullptr;
    TNewDialog* NewDialog = nullptr;
    TAboutDialog* AboutDialog = nullptr;
    TMassAirEditorDialog* MassAirEditorDialog = nullptr;
};

inline constexpr int kHelpWindow = 1000;
inline constexpr int kHelpHowDoI = 1001;
inline constexpr int kHelpOutput = 1010;
inline constexpr int kHelpPots = 1020;
inline constexpr int kHelpLimit = 1030;
inline constexpr int kHelpEepromGrid = 1200;
inline constexpr int kHelpChart = 1300;

// The program's caption stem; the file name follows it.
inline const char* const kCaptionStem = "Varnel, V1.1 8/2/2002  ";

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // Every message and question goes to ui, except while an operation unwinds for a close.
    TMainForm(AppState& state, BoxLink& link, UiServices& ui, QWidget* parent = nullptr);
    ~TMainForm() override;

    void setDialogs(const Dialogs& dialogs) { dialogs_ = dialogs; }
    const Dialogs& dialogs() const { return dialogs_; }

    AppState& state() { return state_; }
    BoxLink& link() { return link_; }
    UiServices& ui() { return ui_; }

    // Start-up, close and layout.
    void FormCreate();
    void FormActivate();
    // Returns false when the close is cancelled and the window stays open.
    bool FormClose();
    void FormResize();
    bool activated() const { return Activated; }

    void UpdateControls();

    // Box operations and the link's windows (kex_main_link.cpp).
    bool ConnectBox();
    // Draws Series2 from the box's pot adjustments; the previous curve stays on failure.
    bool MonitorBox();
    void AbortBtnClick();
    void BoxTerminalClick();
    void BoxOptionsClick();

    void ShowHexCBoxClick();
    void HelpContentClick();
    void HelpTopicSearchClick();
    void HelpAboutClick();
    void FileExitClick();
    void EditLearnClick();
    // The meter editor (kex_main_meter.cpp).
    void EditMeterClick();

    // Meter matching (kex_main_match.cpp): Edit > Match and the match dialog's Copy E2P.
    void wireMatch();
    void EditMatchClick();
    // Writes a finished match into the project through the window's own controls; true when
    // the project changed.
    bool MatchCopyE2P(const MatchCopySource& source);

    // Edit > Correct from Log (kex_main_correct.cpp): the dialog, made at its first use, and
    // its Apply as one step of the history.
    void EditCorrectClick();
    TCorrectDialog* correctDialog();

    // The help context of a control: its own, or that of the nearest parent that has one.
    static int helpContextOf(const QWidget* widget);

    // Controls, named as their objectName.
    QFrame* TopPanel;
    QLabel* GroupLabel;
    QPushButton* HelpBtn;
    RadioGroup* OutputRGrp;
    std::array<QLabel*, 4> PotLabels;  // Label1..Label4
    QLabel* Label5;
    QLabel* Label6;
    std::array<QLineEdit*, 4> PotEdits;   // Pot1Edit..Pot4Edit
    std::array<SpinButton*, 4> PotSpins;  // Pot1Spin..Pot4Spin
    QLineEdit* LimitEdit;
    QCheckBox* InvertCBox;
    QCheckBox* ShowHexCBox;
    QPushButton* AbortBtn;
    QLabel* SIOLabel;
    QLabel* LearnLabel;
    QLabel* VInLabel;
    QLabel* VOutLabel;
    // The line at the foot of the window: why the last value typed into the table was not taken.
    QLabel* StatusLine;
    StringGrid* TableGrid;
    QChartView* Chart1;
    QLineSeries* Series1;
    QLineSeries* Series2;
    QValueAxis* BottomAxis;
    QValueAxis* LeftAxis;
    StringGrid* EEPROMGrid;

    QMenu* FileMenu;
    QMenu* EditMenu;
    QMenu* BoxMenu;
    QMenu* HelpMenu;
    QAction* FileNew;
    QAction* FileOpen;
    QAction* FileSave;
    QAction* FileSaveAs;
    QAction* FileClose;
    QAction* FileExit;
    QAction* FileExportTable;
    QAction* FileImportTable;
    QAction* EditUndo;
    QAction* EditRedo;
    QAction* EditCopy;
    QAction* EditPaste;
    QMenu* EditTableMenu;
    QAction* TableSet;
    QAction* TableAdd;
    QAction* TableScale;
    QAction* TableInterpolate;
    QAction* TableSmooth;
    QAction* EditProject;
    QAction* EditMatch;
    QAction* EditCorrect;
    QAction* EditLearn;
    QAction* EditMeter;
    QAction* BoxOptions;
    QAction* BoxUpdate;
    QAction* BoxRetrieve;
    QAction* BoxTerminal;
    QAction* HelpContent;
    QAction* HelpTopicSearch;
    QAction* HelpAbout;

    // Project document and file (kex_main_project.cpp).
    ProjectDocument& document();
    // Shows the project setup dialog as its caller preset it; on OK takes its group.
    bool RunProjectDialog();
    void NewProject();
    // Reads path into the project; a failed read changes nothing.
    bool LoadProject(const QString& path);
    // Writes the project to ProjectFileName; false (with the error shown) when it could not.
    bool SaveProject();
    void CloseProject();
    void FileNewClick();
    void FileOpenClick();
    // File > Open once a file is chosen.
    bool OpenProject(const QString& path);
    void FileSaveClick();
    // False when no name was chosen or the save failed.
    bool FileSaveAsClick();
    void FileCloseClick();
    void EditProjectClick();
    // The save of the exit dialogue: a project that was never saved asks for a name first.
    bool SaveBeforeClose();
    // "Save E2P file first ?" for a modified project; false when the user keeps the project
    // (Cancel, or a save that did not happen).
    bool AskSaveFirst();
    // Before the project is left (New, Open, Close, the window's close): the edits under way
    // end as they end when the user moves on, then AskSaveFirst. False when the user keeps the
    // project.
    bool LeaveProject();
    // Ends the edits under way as the user ends them: an open cell editor is committed as
    // leaving the cell commits it, a point held on the chart is let go.
    void FinishEdits();

    // Table grid and chart, output kind, pots, limit, invert, hexadecimal grid
    // (kex_main_table.cpp).
    QString TableGridDrawCell(int col, int row) const;
    void TableGridSetEditText(int col, int row, const QString& text);
    void OutputRGrpClick(int index);
    void DrawTableChart();
    void UpdateChartPoint(int entry, const QString& text);
    void RepaintTableGrid();
    // pot 1..4; step +1 or -1 from the spin buttons, 0 to reload the pot from the image.
    void SetPot(int pot, int step);
    static bool LimitEditKeyPress(QChar key);
    void LimitEditChange(const QString& text);
    void InvertCBoxClick(bool checked);
    QString EEPROMGridDrawCell(int col, int row) const;
    QString EEPROMGridGetEditText(int col, int row) const;
    void EEPROMGridSetEditText(int col, int row, const QString& text);

    // The history of changes, behind Edit > Undo and Redo (kex_main_tools.cpp). Every change
    // of the project made in the window goes through history().record() as one step; see
    // undo_history.h for how a new kind of change records its steps.
    UndoHistory& history();

    // The table tools (kex_main_tools.cpp). The selection is a run of entries first..last of
    // the table grid; false when nothing is selected.
    bool selectedEntries(int& first, int& last) const;
    void selectEntries(int first, int last);
    // Set, Add and Scale ask for their number first; false when the user cancels.
    bool TableOperationClick(RangeKind kind);
    // The + and - keys: words to add to every selected entry (negative takes them).
    void TableStepKeys(int words);
    void EditCopyClick();
    void EditPasteClick();
    void FileExportTableClick();
    void FileImportTableClick();
    TTableValueDialog* tableValueDialog();

    // EEPROM transfers (kex_main_transfer.cpp). TransferProgress shows the bytes done out of
    // 80 while a transfer runs and is hidden otherwise.
    void BoxUpdateClick();
    void BoxRetrieveClick();
    bool transferRunning() const { return transferDepth_ > 0; }
    QProgressBar* TransferProgress;
    // Writes beside the Update that compare with the box first and keep what it held
    // (kex_main_transfer.cpp): only the bytes that differ, after a backup and a question; the
    // differences alone; a backup's bytes back into the box.
    void BoxUpdateChangesClick();
    void BoxCompareClick();
    void BoxRestoreClick();
    QAction* BoxUpdateChanges;
    QAction* BoxCompare;
    QAction* BoxRestore;

    // The chart as an editor (kex_main_chart.cpp): the tooltip of the point of a curve nearest
    // pos (Chart1's viewport coordinates) within reach, empty when none is; a point of the
    // table curve is dragged up and down with the mouse.
    QString ChartTipAt(const QPoint& pos) const;
    bool chartDragging() const;

    // Another project as a reference (kex_main_compare.cpp). CompareWith reads path as File >
    // Open reads it, without touching the project; false when it cannot be read or holds the
    // other output kind (nothing is shown then).
    void FileCompareClick();
    bool CompareWith(const QString& path);
    void CloseCompare();
    bool comparing() const;
    QAction* FileCompare;
    QAction* FileCloseCompare;
    QLineSeries* ReferenceSeries;
    QLabel* ReferenceLabel;

    // Recent projects and files named from outside (kex_main_recent.cpp). OpenProjectFile is
    // File > Open's path on a file chosen some other way (the recent list, the command line, a
    // drop), after the exit dialogue's question when the project is modified; OpenMeterFile
    // shows the meter editor with that meter. path is a copy: the save before the open
    // rewrites the recent list it may come from.
    bool OpenProjectFile(QString path);
    void OpenMeterFile(const QString& path);
    const QStringList& recentFiles() const { return recent_; }
    std::array<QAction*, 6> FileRecent{};

protected:
    bool event(QEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void buildTopPanel(QWidget* central);
    void buildClientArea(QWidget* central);
    void buildMenus();
    void wireLink();  // kex_main_link.cpp

    AppState& state_;
    BoxLink& link_;
    std::unique_ptr<UnwindingUi> unwindingUi_;
    UiServices& ui_;  // the user, through unwindingUi_
    Dialogs dialogs_;
    QWidget* central_;
    bool Activated = false;
    bool linkOpenTried_ = false;

    // Project and table (kex_main_project.cpp, kex_main_table.cpp).
    void wireProjectHandlers();
    // What refers to the old project ends as the document replaces it (ProjectDocument::
    // replacing): the edits under way, the history, the comparison.
    void projectReplacing();
    void wireTableHandlers();
    void rescaleTableChart();
    std::unique_ptr<ProjectControls> projectControls_;
    std::unique_ptr<ProjectDocument> document_;

    // Undo and the table tools (kex_main_tools.cpp).
    void wireTableTools();
    void updateTableActions();
    // Undo and Redo, unavailable while a point of the chart is held.
    void updateUndoActions();
    // Declared after the document it restores through, so it goes first.
    std::unique_ptr<UndoHistory> history_;
    TTableValueDialog* tableValueDialog_ = nullptr;

    void wireCorrect();
    TCorrectDialog* correctDialog_ = nullptr;

    // The chart, the reference and the recent list (kex_main_chart.cpp, kex_main_compare.cpp,
    // kex_main_recent.cpp).
    void wireChart();
    void unwireChart();
    void wireCompare();
    void drawReference();
    void wireRecent();
    void rememberRecent(const QString& path);
    void forgetRecent(const QString& path);
    void updateRecentMenu();
    void openStartFile();
    void openNamedFile(const QString& path);
    class ChartEditor;
    ChartEditor* chartEditor_ = nullptr;
    struct Reference {
        QString path;
        ProjectHeader header;
        EepromImage image;
    };
    std::optional<Reference> reference_;
    QStringList recent_;
    QAction* recentSeparator_ = nullptr;

    // Transfers (kex_main_transfer.cpp). A handler run inside a transfer's wait may start
    // another one, so this counts them.
    void wireTransfer();
    // total: what the progress bar counts up to.
    void beginTransfer(int total = kTransferBytes);
    void endTransfer();
    int transferDepth_ = 0;
    // Update Changes of source's bytes (Restore Backup's with the backup's); title names them
    // in the question.
    void writeChanges(const EepromImage& source, const QString& title);
    void saveBoxAsProject(const EepromImage& box);

    // A close requested while a box operation runs (kex_main.cpp): the operation is abandoned
    // as the Abort button would stop it, every wait ends at once, and the close runs once the
    // operation has unwound, silently (its messages would only hold the close up).
    class Operation {
      public:
        explicit Operation(TMainForm& form);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

      private:
        TMainForm& form_;
    };
    void closeAfterUnwinding();
    int operationDepth_ = 0;
    bool closeRequested_ = false;

    // The box being written (Update, Update Changes, Restore Backup): a close asks first, and
    // once it has stopped the write, says how far it got.
    struct BoxWrite {
        int written = 0;  // the writes the box has acknowledged
        int total = 0;
        bool asking = false;
        bool stopped = false;
    };
    std::optional<BoxWrite> boxWrite_;
    // Returns the write this one runs inside, if any, for endBoxWrite.
    std::optional<BoxWrite> beginBoxWrite(int total);
    void boxWritten(int written);
    void endBoxWrite(const std::optional<BoxWrite>& outer, int written);
    // False when the user lets the write go on.
    bool askToStopWriting();
};

}  // namespace varnel
