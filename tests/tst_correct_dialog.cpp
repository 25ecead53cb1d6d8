// Edit > Correct from Log on the main window: the meter found from the header, the log's
// columns, Compute on the worker thread with its preview, Cancel, the refusals, and Apply as
// one step of the history; the loggers' logs shown as found, with their columns picked by role,
// and the choices the user makes on them.

#include "app/kex_main.h"
#include "base/widgets.h"
#include "correct/correct_dialog.h"
#include "datalog_model.h"
#include "support/match_meters.h"
#include "support/window_fixture.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCategoryAxis>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <functional>

using namespace varnel;
using varnel::test::WindowFixture;

class TestCorrectDialog : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void previewThenApply();
    void cancelLeavesNoResult();
    void refusals_data();
    void refusals();
    void logChoices_data();
    void logChoices();

  private:
    // A log of the model engine on the project's table: the meter's flow 5 % above what the
    // engine computer reads.
    QString writeLog(const QString& name, long rows);
    void runDialog(const std::function<void(TCorrectDialog&)>& act);
    static bool compute(TCorrectDialog& d);

    WindowFixture w;
    QString meter_;
};

void TestCorrectDialog::init() {
    w.make();
    w.fileNew();
    // On disk in lower case; the header names it as the match dialog's list does.
    meter_ = w.state->AppDir + QStringLiteral("Ford/expected.maf");
    QVERIFY(test::writeMeter(meter_, false, false,
                             {{"0.5", "10"},
                              {"1.5", "60"},
                              {"2.5", "150"},
                              {"3.5", "280"},
                              {"4.5", "450"},
                              {"5.0", "550"}}));
    w.state->header.setVOutMeterName(QStringLiteral("EXPECTED.MAF"));
    w.state->header.setVOutMeterGroup(0);
}

void TestCorrectDialog::cleanup() {
    VERIFY_UI(w.ui);
    w.form.reset();
}

QString TestCorrectDialog::writeLog(const QString& name, long rows) {
    datalog::EngineModel model;
    QString error;
    if (!datalog::ReadCurve(meter_, 1, model.expected, error)) return {};
    model.fitted = model.expected;
    model.errorLow = model.errorHigh = 5;
    model.inputLow = 1.5;
    model.inputHigh = 4.5;
    for (int i = 0; i < kTableEntries; ++i) model.table[size_t(i)] = w.state->image.entry(i);
    datalog::LogShape shape;
    shape.rows = rows;
    return datalog::WriteLogFile(w.path(name), model, shape) ? w.path(name) : QString();
}

void TestCorrectDialog::runDialog(const std::function<void(TCorrectDialog&)>& act) {
    w.ui.expectDialog(QStringLiteral("CorrectDialog"), [act](QDialog& dialog) {
        auto& d = static_cast<TCorrectDialog&>(dialog);
        act(d);
        if (d.isVisible() || d.result() != QDialog::Accepted) d.CloseBtn->click();
        return d.result();
    });
    QVERIFY(w.form->EditCorrect->isEnabled());
    w.form->EditCorrect->trigger();
}

bool TestCorrectDialog::compute(TCorrectDialog& d) {
    d.ComputeBtn->click();
    return QTest::qWaitFor([&] { return !d.computing(); }, 20000);
}

