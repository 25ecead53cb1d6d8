#include "link/box_link.h"
#include "link/byte_transport.h"
#include "link/hexlib.h"
#include "support/in_process_box.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <pty.h>
#include <unistd.h>

#include <ctime>

using namespace varnel;
using varnel::test::InProcessBox;
using varnel::test::ScriptedPeer;

namespace {

double cpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

class TestLink : public QObject {
    Q_OBJECT
  private slots:
    void hexToInt_data();
    void hexToInt();
    void intToHexStr_data();
    void intToHexStr();

    void ringWrapsAt199();
    void ringWithoutOverflowCheck();

    void openLinkSendsTwoCarriageReturns();
    void deviceChoice_data();
    void deviceChoice();
    void openFailureMessages();

    void promptCheckSendsOnlyCR();
    void responseEndsWithTerminator();
    void bytesAfterTerminatorStayInTheRing();
    void receiveUntilFailsAt1000msWhileBytesArrive();
    void lateTerminatorFails();
    void missingEchoCostsOneWaitAndGoesOn();
    void presetAbortFlagStillSendsButFails();
    void failedReplySetsAbortFlag();
    void silentWaitsDoNotSpin();
    void nestedOperationDoesNotStallTheOuterWait();
    void closedPortFailsAtOnce();
    void vanishedPortEndsTheWaitAndCloses();
    void waitsEndAtOnce_data();
    void waitsEndAtOnce();
    void waitQuietLetsTheOpeningPromptsPass();
    void waitQuietIsBounded();
};

void TestLink::hexToInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("signed16");
    QTest::newRow("3f") << "3f" << 63 << 63;
    QTest::newRow("FFF0") << "FFF0" << 65520 << -16;
    QTest::newRow("fff0 lower case") << "fff0" << 65520 << -16;
    QTest::newRow("empty") << "" << 0 << 0;
    QTest::newRow("1G") << "1G" << 0 << 0;
    QTest::newRow("00G0") << "00G0" << 0 << 0;
    QTest::newRow("blank") << " 1" << 0 << 0;
    QTest::newRow("7FFF") << "7FFF" << 32767 << 32767;
    QTest::newRow("8000") << "8000" << 32768 << -32768;
    // Only the first 40 characters count: the G beyond them is never seen.
    QTest::newRow("41st character ignored") << QString(39, QLatin1Char('0')) + "1G" << 1 << 1;
}

void TestLink::hexToInt() {
    QFETCH(QString, text);
    QFETCH(int, value);
    QFETCH(int, signed16);
    QCOMPARE(HexToInt(text), value);
    QCOMPARE(int(LowSigned16(HexToInt(text))), signed16);
}

void TestLink::intToHexStr_data() {
    QTest::addColumn<uint>("value");
    QTest::addColumn<int>("digits");
    QTest::addColumn<QString>("text");
    QTest::newRow("byte") << 63u << 2 << "3F";
    QTest::newRow("leading zero") << 10u << 2 << "0A";
    QTest::newRow("only the low nibbles") << 0x1234u << 2 << "34";
    QTest::newRow("wide") << 255u << 4 << "00FF";
    QTest::newRow("eight") << 0xABCDEF12u << 8 << "ABCDEF12";
    QTest::newRow("at most eight") << 5u << 10 << "00000005";
}

void TestLink::intToHexStr() {
    QFETCH(uint, value);
    QFETCH(int, digits);
    QTEST(IntToHexStr(value, digits), "text");
}

void TestLink::ringWrapsAt199() {
    BoxLink link(new InProcessTransport);
    uint8_t b = 0;
    // 450 bytes through the ring, taken in bursts of up to 150, come out in order.
    int next = 0, taken = 0;
    while (taken < 450) {
        for (int k = 0; k < 150 && next < 450; ++k) {
            link.StoreRxByte(uint8_t(next++));
            QVERIFY(link.RxHead >= 1 && link.RxHead <= 199);
        }
        while (link.GetRxByte(b)) {
            QCOMPARE(int(b), taken++ % 256);
            QVERIFY(link.RxTail >= 1 && link.RxTail <= 199);
        }
    }
    // Exactly at the wrap: index 199 is used, 200 never.
    BoxLink fresh(new InProcessTransport);
    for (int k = 0; k < 198; ++k) fresh.StoreRxByte(1);
    QCOMPARE(fresh.RxHead, 199);
    fresh.StoreRxByte(2);
    QCOMPARE(fresh.RxHead, 1);
    QCOMPARE(int(fresh.RxBuf[199]), 2);
}

