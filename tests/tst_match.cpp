#include "match/meter_match.h"

#include <QtTest>

using namespace varnel;

namespace {

MeterRows meter(bool metric, bool frequency, const QList<QPair<QString, QString>>& rows) {
    MeterRows m;
    m.metric = metric;
    m.frequency = frequency;
    for (const auto& [signal, flow] : rows) {
        m.signalTexts.append(signal);
        m.flowTexts.append(flow);
    }
    return m;
}

// The pair of meters whose match is worked through by hand below.
MeterRows workedUse() {
    return meter(false, false, {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "600"}});
}
MeterRows workedMatch() {
    return meter(false, false, {{"0.00", "0"}, {"2.50", "300"}, {"5.00", "600"}});
}

}  // namespace

class TestMatch : public QObject {
    Q_OBJECT
  private slots:
    void useCell_data();
    void useCell();
    void workedExampleCells_data();
    void workedExampleCells();
    void workedExampleTable();
    void sameMeterBothWays();
    void kilogramsAgainstPounds();
    void poundsAgainstKilograms();
    void fiveVoltsGivesTheTop();
    void fewerThanThreeRowsAreNotFilled();
    void textThatIsNotANumberStops();
    void frequencyMatchCopiesItsSteps();
    void uncoveredEntriesAreMarked();
    void gridTexts_data();
    void gridTexts();
};

void TestMatch::useCell_data() {
    QTest::addColumn<float>("signal");
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<int>("cell");
    QTest::newRow("0 V") << 0.0f << false << 0;
    QTest::newRow("0.01 V") << 0.01f << false << 0;
    QTest::newRow("0.1875 V is cell 8") << 0.1875f << false << 8;
    QTest::newRow("3 V") << 3.0f << false << 128;
    QTest::newRow("6 V held to 255") << 6.0f << false << 255;
    QTest::newRow("9 V held to 255") << 9.0f << false << 255;
    QTest::newRow("negative held to 0") << -1.0f << false << 0;
    QTest::newRow("11.52 Hz") << 11.52f << true << 1;
    QTest::newRow("2937.6 Hz") << 2937.6f << true << 255;
    QTest::newRow("3000 Hz") << 3000.0f << true << 255;
}

void TestMatch::useCell() {
    QFETCH(float, signal);
    QFETCH(bool, frequency);
    QTEST(UseCellOf(signal, frequency), "cell");
}

void TestMatch::workedExampleCells_data() {
    QTest::addColumn<int>("cell");
    QTest::addColumn<float>("signal");  // < -10: not checked
    QTest::addColumn<float>("flow");    // < -10: not checked
    QTest::addColumn<int>("out");       // < -10: not checked
    QTest::newRow("0") << 0 << 0.0f << 0.0f << 0;
    QTest::newRow("8") << 8 << 0.1875f << 18.75f << 27;
    QTest::newRow("127") << 127 << -99.0f << 297.65625f << 427;
    QTest::newRow("128") << 128 << 3.0f << 300.0f << 430;
    QTest::newRow("248") << 248 << -99.0f << -99.0f << 833;
    QTest::newRow("254") << 254 << -99.0f << 597.6378f << 853;
    QTest::newRow("255") << 255 << 6.0f << 600.0f << 853;
}

void TestMatch::workedExampleCells() {
    QFETCH(int, cell);
    QFETCH(float, signal);
    QFETCH(float, flow);
    QFETCH(int, out);
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(workedUse(), workedMatch(), cells, error));
    QVERIFY(error.isEmpty());
    if (signal > -10) QCOMPARE(cells[cell].Signal, signal);
    if (flow > -10) QCOMPARE(cells[cell].Flow, flow);
    if (out > -10) QCOMPARE(cells[cell].Out, out);
}

void TestMatch::workedExampleTable() {
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(workedUse(), workedMatch(), cells, error));
    const std::array<int, 32> expected = {0,   32,  64,  97,  129, 160, 193, 225, 258, 290, 322,
                                          355, 387, 420, 452, 483, 516, 548, 580, 613, 645, 678,
                                          709, 741, 774, 806, 838, 871, 902, 934, 967, 999};
    QCOMPARE(MatchTableEntries(cells, false), expected);
    QCOMPARE(MatchCellText(cells[127], 2, false, false), QStringLiteral("2.502"));
}

