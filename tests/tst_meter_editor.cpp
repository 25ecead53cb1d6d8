#include "base/app_state.h"
#include "app/kex_main.h"
#include "base/widgets.h"
#include "app/windows.h"
#include "link/box_link.h"
#include "meter/kex_maed.h"
#include "meter/meter_grid.h"
#include "support/scripted_ui.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace varnel;
using varnel::test::ScriptedUi;
using Answer = UiServices::Answer;

namespace {

const QString kEmptyCell = QStringLiteral("This cell must not be empty.  Delete row?");
const QString kExists = QStringLiteral("The value entered already exists.");

}  // namespace

class TestMeterEditor : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void controls();
    void cellsAreFormattedAndLimited_data();
    void cellsAreFormattedAndLimited();
    void limitsApplyOnlyToTheCellLeft();
    void keyFilter_data();
    void keyFilter();
    void entryRowGrowsAtTheFirstFlowCharacter();
    void emptyCellQuestion_data();
    void emptyCellQuestion();
    void emptyingTheLastFlowMakesTheEntryRow();
    void emptyingBothCellsRemovesTheRow();
    void duplicateFlowsAreRefused_data();
    void duplicateFlowsAreRefused();
    void equalSignalsKeepTheirOrder();
    void movesSortTheRows();
    void leavingTheGridSortsAndFollowsTheRow();
    void draggedRowsAreCheckedAndSorted();
    void unitsSwitch_data();
    void unitsSwitch();
    void frequencyChangesOnlyTheHeading();
    void chartShowsSignalAgainstFlow();
    void enterChecksTheRowAndEscAsksForHelp();
    void aSixtyThirdRowIsRefused();
    void showingSwitchesToMetricOnce();
    void newAndClose();
    void editMeterRunsTheEditorModally();

  private:
    MeterGrid* g() const { return d_->StringGrid; }
    void type(const QString& text) { QTest::keyClicks(g()->editor(), text); }
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::keyClick(g()->editor(), k, m);
    }
    void clearCell() {
        g()->editor()->selectAll();
        key(Qt::Key_Backspace);
    }
    // Types a signal and a flow into the entry row and moves on to the next row.
    void enterRow(const QString& signal, const QString& flow) {
        type(signal);
        key(Qt::Key_Tab);
        type(flow);
        key(Qt::Key_Tab);
    }
    void setRows(const QList<QPair<QString, QString>>& rows) {
        g()->setRowCount(int(rows.size()) + 2);
        for (int i = 0; i < rows.size(); ++i) {
            g()->setCell(0, i + 1, rows[i].first);
            g()->setCell(1, i + 1, rows[i].second);
        }
    }
    QStringList column(int col) const {
        QStringList texts;
        for (int r = 1; r < g()->rowCount(); ++r) texts.append(g()->cell(col, r));
        return texts;
    }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppState> state_;
    ScriptedUi ui_;
    std::unique_ptr<TMassAirEditorDialog> d_;
};

void TestMeterEditor::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    state_ = std::make_unique<AppState>();
    state_->AppDir = dir_->path() + QLatin1Char('/');
    state_->ProjectDir = state_->AppDir;
    d_ = std::make_unique<TMassAirEditorDialog>(*state_, ui_);
    d_->show();
}

void TestMeterEditor::cleanup() {
    VERIFY_UI(ui_);
    d_.reset();
}

void TestMeterEditor::controls() {
    const QList<QPair<const char*, QString>> captions = {
        {"NewButton", "New"},        {"OpenButton", "Open"},
        {"SaveButton", "Save"},      {"SaveAsButton", "Copy"},
        {"ImportButton", "Convert"}, {"CloseButton", "Close"},
        {"HelpButton", "Help"},      {"FrequencyCheckBox", "Frequency"}};
    for (const auto& [name, caption] : captions) {
        auto* w = d_->findChild<QWidget*>(QLatin1String(name));
        QVERIFY2(w, name);
        QCOMPARE(w->property("text").toString(), caption);
    }
    for (const char* name : {"PartNumberEdit", "DescriptionMemo", "UnitsRGrp", "DataTableGroupBox",
                             "StringGrid", "MeterChart"})
        QVERIFY2(d_->findChild<QWidget*>(QLatin1String(name)), name);
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor"));
    QCOMPARE(d_->PartNumberEdit->maxLength(), 30);
    QCOMPARE(d_->UnitsRGrp->title(), QStringLiteral("Units"));
    QCOMPARE(d_->UnitsRGrp->button(0)->text(), QStringLiteral("English "));
    QCOMPARE(d_->UnitsRGrp->button(1)->text(), QStringLiteral("Metric"));
    QCOMPARE(d_->UnitsRGrp->itemIndex(), 1);
    QCOMPARE(d_->DataTableGroupBox->title(), QStringLiteral("Data Table (kg/hr)"));
    QCOMPARE(g()->cell(0, 0), QStringLiteral("Volts"));
    QCOMPARE(g()->cell(1, 0), QStringLiteral("Flow"));
    QCOMPARE(g()->rowCount(), 2);
    QVERIFY(d_->CloseButton->isDefault());
    QCOMPARE(d_->MeterChart->chart()->title(), QStringLiteral("Meter Response"));
    QVERIFY(!d_->MeterChart->chart()->legend()->isVisible());
    QCOMPARE(d_->Series1->color(), QColor(Qt::red));
    QCOMPARE(d_->size(), QSize(505, 331));
    QVERIFY(!d_->MeterModified);
}