void TestLink::ringWithoutOverflowCheck() {
    BoxLink link(new InProcessTransport);
    for (int k = 0; k < 199; ++k) link.StoreRxByte(uint8_t(k));
    // 199 bytes not taken: the head has caught up with the tail and the ring reads empty.
    uint8_t b = 0;
    QVERIFY(!link.GetRxByte(b));
}

void TestLink::openLinkSendsTwoCarriageReturns() {
    auto* t = new InProcessTransport;
    BoxLink link(t);
    link.StoreRxByte('x');
    QString error;
    QVERIFY(link.OpenLink(error));
    QVERIFY(error.isEmpty());
    QCOMPARE(t->written, QByteArray("\r\r"));
    QVERIFY(t->dtr);
    QVERIFY(!t->rts);
    QVERIFY(link.ShowRx);
    QCOMPARE(link.RxHead, 1);
    QCOMPARE(link.RxTail, 1);
}

void TestLink::deviceChoice_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("override");
    QTest::addColumn<QString>("opened");
    QTest::newRow("COM 1") << 1 << ""
                           << ""
                           << "/dev/ttyS0";
    QTest::newRow("COM 2") << 2 << ""
                           << ""
                           << "/dev/ttyS1";
    QTest::newRow("COM 4") << 4 << ""
                           << ""
                           << "/dev/ttyS3";
    QTest::newRow("settings device") << 2 << "/dev/ttyUSB0"
                                     << ""
                                     << "/dev/ttyUSB0";
    QTest::newRow("command line wins") << 2 << "/dev/ttyUSB0"
                                       << "/dev/pts/7"
                                       << "/dev/pts/7";
}

void TestLink::deviceChoice() {
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(QString, override);
    auto* t = new InProcessTransport;
    BoxLink link(t);
    link.PortNumber = port;
    link.Device = device;
    link.PortOverride = override;
    QString error;
    QVERIFY(link.OpenLink(error));
    QTEST(t->openedDevice, "opened");
}

void TestLink::openFailureMessages() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("ttyMissing"));
    BoxLink link;
    link.PortOverride = missing;
    QString error;
    QVERIFY(!link.OpenLink(error));
    QCOMPARE(error, QStringLiteral("Specified device not found (%1).").arg(missing));
    QVERIFY(!link.isOpen());

    // A device that exists but is already in use.
    int master = -1, slave = -1;
    QVERIFY(openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
    const QString pts = QString::fromLocal8Bit(ptsname(master));
    BoxLink first, second;
    first.PortOverride = second.PortOverride = pts;
    QVERIFY(first.OpenLink(error));
    QVERIFY(!second.OpenLink(error));
    // In use: the system's "access denied" and its text.
    QVERIFY2(
        error.startsWith(QStringLiteral("Can't open specified device %1 (Error 13, ").arg(pts)) &&
            error.endsWith(QLatin1Char(')')) && error.size() > pts.size() + 42,
        qPrintable(error));
    ::close(slave);
    ::close(master);
}

void TestLink::promptCheckSendsOnlyCR() {
    InProcessBox box;
    QVERIFY(box.open());
    QSignalSpy sent(&box.link, &BoxLink::commandSent);
    bool abort = false;
    QVERIFY(box.link.SendCommand(QString(), '>', abort));
    QCOMPARE(box.transport->written, QByteArray("\r"));
    QCOMPARE(box.link.Response, QStringLiteral("\r\n>"));
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.first().first().toString(), QString());
}

void TestLink::responseEndsWithTerminator() {
    InProcessBox box;
    QVERIFY(box.open());
    box.model->eeprom[0] = 0x5A;
    bool abort = false;
    QVERIFY(box.link.SendCommand(QStringLiteral("C00*"), '+', abort));
    QCOMPARE(box.transport->written, QByteArray("C00*\r"));
    QCOMPARE(box.link.Response, QStringLiteral("5A+"));
    QVERIFY(box.link.ReceiveUntil('>'));
    QCOMPARE(box.link.Response, QStringLiteral("\r\n>"));
}