void TestMatch::sameMeterBothWays() {
    // With rising flows the first cell to reach a row's flow is the row's own cell, so each
    // row's signal becomes the output of the cell just below it.
    const MeterRows m =
        meter(false, false, {{"1.00", "100"}, {"2.00", "250"}, {"3.00", "450"}, {"4.00", "700"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(m, m, cells, error));
    const int rowCells[] = {43, 85, 128, 171};
    const int outs[] = {171, 341, 512, 683};
    for (int k = 0; k < 4; ++k) QCOMPARE(cells[rowCells[k] - 1].Out, outs[k]);
}

void TestMatch::kilogramsAgainstPounds() {
    const MeterRows use =
        meter(true, false, {{"1.00", "45.4"}, {"2.00", "90.8"}, {"3.00", "136.2"}});
    const MeterRows match =
        meter(false, false, {{"1.00", "100"}, {"2.00", "200"}, {"3.00", "300"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(use, match, cells, error));
    QCOMPARE(FlowUnitsText(match.metric), QStringLiteral("Lbs / Hour"));
    QCOMPARE(cells[43].Flow, static_cast<float>(static_cast<long double>(45.4f) / 0.454L));
    QCOMPARE(cells[85].Flow, static_cast<float>(static_cast<long double>(90.8f) / 0.454L));
    QCOMPARE(MatchCellText(cells[43], 0, false, false), QStringLiteral("100.00"));
}

void TestMatch::poundsAgainstKilograms() {
    const MeterRows use = meter(false, false, {{"1.00", "100"}, {"2.00", "200"}, {"3.00", "300"}});
    const MeterRows match =
        meter(true, false, {{"1.00", "45.4"}, {"2.00", "90.8"}, {"3.00", "136.2"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(use, match, cells, error));
    QCOMPARE(FlowUnitsText(match.metric), QStringLiteral("Kg / Hour"));
    QCOMPARE(cells[43].Flow, static_cast<float>(100.0L * 0.454L));
}

void TestMatch::fiveVoltsGivesTheTop() {
    const MeterRows use = meter(false, false, {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "600"}});
    const MeterRows match = meter(false, false, {{"0.00", "0"}, {"2.00", "100"}, {"5.50", "300"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(use, match, cells, error));
    QCOMPARE(cells[127].Out, 853);
    const auto table = MatchTableEntries(cells, false);
    QCOMPARE(table[16], 1023);
}

void TestMatch::fewerThanThreeRowsAreNotFilled() {
    const MeterRows two = meter(false, false, {{"1.00", "100"}, {"3.00", "300"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(two, two, cells, error));
    QCOMPARE(cells[43].Signal, 1.0f);
    QCOMPARE(cells[128].Signal, 3.0f);
    QCOMPARE(cells[44].Signal, -1.0f);
    QCOMPARE(MatchCellText(cells[44], 1, false, false), QStringLiteral("---"));
    int placed = 0;
    for (const MatchCell& c : cells) placed += c.Out >= 0;
    QCOMPARE(placed, 2);
    const auto table = MatchTableEntries(cells, false);
    QCOMPARE(int(std::count(table.begin(), table.end(), -1)), 32);
}

void TestMatch::textThatIsNotANumberStops() {
    const MeterRows use = meter(false, false, {{"1.00", "100"}, {"2,5", "200"}, {"3.00", "300"}});
    MatchCells cells;
    QString error;
    QVERIFY(!MatchMeters(use, workedMatch(), cells, error));
    QCOMPARE(error, QStringLiteral("'2,5' is not a valid floating point value"));
    QCOMPARE(cells[43].Signal, 1.0f);  // rows before the bad one stay placed
}

void TestMatch::frequencyMatchCopiesItsSteps() {
    const MeterRows use = meter(false, false, {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "600"}});
    const MeterRows match = meter(false, true, {{"0", "0"}, {"1440", "300"}, {"2880", "600"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(use, match, cells, error));
    QCOMPARE(cells[127].Out, 500);  // 1440 Hz / 2.88
    QCOMPARE(MatchCellText(cells[127], 2, false, true), QStringLiteral(" 1440"));
    const auto table = MatchTableEntries(cells, true);
    QCOMPARE(table[0], 0);
    QCOMPARE(table[16], 504);  // cell 128: one step of (1000 - 500) / 127 above 500
    // Filled outputs stop at 853 however far the meter reaches.
    for (int i = 1; i < 32; ++i) QVERIFY(table[i] >= table[i - 1]);
    QCOMPARE(table[31], 853);
}

void TestMatch::uncoveredEntriesAreMarked() {
    // The match meter's flows stop at 300, so only the cells up to there get outputs placed,
    // and the slope carried past the last one fills the rest.
    const MeterRows match = meter(false, false, {{"0.00", "0"}, {"1.00", "100"}, {"2.50", "300"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(workedUse(), match, cells, error));
    const auto table = MatchTableEntries(cells, false);
    for (int e : table) QVERIFY(e >= 0 && e <= 1023);
}

void TestMatch::gridTexts_data() {
    QTest::addColumn<float>("flow");
    QTest::addColumn<float>("signal");
    QTest::addColumn<int>("out");
    QTest::addColumn<bool>("useFreq");
    QTest::addColumn<bool>("matchFreq");
    QTest::addColumn<QString>("c0");
    QTest::addColumn<QString>("c1");
    QTest::addColumn<QString>("c2");
    QTest::newRow("empty") << 0.0f << -1.0f << -1 << false << false << "0.00"
                           << "---"
                           << "---";
    QTest::newRow("voltage") << 18.75f << 0.1875f << 27 << false << false << "18.75"
                             << "0.188"
                             << "0.158";
    QTest::newRow("frequency") << 5.0f << 1234.6f << 100 << true << true << "5.00"
                               << " 1235"
                               << "  288";
}

void TestMatch::gridTexts() {
    MatchCell c;
    QFETCH(float, flow);
    QFETCH(float, signal);
    QFETCH(int, out);
    QFETCH(bool, useFreq);
    QFETCH(bool, matchFreq);
    c.Flow = flow;
    c.Signal = signal;
    c.Out = out;
    QTEST(MatchCellText(c, 0, useFreq, matchFreq), "c0");
    QTEST(MatchCellText(c, 1, useFreq, matchFreq), "c1");
    QTEST(MatchCellText(c, 2, useFreq, matchFreq), "c2");
}

QTEST_APPLESS_MAIN(TestMatch)
#include "tst_match.moc"