void TestMeterEditor::cellsAreFormattedAndLimited_data() {
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QString>("flow");
    QTest::addColumn<QString>("signalCell");
    QTest::addColumn<QString>("flowCell");
    QTest::newRow("7 becomes 6.00") << "7"
                                    << "10"
                                    << "6.00"
                                    << "10.00";
    QTest::newRow("1.5 becomes 1.50") << "1.5"
                                      << "10"
                                      << "1.50"
                                      << "10.00";
    QTest::newRow("6 stays") << "6"
                             << "10"
                             << "6.00"
                             << "10.00";
    QTest::newRow("6.001") << "6.001"
                           << "10"
                           << "6.00"
                           << "10.00";
    QTest::newRow("leading point") << ".5"
                                   << "1"
                                   << "0.50"
                                   << "1.00";
    QTest::newRow("trailing point") << "2."
                                    << "1"
                                    << "2.00"
                                    << "1.00";
    QTest::newRow("flow 250") << "1"
                              << "250"
                              << "1.00"
                              << "250.00";
    QTest::newRow("flow above the limit") << "1"
                                          << "10000"
                                          << "1.00"
                                          << "9999.99";
    QTest::newRow("flow 9999.99 stays") << "1"
                                        << "9999.99"
                                        << "1.00"
                                        << "9999.99";
    QTest::newRow("flow just above") << "1"
                                     << "9999.991"
                                     << "1.00"
                                     << "9999.99";
    QTest::newRow("flow rounded") << "1"
                                  << "12.345678"
                                  << "1.00"
                                  << "12.35";
}

void TestMeterEditor::cellsAreFormattedAndLimited() {
    QFETCH(QString, signal);
    QFETCH(QString, flow);
    enterRow(signal, flow);
    QTEST(g()->cell(0, 1), "signalCell");
    QTEST(g()->cell(1, 1), "flowCell");
    QCOMPARE(g()->rowCount(), 3);
    QCOMPARE(g()->row(), 2);
    QCOMPARE(g()->col(), 0);
}

void TestMeterEditor::limitsApplyOnlyToTheCellLeft() {
    setRows({{"1", "20000"}, {"7", "10"}});
    // Leaving row 2 from its flow cell: the signal is formatted but not limited.
    g()->setCurrentCell(1, 2);
    key(Qt::Key_Up);
    QCOMPARE(g()->cell(0, 2), QStringLiteral("7.00"));
    QCOMPARE(g()->row(), 1);
    // Leaving row 1 from its signal cell: the flow is not limited either.
    g()->setCurrentCell(0, 1);
    key(Qt::Key_Down);
    QCOMPARE(g()->cell(1, 1), QStringLiteral("20000.00"));
    QCOMPARE(g()->row(), 2);
}

void TestMeterEditor::keyFilter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("cell");
    QTest::newRow("digits and point") << "3.25"
                                      << "3.25";
    QTest::newRow("letters") << "1a2b"
                             << "12";
    QTest::newRow("minus") << "-3"
                           << "3";
    QTest::newRow("comma") << "1,5"
                           << "15";
    QTest::newRow("exponent") << "1e3"
                              << "13";
    QTest::newRow("blank") << " 7"
                           << "7";
    QTest::newRow("nothing allowed") << "xyz"
                                     << "";
}