void TestLink::bytesAfterTerminatorStayInTheRing() {
    InProcessBox box;
    QVERIFY(box.open());
    box.detach();
    box.transport->inject("ab>cd");
    QVERIFY(box.link.ReceiveUntil('>'));
    QCOMPARE(box.link.Response, QStringLiteral("ab>"));
    uint8_t b = 0;
    QVERIFY(box.link.GetRxByte(b));
    QCOMPARE(char(b), 'c');
    QVERIFY(box.link.GetRxByte(b));
    QCOMPARE(char(b), 'd');
    QVERIFY(!box.link.GetRxByte(b));
}

void TestLink::receiveUntilFailsAt1000msWhileBytesArrive() {
    InProcessBox box(1000);
    QVERIFY(box.open());
    box.detach();
    QTimer drip;
    drip.setTimerType(Qt::PreciseTimer);
    connect(&drip, &QTimer::timeout, [&] { box.transport->inject("x"); });
    drip.start(20);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!box.link.ReceiveUntil('>'));
    const qint64 ms = clock.elapsed();
    drip.stop();
    QVERIFY2(ms >= 1000 && ms < 1150, qPrintable(QString::number(ms)));
    // The bytes did arrive and were collected; only the terminator was missing.
    QVERIFY(box.link.Response.size() >= 30);
    QVERIFY(!box.link.Response.contains(QLatin1Char('>')));
}

void TestLink::lateTerminatorFails() {
    InProcessBox box(200);
    QVERIFY(box.open());
    box.detach();
    QTimer::singleShot(100, [&] { box.transport->inject("ab"); });
    QTimer::singleShot(260, [&] { box.transport->inject(">"); });
    QVERIFY(!box.link.ReceiveUntil('>'));
    QCOMPARE(box.link.Response, QStringLiteral("ab"));
    QTest::qWait(100);  // the late terminator comes in, and is dropped
    box.link.FlushLink();
    // A terminator within the time-out is a success.
    QTimer::singleShot(150, [&] { box.transport->inject("cd>"); });
    QVERIFY(box.link.ReceiveUntil('>'));
    QCOMPARE(box.link.Response, QStringLiteral("cd>"));
}

void TestLink::missingEchoCostsOneWaitAndGoesOn() {
    InProcessBox box(100);
    QVERIFY(box.open());
    box.model->faults.noEcho = true;
    bool abort = false;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(box.link.SendCommand(QStringLiteral("Q"), '>', abort));
    // The Q's echo wait timed out; the CR's wait took the reply's first byte as its echo.
    QVERIFY(clock.elapsed() >= 100);
    QCOMPARE(box.transport->written, QByteArray("Q\r"));
    QCOMPARE(box.link.Response, QStringLiteral("\nV1.0 KEX\r\n>"));
    QVERIFY(!abort);
}

void TestLink::presetAbortFlagStillSendsButFails() {
    InProcessBox box;
    QVERIFY(box.open());
    bool abort = true;
    QVERIFY(!box.link.SendCommand(QStringLiteral("Q"), '>', abort));
    QCOMPARE(box.transport->written, QByteArray("Q\r"));
    QCOMPARE(box.link.Response, QStringLiteral("\r\nV1.0 KEX\r\n>"));
    QVERIFY(abort);
}

void TestLink::failedReplySetsAbortFlag() {
    InProcessBox box(50);
    QVERIFY(box.open());
    box.detach();
    bool abort = false;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!box.link.SendCommand(QStringLiteral("M"), '\n', abort));
    QVERIFY(abort);
    // Two echo waits and one reply wait, each ended by its time-out; nothing is sent again.
    QVERIFY2(clock.elapsed() >= 150 && clock.elapsed() < 400,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(box.transport->written, QByteArray("M\r"));
}

void TestLink::silentWaitsDoNotSpin() {
    InProcessBox box(400);
    QVERIFY(box.open());
    box.detach();
    bool abort = false;
    const double cpu0 = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!box.link.SendCommand(QString(), '>', abort));
    const double cpu = cpuSeconds() - cpu0;
    QVERIFY(clock.elapsed() >= 800);
    QVERIFY2(cpu < 0.08, qPrintable(QStringLiteral("%1 s of CPU for 0.8 s of waiting").arg(cpu)));
}

