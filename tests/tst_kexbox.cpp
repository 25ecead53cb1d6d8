#include "base/app_state.h"
#include "box_model.h"
#include "link/box_link.h"
#include "link/box_ops.h"
#include "support/scripted_ui.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>
#include <memory>

using namespace varnel;
using varnel::test::ScriptedUi;

namespace {

QByteArray feed(kexbox::BoxModel& box, const QByteArray& in) {
    QByteArray out;
    for (const char c : in) {
        const std::string s = box.feed(uint8_t(c));
        out += QByteArray(s.data(), qsizetype(s.size()));
    }
    return out;
}

// A kexbox process on its own pseudo-terminal.
class KexboxProcess {
  public:
    explicit KexboxProcess(const QStringList& args) {
        process.start(QStringLiteral(KEXBOX_PATH), args);
        if (!process.waitForReadyRead(5000)) return;
        while (!process.canReadLine() && process.waitForReadyRead(2000)) {
        }
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~KexboxProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(3000);
        }
    }
    // Stops it with SIGTERM and returns what it printed after the device path.
    QString stop() {
        process.terminate();
        process.waitForFinished(3000);
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }
    QProcess process;
    QString device;
};

struct CliResult {
    int code = -1;
    QString out, err;
};

CliResult runCli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI_PATH), args);
    CliResult r;
    if (!p.waitForFinished(15000)) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// A 768-byte project with an identity table of entries 38 x i.
QString writeProject(const QString& path, int hardwareVersion, bool frequency = false) {
    QByteArray data(768, '\0');
    data[0x08] = 48;
    data[0x0A] = 32;
    data[0x0C] = 11;
    data[0x0E] = char(hardwareVersion);
    for (int i = 0; i < 33; ++i) {
        const int w = std::min(1023, 38 * i);
        data[512 + 2 * i] = char(w >> 8);
        data[512 + 2 * i + 1] = char(w & 0xFF);
    }
    data[512 + 0x42] = frequency ? 2 : 1;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(data);
    return path;
}

}  // namespace

class TestKexbox : public QObject {
    Q_OBJECT
  private slots:
    void replies_data();
    void replies();
    void faults_data();
    void faults();
    void faultWords_data();
    void faultWords();
    void adjustOption_data();
    void adjustOption();

    void connectThroughARealPseudoTerminal();
    void eepromSurvivesARestart();
    void pacedLine();
    void vanishedBoxClosesThePort();
    void badOptions_data();
    void badOptions();

    void cliConnect();
    void cliMonitor();
    void cliFailures();

  private:
    QTemporaryDir dir_;
};

void TestKexbox::replies_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("prompt") << QByteArray("\r") << QByteArray("\r\r\n>");
    QTest::newRow("Q") << QByteArray("Q\r") << QByteArray("Q\r\r\nV1.0 KEX\r\n>");
    QTest::newRow("M") << QByteArray("M\r") << QByteArray("M\r\r\nPOTS FFF0 0010 0064 FF9C\r\n>");
    QTest::newRow("write") << QByteArray("C0B41\r") << QByteArray("C0B41\r+\r\n>");
    QTest::newRow("read") << QByteArray("C0A*\r") << QByteArray("C0A*\r3F+\r\n>");
    QTest::newRow("read lower case") << QByteArray("c0a*\r") << QByteArray("c0a*\r?\r\n>");
    QTest::newRow("read hex lower case") << QByteArray("C0a*\r") << QByteArray("C0a*\r3F+\r\n>");
    QTest::newRow("unknown") << QByteArray("X\r") << QByteArray("X\r?\r\n>");
    QTest::newRow("bad digits") << QByteArray("C0G12\r") << QByteArray("C0G12\r?\r\n>");
    QTest::newRow("line feed is no command")
        << QByteArray("\nQ\r") << QByteArray("\nQ\r\r\nV1.0 KEX\r\n>");
    QTest::newRow("no CR, no reply") << QByteArray("Q") << QByteArray("Q");
}

void TestKexbox::replies() {
    QFETCH(QByteArray, in);
    kexbox::BoxModel box;
    box.adjust = {-16, 16, 100, -100};
    box.eeprom[10] = 0x3F;
    QTEST(feed(box, in), "out");
    QCOMPARE(box.bytesIn, uint64_t(in.size()));
}

