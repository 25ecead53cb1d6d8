// Edit > Match on the main window: the lists, the grid, the buttons and Copy E2P into the
// project, with the user's part played through the scripted dialogs.

#include "app/kex_main.h"
#include "base/widgets.h"
#include "match/kex_matd.h"
#include "support/match_meters.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QValueAxis>
#include <QtTest>

#include <functional>

using namespace varnel;
using varnel::test::MeterTextRows;
using varnel::test::WindowFixture;
using varnel::test::workedMatchRows;
using varnel::test::workedUseRows;
using varnel::test::writeMeter;

namespace {

const QString kCopyQuestion = QStringLiteral("Ok to save E2P data in main table?");

}  // namespace

class TestMatchDialog : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void workedExampleThroughTheDialog();
    void frequencyMatchSwitchesTheOutput();
    void preciseCopyAndTheErrorChart();
    void copyAnsweredNoChangesNothing();
    void closingWithoutCopyChangesNothing();
    void kilogramsAgainstPounds();
    void sameFileBothWays();
    void fewerThanThreeRowsCannotBeCopied();
    void noFilesFound();
    void preselection_data();
    void preselection();
    void matchNeedsBothLists();
    void lowerCaseFileLoads();
    void missingFileKeepsTheLastMatch();
    void badTextStopsTheMatch();
    void groupWithoutFolder();
    void reopeningEmptiesTheGrid();

  private:
    QString ford(const QString& name) const {
        return w.state->AppDir + QStringLiteral("Ford/") + name;
    }
    // Edit > Match with the user's part; the dialog is closed with Close afterwards.
    void runDialog(const std::function<void(TMatchDialog&)>& act);
    // Selects the two meters by their listed names and clicks Match.
    static void match(TMatchDialog& d, const QString& use, const QString& matchName);
    // The grid's row r (1..256) as drawn.
    static QStringList row(const TMatchDialog& d, int r);
    static QStringList headers(const TMatchDialog& d);

    WindowFixture w;
};

void TestMatchDialog::init() {
    w.make();
    // Start-up makes the group folders; the project's group (Ford) is where the meters live.
    for (const char* g : GroupNames) QDir().mkpath(w.state->AppDir + QLatin1String(g));
    w.fileNew();
    QCOMPARE(w.state->ProjectDir, w.state->AppDir + QStringLiteral("Ford/"));
    QVERIFY(writeMeter(ford(QStringLiteral("USE.MAF")), false, false, workedUseRows()));
    QVERIFY(writeMeter(ford(QStringLiteral("MATCH.MAF")), false, false, workedMatchRows()));
}

void TestMatchDialog::cleanup() {
    VERIFY_UI(w.ui);
    w.form.reset();
}

void TestMatchDialog::runDialog(const std::function<void(TMatchDialog&)>& act) {
    w.ui.expectDialog(QStringLiteral("MatchDialog"), [act](QDialog& dialog) {
        auto& d = static_cast<TMatchDialog&>(dialog);
        act(d);
        d.CloseBtn->click();
        return d.result();
    });
    QVERIFY(w.form->EditMatch->isEnabled());
    w.form->EditMatch->trigger();
}

void TestMatchDialog::match(TMatchDialog& d, const QString& use, const QString& matchName) {
    d.MeterUseCombo->setCurrentIndex(d.MeterUseCombo->findText(use));
    d.MeterMatchCombo->setCurrentIndex(d.MeterMatchCombo->findText(matchName));
    QVERIFY(d.MatchBtn->isEnabled());
    d.MatchBtn->click();
}

QStringList TestMatchDialog::row(const TMatchDialog& d, int r) {
    return {d.MatchGrid->shownText(0, r), d.MatchGrid->shownText(1, r),
            d.MatchGrid->shownText(2, r)};
}

QStringList TestMatchDialog::headers(const TMatchDialog& d) {
    return {d.MatchGrid->cell(0, 0), d.MatchGrid->cell(1, 0), d.MatchGrid->cell(2, 0)};
}