void TestLink::nestedOperationDoesNotStallTheOuterWait() {
    InProcessBox box(300);
    QVERIFY(box.open());
    // While the outer wait runs, a handler (a click) runs a whole transaction of its own.
    bool innerOk = false;
    QTimer::singleShot(50, [&] {
        bool abort = false;
        box.link.FlushLink();
        innerOk = box.link.SendCommand(QString(), '>', abort);
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!box.link.ReceiveUntil('#'));
    QVERIFY(innerOk);
    // The outer wait keeps its own time-out and ends by it.
    QVERIFY2(clock.elapsed() >= 300 && clock.elapsed() < 600,
             qPrintable(QString::number(clock.elapsed())));
}

void TestLink::closedPortFailsAtOnce() {
    BoxLink link(new InProcessTransport);
    QElapsedTimer clock;
    clock.start();
    bool abort = false;
    QVERIFY(!link.SendCommand(QStringLiteral("Q"), '>', abort));
    QVERIFY(abort);
    // Nothing can arrive on a port that is not open: no time-out is waited out.
    QVERIFY(clock.elapsed() < 500);
}

void TestLink::vanishedPortEndsTheWaitAndCloses() {
    InProcessBox box(1000);
    QVERIFY(box.open());
    box.detach();
    QSignalSpy lost(&box.link, &BoxLink::linkLost);
    QTimer::singleShot(50, [&] { box.transport->vanish(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!box.link.ReceiveUntil('>'));
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(lost.size(), 1);
    QVERIFY(!box.link.isOpen());
}

void TestLink::waitsEndAtOnce_data() {
    QTest::addColumn<QString>("wait");
    QTest::addColumn<bool>("quitting");  // the application quits, so loops cannot run; or a cancel
    QTest::newRow("echo, application quitting") << "echo" << true;
    QTest::newRow("reply, application quitting") << "reply" << true;
    QTest::newRow("quiet, cancelled") << "quiet" << false;
}

void TestLink::waitsEndAtOnce() {
    QFETCH(QString, wait);
    QFETCH(bool, quitting);
    InProcessBox box(1000);
    QVERIFY(box.open());
    box.attach(ScriptedPeer{});  // echoes, never answers
    if (wait == QLatin1String("echo")) box.detach();
    QTimer::singleShot(50, [&] { quitting ? QCoreApplication::exit(0) : box.link.CancelWaits(); });
    QElapsedTimer clock;
    clock.start();
    bool abort = false;
    const bool ok = wait == QLatin1String("quiet")
                        ? box.link.WaitQuiet(900)
                        : box.link.SendCommand(QStringLiteral("Q"), '>', abort);
    const qint64 ms = clock.elapsed();
    // Loops run again once a main loop has run and ended; a cancel lasts until resumed.
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
    box.link.ResumeWaits();
    QVERIFY(!ok);
    QVERIFY2(ms < 400, qPrintable(QString::number(ms)));
    box.attachModel();
    box.link.FlushLink();
    QVERIFY(box.link.SendCommand(QString(), '>', abort = false));
}

void TestLink::waitQuietLetsTheOpeningPromptsPass() {
    InProcessBox box(1000);
    QString error;
    QVERIFY(box.link.OpenLink(error));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(box.link.WaitQuiet(50));
    QVERIFY(clock.elapsed() >= 50 && clock.elapsed() < 500);
    QCOMPARE(box.model->bytesIn, 2u);
    QCOMPARE(box.model->bytesOut, 8u);  // two echoes and two prompts
    uint8_t b = 0;
    QVERIFY(!box.link.GetRxByte(b));
}

void TestLink::waitQuietIsBounded() {
    InProcessBox box(300);
    QVERIFY(box.open());
    box.detach();
    QTimer drip;
    connect(&drip, &QTimer::timeout, [&] { box.transport->inject("x"); });
    drip.start(10);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!box.link.WaitQuiet(50));
    QVERIFY(clock.elapsed() >= 300 && clock.elapsed() < 600);
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