void TestMeterEditor::keyFilter() {
    QFETCH(QString, typed);
    type(typed);
    QTEST(g()->cell(0, 1), "cell");
    QTEST(g()->editor()->text(), "cell");
    key(Qt::Key_Backspace);
    QFETCH(QString, cell);
    QCOMPARE(g()->cell(0, 1), cell.left(cell.size() - 1));
}

void TestMeterEditor::entryRowGrowsAtTheFirstFlowCharacter() {
    QCOMPARE(g()->rowCount(), 2);
    type(QStringLiteral("1"));
    QVERIFY(d_->MeterModified);
    QCOMPARE(g()->rowCount(), 2);
    key(Qt::Key_Tab);
    QCOMPARE(g()->col(), 1);
    type(QStringLiteral("2"));
    QCOMPARE(g()->rowCount(), 3);
    QCOMPARE(d_->Series1->count(), 1);
    type(QStringLiteral("5"));
    QCOMPARE(g()->rowCount(), 3);
    key(Qt::Key_Tab);
    QCOMPARE(g()->row(), 2);
    QCOMPARE(g()->cell(1, 1), QStringLiteral("25.00"));
}

void TestMeterEditor::emptyCellQuestion_data() {
    QTest::addColumn<bool>("deleteRow");
    QTest::newRow("Yes deletes the row") << true;
    QTest::newRow("No keeps the cursor in the row") << false;
}

void TestMeterEditor::emptyCellQuestion() {
    QFETCH(bool, deleteRow);
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    enterRow(QStringLiteral("2"), QStringLiteral("20"));
    enterRow(QStringLiteral("3"), QStringLiteral("30"));
    QVERIFY(g()->moveTo(1, 2));
    clearCell();
    QCOMPARE(g()->rowCount(), 5);
    ui_.expectWarning(kEmptyCell, deleteRow ? Answer::Yes : Answer::No);
    // The user clicks the flow of the row below.
    QCOMPARE(g()->moveTo(1, 3), deleteRow);
    VERIFY_UI(ui_);
    if (deleteRow) {
        QCOMPARE(column(0), QStringList({"1.00", "3.00", ""}));
        QCOMPARE(g()->row(), 2);
        QCOMPARE(g()->cell(1, g()->row()), QStringLiteral("30.00"));
    } else {
        QCOMPARE(column(1), QStringList({"10.00", "", "30.00", ""}));
        QCOMPARE(g()->row(), 2);
        QCOMPARE(g()->col(), 1);
    }
}

void TestMeterEditor::emptyingTheLastFlowMakesTheEntryRow() {
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    enterRow(QStringLiteral("2"), QStringLiteral("20"));
    QVERIFY(g()->moveTo(1, 2));
    clearCell();
    QCOMPARE(g()->rowCount(), 3);
    // Row 2 is now the entry row: it is left without the question and is no data.
    QVERIFY(g()->moveTo(0, 1));
    QCOMPARE(d_->gridRows().size(), 1);
    QCOMPARE(g()->cell(0, 2), QStringLiteral("2.00"));
}

void TestMeterEditor::emptyingBothCellsRemovesTheRow() {
    setRows({{"1.00", "10.00"}, {"", "20.00"}, {"3.00", "30.00"}});
    g()->setCurrentCell(1, 2);
    clearCell();
    QCOMPARE(column(0), QStringList({"1.00", "3.00", ""}));
    QCOMPARE(g()->row(), 2);
    QCOMPARE(g()->editor()->text(), QStringLiteral("30.00"));
}

void TestMeterEditor::duplicateFlowsAreRefused_data() {
    QTest::addColumn<QString>("flow");
    QTest::newRow("same text") << "10.00";
    QTest::newRow("same after formatting") << "10";
    QTest::newRow("rounds to the same text") << "10.001";
}

void TestMeterEditor::duplicateFlowsAreRefused() {
    QFETCH(QString, flow);
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    type(QStringLiteral("2"));
    key(Qt::Key_Tab);
    type(flow);
    ui_.expectInformation(kExists);
    key(Qt::Key_Tab);
    VERIFY_UI(ui_);
    QCOMPARE(g()->row(), 2);
    QCOMPARE(g()->col(), 1);
    g()->editor()->selectAll();
    type(QStringLiteral("11"));
    key(Qt::Key_Tab);
    QCOMPARE(g()->row(), 3);
    QCOMPARE(column(1), QStringList({"10.00", "11.00", ""}));
}

