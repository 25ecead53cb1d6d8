#include "base/app_state.h"
#include "base/project_document.h"
#include "match/match_session.h"
#include "match/meter_match.h"
#include "match/precise_match.h"
#include "support/match_meters.h"
#include "support/scripted_ui.h"

#include <QtTest>

using namespace varnel;

Q_DECLARE_METATYPE(varnel::MeterRows)

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

// "S:F S:F ...": rows of signal and flow texts.
MeterRows meter(bool metric, bool frequency, const QString& rows) {
    QList<QPair<QString, QString>> pairs;
    for (const QString& r : rows.split(QLatin1Char(' ')))
        pairs.append({r.section(QLatin1Char(':'), 0, 0), r.section(QLatin1Char(':'), 1, 1)});
    return meter(metric, frequency, pairs);
}

// The exact table word, worked another way than the program's: the rows as numbers sorted by
// signal, with (0, 0) before them, the flow straight between; the use meter held at its top, the
// match meter carried on along its last segment; the output signal found by halving as the
// highest signal whose flow does not pass the use meter's.
double exactWord(const MeterRows& use, const MeterRows& match, int entry) {
    auto flowOf = [](const MeterRows& m, double s, bool carryOn) {
        QList<QPair<double, double>> r;
        for (int k = 0; k < m.count(); ++k)
            r.append({m.signalTexts[k].toDouble(), m.flowTexts[k].toDouble()});
        std::sort(r.begin(), r.end());
        if (r.first().first > 0) r.prepend({0.0, 0.0});
        int k = 1;
        while (k < r.size() - 1 && s > r[k].first) ++k;
        if (s > r.last().first && !carryOn) return r.last().second;
        return r[k - 1].second + (s - r[k - 1].first) * (r[k].second - r[k - 1].second) /
                                     (r[k].first - r[k - 1].first);
    };
    double flow = flowOf(use, use.frequency ? entry * 92.16 : entry * 0.1875, false);
    if (use.metric != match.metric) flow *= use.metric ? 1 / 0.45359237 : 0.45359237;
    double lo = 0, hi = 1e5;
    for (int i = 0; i < 200; ++i) {
        const double mid = (lo + hi) / 2;
        (flowOf(match, mid, true) <= flow ? lo : hi) = mid;
    }
    return std::clamp(match.frequency ? lo / 2.88 : lo * 204.8, 0.0, 1023.0);
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
    void fiveVoltsGivesTheTop_data();
    void fiveVoltsGivesTheTop();
    void fewerThanThreeRowsAreNotFilled();
    void textThatIsNotANumberStops();
    void frequencyMatchCopiesItsSteps();
    void uncoveredEntriesAreMarked_data();
    void uncoveredEntriesAreMarked();
    void gridTexts_data();
    void gridTexts();

    // The precise method and the predicted error of both.
    void preciseIsWithinAWordOfTheExactMatch_data();
    void preciseIsWithinAWordOfTheExactMatch();
    void predictedErrorOfTheWorkedExample();
    void preciseRefusesMetersThatDoNotRise_data();
    void preciseRefusesMetersThatDoNotRise();

    // Meter files and the session the dialog and the command line share.
    void listMeterFiles();
    void loadMeter_data();
    void loadMeter();
    void shortFileReadsAsZero();
    void pointCountAbove62ReadsUpToRow62();
    void copyTakesTheMetersOfTheCompletedMatch();
    void badTextLeavesNothingToCopy();
    void copyIntoPlainProject_data();
    void copyIntoPlainProject();
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

void TestMatch::fiveVoltsGivesTheTop_data() {
    QTest::addColumn<QString>("top");
    QTest::addColumn<int>("out");
    QTest::addColumn<int>("word");
    QTest::newRow("4.99 V") << "4.99" << 852 << 1022;
    QTest::newRow("5 V") << "5.00" << 853 << 1023;
    QTest::newRow("5.5 V") << "5.50" << 853 << 1023;
}

void TestMatch::fiveVoltsGivesTheTop() {
    // The use meter's flow first reaches 282 at cell 121 (283.59), so the top row's word lands
    // on cell 120, which table entry 15 samples.
    QFETCH(QString, top);
    const MeterRows use = meter(false, false, {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "600"}});
    const MeterRows match = meter(false, false, {{"0.00", "0"}, {"2.00", "100"}, {top, "282"}});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(use, match, cells, error));
    QTEST(cells[120].Out, "out");
    const auto table = MatchTableEntries(cells, false);
    QTEST(table[15], "word");
    // Past the last placed row the carried slope is held at the top.
    QCOMPARE(cells[255].Out, 853);
    QCOMPARE(table[31], 1023);
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