void TestCorrectDialog::previewThenApply() {
    const QString log = writeLog(QStringLiteral("drive.csv"), 3000);
    const EepromImage before = w.state->image;
    TMainForm& f = *w.form;
    std::array<uint16_t, kTableEntries> proposed{};
    runDialog([&](TCorrectDialog& d) {
        QVERIFY(d.meterPath().endsWith(QStringLiteral("/Ford/expected.maf")));
        QVERIFY(!d.ComputeBtn->isEnabled());
        w.ui.expectOpenFile(log);
        d.OpenBtn->click();
        QCOMPARE(d.LogEdit->text(), QStringLiteral("drive.csv"));
        QCOMPARE(d.SignalCombo->currentText(), QStringLiteral("MAF V"));
        QCOMPARE(d.Trim1Combo->currentText(), QStringLiteral("STFT %"));
        QCOMPARE(d.Trim2Combo->currentText(), QStringLiteral("LTFT %"));
        d.FilterCombos[0]->setCurrentText(QStringLiteral("ECT C"));
        d.FilterMinEdits[0]->setText(QStringLiteral("70"));
        d.FilterMaxEdits[0]->setText(QStringLiteral("200"));
        QVERIFY(compute(d));
        QVERIFY(d.report());
        const CorrectionReport& r = *d.report();
        QCOMPARE(r.rowsRead, 3000);
        QCOMPARE(r.filtered, 300);  // the warm-up
        QVERIFY(d.CountsLabel->text().startsWith(
            QStringLiteral("Rows read: 3000, used: %1.\nSkipped: 0 not a number, 300 filtered")
                .arg(r.rowsUsed)));
        QVERIFY(d.Progress->isHidden());
        // Entry 16 (3.0 V) as the grid shows it; entries outside 1.5 to 4.5 V are kept.
        const EntryCorrection& e = r.entries[16];
        QVERIFY(e.corrected && e.proposedWord > e.word && std::abs(e.meanTrim() - 5) < 1);
        QCOMPARE(d.ResultGrid->shownText(2, 17), VoltWordToText(before.entry(16)).trimmed());
        QCOMPARE(d.ResultGrid->shownText(3, 17), FormatMeterNumber("%.1f", e.samples));
        QCOMPARE(d.ResultGrid->shownText(4, 17), QStringLiteral("0.0"));  // no row in open loop
        QCOMPARE(d.ResultGrid->shownText(5, 17), FormatMeterNumber("%+.2f", e.meanTrim()));
        QCOMPARE(d.ResultGrid->shownText(6, 17), FormatMeterNumber("%.1f", e.spread));
        QCOMPARE(d.ResultGrid->shownText(7, 17), VoltWordToText(e.proposedWord).trimmed());
        QCOMPARE(d.ResultGrid->shownText(5, 2), QStringLiteral("---"));
        QCOMPARE(d.ResultGrid->shownText(7, 2), QStringLiteral("kept"));
        QCOMPARE(d.NowSeries->count(), kTableEntries);
        // The change in mV, at the corrected entries only (the first of them is entry 8).
        QVERIFY(d.ChangeSeries->count() >= 15 && d.ChangeSeries->count() < kTableEntries);
        QVERIFY(std::abs(d.ChangeSeries->at(16 - 8).y() -
                         (e.proposedWord - e.word) * 1000 / 204.8) < 1e-9);
        QCOMPARE(d.ProposedSeries->at(16).y(), e.proposedWord / 204.8);
        // The scatter view: the rows, all in closed loop, and each corrected entry's estimate at
        // its output, with the entries' lines.
        QVERIFY(d.ClosedPoints->count() > 100 && d.OpenPoints->count() == 0);
        QCOMPARE(d.EstimateSeries->count(), d.ChangeSeries->count());
        QCOMPARE(d.EstimateSeries->at(16 - 8), QPointF(r.outputs[16], e.meanTrim()));
        QVERIFY(d.EntryAxis->count() >= d.EstimateSeries->count());
        // A lock in the grid and the largest change reshape the proposal at once.
        const uint16_t wanted = e.proposedWord;
        QAbstractItemModel* grid = d.ResultGrid->model();
        QVERIFY(grid->setData(grid->index(16, 8), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(e.proposedWord, e.word);
        QCOMPARE(d.ResultGrid->shownText(7, 17), QStringLiteral("locked"));
        QVERIFY(grid->setData(grid->index(16, 8), Qt::Unchecked, Qt::CheckStateRole));
        QCOMPARE(e.proposedWord, wanted);
        d.MaxChangeSpin->setValue(1);
        QVERIFY(r.limitedEntries() > 10 && e.limited && e.proposedWord < wanted);
        QCOMPARE(d.ResultGrid->shownText(9, 17), QStringLiteral("limited"));
        QVERIFY(d.CountsLabel->text().contains(
            QStringLiteral("%1 held within the largest change.").arg(r.limitedEntries())));
        d.MaxChangeSpin->setValue(0);
        QCOMPARE(e.proposedWord, wanted);
        // Nothing changes before Apply.
        QVERIFY(w.state->image == before);
        QVERIFY(!w.state->Modified);
        proposed = r.proposedWords();
        QVERIFY(d.ApplyBtn->isEnabled());
        d.ApplyBtn->click();
        QCOMPARE(d.result(), int(QDialog::Accepted));
    });
    for (int i = 0; i < kTableEntries; ++i) QCOMPARE(w.state->image.entry(i), proposed[size_t(i)]);
    QVERIFY(w.state->Modified);
    QCOMPARE(f.EditUndo->text(), QStringLiteral("Undo Correct from log"));
    QVERIFY(std::abs(f.Series1->at(16).y() - proposed[16] / 204.8) < 1e-6);
    QCOMPARE(f.TableGrid->shownText(1, 17), VoltWordToText(proposed[16]));
    f.EditUndo->trigger();
    QVERIFY(w.state->image == before);
    QVERIFY(!w.state->Modified);
}

void TestCorrectDialog::cancelLeavesNoResult() {
    const QString log = writeLog(QStringLiteral("long.csv"), 300000);
    runDialog([&](TCorrectDialog& d) {
        QVERIFY(d.openLog(log));
        d.ComputeBtn->click();
        QVERIFY(d.computing());
        QVERIFY(!d.Progress->isHidden() && !d.CancelBtn->isHidden());
        QVERIFY(!d.ComputeBtn->isEnabled() && !d.OpenBtn->isEnabled());
        d.CancelBtn->click();
        QVERIFY(QTest::qWaitFor([&] { return !d.computing(); }, 20000));
        QVERIFY(!d.report());
        QVERIFY(d.Progress->isHidden());
        QVERIFY(d.ComputeBtn->isEnabled() && !d.ApplyBtn->isEnabled());
    });
    QVERIFY(!w.state->Modified);
}

void TestCorrectDialog::refusals_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("message");
    QTest::newRow("no meter named: asked, cancelled") << "cancel meter"
                                                      << "";
    QTest::newRow("a hertz meter picked") << "hertz meter"
                                          << "The meter reads hertz; the table drives volts.";
    QTest::newRow("the log lost a column") << "column"
                                           << "The log has no column 'STFT %'.";
    QTest::newRow("filter minimum") << "filter"
                                    << "'abc' is not a valid floating point value";
}

void TestCorrectDialog::refusals() {
    QFETCH(QString, what);
    QFETCH(QString, message);
    const QString log = writeLog(QStringLiteral("drive.csv"), 200);
    if (what.endsWith(QLatin1String("meter"))) w.state->header.setVOutMeterName("(none)");
    const QString hertz = w.path(QStringLiteral("hertz.maf"));
    QVERIFY(test::writeMeter(hertz, false, true, {{"100", "0"}, {"2000", "900"}}));
    const EepromImage before = w.state->image;
    runDialog([&](TCorrectDialog& d) {
        QVERIFY(d.openLog(log));
        if (what == QLatin1String("cancel meter")) w.ui.expectOpenFile(QString());
        if (what == QLatin1String("hertz meter")) w.ui.expectOpenFile(hertz);
        if (what == QLatin1String("column"))
            QVERIFY(WindowFixture::writeAll(log, "MAF V,LTFT %\n1,2\n"));
        if (what == QLatin1String("filter")) {
            d.FilterCombos[1]->setCurrentIndex(1);
            d.FilterMinEdits[1]->setText(QStringLiteral("abc"));
        }
        if (!message.isEmpty()) w.ui.expectError(message);
        QVERIFY(compute(d));
        QVERIFY(!d.report());
        QVERIFY(!d.ApplyBtn->isEnabled());
    });
    QVERIFY(w.state->image == before);
    QVERIFY(!w.state->Modified);
}

void TestCorrectDialog::logChoices_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("log");
    QTest::addColumn<QStringList>("picked");  // signal, trim, second trim
    QTest::addColumn<QStringList>("found");   // texts of the found panel
    QTest::addColumn<QString>("outcome");     // the error, or a text of the counts
    const QString german = "german-diag.csv";
    const QStringList germanColumns = {"Luftmassenmesser Spannung",
                                       "Kurzzeit-Gemischadaption Bank 1",
                                       "Langzeit-Gemischadaption Bank 1"};
    QTest::newRow("semicolons, decimal commas, Latin-1: picked by role")
        << "roles" << german << germanColumns
        << QStringList{"names on line 1, units on line 2", "separator ';', decimal mark ','",
                       "Latin-1; 40 rows", "3,536 · 2,469 · 2,000", "0,0 · -0,6 · 0,4"}
        << "Rows read: 40, used: 40.";
    QTest::newRow("the decimal mark set to point")
        << "point" << german << germanColumns << QStringList{"decimal mark '.' (as set)"}
        << "No row of the log was used: 40 rows had no number in 'Luftmassenmesser Spannung'.";
    QTest::newRow("a mass flow where there is no signal")
        << "roles"
        << "gm-scan.csv"
        << QStringList{"Mass Airflow", "Short Term Fuel Trim Bank 1", "Long Term Fuel Trim Bank 1"}
        << QStringList{"names on line 9, units on line 10; ", "11 lines before them",
                       "The signal is the air mass flow, turned into volts through the meter."}
        << "Signal from the air mass flow through the meter.";
    QTest::newRow("a text filter on the loop status")
        << "loop"
        << "gm-scan.csv" << QStringList() << QStringList{"OL Drive"} << "4 filtered";
    QTest::newRow("factors") << "roles"
                             << "vag-logger.txt" << QStringList{"uhfm_w", "fr_w", "fra_w"}
                             << QStringList{"fr_w: values near 1.0: read as factors"}
                             << "Trims read as factors.";
    QTest::newRow("open loop through a wideband")
        << "roles"
        << "wideband.tsv" << QStringList{"MAF", "STFT", "LTFT"}
        << QStringList{"Wideband", "Equivalence Ratio", "Commanded", "Target AFR", "Loop"}
        << "Used in closed loop: 27, in open loop: 9.";
    QTest::newRow("two logs pooled")
        << "two"
        << "flasher.csv" << QStringList() << QStringList{"and german-diag.csv: 40 rows"}
        << "Rows read: 80, used: 80.";
    QTest::newRow("the second of two columns of one name")
        << "same name"
        << "" << QStringList() << QStringList() << "";
}