void TestMeterEditor::equalSignalsKeepTheirOrder() {
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    enterRow(QStringLiteral("1"), QStringLiteral("20"));
    enterRow(QStringLiteral("0.5"), QStringLiteral("30"));
    enterRow(QStringLiteral("1"), QStringLiteral("5"));
    QCOMPARE(column(0), QStringList({"0.50", "1.00", "1.00", "1.00", ""}));
    QCOMPARE(column(1), QStringList({"30.00", "10.00", "20.00", "5.00", ""}));
}

void TestMeterEditor::movesSortTheRows() {
    enterRow(QStringLiteral("3"), QStringLiteral("30"));
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    enterRow(QStringLiteral("2"), QStringLiteral("20"));
    QCOMPARE(column(0), QStringList({"1.00", "2.00", "3.00", ""}));
    QCOMPARE(column(1), QStringList({"10.00", "20.00", "30.00", ""}));
    QCOMPARE(g()->row(), 4);

    // A move within the row follows the row to its sorted place.
    QVERIFY(g()->moveTo(0, 1));
    g()->editor()->selectAll();
    type(QStringLiteral("5"));
    key(Qt::Key_Tab);
    QCOMPARE(column(0), QStringList({"2.00", "3.00", "5.00", ""}));
    QCOMPARE(g()->row(), 3);
    QCOMPARE(g()->col(), 1);
    QCOMPARE(g()->editor()->text(), QStringLiteral("10.00"));

    // A click on another row lands on the row clicked, wherever the sort put it.
    g()->editor()->selectAll();
    QVERIFY(g()->moveTo(0, 3));
    g()->editor()->selectAll();
    type(QStringLiteral("0.5"));
    QVERIFY(g()->moveTo(1, 1));  // the row holding 2.00 / 20.00
    QCOMPARE(column(0), QStringList({"0.50", "2.00", "3.00", ""}));
    QCOMPARE(g()->row(), 2);
    QCOMPARE(g()->editor()->text(), QStringLiteral("20.00"));
}

void TestMeterEditor::leavingTheGridSortsAndFollowsTheRow() {
    d_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(d_.get()));
    g()->editor()->setFocus();
    enterRow(QStringLiteral("2"), QStringLiteral("20"));
    type(QStringLiteral("1"));
    key(Qt::Key_Tab);
    type(QStringLiteral("10"));
    QCOMPARE(g()->row(), 2);
    d_->PartNumberEdit->setFocus();
    QCOMPARE(column(0), QStringList({"1.00", "2.00", ""}));
    QCOMPARE(g()->row(), 1);

    // A failing check on leaving only shows its message.
    g()->editor()->setFocus();
    QVERIFY(g()->moveTo(1, 2));
    g()->editor()->selectAll();
    type(QStringLiteral("10"));
    ui_.expectInformation(kExists);
    d_->PartNumberEdit->setFocus();
    VERIFY_UI(ui_);
    QVERIFY(d_->PartNumberEdit->hasFocus());
}

void TestMeterEditor::draggedRowsAreCheckedAndSorted() {
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    enterRow(QStringLiteral("1"), QStringLiteral("20"));
    enterRow(QStringLiteral("2"), QStringLiteral("30"));
    d_->MeterModified = false;
    // By the mouse, row 2 onto row 1: among equal signals it stays where it was dropped.
    QWidget* v = g()->viewport();
    const auto at = [this](int row) {
        return g()->visualRect(g()->model()->index(row - 1, 0)).center();
    };
    QTest::mousePress(v, Qt::LeftButton, {}, at(2));
    QTest::mouseMove(v, at(1));
    QTest::mouseRelease(v, Qt::LeftButton, {}, at(1));
    QCOMPARE(column(1), QStringList({"20.00", "10.00", "30.00", ""}));
    QCOMPARE(g()->row(), 1);
    QVERIFY(d_->MeterModified);
    // Out of signal order, the dropped row is sorted back at once; the current row follows it.
    QVERIFY(g()->moveTo(1, 3));
    g()->dragCurrentRow(1);
    QCOMPARE(column(1), QStringList({"20.00", "10.00", "30.00", ""}));
    QCOMPARE(g()->row(), 3);
    // A row its check will not let go does not move; neither does the entry row.
    QVERIFY(g()->moveTo(1, 1));
    g()->editor()->selectAll();
    type(QStringLiteral("10"));
    ui_.expectInformation(kExists);
    g()->dragCurrentRow(3);
    VERIFY_UI(ui_);
    QCOMPARE(column(1), QStringList({"10.00", "10.00", "30.00", ""}));
    QCOMPARE(g()->row(), 1);
    g()->setCurrentCell(0, 4);
    g()->dragCurrentRow(1);
    QCOMPARE(column(0), QStringList({"1.00", "1.00", "2.00", ""}));
}

