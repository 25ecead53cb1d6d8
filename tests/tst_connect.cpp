#include "base/app_state.h"
#include "link/box_ops.h"
#include "support/in_process_box.h"
#include "support/scripted_ui.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace varnel;
using varnel::test::InProcessBox;
using varnel::test::ScriptedPeer;
using varnel::test::ScriptedUi;

namespace {

ScriptedPeer promptAnd(const QByteArray& command, const QByteArray& reply) {
    ScriptedPeer p;
    p.replies[QByteArray()] = "\r\n>";
    p.replies[command] = reply;
    return p;
}

// An image whose table entry i holds word(i).
void setTable(EepromImage& image, const std::function<int(int)>& word) {
    for (int i = 0; i < 32; ++i) image.setEntry(i, uint16_t(word(i)));
}

}  // namespace

class TestConnect : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void connectMessages_data();
    void connectMessages();
    void connectWithNoBoxTakesTwoWaits();
    void connectAgainstTheBoxModel();

    void monitorFields_data();
    void monitorFields();
    void monitorMessages_data();
    void monitorMessages();
    void monitorLeavesTheLineEmpty();

    void adjustment_data();
    void adjustment();
    void clamping_data();
    void clamping();
    void zeroAdjustmentsGiveTheTableCurve();
    void frequencyUnits();

  private:
    ScriptedUi ui_;
    AppState state_;
};

void TestConnect::init() {
    state_ = AppState();
    state_.header.setHardwareVersion(10);
}

void TestConnect::cleanup() {
    VERIFY_UI(ui_);
}

void TestConnect::connectMessages_data() {
    QTest::addColumn<QByteArray>("prompt");  // reply to CR alone
    QTest::addColumn<QByteArray>("q");       // reply to Q
    QTest::addColumn<int>("expected");       // HardwareVersion
    QTest::addColumn<QString>("message");    // empty: connected
    const QString invalid = QStringLiteral("Invalid response from hardware (error %1)");
    QTest::newRow("no prompt") << QByteArray() << QByteArray("\r\nV1.0 KEX\r\n>") << 10
                               << "Hardware not found";
    QTest::newRow("no Q reply") << QByteArray("\r\n>") << QByteArray() << 10 << invalid.arg(1);
    QTest::newRow("Q reply without terminator")
        << QByteArray("\r\n>") << QByteArray("\r\nV1.0 KEX\r\n") << 10 << invalid.arg(1);
    QTest::newRow("9 characters") << QByteArray("\r\n>") << QByteArray("\r\nV1.0 K>") << 10
                                  << invalid.arg(2);
    QTest::newRow("10 characters pass")
        << QByteArray("\r\n>") << QByteArray("\r\nV1.0 KX>") << 10 << QString();
    QTest::newRow("no V") << QByteArray("\r\n>") << QByteArray("\r\nX1.0 KEX\r\n>") << 10
                          << invalid.arg(3);
    QTest::newRow("lower-case v") << QByteArray("\r\n>") << QByteArray("\r\nv1.0 KEX\r\n>") << 10
                                  << invalid.arg(3);
    QTest::newRow("version x.y") << QByteArray("\r\n>") << QByteArray("\r\nVx.y KEX\r\n>") << 10
                                 << invalid.arg(4);
    QTest::newRow("blank version")
        << QByteArray("\r\n>") << QByteArray("\r\nV    KEX\r\n>") << 10 << invalid.arg(4);
    QTest::newRow("1.1 against 10") << QByteArray("\r\n>") << QByteArray("\r\nV1.1 KEX\r\n>") << 10
                                    << "Incorrect hardware version";
    QTest::newRow("1.1 against 11")
        << QByteArray("\r\n>") << QByteArray("\r\nV1.1 KEX\r\n>") << 11 << QString();
    QTest::newRow("1.0 against 10")
        << QByteArray("\r\n>") << QByteArray("\r\nV1.0 KEX\r\n>") << 10 << QString();
    QTest::newRow("padded ' 1.'") << QByteArray("\r\n>") << QByteArray("\r\nV 1.KEX\r\n>") << 10
                                  << QString();
    QTest::newRow("tab-padded '1\\t '")
        << QByteArray("\r\n>") << QByteArray("\r\nV1\t KEX\r\n>") << 10 << QString();
    // 0.25 x 10 = 2.5 goes to the even neighbour, 2.
    QTest::newRow(".25 is 2") << QByteArray("\r\n>") << QByteArray("\r\nV.25 KEX\r\n>") << 2
                              << QString();
    QTest::newRow(".25 is not 3") << QByteArray("\r\n>") << QByteArray("\r\nV.25 KEX\r\n>") << 3
                                  << "Incorrect hardware version";
    QTest::newRow("huge") << QByteArray("\r\n>") << QByteArray("\r\nV9e9 KEX\r\n>") << 10
                          << "Incorrect hardware version";
}