void TestKexbox::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("no-echo") << "no-echo" << QByteArray("Q\r") << QByteArray("\r\nV1.0 KEX\r\n>");
    QTest::newRow("no-reply") << "no-reply" << QByteArray("Q\r") << QByteArray("Q\r");
    QTest::newRow("short-q") << "short-q" << QByteArray("Q\r") << QByteArray("Q\r\r\nV1.0\r\n>");
    QTest::newRow("no-v") << "no-v" << QByteArray("Q\r") << QByteArray("Q\r\r\nKEX V1.0\r\n>");
    QTest::newRow("bad-version") << "bad-version" << QByteArray("Q\r")
                                 << QByteArray("Q\r\r\nV?.? KEX\r\n>");
    QTest::newRow("short-m") << "short-m" << QByteArray("M\r")
                             << QByteArray("M\r\r\nPOTS 0000\r\n>");
    QTest::newRow("no-ack hit") << "no-ack=5" << QByteArray("C0501\r")
                                << QByteArray("C0501\r\r\n>");
    QTest::newRow("no-ack other") << "no-ack=5" << QByteArray("C0601\r")
                                  << QByteArray("C0601\r+\r\n>");
    QTest::newRow("bad-read hit") << "bad-read=10" << QByteArray("C0A*\r")
                                  << QByteArray("C0A*\rC0+\r\n>");
    QTest::newRow("no-read-ack hit")
        << "no-read-ack=10" << QByteArray("C0A*\r") << QByteArray("C0A*\r\r\n>");
    QTest::newRow("no-read-ack leaves writes")
        << "no-read-ack=10" << QByteArray("C0A00\r") << QByteArray("C0A00\r+\r\n>");
    QTest::newRow("short-read hit")
        << "short-read=10" << QByteArray("C0A*\r") << QByteArray("C0A*\rF+\r\n>");
    QTest::newRow("short-read other")
        << "short-read=11" << QByteArray("C0A*\r") << QByteArray("C0A*\r3F+\r\n>");
    QTest::newRow("lower-hex") << "lower-hex" << QByteArray("C0A*\r")
                               << QByteArray("C0A*\r3f+\r\n>");
    QTest::newRow("silent-after") << "silent-after=2" << QByteArray("\rQ\r")
                                  << QByteArray("\r\r\n>Q");
}

void TestKexbox::faults() {
    QFETCH(QString, fault);
    QFETCH(QByteArray, in);
    kexbox::BoxModel box;
    box.eeprom[10] = 0x3F;
    std::string error;
    QVERIFY(box.faults.parse(fault.toStdString(), error));
    QTEST(feed(box, in), "out");
}

void TestKexbox::faultWords_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("ok");
    QTest::newRow("known") << "no-echo" << true;
    QTest::newRow("with number") << "no-ack=0" << true;
    QTest::newRow("number missing") << "no-ack" << false;
    QTest::newRow("negative") << "bad-read=-1" << false;
    QTest::newRow("not a number") << "silent-after=x" << false;
    QTest::newRow("number not wanted") << "no-echo=1" << false;
    QTest::newRow("read faults") << "short-read=79" << true;
    QTest::newRow("read fault without number") << "no-read-ack" << false;
    QTest::newRow("lower-hex takes no number") << "lower-hex=1" << false;
    QTest::newRow("unknown") << "explode" << false;
}

void TestKexbox::faultWords() {
    QFETCH(QString, word);
    kexbox::Faults f;
    std::string error;
    const bool ok = f.parse(word.toStdString(), error);
    QTEST(ok, "ok");
    QCOMPARE(error.empty(), ok);
}

void TestKexbox::adjustOption_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("four") << "1,-2,3,-32768" << true;
    QTest::newRow("three") << "1,2,3" << false;
    QTest::newRow("five") << "1,2,3,4,5" << false;
    QTest::newRow("too big") << "1,2,3,32768" << false;
    QTest::newRow("empty field") << "1,,3,4" << false;
    QTest::newRow("not a number") << "1,2,x,4" << false;
}

void TestKexbox::adjustOption() {
    QFETCH(QString, text);
    std::array<int16_t, 4> a{};
    QTEST(kexbox::ParseAdjust(text.toStdString(), a), "ok");
}