void TestMeterEditor::unitsSwitch_data() {
    QTest::addColumn<QString>("metric");
    QTest::addColumn<QString>("english");
    QTest::newRow("100") << "100.00"
                         << "220.46";
    QTest::newRow("1") << "1.00"
                       << "2.20";
    QTest::newRow("limit") << "9999.99"
                           << "22046.20";
    QTest::newRow("50") << "50.00"
                        << "110.23";
    QTest::newRow("0") << "0.00"
                       << "0.00";
}

void TestMeterEditor::unitsSwitch() {
    QFETCH(QString, metric);
    QFETCH(QString, english);
    setRows({{"1.00", metric}, {"2.00", "5000.00"}});
    g()->setCell(0, 3, QStringLiteral("3.00"));  // the entry row is not converted
    g()->setCell(1, 3, QStringLiteral("100.00"));
    d_->MeterModified = false;
    d_->UnitsRGrp->setItemIndex(0);
    QVERIFY(d_->MeterModified);
    QCOMPARE(d_->DataTableGroupBox->title(), QStringLiteral("Data Table (lb/hr)"));
    QCOMPARE(g()->cell(1, 1), english);
    QCOMPARE(g()->cell(0, 1), QStringLiteral("1.00"));
    QCOMPARE(g()->cell(1, 3), QStringLiteral("100.00"));
    d_->UnitsRGrp->setItemIndex(1);
    QCOMPARE(d_->DataTableGroupBox->title(), QStringLiteral("Data Table (kg/hr)"));
    QCOMPARE(g()->cell(1, 1), metric);
    QCOMPARE(g()->cell(1, 2), QStringLiteral("5000.00"));
}

void TestMeterEditor::frequencyChangesOnlyTheHeading() {
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    d_->MeterModified = false;
    d_->FrequencyCheckBox->setChecked(true);
    QVERIFY(d_->MeterModified);
    QCOMPARE(g()->cell(0, 0), QStringLiteral("Freq"));
    QCOMPARE(g()->cell(0, 1), QStringLiteral("1.00"));
    // The signal limit stays 6.0 for frequencies.
    enterRow(QStringLiteral("2500"), QStringLiteral("20"));
    QCOMPARE(g()->cell(0, 2), QStringLiteral("6.00"));
    d_->FrequencyCheckBox->setChecked(false);
    QCOMPARE(g()->cell(0, 0), QStringLiteral("Volts"));
}

void TestMeterEditor::chartShowsSignalAgainstFlow() {
    enterRow(QStringLiteral("2"), QStringLiteral("20"));
    enterRow(QStringLiteral("1"), QStringLiteral("40"));
    QCOMPARE(d_->Series1->points(), QList<QPointF>({QPointF(20, 2), QPointF(40, 1)}));
    // A cell that is not yet a number leaves its row out of the chart, and nothing fails.
    QVERIFY(g()->moveTo(0, 2));
    g()->editor()->selectAll();
    type(QStringLiteral("."));
    QCOMPARE(d_->Series1->points(), QList<QPointF>({QPointF(40, 1)}));
    // Leaving the row: a lone point is no number, so the cell counts as empty.
    ui_.expectWarning(kEmptyCell, Answer::No);
    key(Qt::Key_Tab);
    VERIFY_UI(ui_);
    QCOMPARE(g()->cell(0, 2), QString());
    QCOMPARE(g()->rowCount(), 4);
    // In the entry row a lone point just goes.
    g()->setCell(0, 2, QStringLiteral("2.00"));
    QVERIFY(g()->moveTo(0, 3));
    type(QStringLiteral("."));
    key(Qt::Key_Tab);
    QCOMPARE(g()->cell(0, 3), QString());
    QCOMPARE(d_->Series1->count(), 2);
}

void TestMeterEditor::enterChecksTheRowAndEscAsksForHelp() {
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    type(QStringLiteral("2"));
    key(Qt::Key_Tab);
    type(QStringLiteral("10"));
    ui_.expectInformation(kExists);
    key(Qt::Key_Return);
    VERIFY_UI(ui_);
    QVERIFY(d_->isVisible());
    QCOMPARE(g()->row(), 2);

    ui_.expectInformation(QStringLiteral("No help file is available at this time."));
    key(Qt::Key_Escape);
    ui_.expectInformation(QStringLiteral("No help file is available at this time."));
    QTest::keyClick(d_.get(), Qt::Key_Escape);
    ui_.expectInformation(QStringLiteral("No help file is available at this time."));
    d_->HelpButton->click();
    VERIFY_UI(ui_);
    QVERIFY(d_->isVisible());
}