void TestMatchDialog::workedExampleThroughTheDialog() {
    TMainForm& f = *w.form;
    const uint8_t mode = w.state->image.modeByte();
    const uint16_t entry32 = w.state->image.entry(32);
    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.windowTitle(), QStringLiteral("Meter Match Dialog"));
        QCOMPARE(headers(d), QStringList({"Flow", "V In", "V Out"}));
        QVERIFY(!d.CopyE2PBtn->isEnabled());
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
        QVERIFY(d.CopyE2PBtn->isEnabled());
        QCOMPARE(headers(d), QStringList({"Flow", "V Use", "V Out"}));
        QCOMPARE(d.FlowUnits->text(), QStringLiteral("Lbs / Hour"));
        // Rows are cells + 1: cell 0 (Out 0), 8, 127 (row 2 placed), 128, 248, 254, 255.
        QCOMPARE(row(d, 1), QStringList({"0.00", "0.000", "0.000"}));
        QCOMPARE(row(d, 9), QStringList({"18.75", "0.188", "0.158"}));
        QCOMPARE(row(d, 128), QStringList({"297.66", "2.977", "2.502"}));
        QCOMPARE(row(d, 129), QStringList({"300.00", "3.000", "2.520"}));
        QCOMPARE(row(d, 249), QStringList({"583.46", "5.835", "4.881"}));
        QCOMPARE(row(d, 255), QStringList({"597.64", "5.976", "4.998"}));
        QCOMPARE(row(d, 256), QStringList({"600.00", "6.000", "4.998"}));

        w.ui.expectConfirm(kCopyQuestion, UiServices::Answer::Yes);
        d.CopyE2PBtn->click();
    });
    VERIFY_UI(w.ui);
    const auto table = varnel::test::workedTable();
    for (int i = 0; i < 32; ++i) QCOMPARE(int(w.state->image.entry(i)), table[size_t(i)]);
    QCOMPARE(w.state->image.entry(32), entry32);
    QCOMPARE(w.state->image.modeByte(), mode);
    QCOMPARE(w.state->header.VInMeterName(), QStringLiteral("USE.MAF"));
    QCOMPARE(w.state->header.VOutMeterName(), QStringLiteral("MATCH.MAF"));
    QCOMPARE(int(w.state->header.VInMeterGroup()), 0);
    QCOMPARE(int(w.state->header.VOutMeterGroup()), 0);
    QVERIFY(w.state->Modified);
    // The window shows the new table and the meters it came from.
    QCOMPARE(f.VInLabel->text(), QStringLiteral("V In Meter: USE.MAF"));
    QCOMPARE(f.VOutLabel->text(), QStringLiteral("V Out Meter: MATCH.MAF"));
    QCOMPARE(f.TableGrid->shownText(1, 17), QStringLiteral(" 2.520 "));  // 516 / 204.8
    QVERIFY(std::abs(f.Series1->at(16).y() - 516 / 204.8) < 1e-6);
    QVERIFY(std::abs(f.Series1->at(31).y() - 999 / 204.8) < 1e-6);

    // The screenshot of the dialog after a match, when asked for.
    const QString shot = qEnvironmentVariable("VARNEL_MATCH_SCREENSHOT");
    if (!shot.isEmpty()) {
        runDialog([&](TMatchDialog& d) {
            match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
            d.MatchGrid->scrollTo(d.MatchGrid->model()->index(120, 0));
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QTest::qWait(200);
            QVERIFY(d.grab().save(shot));
        });
    }
}

void TestMatchDialog::frequencyMatchSwitchesTheOutput() {
    QVERIFY(writeMeter(ford(QStringLiteral("FREQ.MAF")), false, true,
                       {{"0", "0"}, {"1440", "300"}, {"2880", "600"}}));
    TMainForm& f = *w.form;
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("FREQ.MAF"));
        QCOMPARE(headers(d), QStringList({"Flow", "V Use", "F Out"}));
        QCOMPARE(row(d, 128), QStringList({"297.66", "2.977", " 1440"}));
        w.ui.expectConfirm(kCopyQuestion, UiServices::Answer::Yes);
        d.CopyE2PBtn->click();
    });
    QCOMPARE(f.OutputRGrp->itemIndex(), 1);
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x02));
    QCOMPARE(int(w.state->header.OutputType()), 1);
    QCOMPARE(int(w.state->image.entry(16)), 504);
    QCOMPARE(int(w.state->image.entry(31)), 853);
    QCOMPARE(f.LeftAxis->titleText(), QStringLiteral("F Out"));
    QCOMPARE(f.TableGrid->shownText(1, 17), QStringLiteral(" 1452 "));  // 504 x 2.88
    QCOMPARE(f.LimitEdit->text(), QStringLiteral("2946"));
    QCOMPARE(w.state->image.entry(kLimitEntry), uint16_t(1023));
    QCOMPARE(w.state->header.VOutMeterName(), QStringLiteral("FREQ.MAF"));

    // A frequency meter to use: its signals in whole hertz, cell n standing for n x 11.52 Hz.
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("FREQ.MAF"), QStringLiteral("FREQ.MAF"));
        QCOMPARE(headers(d), QStringList({"Flow", "F Use", "F Out"}));
        QCOMPARE(row(d, 126), QStringList({"300.00", " 1440", " 1452"}));  // 504 x 2.88
        QCOMPARE(row(d, 125).at(2), QStringLiteral(" 1440"));
        QCOMPARE(row(d, 64).at(1), QStringLiteral("  726"));  // 63 x 1440 / 125 = 725.76
    });
}