void TestConnect::connectMessages() {
    QFETCH(QByteArray, prompt);
    QFETCH(QByteArray, q);
    QFETCH(int, expected);
    QFETCH(QString, message);
    InProcessBox box(60);
    QVERIFY(box.open());
    ScriptedPeer peer;
    if (!prompt.isEmpty()) peer.replies[QByteArray()] = prompt;
    if (!q.isEmpty()) peer.replies["Q"] = q;
    box.attach(peer);
    state_.header.setHardwareVersion(int16_t(expected));
    state_.Connected = true;  // cleared first, whatever happens
    if (!message.isEmpty()) ui_.expectError(message);
    const bool ok = ConnectBox(state_, box.link, ui_);
    QCOMPARE(ok, message.isEmpty());
    QCOMPARE(state_.Connected, message.isEmpty());
    // The prompt check first, then the version query, each sent once.
    const QByteArray expectedTraffic = prompt.isEmpty() ? QByteArray("\r") : QByteArray("\rQ\r");
    QCOMPARE(box.transport->written, expectedTraffic);
}

void TestConnect::connectWithNoBoxTakesTwoWaits() {
    InProcessBox box(1000);
    QVERIFY(box.open());
    box.detach();
    ui_.expectError(QStringLiteral("Hardware not found"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!ConnectBox(state_, box.link, ui_));
    // One echo wait and one reply wait of a second each.
    QVERIFY2(clock.elapsed() >= 2000 && clock.elapsed() < 2300,
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(state_.AbortFlag);
}

void TestConnect::connectAgainstTheBoxModel() {
    InProcessBox box;
    QVERIFY(box.open());
    QString version;
    QVERIFY(ConnectBox(state_, box.link, ui_, &version));
    QCOMPARE(version, QStringLiteral("1.0"));
    box.model->version = "1.1";
    ui_.expectError(QStringLiteral("Incorrect hardware version"));
    QVERIFY(!ConnectBox(state_, box.link, ui_, &version));
    QCOMPARE(version, QStringLiteral("1.1"));
    QVERIFY(!state_.Connected);
}

void TestConnect::monitorFields_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<int>>("adjust");
    QTest::newRow("plain") << QByteArray("POTS 0010 0020 0030 0040\r\n>")
                           << QList<int>{16, 32, 48, 64};
    QTest::newRow("FFF0 is -16") << QByteArray("POTS FFF0 fff0 8000 7FFF\r\n>")
                                 << QList<int>{-16, -16, -32768, 32767};
    QTest::newRow("00G0 is 0") << QByteArray("POTS 00G0 0001 G000 0002\r\n>")
                               << QList<int>{0, 1, 0, 2};
    // Only the four fields are read; separators and the rest are the box's business.
    QTest::newRow("other separators")
        << QByteArray("xxxxx0001x0002x0003x0004>") << QList<int>{1, 2, 3, 4};
}

void TestConnect::monitorFields() {
    QFETCH(QByteArray, line);
    QFETCH(QList<int>, adjust);
    InProcessBox box;
    QVERIFY(box.open());
    box.attach(promptAnd("M", "\r\n" + line));
    MonitorResult r;
    QVERIFY(MonitorBox(state_, box.link, ui_, false, r));
    for (int k = 0; k < 4; ++k) QCOMPARE(r.adjust[k], adjust[k]);
}

void TestConnect::monitorMessages_data() {
    QTest::addColumn<bool>("prompt");
    QTest::addColumn<QByteArray>("m");
    QTest::addColumn<QString>("message");
    const QString invalid = QStringLiteral("Invalid response from hardware (error %1)");
    QTest::newRow("no prompt") << false << QByteArray("\r\nPOTS 0000 0000 0000 0000\r\n>")
                               << "Hardware not found";
    QTest::newRow("no M reply") << true << QByteArray() << invalid.arg(1);
    QTest::newRow("no first line")
        << true << QByteArray("POTS 0000 0000 0000 0000>") << invalid.arg(1);
    QTest::newRow("24 characters")
        << true << QByteArray("\r\nPOTS 0000 0000 0000 000>") << invalid.arg(2);
    QTest::newRow("25 characters")
        << true << QByteArray("\r\nPOTS 0000 0000 0000 0000>") << QString();
    // The second line's own wait is not tested: what came is read.
    QTest::newRow("no final prompt")
        << true << QByteArray("\r\nPOTS 0000 0000 0000 0000\r\n") << QString();
}

void TestConnect::monitorMessages() {
    QFETCH(bool, prompt);
    QFETCH(QByteArray, m);
    QFETCH(QString, message);
    InProcessBox box(60);
    QVERIFY(box.open());
    ScriptedPeer peer;
    if (prompt) peer.replies[QByteArray()] = "\r\n>";
    if (!m.isEmpty()) peer.replies["M"] = m;
    box.attach(peer);
    if (!message.isEmpty()) ui_.expectError(message);
    MonitorResult r;
    r.adjust = {7, 7, 7, 7};
    QCOMPARE(MonitorBox(state_, box.link, ui_, false, r), message.isEmpty());
    if (!message.isEmpty()) QCOMPARE(r.adjust[0], 7);  // nothing changed on failure
}

void TestConnect::monitorLeavesTheLineEmpty() {
    InProcessBox box;
    QVERIFY(box.open());
    box.model->adjust = {-16, 16, 100, -100};
    MonitorResult r;
    QVERIFY(MonitorBox(state_, box.link, ui_, false, r));
    QCOMPARE(r.adjust, (std::array<int, 4>{-16, 16, 100, -100}));
    QCOMPARE(box.transport->written, QByteArray("\rM\r"));
    // Whatever the box sends after the final prompt, in the same burst, is flushed with it.
    box.attach(promptAnd("M", "\r\nPOTS 0010 0020 0030 0040\r\n>\r\n>late"));
    QVERIFY(MonitorBox(state_, box.link, ui_, false, r));
    QCOMPARE(r.adjust, (std::array<int, 4>{16, 32, 48, 64}));
    uint8_t b = 0;
    QVERIFY(!box.link.GetRxByte(b));
}

void TestConnect::adjustment_data() {
    QTest::addColumn<QList<int>>("p");
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("a");
    const QList<int> p = {100, 200, -300, 400};
    QTest::newRow("index 0 never") << QList<int>{32767, 1, 1, 1} << 0 << 0;
    QTest::newRow("1: P1/4") << p << 1 << 25;
    QTest::newRow("3") << p << 3 << 75;
    QTest::newRow("4: P1") << p << 4 << 100;
    QTest::newRow("8: half way to P2") << p << 8 << 150;
    QTest::newRow("12: P2") << p << 12 << 200;
    QTest::newRow("13 truncates toward zero") << p << 13 << 138;  // 200 + (-500 / 8 = -62)
    QTest::newRow("20: P3") << p << 20 << -300;
    QTest::newRow("27") << p << 27 << 312;  // -300 + 700 * 7 / 8
    QTest::newRow("28: P4") << p << 28 << 400;
    QTest::newRow("30") << p << 30 << 200;
    QTest::newRow("31: P4 div 4") << p << 31 << 100;
    QTest::newRow("31 negative truncates") << QList<int>{0, 0, 0, -5} << 31 << -1;
    QTest::newRow("1 negative truncates") << QList<int>{-3, 0, 0, 0} << 1 << 0;
}

void TestConnect::adjustment() {
    QFETCH(QList<int>, p);
    QFETCH(int, i);
    QTEST(MonitorAdjustment({p[0], p[1], p[2], p[3]}, i), "a");
}

void TestConnect::clamping_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<int>("p1");
    QTest::addColumn<int>("v");
    QTest::newRow("up to 1023") << 1000 << 100 << 1023;
    QTest::newRow("down to 0") << 50 << -100 << 0;
    QTest::newRow("within") << 500 << -100 << 400;
    QTest::newRow("erased word") << 0xFFFF << -100 << 1023;
}