void TestMeterEditor::aSixtyThirdRowIsRefused() {
    QList<QPair<QString, QString>> rows;
    for (int i = 1; i <= kMeterRows; ++i)
        rows.append({FormatMeterNumber("%1.2f", i * 0.05), FormatMeterNumber("%4.2f", i * 10.0)});
    setRows(rows);
    QCOMPARE(g()->rowCount(), 64);
    QVERIFY(g()->moveTo(0, 63));
    type(QStringLiteral("5"));
    key(Qt::Key_Tab);
    ui_.expectInformation(QStringLiteral("A meter holds at most 62 points."));
    type(QStringLiteral("1"));
    VERIFY_UI(ui_);
    QCOMPARE(g()->rowCount(), 64);
    QCOMPARE(g()->cell(1, 63), QString());
    QCOMPARE(d_->gridRows().size(), kMeterRows);
}

void TestMeterEditor::showingSwitchesToMetricOnce() {
    d_->hide();
    d_->UnitsRGrp->setItemIndex(0);
    setRows({{"1.00", "220.46"}});
    d_->MeterModified = false;
    d_->show();
    QCOMPARE(d_->UnitsRGrp->itemIndex(), 1);
    QCOMPARE(g()->cell(1, 1), QStringLiteral("100.00"));
    QVERIFY(d_->MeterModified);
    // The dialog's own message boxes do not run the activation again.
    d_->UnitsRGrp->setItemIndex(0);
    ui_.expectInformation(QStringLiteral("No help file is available at this time."));
    d_->HelpButtonClick();
    QCOMPARE(d_->UnitsRGrp->itemIndex(), 0);
}

void TestMeterEditor::newAndClose() {
    enterRow(QStringLiteral("1"), QStringLiteral("10"));
    d_->PartNumberEdit->setText(QStringLiteral("P"));
    d_->DescriptionMemo->setPlainText(QStringLiteral("D"));
    d_->FrequencyCheckBox->setChecked(true);
    d_->MeterRecord.setPartNumber(QStringLiteral("IN BUFFER"));
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Cancel);
    d_->NewButton->click();
    QCOMPARE(g()->rowCount(), 3);
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::No);
    d_->NewButton->click();
    VERIFY_UI(ui_);
    QCOMPARE(g()->rowCount(), 2);
    QCOMPARE(d_->PartNumberEdit->text(), QString());
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QString());
    QVERIFY(!d_->FrequencyCheckBox->isChecked());
    QCOMPARE(d_->Series1->count(), 0);
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor"));
    // New clears the controls, not the record buffer.
    QCOMPARE(d_->MeterRecord.PartNumber(), QStringLiteral("IN BUFFER"));

    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Cancel);
    d_->CloseButton->click();
    QVERIFY(d_->isVisible());
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::No);
    d_->CloseButton->click();
    VERIFY_UI(ui_);
    QVERIFY(!d_->isVisible());
    QCOMPARE(d_->result(), int(QDialog::Accepted));

    // The title bar's close control closes without the question.
    d_->show();
    d_->MeterModified = true;
    QVERIFY(d_->close());
    QVERIFY(!d_->isVisible());
}

void TestMeterEditor::editMeterRunsTheEditorModally() {
    d_.reset();
    BoxLink link;
    auto main = CreateWindows(*state_, link, ui_);
    TMassAirEditorDialog* editor = main->dialogs().MassAirEditorDialog;
    QVERIFY(editor);
    QCOMPARE(editor->parent(), main.get());
    bool shown = false;
    ui_.expectDialog(QStringLiteral("MassAirEditorDialog"), [&](QDialog& dlg) {
        shown = dlg.isVisible();
        return int(QDialog::Accepted);
    });
    state_->AbortFlag = true;
    main->EditMeter->trigger();
    VERIFY_UI(ui_);
    QVERIFY(shown);
    // UpdateControls ran afterwards.
    QVERIFY(!state_->AbortFlag);
    QVERIFY(!editor->isVisible());
}

QTEST_MAIN(TestMeterEditor)
#include "tst_meter_editor.moc"