// The error chart is empty until Match and then holds both methods with their figures; Copy E2P
// with Precise writes all 33 words of the precise table, as one step that Undo takes back; a
// meter whose flows fall leaves the chart saying why and Precise nothing to copy.
void TestMatchDialog::preciseCopyAndTheErrorChart() {
    QVERIFY(writeMeter(ford(QStringLiteral("FREQ.MAF")), false, true,
                       {{"0", "0"}, {"1440", "300"}, {"2880", "600"}}));
    QVERIFY(writeMeter(ford(QStringLiteral("FALL.MAF")), false, false,
                       {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "200"}}));
    TMainForm& f = *w.form;
    const QByteArray before = w.state->header.toByteArray() + w.state->image.toByteArray();
    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.MethodRGrp->button(0)->text(), QStringLiteral("Classic"));
        QCOMPARE(d.MethodRGrp->button(1)->text(), QStringLiteral("Precise"));
        QCOMPARE(d.method(), MatchMethod::Classic);
        QCOMPARE(d.ClassicSeries->count() + d.PreciseSeries->count(), 0);
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("FREQ.MAF"));
        // Precise entry 2: 0.375 V in, 37.5 lb/h; word 62 (62.5 to even) is 178.56 Hz, 37.2 lb/h.
        QCOMPARE(d.ClassicSeries->name(), QStringLiteral("Classic: worst -11.95 %, mean 1.58 %"));
        QCOMPARE(d.PreciseSeries->name(), QStringLiteral("Precise: worst -0.80 %, mean 0.11 %"));
        // Entries 1 to 32 are compared (entry 0 has no flow), at their input volts.
        QCOMPARE(d.PreciseSeries->count(), 32);
        QCOMPARE(d.PreciseSeries->at(15).x(), 3.0);
        QVERIFY(std::abs(d.PreciseSeries->at(15).y()) < 0.5);
        d.MethodRGrp->setItemIndex(1);
        w.ui.expectConfirm(kCopyQuestion, UiServices::Answer::Yes);
        d.CopyE2PBtn->click();
    });
    // 3 V in: 300 lb/h, 1440 Hz out, word 500; 6 V: 2880 Hz, word 1000.
    QCOMPARE(int(w.state->image.entry(16)), 500);
    QCOMPARE(int(w.state->image.entry(32)), 1000);
    QCOMPARE(f.OutputRGrp->itemIndex(), 1);
    QCOMPARE(w.state->header.VOutMeterName(), QStringLiteral("FREQ.MAF"));
    QCOMPARE(f.EditUndo->text(), QStringLiteral("Undo Copy E2P"));
    f.EditUndo->trigger();
    QCOMPARE(w.state->header.toByteArray() + w.state->image.toByteArray(), before);
    QVERIFY(!f.EditUndo->isEnabled());

    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.method(), MatchMethod::Precise);
        QCOMPARE(d.ClassicSeries->count(), 0);
        w.ui.expectError(QStringLiteral("The meter's flows do not rise with its signal."));
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("FALL.MAF"));
        QCOMPARE(d.ErrorChart->chart()->title(),
                 QStringLiteral("The meter's flows do not rise with its signal."));
        w.ui.expectError(QStringLiteral("The meter's flows do not rise with its signal."));
        d.CopyE2PBtn->click();
        d.MethodRGrp->setItemIndex(0);
    });
    QCOMPARE(w.state->header.toByteArray() + w.state->image.toByteArray(), before);
}