void TestMatch::uncoveredEntriesAreMarked_data() {
    QTest::addColumn<QStringList>("signalTexts");  // of the match meter, at flows 0, 300, 400
    QTest::addColumn<QList<int>>("marked");        // the entries that read -1
    QList<int> all;
    for (int i = 1; i < 32; ++i) all << i;
    // Two rows are placed but not filled: of the sampled cells only cell 0 has an output.
    QTest::newRow("two rows") << QStringList{"0.00", "2.50"} << all;
    // The last interval falls, and its slope carried past the last placed row drops below 0.
    QTest::newRow("falling slope carried past")
        << QStringList{"0.00", "2.50", "1.00"} << QList<int>{25, 26, 27, 28, 29, 30, 31};
    // A rising slope carried past fills every entry.
    QTest::newRow("rising slope carried past")
        << QStringList{"0.00", "2.50", "3.50"} << QList<int>{};
}

void TestMatch::uncoveredEntriesAreMarked() {
    QFETCH(QStringList, signalTexts);
    QFETCH(QList<int>, marked);
    const QStringList flows{"0", "300", "400"};
    QList<QPair<QString, QString>> rows;
    for (int k = 0; k < signalTexts.size(); ++k) rows.append({signalTexts[k], flows[k]});
    MatchCells cells;
    QString error;
    QVERIFY(MatchMeters(workedUse(), meter(false, false, rows), cells, error));
    const auto table = MatchTableEntries(cells, false);
    QList<int> seen;
    for (int i = 0; i < 32; ++i) {
        if (table[size_t(i)] == -1)
            seen << i;
        else
            QVERIFY(table[size_t(i)] >= 0 && table[size_t(i)] <= 1023);
    }
    QCOMPARE(seen, marked);
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

namespace {

// A program folder with the three group folders, as start-up makes it.
struct MeterFolder {
    QTemporaryDir dir;
    AppState state;
    varnel::test::ScriptedUi ui;
    MeterFolder() {
        state.AppDir = dir.path() + QLatin1Char('/');
        for (const char* g : GroupNames) QDir(dir.path()).mkpath(QLatin1String(g));
    }
    QString ford(const QString& name) const {
        return state.AppDir + QStringLiteral("Ford/") + name;
    }
};

using varnel::test::MeterTextRows;
using varnel::test::workedMatchRows;
using varnel::test::workedUseRows;
using varnel::test::writeMeter;

}  // namespace

void TestMatch::listMeterFiles() {
    MeterFolder f;
    for (const char* name : {"b.maf", "A.MAF", " c.maf", "notes.txt", "a.maf", ".hidden.maf"})
        QVERIFY(writeMeter(f.ford(QLatin1String(name)), false, false, workedUseRows()));
    QDir(f.ford(QString())).mkdir(QStringLiteral("folder.maf"));
    QCOMPARE(ListMeterFiles(f.ford(QString())),
             QStringList({".HIDDEN.MAF", "A.MAF", "B.MAF", "C.MAF"}));
    QCOMPARE(ListMeterFiles(f.state.AppDir + QStringLiteral("GM/")), QStringList());
    QCOMPARE(MeterFilePattern(f.ford(QString())), f.ford(QStringLiteral("*.maf")));
    // Both spellings exist: the exact one is taken.
    QCOMPARE(FindMeterFile(f.ford(QString()), QStringLiteral("A.MAF")),
             f.ford(QStringLiteral("A.MAF")));
    QCOMPARE(FindMeterFile(f.ford(QString()), QStringLiteral("B.MAF")),
             f.ford(QStringLiteral("b.maf")));
    QCOMPARE(FindMeterFile(f.ford(QString()), QStringLiteral("C.MAF")),
             f.ford(QStringLiteral(" c.maf")));
    QCOMPARE(FindMeterFile(f.ford(QString()), QStringLiteral("D.MAF")), QString());
    QCOMPARE(FindMeterFile(f.ford(QString()), QStringLiteral("FOLDER.MAF")), QString());
}

void TestMatch::loadMeter_data() {
    QTest::addColumn<QString>("onDisk");  // file written into the Ford folder
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("name");     // as the list shows it
    QTest::addColumn<QString>("message");  // empty: loads; %1 stands for AppDir
    QTest::newRow("upper case") << "USE.MAF" << 0 << "USE.MAF"
                                << "";
    QTest::newRow("lower case on disk") << "use1.maf" << 0 << "USE1.MAF"
                                        << "";
    QTest::newRow("missing") << "USE.MAF" << 0 << "OTHER.MAF"
                             << "File %1Ford/OTHER.MAF not found";
    QTest::newRow("other group's folder") << "USE.MAF" << 2 << "USE.MAF"
                                          << "File %1Import/USE.MAF not found";
    QTest::newRow("group without folder") << "USE.MAF" << 3 << "USE.MAF"
                                          << "Invalid data path";
    QTest::newRow("group 255") << "USE.MAF" << 255 << "USE.MAF"
                               << "Invalid data path";
}

void TestMatch::loadMeter() {
    QFETCH(QString, onDisk);
    QFETCH(int, group);
    QFETCH(QString, name);
    QFETCH(QString, message);
    MeterFolder f;
    QVERIFY(writeMeter(f.ford(onDisk), true, true, workedUseRows()));
    MeterMatchSession m(f.state, f.ui);
    TMeterRecord record;
    record.setPointCount(9);
    if (!message.isEmpty())
        f.ui.expectError(QString(message).replace(QStringLiteral("%1"), f.state.AppDir));
    const bool loaded = m.LoadMeter(MeterRole::Match, group, record, name);
    VERIFY_UI(f.ui);
    QCOMPARE(loaded, message.isEmpty());
    if (loaded) {
        QCOMPARE(record.PointCount(), int16_t(3));
        QCOMPARE(record.FlowText(2), QStringLiteral("300"));
        QCOMPARE(int(m.MatchGroup), group);
        QCOMPARE(m.MatchFile, name);
        QCOMPARE(m.UseFile, QString());
    } else {
        // Nothing of the dialog's state or the record changed.
        QCOMPARE(record.PointCount(), int16_t(9));
        QCOMPARE(m.MatchFile, QString());
    }
}

void TestMatch::shortFileReadsAsZero() {
    // A file cut after its rows: the record beyond it is zero, not what the last meter left.
    MeterFolder f;
    TMeterRecord full = varnel::test::meterRecord(true, false, workedMatchRows());
    full.setDescription1(QStringLiteral("left over"));
    QString error;
    QVERIFY(WriteMeterFile(f.ford(QStringLiteral("FULL.MAF")), full, error));
    QVERIFY(
        varnel::test::writeMeter(f.ford(QStringLiteral("CUT.MAF")), false, false, workedUseRows()));
    QFile cut(f.ford(QStringLiteral("CUT.MAF")));
    QVERIFY(cut.resize(2048));
    MeterMatchSession m(f.state, f.ui);
    TMeterRecord record;
    QVERIFY(m.LoadMeter(MeterRole::Use, 0, record, QStringLiteral("FULL.MAF")));
    QCOMPARE(record.Description1(), QStringLiteral("left over"));
    QVERIFY(m.LoadMeter(MeterRole::Use, 0, record, QStringLiteral("CUT.MAF")));
    QCOMPARE(record.Description1(), QString());
    QCOMPARE(record.Metric(), uint8_t(0));
    QCOMPARE(MeterRowsOf(record).flowTexts, QStringList({"0", "300", "600"}));
    VERIFY_UI(f.ui);
}

void TestMatch::pointCountAbove62ReadsUpToRow62() {
    // A damaged count: every row of the record is read, and no further.
    MeterTextRows rows;
    for (int k = 1; k <= 62; ++k)
        rows.append({QString::number(k * 0.09, 'f', 2), QString::number(k * 10)});
    TMeterRecord damaged = varnel::test::meterRecord(false, false, rows);
    damaged.setPointCount(300);
    const MeterRows read = MeterRowsOf(damaged);
    QCOMPARE(read.count(), 62);
    QCOMPARE(read.signalTexts.last(), QStringLiteral("5.58"));
    TMeterRecord negative = damaged;
    negative.setPointCount(-4);
    QCOMPARE(MeterRowsOf(negative).count(), 0);

    MeterFolder f;
    MeterMatchSession m(f.state, f.ui);
    QVERIFY(m.Match(damaged, damaged));
    QCOMPARE(m.Cells[238].Signal, 5.58f);  // row 62: round(5.58 x 128/3) = 238
    VERIFY_UI(f.ui);
}

void TestMatch::copyTakesTheMetersOfTheCompletedMatch() {
    MeterFolder f;
    QVERIFY(writeMeter(f.ford(QStringLiteral("USE.MAF")), false, false, workedUseRows()));
    QVERIFY(writeMeter(f.ford(QStringLiteral("MATCH.MAF")), false, false, workedMatchRows()));
    QVERIFY(writeMeter(f.ford(QStringLiteral("OTHER.MAF")), false, true, workedMatchRows()));
    MeterMatchSession m(f.state, f.ui);
    QVERIFY(m.MatchFiles(0, QStringLiteral("USE.MAF"), QStringLiteral("MATCH.MAF")));
    QVERIFY(m.Completed);
    QCOMPARE(m.Completed->entries, varnel::test::workedTable());
    QCOMPARE(m.Completed->uncovered(), 0);

    // The next match loads another meter to use and stops at a missing meter to match: the
    // cells still hold the first match, and so does what a copy would write.
    f.ui.expectError(QStringLiteral("File %1Ford/GONE.MAF not found").arg(f.state.AppDir));
    QVERIFY(!m.MatchFiles(0, QStringLiteral("OTHER.MAF"), QStringLiteral("GONE.MAF")));
    VERIFY_UI(f.ui);
    QCOMPARE(m.UseFile, QStringLiteral("OTHER.MAF"));
    QVERIFY(m.Completed);
    QCOMPARE(m.Completed->useFile, QStringLiteral("USE.MAF"));
    QCOMPARE(m.Completed->matchFile, QStringLiteral("MATCH.MAF"));
    QCOMPARE(m.Cells[8].Out, 27);
    QCOMPARE(m.Headers[1], QStringLiteral("V Use"));
}

void TestMatch::badTextLeavesNothingToCopy() {
    MeterFolder f;
    MeterMatchSession m(f.state, f.ui);
    QVERIFY(m.Match(varnel::test::meterRecord(false, false, workedUseRows()),
                    varnel::test::meterRecord(false, false, workedMatchRows())));
    QVERIFY(m.Completed);
    // The match meter's signal text is only read when its row is placed (row 2, at cell 127).
    const TMeterRecord bad =
        varnel::test::meterRecord(true, true, {{"0.00", "0"}, {"1.5x", "300"}, {"5.00", "600"}});
    f.ui.expectError(QStringLiteral("'1.5x' is not a valid floating point value"));
    QVERIFY(!m.Match(varnel::test::meterRecord(true, false, workedUseRows()), bad));
    VERIFY_UI(f.ui);
    QVERIFY(!m.Completed);
    // What was done before the bad text stays: the use meter is placed and filled.
    QCOMPARE(m.Cells[8].Flow, 18.75f);
    QCOMPARE(m.Cells[8].Out, -1);
    QCOMPARE(m.Headers[2], QStringLiteral("F Out"));
    QCOMPARE(m.FlowUnits, QStringLiteral("Kg / Hour"));
}

void TestMatch::copyIntoPlainProject_data() {
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<int>("answer");  // UiServices::Answer
    QTest::addColumn<bool>("precise");
    QTest::addColumn<int>("entry16");
    QTest::newRow("voltage, yes") << false << int(UiServices::Answer::Yes) << false << 516;
    QTest::newRow("frequency, yes") << true << int(UiServices::Answer::Yes) << false << 504;
    QTest::newRow("frequency, no") << true << int(UiServices::Answer::No) << false << 0;
    QTest::newRow("voltage, precise") << false << int(UiServices::Answer::Yes) << true << 512;
    QTest::newRow("frequency, precise") << true << int(UiServices::Answer::Yes) << true << 500;
}

void TestMatch::copyIntoPlainProject() {
    // The command line's project: the copy runs the Output selector's handler there too.
    QFETCH(bool, frequency);
    QFETCH(int, answer);
    QFETCH(bool, precise);
    MeterFolder f;
    PlainProjectControls controls;
    ProjectDocument doc(f.state, f.ui, controls);
    controls.attach(doc);
    doc.NewProject();
    f.state.image.setModeByte(0xFD);  // voltage, invert and the other bits set
    const EepromImage before = f.state.image;

    MeterMatchSession m(f.state, f.ui);
    m.UseFile = QStringLiteral("A_VERY_LONG_METER_FILE_NAME_OF_40_CHARS.MAF");
    m.MatchFile = QStringLiteral("M.MAF");
    m.UseGroup = 2;
    const MeterTextRows matchRows =
        frequency ? MeterTextRows{{"0", "0"}, {"1440", "300"}, {"2880", "600"}} : workedMatchRows();
    QVERIFY(m.Match(varnel::test::meterRecord(false, false, workedUseRows()),
                    varnel::test::meterRecord(false, frequency, matchRows)));
    f.ui.expectConfirm(QStringLiteral("Ok to save E2P data in main table?"),
                       UiServices::Answer(answer));
    const MatchCopySource* source =
        m.CopySource(precise ? MatchMethod::Precise : MatchMethod::Classic);
    QVERIFY(source);
    const bool copied = CopyMatchToProject(*source, f.state, controls, f.ui);
    VERIFY_UI(f.ui);
    QCOMPARE(copied, answer == int(UiServices::Answer::Yes));
    if (!copied) {
        QVERIFY(f.state.image == before);
        QVERIFY(!f.state.Modified);
        QCOMPARE(f.state.header.VInMeterName(), QStringLiteral("(none)"));
        return;
    }
    QVERIFY(f.state.Modified);
    QCOMPARE(f.state.header.VInMeterName(), QStringLiteral("A_VERY_LONG_METER_FILE_NAME_OF_"));
    QCOMPARE(int(f.state.header.VInMeterGroup()), 2);
    QCOMPARE(f.state.header.VOutMeterName(), QStringLiteral("M.MAF"));
    QCOMPARE(int(f.state.header.VOutMeterGroup()), 0);
    QCOMPARE(controls.output, frequency ? 1 : 0);
    QCOMPARE(int(f.state.header.OutputType()), frequency ? 1 : 0);
    QCOMPARE(f.state.image.modeByte(), uint8_t(frequency ? 0xFE : 0xFD));
    for (int i = 0; i < 32; ++i) QCOMPARE(int(f.state.image.entry(i)), source->entries[size_t(i)]);
    // The classic copy leaves entry 32, the precise one writes it; both leave the limit. A
    // frequency copy writes the match meter's own steps.
    QCOMPARE(int(f.state.image.entry(32)), precise && frequency ? 1000 : int(before.entry(32)));
    QCOMPARE(f.state.image.entry(kLimitEntry), before.entry(kLimitEntry));
    QTEST(int(f.state.image.entry(16)), "entry16");
}

void TestMatch::preciseIsWithinAWordOfTheExactMatch_data() {
    QTest::addColumn<MeterRows>("use");
    QTest::addColumn<MeterRows>("match");
    QTest::addColumn<double>("classicWorst");  // at least this far off (by sign), 0: not checked
    const MeterRows kg = meter(true, false, "0.40:0 1.00:8 2.00:40 3.00:110 4.00:230 4.80:360");
    const MeterRows lb = meter(false, false, "0.80:0 1.50:20 2.50:120 3.50:330 4.50:700 5.00:950");
    const MeterRows whole = meter(false, false, "0:0 1:8 2:40 3:110 4:230 5:380");
    QTest::newRow("worked example") << workedUse() << workedMatch() << 1.0;
    QTest::newRow("kg/h against lb/h") << kg << lb << 0.0;
    QTest::newRow("lb/h against kg/h") << lb << kg << 0.0;
    QTest::newRow("frequency match meter")
        << lb << meter(true, true, "1500:0 1800:15 2200:60 2500:150 2700:280 2900:430") << 0.0;
    QTest::newRow("frequency use meter")
        << meter(false, true, "0:0 900:20 1800:150 2700:500") << lb << 0.0;
    QTest::newRow("a meter with itself") << whole << whole << 2.0;
    QTest::newRow("wide first segment")
        << meter(false, false, "0.50:0 1.00:20 1.50:55 2.00:105 2.50:170 3.00:255 4.00:500")
        << meter(false, false, "2.00:60 2.40:100 3.00:200 4.00:500 4.80:800") << 5.0;
    QTest::newRow("rows out of order, a flat start at no flow")
        << meter(false, false, "3.00:255 0.50:0 0.20:0 2.00:105 1.00:20")
        << meter(false, false, "4.00:500 1.00:0 1.20:0 2.00:60 3.00:200") << 0.0;
}

// Each word of the precise table is the exact answer rounded; its predicted error is never
// worse on average than the classic table's, which is off the way the classic method leans.
void TestMatch::preciseIsWithinAWordOfTheExactMatch() {
    QFETCH(MeterRows, use);
    QFETCH(MeterRows, match);
    QFETCH(double, classicWorst);
    MatchCurve useCurve, matchCurve;
    QString error;
    QVERIFY2(MatchCurveOf(use, useCurve, error), qPrintable(error));
    QVERIFY2(MatchCurveOf(match, matchCurve, error), qPrintable(error));
    const TableWords words = PreciseMatchWords(useCurve, matchCurve);
    for (int i = 0; i < kTableEntries; ++i) {
        const double exact = exactWord(use, match, i);
        QVERIFY2(std::abs(words[size_t(i)] - exact) <= 1,
                 qPrintable(QStringLiteral("entry %1: %2, exactly %3")
                                .arg(i)
                                .arg(words[size_t(i)])
                                .arg(exact)));
        if (QTest::currentDataTag() == QLatin1String("a meter with itself"))
            QVERIFY(std::abs(words[size_t(i)] - std::min(i * 38.4, 1023.0)) <= 1);
    }
    MatchCells cells;
    QVERIFY(MatchMeters(use, match, cells, error));
    const PredictedError classic = PredictMatchError(
        useCurve, matchCurve, ClassicTableWords(MatchTableEntries(cells, match.frequency)));
    const PredictedError precise = PredictMatchError(useCurve, matchCurve, words);
    QVERIFY(precise.mean);
    QVERIFY(std::abs(*precise.worst) < 1.5);
    // Rows out of order give the classic method no table to compare.
    if (!classic.mean) return;
    qInfo("classic worst %+.2f %% mean %.2f %%, precise worst %+.2f %% mean %.2f %%",
          *classic.worst, *classic.mean, *precise.worst, *precise.mean);
    QVERIFY(*precise.mean <= *classic.mean);
    if (classicWorst > 0) QVERIFY(*classic.worst >= classicWorst);
    if (classicWorst < 0) QVERIFY(*classic.worst <= classicWorst);
}

// Worked by hand: entry 3 is 0.5625 V in, 56.25 lb/h; the classic word 97 is 0.47363 V out,
// where the match meter gives 56.836 lb/h. The precise entry 32 is 1023 (4.99512 V, 599.414
// lb/h) for 600 lb/h. Entry 0 (no flow) is below 2 % of the top and not compared.
void TestMatch::predictedErrorOfTheWorkedExample() {
    MatchCurve use, match;
    QString error;
    QVERIFY(MatchCurveOf(workedUse(), use, error) && MatchCurveOf(workedMatch(), match, error));
    const TableWords precise = PreciseMatchWords(use, match);
    for (int i = 0; i < 32; ++i) QCOMPARE(precise[size_t(i)], 32 * i);
    QCOMPARE(precise[32], 1023);
    MatchCells cells;
    QVERIFY(MatchMeters(workedUse(), workedMatch(), cells, error));
    const PredictedError classic =
        PredictMatchError(use, match, ClassicTableWords(MatchTableEntries(cells, false)));
    QVERIFY(!classic.entries[0] && !classic.entries[32]);
    QVERIFY(qFuzzyCompare(*classic.entries[3], 100.0 / 96));
    const PredictedError e = PredictMatchError(use, match, precise);
    QVERIFY(!e.entries[0]);
    QVERIFY(qFuzzyCompare(*e.entries[32], -0.09765625));
    QVERIFY(qFuzzyCompare(*e.worst, -0.09765625));
    QCOMPARE(ErrorPercentText(e.worst, true), QStringLiteral("-0.10 %"));
    QCOMPARE(ErrorPercentText(std::nullopt, false), QStringLiteral("-"));
}

void TestMatch::preciseRefusesMetersThatDoNotRise_data() {
    QTest::addColumn<QString>("rows");
    QTest::addColumn<bool>("refused");
    QTest::newRow("falling flow") << "0.5:0 1.0:50 2.0:40 3.0:90" << true;
    QTest::newRow("a flat run above no flow") << "0.5:0 1.0:50 2.0:50 3.0:90" << true;
    QTest::newRow("two flows at one signal") << "0.5:0 1.0:50 1.0:60 3.0:90" << true;
    QTest::newRow("a flow below zero") << "0.5:-5 1.0:50 3.0:90" << true;
    QTest::newRow("no flow at all") << "0.5:0 1.0:0" << true;
    QTest::newRow("flat start at no flow") << "0.2:0 0.5:0 1.0:50 3.0:90" << false;
    QTest::newRow("one row") << "2.0:100" << false;
}

void TestMatch::preciseRefusesMetersThatDoNotRise() {
    QFETCH(QString, rows);
    QFETCH(bool, refused);
    MatchCurve curve;
    QString error;
    QCOMPARE(!MatchCurveOf(meter(false, false, rows), curve, error), refused);
    QCOMPARE(error, refused ? QStringLiteral("The meter's flows do not rise with its signal.")
                            : QString());
}

QTEST_APPLESS_MAIN(TestMatch)
#include "tst_match.moc"