void TestCorrectDialog::logChoices() {
    QFETCH(QString, what);
    QFETCH(QString, log);
    QFETCH(QStringList, picked);
    QFETCH(QStringList, found);
    QFETCH(QString, outcome);
    const QString logs = QStringLiteral(VARNEL_LOGS_DIR "/");
    runDialog([&](TCorrectDialog& d) {
        if (what == QLatin1String("same name")) {
            // The first "STFT %" says 0, the second +10: the dialog takes the one picked.
            const QString path = w.path(QStringLiteral("same.csv"));
            QVERIFY(WindowFixture::writeAll(
                path, "MAF V,STFT %,stft %\n" + QByteArray("2.0,0,10\n").repeated(20)));
            QVERIFY(d.openLog(path));
            QCOMPARE(d.Trim1Combo->currentText(), QStringLiteral("STFT %#1"));
            d.Trim1Combo->setCurrentText(QStringLiteral("stft %#2"));
            QVERIFY(compute(d) && d.report());
            QCOMPARE(d.report()->entries[10].meanTrim(), 10.0);
            return;
        }
        QVERIFY(d.openLog(logs + log));
        if (what == QLatin1String("two"))
            QVERIFY(d.addLog(logs + QStringLiteral("german-diag.csv")));
        if (what == QLatin1String("point")) d.DecimalCombo->setCurrentIndex(1);
        if (!picked.isEmpty())
            QCOMPARE((QStringList{d.SignalCombo->currentText(), d.Trim1Combo->currentText(),
                                  d.Trim2Combo->currentText()}),
                     picked);
        if (what == QLatin1String("loop")) {
            d.FilterCombos[0]->setCurrentText(QStringLiteral("Fuel System #1 Status"));
            QVERIFY(d.FilterPatternEdits[0]->isVisibleTo(&d) &&
                    !d.FilterMinEdits[0]->isVisibleTo(&d));
            d.FilterPatternEdits[0]->setText(QStringLiteral("cl*"));
        }
        for (const QString& text : found)
            QVERIFY2(d.FoundLabel->text().contains(text.toHtmlEscaped()),
                     qPrintable(d.FoundLabel->text()));
        // The picture for the README, when asked for: the mapping found in a logger's log.
        const QString shot = qEnvironmentVariable("VARNEL_SCREENSHOT");
        const bool shoot = !shot.isEmpty() && what == QLatin1String("loop");
        if (shoot) d.MinSamplesSpin->setValue(2);
        const bool fails = outcome.startsWith(QLatin1String("No row"));
        if (fails) w.ui.expectError(outcome);
        QVERIFY(compute(d));
        QCOMPARE(bool(d.report()), !fails);
        if (!fails)
            QVERIFY2(d.CountsLabel->text().contains(outcome), qPrintable(d.CountsLabel->text()));
        if (shoot) {
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            QTest::qWait(300);
            QVERIFY(d.grab().save(shot));
        }
    });
}

QTEST_MAIN(TestCorrectDialog)
#include "tst_correct_dialog.moc"