void TestMatchDialog::copyAnsweredNoChangesNothing() {
    const EepromImage image = w.state->image;
    const QByteArray header = w.state->header.toByteArray();
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
        w.ui.expectConfirm(kCopyQuestion, UiServices::Answer::No);
        d.CopyE2PBtn->click();
        QVERIFY(d.CopyE2PBtn->isEnabled());
    });
    QVERIFY(w.state->image == image);
    QCOMPARE(w.state->header.toByteArray(), header);
    QVERIFY(!w.state->Modified);
}

void TestMatchDialog::closingWithoutCopyChangesNothing() {
    TMainForm& f = *w.form;
    const EepromImage image = w.state->image;
    const QByteArray header = w.state->header.toByteArray();
    const QString caption = f.windowTitle();
    const QList<QPointF> points = f.Series1->points();
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
        QVERIFY(d.CopyE2PBtn->isEnabled());
    });
    QVERIFY(w.state->image == image);
    QCOMPARE(w.state->header.toByteArray(), header);
    QVERIFY(!w.state->Modified);
    QCOMPARE(f.windowTitle(), caption);
    QCOMPARE(f.Series1->points(), points);
    QCOMPARE(f.VInLabel->text(), QStringLiteral("V In Meter: (none)"));
}

void TestMatchDialog::kilogramsAgainstPounds() {
    QVERIFY(writeMeter(ford(QStringLiteral("KG.MAF")), true, false,
                       {{"0.00", "0"}, {"3.00", "136.2"}, {"6.00", "272.4"}}));
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("KG.MAF"), QStringLiteral("MATCH.MAF"));
        QCOMPARE(d.FlowUnits->text(), QStringLiteral("Lbs / Hour"));
        // 136.2 / 0.454 and 272.4 / 0.454: the use meter's flows in pounds.
        QCOMPARE(d.session().Cells[128].Flow, float(static_cast<long double>(136.2f) / 0.454L));
        QCOMPARE(row(d, 129).first(), QStringLiteral("300.00"));
        QCOMPARE(row(d, 256).first(), QStringLiteral("600.00"));
        // The other way round the flows are multiplied and the unit is the match meter's.
        match(d, QStringLiteral("MATCH.MAF"), QStringLiteral("KG.MAF"));
        QCOMPARE(d.FlowUnits->text(), QStringLiteral("Kg / Hour"));
        QCOMPARE(d.session().Cells[107].Flow, float(300.0L * 0.454L));  // 2.5 V
        QCOMPARE(row(d, 108).first(), QStringLiteral("136.20"));
    });
}

void TestMatchDialog::sameFileBothWays() {
    // Rising flows: each row's own cell is the first to reach its flow, so its signal becomes
    // the output of the cell below.
    QVERIFY(writeMeter(ford(QStringLiteral("SAME.MAF")), false, false,
                       {{"1.00", "100"}, {"2.00", "250"}, {"3.00", "450"}, {"4.00", "700"}}));
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("SAME.MAF"), QStringLiteral("SAME.MAF"));
        QCOMPARE(row(d, 43), QStringList({"97.67", "0.977", "1.002"}));  // cell 42
        QCOMPARE(row(d, 128).at(2), QStringLiteral("3.000"));            // cell 127 = row 3
        QCOMPARE(d.session().Cells[170].Out, 683);                       // row 4: 4 V
    });
}

void TestMatchDialog::fewerThanThreeRowsCannotBeCopied() {
    QVERIFY(writeMeter(ford(QStringLiteral("TWO.MAF")), false, false,
                       {{"1.00", "100"}, {"3.00", "300"}}));
    const EepromImage image = w.state->image;
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("TWO.MAF"), QStringLiteral("TWO.MAF"));
        // Placed, not filled: the rows' cells and the cells just below them, nothing else.
        QCOMPARE(row(d, 44), QStringList({"100.00", "1.000", "---"}));
        QCOMPARE(row(d, 43), QStringList({"0.00", "---", "1.002"}));
        QCOMPARE(row(d, 45), QStringList({"0.00", "---", "---"}));
        QCOMPARE(row(d, 128), QStringList({"0.00", "---", "3.000"}));
        QCOMPARE(row(d, 129), QStringList({"300.00", "3.000", "---"}));
        QVERIFY(d.CopyE2PBtn->isEnabled());
        w.ui.expectError(QStringLiteral(
            "The match gives no output for 32 of the 32 table entries; nothing was copied."));
        d.CopyE2PBtn->click();
    });
    QVERIFY(w.state->image == image);
    QVERIFY(!w.state->Modified);
    QCOMPARE(w.state->header.VInMeterName(), QStringLiteral("(none)"));
}