void TestKexbox::connectThroughARealPseudoTerminal() {
    const QString log = dir_.filePath(QStringLiteral("connect.log"));
    KexboxProcess kexbox({"--adjust", "-16,16,100,-100", "--log", log});
    QVERIFY(kexbox.device.startsWith(QStringLiteral("/dev/")));
    BoxLink link;  // QSerialPort
    link.PortOverride = kexbox.device;
    QString error;
    QVERIFY2(link.OpenLink(error), qPrintable(error));
    QVERIFY(link.WaitQuiet(100));
    AppState state;
    state.header.setHardwareVersion(10);
    ScriptedUi ui;
    QString version;
    QVERIFY(ConnectBox(state, link, ui, &version));
    QCOMPARE(version, QStringLiteral("1.0"));
    MonitorResult r;
    QVERIFY(MonitorBox(state, link, ui, false, r));
    QCOMPARE(r.adjust, (std::array<int, 4>{-16, 16, 100, -100}));
    VERIFY_UI(ui);
    const QString stats = kexbox.stop();
    // Two opening CRs, then CR, Q CR for Connect and CR, M CR for Monitor.
    QVERIFY2(stats.contains(QStringLiteral("bytes in: 8\n")), qPrintable(stats));
    QVERIFY2(stats.contains(QStringLiteral("bytes out: ")), qPrintable(stats));
    QFile transcript(log);
    QVERIFY(transcript.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(transcript.readAll());
    QVERIFY(text.contains(QStringLiteral("pc  51 Q")));
    QVERIFY(text.contains(QStringLiteral("box 56 V")));
}

void TestKexbox::eepromSurvivesARestart() {
    const QString file = dir_.filePath(QStringLiteral("box.e2p"));
    AppState state;
    for (int run = 0; run < 2; ++run) {
        KexboxProcess kexbox({"--eeprom", file});
        BoxLink link;
        link.PortOverride = kexbox.device;
        QString error;
        QVERIFY2(link.OpenLink(error), qPrintable(error));
        link.WaitQuiet(100);
        if (run == 0) {
            QVERIFY(QFileInfo(file).size() == 256);
            QVERIFY(link.SendCommand(QStringLiteral("C0A3F"), '+', state.AbortFlag));
            QVERIFY(link.ReceiveUntil('>'));
        } else {
            QVERIFY(link.SendCommand(QStringLiteral("C0A*"), '+', state.AbortFlag));
            QCOMPARE(link.Response, QStringLiteral("3F+"));
            QVERIFY(link.ReceiveUntil('>'));
            QVERIFY(link.SendCommand(QStringLiteral("C0B*"), '+', state.AbortFlag));
            QCOMPARE(link.Response, QStringLiteral("FF+"));
        }
        kexbox.stop();
    }
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QCOMPARE(bytes.size(), 256);
    QCOMPARE(uint8_t(bytes[10]), uint8_t(0x3F));
    QCOMPARE(uint8_t(bytes[11]), uint8_t(0xFF));
}

void TestKexbox::pacedLine() {
    KexboxProcess kexbox({"--baud", "9600"});
    BoxLink link;
    link.PortOverride = kexbox.device;
    QString error;
    QVERIFY2(link.OpenLink(error), qPrintable(error));
    link.WaitQuiet(100);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20; ++i) QVERIFY(link.SendByteEcho('A'));
    // Each byte must arrive whole before its echo leaves: two byte times a round trip.
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    QVERIFY2(ms >= 20 * 2 * 10000.0 / 9600 - 1, qPrintable(QString::number(ms)));
    const QString stats = kexbox.stop();
    // 2 opening CRs and 20 bytes in; their echoes and two prompts of 3 bytes out.
    QVERIFY2(stats.contains(QStringLiteral("bytes in: 22\nbytes out: 28\nline time: 52.1 ms")),
             qPrintable(stats));
}

void TestKexbox::vanishedBoxClosesThePort() {
    auto kexbox = std::make_unique<KexboxProcess>(QStringList{});
    BoxLink link;
    link.PortOverride = kexbox->device;
    QString error;
    QVERIFY2(link.OpenLink(error), qPrintable(error));
    link.WaitQuiet(100);
    QSignalSpy lost(&link, &BoxLink::linkLost);
    kexbox->stop();
    QTRY_VERIFY_WITH_TIMEOUT(!link.isOpen(), 2000);
    QCOMPARE(lost.size(), 1);
    // A closed port does not flood the event loop.
    const std::clock_t cpu0 = std::clock();
    QTest::qWait(300);
    const double cpu = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    QVERIFY2(cpu < 0.1, qPrintable(QString::number(cpu)));
    AppState state;
    state.header.setHardwareVersion(10);
    ScriptedUi ui;
    ui.expectError(QStringLiteral("Hardware not found"));
    QVERIFY(!ConnectBox(state, link, ui));
    VERIFY_UI(ui);
}