void TestConnect::clamping() {
    QFETCH(int, entry);
    QFETCH(int, p1);
    QFETCH(int, v);
    EepromImage image;
    image.setEntry(4, uint16_t(entry));
    const auto points = AdjustedCurve(image, {p1, 0, 0, 0}, false);
    QCOMPARE(points[4].y(), v / 204.8);
    QCOMPARE(points[4].x(), 4 / double(kInputStepDivisor));
}

void TestConnect::zeroAdjustmentsGiveTheTableCurve() {
    EepromImage image;
    setTable(image, [](int i) { return i * 31; });
    const auto points = AdjustedCurve(image, {0, 0, 0, 0}, false);
    for (int i = 0; i < 32; ++i) QCOMPARE(points[i].y(), i * 31 / 204.8);
}

void TestConnect::frequencyUnits() {
    InProcessBox box;
    QVERIFY(box.open());
    box.model->adjust = {0, 0, 0, 40};
    setTable(state_.image, [](int i) { return i * 10; });
    MonitorResult r;
    QVERIFY(MonitorBox(state_, box.link, ui_, true, r));
    QCOMPARE(r.points[0].y(), 0.0);
    QCOMPARE(r.points[31].y(), (310 + 10) * 2.88);
    QCOMPARE(r.points[28].y(), (280 + 40) * 2.88);
}

QTEST_GUILESS_MAIN(TestConnect)
#include "tst_connect.moc"