void TestMatchDialog::noFilesFound() {
    QFile::remove(ford(QStringLiteral("USE.MAF")));
    QFile::remove(ford(QStringLiteral("MATCH.MAF")));
    QVERIFY(writeMeter(ford(QStringLiteral("NOTES.TXT")), false, false, workedUseRows()));
    w.ui.expectError(QStringLiteral("No files found: ") + w.state->AppDir +
                     QStringLiteral("Ford/*.maf"));
    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.MeterUseCombo->count(), 0);
        QCOMPARE(d.MeterMatchCombo->count(), 0);
        QVERIFY(!d.MatchBtn->isEnabled());
        QVERIFY(!d.CopyE2PBtn->isEnabled());
    });
}

void TestMatchDialog::preselection_data() {
    QTest::addColumn<QString>("inName");
    QTest::addColumn<QString>("outName");
    QTest::addColumn<QString>("use");
    QTest::addColumn<QString>("matched");
    QTest::newRow("new project: first items") << "(none)"
                                              << "(none)"
                                              << "A.MAF"
                                              << "A.MAF";
    QTest::newRow("last copy's meters") << "USE.MAF"
                                        << "MATCH.MAF"
                                        << "USE.MAF"
                                        << "MATCH.MAF";
    QTest::newRow("comparison is exact") << "use.maf"
                                         << "MATCH.MAF"
                                         << "A.MAF"
                                         << "MATCH.MAF";
    QTest::newRow("no longer listed") << "GONE.MAF"
                                      << "USE.MAF"
                                      << "A.MAF"
                                      << "USE.MAF";
}

void TestMatchDialog::preselection() {
    QFETCH(QString, inName);
    QFETCH(QString, outName);
    QVERIFY(writeMeter(ford(QStringLiteral("a.maf")), false, false, workedUseRows()));
    w.state->header.setVInMeterName(inName);
    w.state->header.setVOutMeterName(outName);
    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.MeterUseCombo->count(), 3);
        QCOMPARE(d.MeterUseCombo->itemText(0), QStringLiteral("A.MAF"));
        QFETCH(QString, use);
        QFETCH(QString, matched);
        QCOMPARE(d.MeterUseCombo->currentText(), use);
        QCOMPARE(d.MeterMatchCombo->currentText(), matched);
        QVERIFY(d.MatchBtn->isEnabled());
    });
}

void TestMatchDialog::matchNeedsBothLists() {
    runDialog([&](TMatchDialog& d) {
        QVERIFY(d.MatchBtn->isEnabled());
        d.MeterMatchCombo->setCurrentIndex(-1);
        QVERIFY(!d.MatchBtn->isEnabled());
        d.MeterUseCombo->setCurrentIndex(-1);
        QVERIFY(!d.MatchBtn->isEnabled());
        d.MeterMatchCombo->setCurrentIndex(0);
        QVERIFY(!d.MatchBtn->isEnabled());
        d.MeterUseCombo->setCurrentIndex(1);
        QVERIFY(d.MatchBtn->isEnabled());
    });
}

void TestMatchDialog::lowerCaseFileLoads() {
    QVERIFY(QFile::rename(ford(QStringLiteral("USE.MAF")), ford(QStringLiteral("use1.maf"))));
    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.MeterUseCombo->findText(QStringLiteral("use1.maf")), -1);
        match(d, QStringLiteral("USE1.MAF"), QStringLiteral("MATCH.MAF"));
        QCOMPARE(row(d, 9), QStringList({"18.75", "0.188", "0.158"}));
        w.ui.expectConfirm(kCopyQuestion, UiServices::Answer::Yes);
        d.CopyE2PBtn->click();
    });
    // The header records the name as the list shows it.
    QCOMPARE(w.state->header.VInMeterName(), QStringLiteral("USE1.MAF"));
}