void TestKexbox::badOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::newRow("three adjustments") << QStringList{"--adjust", "1,2,3"} << 2;
    QTest::newRow("baud zero") << QStringList{"--baud", "0"} << 2;
    QTest::newRow("unknown fault") << QStringList{"--fault", "explode"} << 2;
    QTest::newRow("unknown option") << QStringList{"--colour"} << 2;
    QTest::newRow("value missing") << QStringList{"--eeprom"} << 2;
}

void TestKexbox::badOptions() {
    QFETCH(QStringList, args);
    QProcess p;
    p.start(QStringLiteral(KEXBOX_PATH), args);
    QVERIFY(p.waitForFinished(5000));
    QTEST(p.exitCode(), "code");
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY(!p.readAllStandardError().isEmpty());
}

void TestKexbox::cliConnect() {
    KexboxProcess kexbox({"--version", "1.1"});
    CliResult r = runCli({"connect", "--port", kexbox.device});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("Incorrect hardware version\n"));
    QVERIFY(r.out.isEmpty());

    const QString project = writeProject(dir_.filePath(QStringLiteral("v11.KEX")), 11);
    r = runCli({"connect", "--port", kexbox.device, "--project", project});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("1.1\n"));
    QVERIFY(r.err.isEmpty());
    r = runCli({"connect", "--port", kexbox.device, "--project", project, "--json"});
    QCOMPARE(r.out, QStringLiteral("{\"version\":\"1.1\"}\n"));

    // A box that answers the opening carriage returns late, but within the time-out.
    KexboxProcess slow({"--fault", "delay=600", "--fault", "on=prompt", "--fault", "until=2"});
    r = runCli({"connect", "--port", slow.device});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("1.0\n"));
}

void TestKexbox::cliMonitor() {
    KexboxProcess kexbox({"--adjust", "100,-50,30,-400"});
    const QString project = writeProject(dir_.filePath(QStringLiteral("id.KEX")), 10);
    CliResult r = runCli({"monitor", "--port", kexbox.device, project, "--json"});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value("adjust").toArray(), (QJsonArray{100, -50, 30, -400}));
    const QJsonArray points = o.value("points").toArray();
    QCOMPARE(points.size(), 32);
    QCOMPARE(points[0].toArray(), (QJsonArray{0.0, 0.0}));
    QCOMPARE(points[4].toArray()[1].toDouble(), 1.2305);  // (152 + 100) / 204.8
    QCOMPARE(points[31].toArray()[0].toDouble(), 5.8125);

    r = runCli({"monitor", "--port", kexbox.device, project});
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 33);
    QCOMPARE(lines[0], QStringLiteral("adjust 100 -50 30 -400"));
    QCOMPARE(lines[5], QStringLiteral("0.7500 1.2305"));

    const QString hz = writeProject(dir_.filePath(QStringLiteral("hz.KEX")), 10, true);
    r = runCli({"monitor", "--port", kexbox.device, hz});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out.split(QLatin1Char('\n'))[5], QStringLiteral("0.7500 725.76"));  // 252 x 2.88
}

void TestKexbox::cliFailures() {
    const QString missing = dir_.filePath(QStringLiteral("ttyNone"));
    CliResult r = runCli({"connect", "--port", missing});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("Specified device not found (%1).\n").arg(missing));

    KexboxProcess silent({"--fault", "no-reply"});
    QElapsedTimer clock;
    clock.start();
    r = runCli({"connect", "--port", silent.device});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("Hardware not found\n"));
    QVERIFY(clock.elapsed() >= 1000);

    KexboxProcess shortM({"--fault", "short-m"});
    const QString project = writeProject(dir_.filePath(QStringLiteral("m.KEX")), 10);
    r = runCli({"monitor", "--port", shortM.device, project});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("Invalid response from hardware (error 2)\n"));

    const QString absent = dir_.filePath(QStringLiteral("absent.KEX"));
    r = runCli({"monitor", "--port", shortM.device, absent});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, absent + QStringLiteral(" not found\n"));

    QCOMPARE(runCli({"connect"}).code, 2);
    QCOMPARE(runCli({"monitor", "--port", shortM.device}).code, 2);
    QCOMPARE(runCli({"connect", "--port", shortM.device, "--speed", "1"}).code, 2);
}

QTEST_GUILESS_MAIN(TestKexbox)
#include "tst_kexbox.moc"