void TestMatchDialog::missingFileKeepsTheLastMatch() {
    QVERIFY(writeMeter(ford(QStringLiteral("OTHER.MAF")), false, true, workedMatchRows()));
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
        // The meter to match goes away between the listing and the next Match.
        QVERIFY(QFile::remove(ford(QStringLiteral("MATCH.MAF"))));
        w.ui.expectError(QStringLiteral("File ") + ford(QStringLiteral("MATCH.MAF")) +
                         QStringLiteral(" not found"));
        match(d, QStringLiteral("OTHER.MAF"), QStringLiteral("MATCH.MAF"));
        VERIFY_UI(w.ui);
        // Nothing was touched: the grid and the copy are the first match's.
        QCOMPARE(row(d, 9), QStringList({"18.75", "0.188", "0.158"}));
        QVERIFY(d.CopyE2PBtn->isEnabled());
        w.ui.expectConfirm(kCopyQuestion, UiServices::Answer::Yes);
        d.CopyE2PBtn->click();
    });
    QCOMPARE(w.state->header.VInMeterName(), QStringLiteral("USE.MAF"));
    QCOMPARE(w.state->header.VOutMeterName(), QStringLiteral("MATCH.MAF"));
    QCOMPARE(int(w.state->image.entry(8)), 258);
}

void TestMatchDialog::badTextStopsTheMatch() {
    QVERIFY(writeMeter(ford(QStringLiteral("BAD.MAF")), false, false,
                       {{"0.00", "0"}, {"3.00", "3OO"}, {"6.00", "600"}}));
    const EepromImage image = w.state->image;
    runDialog([&](TMatchDialog& d) {
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
        w.ui.expectError(QStringLiteral("'3OO' is not a valid floating point value"));
        match(d, QStringLiteral("BAD.MAF"), QStringLiteral("MATCH.MAF"));
        VERIFY_UI(w.ui);
        // The first row was placed before the second stopped the match; the grid shows that,
        // and neither it nor the earlier match can be copied any more.
        QCOMPARE(row(d, 1), QStringList({"0.00", "0.000", "---"}));
        QCOMPARE(row(d, 129), QStringList({"0.00", "3.000", "---"}));
        QCOMPARE(row(d, 9), QStringList({"0.00", "---", "---"}));
        QVERIFY(!d.CopyE2PBtn->isEnabled());
    });
    QVERIFY(w.state->image == image);
}

void TestMatchDialog::groupWithoutFolder() {
    // A project file can hold a group the program has no folder for.
    w.state->header.setGroup(7);
    runDialog([&](TMatchDialog& d) {
        w.ui.expectError(QStringLiteral("Invalid data path"));
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF"));
        QVERIFY(!d.CopyE2PBtn->isEnabled());
        QCOMPARE(headers(d), QStringList({"Flow", "V In", "V Out"}));
    });
}

void TestMatchDialog::reopeningEmptiesTheGrid() {
    QVERIFY(writeMeter(ford(QStringLiteral("KGM.MAF")), true, false, workedMatchRows()));
    runDialog([&](TMatchDialog& d) {
        QCOMPARE(d.FlowUnits->text(), QStringLiteral("Units"));
        match(d, QStringLiteral("USE.MAF"), QStringLiteral("KGM.MAF"));
        QCOMPARE(d.FlowUnits->text(), QStringLiteral("Kg / Hour"));
    });
    runDialog([&](TMatchDialog& d) {
        QVERIFY(!d.CopyE2PBtn->isEnabled());
        QCOMPARE(headers(d), QStringList({"Flow", "V In", "V Out"}));
        for (const int r : {1, 9, 128, 256})
            QCOMPARE(row(d, r), QStringList({"0.00", "---", "---"}));
        // The unit of the last match stays until the next one.
        QCOMPARE(d.FlowUnits->text(), QStringLiteral("Kg / Hour"));
        // Typed text stays in the grid's store but never shows over the cells.
        d.MatchGrid->commitEdit(1, 5, QStringLiteral("9.999"));
        QCOMPARE(row(d, 5), QStringList({"0.00", "---", "---"}));
        QCOMPARE(d.session().Cells[4].Signal, -1.0f);
    });
}

QTEST_MAIN(TestMatchDialog)
#include "tst_match_dialog.moc"
