// The EEPROM transfers on the wire: the bytes an Update and a Retrieve send, how replies are
// read, every failure against the box model's faults, and varnel-cli's update and retrieve
// through kexbox on a real pseudo-terminal.

#include "base/app_state.h"
#include "base/project_backup.h"
#include "base/project_file.h"
#include "link/box_changes.h"
#include "link/box_transfer.h"
#include "support/in_process_box.h"
#include "support/scripted_ui.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <latch>
#include <memory>
#include <thread>

using namespace varnel;
using varnel::test::InProcessBox;
using varnel::test::ScriptedUi;
using End = TransferOutcome::End;

Q_DECLARE_METATYPE(varnel::TransferOutcome::End)
Q_DECLARE_METATYPE(varnel::ChangesOutcome::End)

namespace {

const QString kNoAckText = QStringLiteral("Hardware did not acknowledge");

// An image whose first 80 bytes differ from an erased box in every byte: 3n + 1, except byte
// 5, which is 0.
EepromImage patternImage() {
    EepromImage image;
    for (int n = 0; n < kImageSize; ++n) image.setByte(n, uint8_t(3 * n + 1));
    image.setByte(5, 0);
    return image;
}

QByteArray readsWire(int upTo = kTransferBytes) {
    QByteArray wire("\r");
    for (int n = 0; n < upTo; ++n) wire += ReadCommand(n).toLatin1() + '\r';
    return wire;
}

QByteArray expectedUpdateWire(const EepromImage& image, int upTo = kTransferBytes) {
    QByteArray wire("\r");
    for (int n = 0; n < upTo; ++n) {
        wire += WriteCommand(n, image.byte(n)).toLatin1() + '\r';
        wire += ReadCommand(n).toLatin1() + '\r';
    }
    return wire;
}

// A kexbox process on its own pseudo-terminal.
class KexboxProcess {
  public:
    explicit KexboxProcess(const QStringList& args) {
        process.start(QStringLiteral(KEXBOX_PATH), args);
        while (process.waitForReadyRead(5000) && !process.canReadLine()) {
        }
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~KexboxProcess() { stop(); }
    QString stop() {
        if (process.state() == QProcess::NotRunning) return {};
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
    if (!p.waitForFinished(30000)) return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The image bytes of a project file written by this program.
QByteArray projectImage(const QString& path) {
    return readFile(path).mid(512, kImageSize);
}

// varnel-cli with its standard error on a terminal, as a user runs it.
class CliOnATerminal {
  public:
    explicit CliOnATerminal(const QStringList& args) {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
        termios t{};
        tcgetattr(slave_, &t);
        t.c_oflag &= ~tcflag_t(OPOST);  // the bytes as written, no CR added before LF
        tcsetattr(slave_, TCSANOW, &t);
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        process.setStandardErrorFile(QString::fromLocal8Bit(ttyname(slave_)));
        process.start(QStringLiteral(VARNEL_CLI_PATH), args);
    }
    ~CliOnATerminal() {
        if (process.state() != QProcess::NotRunning) process.kill();
        process.waitForFinished(3000);
        close(slave_);
        close(master_);
    }
    // Everything written so far; with until, waits up to ms for it to appear.
    QByteArray read(const QByteArray& until = {}, int ms = 0) {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            char buf[4096];
            for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;) text_.append(buf, n);
            if (until.isEmpty() || text_.contains(until) || clock.elapsed() > ms) return text_;
            QTest::qWait(5);
        }
    }
    QProcess process;

  private:
    int master_ = -1, slave_ = -1;
    QByteArray text_;
};

}  // namespace

class TestTransfer : public QObject {
    Q_OBJECT
  private slots:
    void commands_data();
    void commands();
    void readBackValue_data();
    void readBackValue();
    void retrievedValue_data();
    void retrievedValue();
    void openingPromptsEndTheQuietWait_data();
    void openingPromptsEndTheQuietWait();

    void fullUpdate();
    void updateFailures_data();
    void updateFailures();
    void fullRetrieve();
    void retrieveReplies_data();
    void retrieveReplies();
    void retrieveFailures_data();
    void retrieveFailures();
    void changesOnTheWire_data();
    void changesOnTheWire();
    void backupsOfOneSecond();

    void cliRoundTrip();
    void cliDiffAndChangedOnly();
    void cliRetrieveIntoAnExistingProject();
    void cliFailures_data();
    void cliFailures();
    void cliUsage_data();
    void cliUsage();
    void cliProgressOnATerminal_data();
    void cliProgressOnATerminal();
    void cliInterrupted_data();
    void cliInterrupted();

  private:
    QTemporaryDir dir_;
};

void TestTransfer::commands_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("read");
    QTest::newRow("first") << 0 << 0x3F << "C003F"
                           << "C00*";
    QTest::newRow("byte 5 value 0") << 5 << 0 << "C0500"
                                    << "C05*";
    QTest::newRow("upper-case digits") << 10 << 0xAB << "C0AAB"
                                       << "C0A*";
    QTest::newRow("last") << 79 << 255 << "C4FFF"
                          << "C4F*";
}

void TestTransfer::commands() {
    QFETCH(int, index);
    QFETCH(int, value);
    QTEST(WriteCommand(index, uint8_t(value)), "write");
    QTEST(ReadCommand(index), "read");
}

void TestTransfer::readBackValue_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "3F+" << true << 0x3F;
    QTest::newRow("lower case") << "3f+" << true << 0x3F;
    QTest::newRow("noise before") << "\r\nA5+" << true << 0xA5;
    QTest::newRow("two characters: both, not hex") << "F+" << true << 0;
    QTest::newRow("two characters that are hex") << "0+" << true << 0;
    QTest::newRow("one character") << "+" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("not hexadecimal") << "G1+" << true << 0;
}

void TestTransfer::readBackValue() {
    QFETCH(QString, reply);
    uint8_t value = 0x77;
    QTEST(ReadBackValue(reply, value), "ok");
    QFETCH(bool, ok);
    if (ok) QTEST(int(value), "value");
}

void TestTransfer::retrievedValue_data() {
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "3F+" << true << 0x3F;
    QTest::newRow("lower case") << "c4+" << true << 0xC4;
    QTest::newRow("noise before") << "x\r\n07+" << true << 0x07;
    QTest::newRow("exactly two characters") << "F+" << false << 0;
    QTest::newRow("one character") << "+" << false << 0;
    QTest::newRow("pair not hexadecimal stores 0") << "1G+" << true << 0;
}

void TestTransfer::retrievedValue() {
    QFETCH(QString, reply);
    uint8_t value = 0x77;
    QTEST(RetrievedValue(reply, value), "ok");
    QFETCH(bool, ok);
    if (ok) QTEST(int(value), "value");
}

void TestTransfer::openingPromptsEndTheQuietWait_data() {
    QTest::addColumn<bool>("answers");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    // Both prompts in: only a short settle, not the whole quiet period.
    QTest::newRow("box answers") << true << 2 << 0 << 150;
    // Prompts not counted: the whole quiet period.
    QTest::newRow("not counting prompts") << true << 0 << 300 << 900;
    // No answer at all: the quiet period decides.
    QTest::newRow("no box") << false << 2 << 300 << 900;
}

void TestTransfer::openingPromptsEndTheQuietWait() {
    QFETCH(bool, answers);
    QFETCH(int, prompts);
    InProcessBox box(1000);
    if (!answers) box.detach();
    QString error;
    QVERIFY(box.link.OpenLink(error));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(box.link.WaitQuiet(300, prompts), true);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() < maxMs,
             qPrintable(QString::number(clock.elapsed())));
    uint8_t b = 0;
    QVERIFY(!box.link.GetRxByte(b));
    if (answers) QCOMPARE(box.model->bytesOut, 8u);  // all of both answers came before the end
}

void TestTransfer::fullUpdate() {
    InProcessBox box;
    QVERIFY(box.open());
    AppState state;
    state.image = patternImage();
    state.Modified = true;
    state.MonitorMode = true;
    state.AbortFlag = true;  // left over from an earlier failure: cleared at the start
    const EepromImage before = state.image;
    ScriptedUi ui;
    QList<int> progress;
    const TransferOutcome o =
        UpdateEeprom(state, box.link, ui, [&](int done) { progress.append(done); });
    VERIFY_UI(ui);
    QVERIFY(o.ok());
    QCOMPARE(o.done, 80);
    QCOMPARE(o.written, 80);

    // Exactly the prompt check, then a write and a read-back per byte, ascending; the last is
    // byte 4F and nothing beyond it goes out.
    const QByteArray wire = box.transport->written;
    QCOMPARE(wire, expectedUpdateWire(before));
    QVERIFY(wire.contains("\rC0500\r"));
    QVERIFY(wire.endsWith("\rC4FEE\rC4F*\r"));
    QVERIFY(!wire.contains("C50"));
    QCOMPARE(box.model->bytesIn, uint64_t(2 + 1 + 80 * 11));  // 880 echoed bytes after the prompt

    for (int n = 0; n < kImageSize; ++n)
        QCOMPARE(box.model->eeprom[size_t(n)], n < 80 ? before.byte(n) : uint8_t(0xFF));
    QList<int> expected;
    for (int n = 1; n <= 80; ++n) expected.append(n);
    QCOMPARE(progress, expected);
    // The project is not touched.
    QCOMPARE(state.image, before);
    QVERIFY(state.Modified);
    QVERIFY(!state.MonitorMode);
    QVERIFY(!state.AbortFlag);
}

void TestTransfer::updateFailures_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("byte");   // the byte the fault hits
    QTest::addColumn<int>("value");  // the image's value there
    QTest::addColumn<QString>("message");
    QTest::addColumn<End>("end");
    QTest::addColumn<int>("written");
    QTest::addColumn<int>("sentBytes");  // whole bytes written and read back before the end

    QTest::newRow("lower-case read-back verifies")
        << "lower-hex" << 10 << 0xAB << QString() << End::Done << 80 << 80;
    QTest::newRow("wrong read-back")
        << "bad-read=3" << 3 << 0x0A << "Verify error: 0A F5+" << End::VerifyError << 4 << 3;
    QTest::newRow("two-character read-back of 0 verifies")
        << "short-read=2" << 2 << 0x00 << QString() << End::Done << 80 << 80;
    QTest::newRow("two-character read-back of another value")
        << "short-read=2" << 2 << 0x0C << "Verify error: 0C C+" << End::VerifyError << 3 << 2;
    QTest::newRow("write not acknowledged")
        << "no-ack=12" << 12 << 0x25 << "Hardware did not acknowledge" << End::NoAcknowledge << 12
        << 12;
    QTest::newRow("first write not acknowledged")
        << "no-ack=0" << 0 << 0x01 << "Hardware did not acknowledge" << End::NoAcknowledge << 0
        << 0;
    QTest::newRow("read-back not acknowledged")
        << "no-read-ack=40" << 40 << 0x79 << "Hardware did not acknowledge" << End::NoAcknowledge
        << 41 << 40;
    QTest::newRow("no prompt") << "no-reply" << 0 << 0x01 << "Hardware not found" << End::NotFound
                               << 0 << 0;
    QTest::newRow("box falls silent")
        << "silent-after=200" << 0 << 0x01 << "Hardware did not acknowledge" << End::NoAcknowledge
        << 18 << 17;
}

void TestTransfer::updateFailures() {
    QFETCH(QString, fault);
    QFETCH(int, byte);
    QFETCH(int, value);
    QFETCH(QString, message);
    QFETCH(End, end);
    QFETCH(int, sentBytes);
    InProcessBox box;
    QVERIFY(box.open());
    std::string error;
    QVERIFY(box.model->faults.parse(fault.toStdString(), error));
    AppState state;
    state.image = patternImage();
    state.image.setByte(byte, uint8_t(value));
    ScriptedUi ui;
    if (!message.isEmpty()) ui.expectError(message);
    const TransferOutcome o = UpdateEeprom(state, box.link, ui);
    VERIFY_UI(ui);
    QCOMPARE(o.end, end);
    QTEST(o.written, "written");
    QCOMPARE(o.done, sentBytes);
    // The bytes before the failing one are in the box; those after it were never sent.
    for (int n = 0; n < sentBytes; ++n) QCOMPARE(box.model->eeprom[size_t(n)], state.image.byte(n));
    for (int n = sentBytes + 1; n < kImageSize; ++n)
        QCOMPARE(box.model->eeprom[size_t(n)], uint8_t(0xFF));
    if (end != End::Done)
        QVERIFY(box.transport->written.startsWith(expectedUpdateWire(state.image, sentBytes)));
    QVERIFY(!box.transport->written.contains("C50"));
}

void TestTransfer::fullRetrieve() {
    InProcessBox box;
    QVERIFY(box.open());
    for (int n = 0; n < kImageSize; ++n) box.model->eeprom[size_t(n)] = uint8_t(255 - n);
    AppState state;
    state.Modified = true;
    const EepromImage before = state.image;
    TransferBytes bytes;
    bytes.fill(0x11);
    ScriptedUi ui;
    QList<int> progress;
    const TransferOutcome o =
        RetrieveEeprom(state, box.link, ui, bytes, [&](int done) { progress.append(done); });
    VERIFY_UI(ui);
    QVERIFY(o.ok());
    QCOMPARE(o.done, 80);
    for (int n = 0; n < kTransferBytes; ++n) QCOMPARE(bytes[size_t(n)], uint8_t(255 - n));
    QByteArray wire("\r");
    for (int n = 0; n < kTransferBytes; ++n) wire += ReadCommand(n).toLatin1() + '\r';
    QCOMPARE(box.transport->written, wire);  // 400 echoed bytes after the prompt
    QCOMPARE(progress.size(), 80);
    QCOMPARE(progress.last(), 80);
    // The caller decides what to do with the bytes: the state is not touched.
    QCOMPARE(state.image, before);
    QVERIFY(state.Modified);
}

void TestTransfer::retrieveReplies_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("byte");
    QTest::addColumn<int>("boxValue");
    QTest::addColumn<int>("result");
    QTest::newRow("lower-case reply") << "lower-hex" << 9 << 0xBC << 0xBC;
    QTest::newRow("two-character reply leaves the byte") << "short-read=4" << 4 << 0x3C << 0x11;
    QTest::newRow("inverted") << "bad-read=6" << 6 << 0x0F << 0xF0;
}

void TestTransfer::retrieveReplies() {
    QFETCH(QString, fault);
    QFETCH(int, byte);
    QFETCH(int, boxValue);
    InProcessBox box;
    QVERIFY(box.open());
    std::string error;
    QVERIFY(box.model->faults.parse(fault.toStdString(), error));
    for (int n = 0; n < kImageSize; ++n) box.model->eeprom[size_t(n)] = uint8_t(n);
    box.model->eeprom[size_t(byte)] = uint8_t(boxValue);
    AppState state;
    TransferBytes bytes;
    bytes.fill(0x11);
    ScriptedUi ui;
    QVERIFY(RetrieveEeprom(state, box.link, ui, bytes).ok());
    VERIFY_UI(ui);
    QTEST(int(bytes[size_t(byte)]), "result");
    for (int n = 0; n < kTransferBytes; ++n)
        if (n != byte) QCOMPARE(int(bytes[size_t(n)]), n);
}

void TestTransfer::retrieveFailures_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<End>("end");
    QTest::addColumn<int>("done");
    QTest::newRow("no prompt") << "no-reply"
                               << "Hardware not found" << End::NotFound << 0;
    QTest::newRow("read not acknowledged")
        << "no-read-ack=30"
        << "Hardware did not acknowledge" << End::NoAcknowledge << 30;
    QTest::newRow("box falls silent") << "silent-after=50"
                                      << "Hardware did not acknowledge" << End::NoAcknowledge << 9;
}

void TestTransfer::retrieveFailures() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(End, end);
    InProcessBox box;
    QVERIFY(box.open());
    std::string error;
    QVERIFY(box.model->faults.parse(fault.toStdString(), error));
    for (int n = 0; n < kImageSize; ++n) box.model->eeprom[size_t(n)] = uint8_t(n);
    AppState state;
    TransferBytes bytes;
    bytes.fill(0x11);
    ScriptedUi ui;
    if (!message.isEmpty()) ui.expectError(message);
    const TransferOutcome o = RetrieveEeprom(state, box.link, ui, bytes);
    VERIFY_UI(ui);
    QCOMPARE(o.end, end);
    QTEST(o.done, "done");
    QFETCH(int, done);
    for (int n = 0; n < kTransferBytes; ++n) QCOMPARE(int(bytes[size_t(n)]), n < done ? n : 0x11);
}

void TestTransfer::changesOnTheWire_data() {
    using E = ChangesOutcome::End;
    QTest::addColumn<QList<int>>("changed");  // the box bytes that differ from the project's
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("backupIn");  // "" the usual folder, "blocked" a file in its way,
                                            // "taken" a backup of the same second already there
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("error");
    QTest::addColumn<E>("end");
    QTest::addColumn<int>("readsSent");
    QTest::newRow("box holds the project: reads only") << QList<int>{} << ""
                                                       << "" << true << "" << E::Equal << 80;
    QTest::newRow("one changed byte") << QList<int>{0x42} << ""
                                      << "" << true << "" << E::Written << 80;
    QTest::newRow("several, ascending; a backup never replaced")
        << QList<int>{3, 40, 41, 0x4F} << ""
        << "taken" << true << "" << E::Written << 80;
    QTest::newRow("No to the question") << QList<int>{7} << ""
                                        << "" << false << "" << E::Refused << 80;
    QTest::newRow("failed read: no backup, nothing written")
        << QList<int>{5} << "no-read-ack=30"
        << "" << true << kNoAckText << E::ReadFailed << 31;
    QTest::newRow("reply without a value fails the read")
        << QList<int>{5} << "short-read=9"
        << "" << true << kNoAckText << E::ReadFailed << 10;
    QTest::newRow("failed backup: nothing written")
        << QList<int>{5} << ""
        << "blocked" << true
        << "Error saving the backup %B: Invalid filename. The box was not written."
        << E::BackupFailed << 80;
    QTest::newRow("a project name at the system's limit: the backup's is cut to fit")
        << QList<int>{5} << ""
        << "long" << true << "" << E::Written << 80;
}

void TestTransfer::changesOnTheWire() {
    using E = ChangesOutcome::End;
    QFETCH(QList<int>, changed);
    QFETCH(QString, fault);
    QFETCH(QString, backupIn);
    QFETCH(bool, yes);
    QFETCH(QString, error);
    QFETCH(E, end);
    QFETCH(int, readsSent);
    InProcessBox box;
    QVERIFY(box.open());
    std::string parseError;
    if (!fault.isEmpty()) QVERIFY(box.model->faults.parse(fault.toStdString(), parseError));
    AppState state;
    state.image = patternImage();
    state.Modified = true;
    state.header.setProjectName(QStringLiteral("kept"));
    const AppState before = state;
    for (int n = 0; n < kImageSize; ++n) box.model->eeprom[size_t(n)] = state.image.byte(n);
    for (const int n : changed) box.model->eeprom[size_t(n)] ^= 0x5A;
    const auto boxBefore = box.model->eeprom;

    QTemporaryDir dir;
    // A project file's own name can be 255 bytes; its backup's name adds the time.
    const bool longName = backupIn == QLatin1String("long");
    const BackupPlace place{dir.filePath(QStringLiteral("Backups")),
                            longName ? QString(251, QLatin1Char('L')) : QStringLiteral("demo"),
                            QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))};
    QString expectedBackup = dir.filePath(
        QStringLiteral("Backups/%1-20240305-140709.KEX").arg(place.stem.left(longName ? 235 : 4)));
    if (backupIn == QLatin1String("blocked")) QVERIFY(writeFile(place.dir, "in the way"));
    if (backupIn == QLatin1String("taken")) {
        QVERIFY(QDir().mkpath(place.dir) && writeFile(expectedBackup, "older"));
        expectedBackup.replace(QStringLiteral(".KEX"), QStringLiteral("-2.KEX"));
    }
    ScriptedUi ui;
    if (!error.isEmpty())
        ui.expectError(QString(error).replace(QStringLiteral("%B"), expectedBackup));
    if (end == E::Equal) ui.expectInformation(QStringLiteral("The box holds the project's data."));
    std::vector<int> asked;
    ChangesSteps steps;
    steps.ask = [&](const ProjectDiff& diff, const QString& backupPath) {
        asked = diff.changed;
        return yes && backupPath == expectedBackup;
    };
    const ChangesOutcome o = UpdateChanges(state, box.link, ui, state.image, place, steps);
    VERIFY_UI(ui);
    QCOMPARE(o.end, end);

    // The read as a Retrieve reads; then, only when the writes go ahead, the Update's own
    // prompt check and a write and read-back of each changed byte.
    QByteArray wire = readsWire(readsSent);
    const bool wrote = end == E::Written;
    if (wrote) {
        wire += '\r';
        for (const int n : changed)
            wire += WriteCommand(n, state.image.byte(n)).toLatin1() + "\r" +
                    ReadCommand(n).toLatin1() + '\r';
    }
    QCOMPARE(box.transport->written, wire);
    for (int n = 0; n < kImageSize; ++n)
        QCOMPARE(box.model->eeprom[size_t(n)],
                 wrote && n < kTransferBytes ? state.image.byte(n) : boxBefore[size_t(n)]);
    QCOMPARE(asked, (end == E::Refused || wrote ? std::vector<int>(changed.begin(), changed.end())
                                                : std::vector<int>{}));

    // The backup: the project's header as a save stamps it, the box's bytes over its image.
    const bool backedUp = end != E::ReadFailed && end != E::BackupFailed;
    QCOMPARE(o.backupPath, backedUp ? expectedBackup : QString());
    QCOMPARE(QFileInfo::exists(expectedBackup), backedUp);
    if (backedUp) {
        ProjectHeader header = before.header;
        StampHeaderForSave(header, DayNumber(QDate(2024, 3, 5)));
        EepromImage image = before.image;
        for (int n = 0; n < kTransferBytes; ++n) image.setByte(n, boxBefore[size_t(n)]);
        QCOMPARE(readFile(expectedBackup), ProjectFileBytes(header, image));
    }
    QCOMPARE(state.image, before.image);
    QVERIFY(state.header == before.header);
    QVERIFY(state.Modified);
}

void TestTransfer::backupsOfOneSecond() {
    // One project written into several boxes at once (a workshop's script): every run saves
    // its backup in the same second, and every run keeps its own.
    QTemporaryDir dir;
    constexpr int kRuns = 8;
    for (int round = 0; round < 4; ++round) {
        const QDateTime time(QDate(2024, 3, 5), QTime(14, 7, round));
        std::array<QString, kRuns> paths;
        std::array<bool, kRuns> saved{};
        std::array<ScriptedUi, kRuns> ui;
        std::latch start(kRuns);
        std::vector<std::thread> runs;
        for (int i = 0; i < kRuns; ++i)
            runs.emplace_back([&, i] {
                EepromImage box;
                box.fill(uint8_t(i));
                start.arrive_and_wait();
                saved[size_t(i)] = SaveBackup(ui[size_t(i)], dir.path(), QStringLiteral("shop"),
                                              time, ProjectHeader(), box, paths[size_t(i)]);
            });
        for (std::thread& t : runs) t.join();
        for (int i = 0; i < kRuns; ++i) {
            VERIFY_UI(ui[size_t(i)]);
            QVERIFY(saved[size_t(i)]);
            QCOMPARE(projectImage(paths[size_t(i)]), QByteArray(kImageSize, char(i)));
        }
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 4 * kRuns);
}

void TestTransfer::cliRoundTrip() {
    // Update then Retrieve through kexbox round-trips a changed table and the settings.
    const QString a = dir_.filePath(QStringLiteral("changed.KEX"));
    const QString b = dir_.filePath(QStringLiteral("retrieved.KEX"));
    const QString eeprom = dir_.filePath(QStringLiteral("box.bin"));
    QFile::remove(b);
    QFile::remove(eeprom);
    QCOMPARE(runCli({"new", a, "--force", "--name", "Changed"}).code, 0);
    const CliResult set =
        runCli({"set", a, "--entry", "5=2.5", "--entry", "20=4.1", "--pot", "1=7", "--pot", "4=93",
                "--limit", "3.25", "--invert", "on", "--output", "frequency"});
    QCOMPARE(set.code, 0);

    KexboxProcess kexbox({"--eeprom", eeprom});
    QVERIFY(!kexbox.device.isEmpty());
    const CliResult update = runCli({"update", a, "--port", kexbox.device});
    QVERIFY2(update.code == 0, qPrintable(update.err));
    // Standard error is not a terminal here: no progress, and nothing went wrong.
    QCOMPARE(update.err, QString());
    QCOMPARE(update.out, QString());

    const CliResult retrieve = runCli({"retrieve", b, "--port", kexbox.device});
    QVERIFY2(retrieve.code == 0, qPrintable(retrieve.err));
    QCOMPARE(retrieve.err, QString());
    const QString stats = kexbox.stop();
    // Update: CR, then 80 x (6 + 5) echoed bytes; Retrieve: CR, then 80 x 5; and each run's two
    // opening carriage returns.
    QVERIFY2(stats.contains(QStringLiteral("bytes in: %1\n").arg(2 + 1 + 880 + 2 + 1 + 400)),
             qPrintable(stats));

    const QByteArray image = projectImage(a);
    QCOMPARE(image.size(), kImageSize);
    const QByteArray box = readFile(eeprom);
    QCOMPARE(box.left(80), image.left(80));
    QCOMPARE(box.mid(80), QByteArray(256 - 80, char(0xFF)));
    QCOMPARE(projectImage(b).left(80), image.left(80));

    // The retrieved project shows what the changed one shows.
    const CliResult shownA = runCli({"show", a, "--json"});
    const CliResult shownB = runCli({"show", b, "--json"});
    QCOMPARE(shownB.code, 0);
    const QJsonObject ja = QJsonDocument::fromJson(shownA.out.toUtf8()).object();
    const QJsonObject jb = QJsonDocument::fromJson(shownB.out.toUtf8()).object();
    for (const char* key : {"output", "invert", "pots", "limit", "table"})
        QCOMPARE(jb.value(QLatin1String(key)), ja.value(QLatin1String(key)));
    QCOMPARE(jb.value("output").toString(), QStringLiteral("frequency"));
    QCOMPARE(jb.value("invert").toBool(), true);
    QCOMPARE(jb.value("pots").toArray(), (QJsonArray{7, 0, 0, 93}));
    // A new project: its own header, not the changed one's.
    QCOMPARE(jb.value("header").toObject().value("ProjectName").toString(),
             QStringLiteral("(none)"));
}

void TestTransfer::cliDiffAndChangedOnly() {
    // Two table entries changed after an Update: diff lists them, update --changed-only writes
    // the three bytes that differ (entry 20's high byte stays 03) and keeps the box's old bytes.
    const QString file = dir_.filePath(QStringLiteral("changes.KEX"));
    const QString eeprom = dir_.filePath(QStringLiteral("changes.bin"));
    const QString backups = dir_.filePath(QStringLiteral("changes-backups"));
    QFile::remove(eeprom);
    QCOMPARE(runCli({"new", file, "--force"}).code, 0);
    {
        KexboxProcess kexbox({"--eeprom", eeprom});
        QCOMPARE(runCli({"update", file, "--port", kexbox.device}).code, 0);
    }
    const QByteArray old = readFile(eeprom);
    QCOMPARE(runCli({"set", file, "--entry", "5=2.5", "--entry", "20=4.1"}).code, 0);
    auto kexboxPtr = std::make_unique<KexboxProcess>(QStringList{"--eeprom", eeprom});
    const CliResult diff = runCli({"diff", file, "--port", kexboxPtr->device});
    QCOMPARE(diff.code, 3);
    QCOMPARE(diff.out, QStringLiteral("Entry 5 (0.937 V in): 2.500 V (512) | 0.937 V (192)\n"
                                      "Entry 20 (3.750 V in): 4.102 V (840) | 3.750 V (768)\n"));
    const QJsonObject json =
        QJsonDocument::fromJson(
            runCli({"diff", file, "--port", kexboxPtr->device, "--json"}).out.toUtf8())
            .object();
    QCOMPARE(json.value("equal").toBool(true), false);
    QCOMPARE(json.value("entries").toArray().at(1).toObject().value("bWord").toInt(), 768);

    // The update on a box of its own, for a transcript of just its bytes.
    const QString log = dir_.filePath(QStringLiteral("changes.log"));
    kexboxPtr = std::make_unique<KexboxProcess>(QStringList{"--eeprom", eeprom, "--log", log});
    const CliResult update = runCli(
        {"update", file, "--port", kexboxPtr->device, "--changed-only", "--backup-dir", backups});
    QVERIFY2(update.code == 0, qPrintable(update.err));
    const QStringList shown = update.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(shown.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("/changes-backups/changes-\\d{8}-\\d{6}\\.KEX$"))
                .match(shown.first())
                .hasMatch());
    QCOMPARE(projectImage(shown.first()).left(80), old.left(80));
    kexboxPtr.reset();  // its transcript is complete once it has stopped
    QByteArray pc;
    QFile transcript(log);
    QVERIFY(transcript.open(QIODevice::ReadOnly));
    while (!transcript.atEnd()) {
        const QList<QByteArray> w = transcript.readLine().simplified().split(' ');
        if (w.size() >= 3 && w[1] == "pc") pc += char(w[2].toInt(nullptr, 16));
    }
    const QByteArray image = projectImage(file);
    QByteArray expected = "\r\r" + readsWire() + '\r';
    for (const int n : {10, 11, 41})
        expected +=
            WriteCommand(n, uint8_t(image[n])).toLatin1() + "\r" + ReadCommand(n).toLatin1() + '\r';
    QCOMPARE(pc, expected);
    QCOMPARE(readFile(eeprom).left(80), image.left(80));

    kexboxPtr = std::make_unique<KexboxProcess>(QStringList{"--eeprom", eeprom});
    const CliResult again = runCli(
        {"update", file, "--port", kexboxPtr->device, "--changed-only", "--backup-dir", backups});
    QCOMPARE(again.code, 0);
    QVERIFY(again.out.endsWith(QStringLiteral("KEX\nThe box holds the project's data.\n")));
    const CliResult same = runCli({"diff", file, "--port", kexboxPtr->device});
    QCOMPARE(same.code, 0);
    QCOMPARE(same.out, QStringLiteral("The box holds the project's data.\n"));
}

void TestTransfer::cliRetrieveIntoAnExistingProject() {
    const QString file = dir_.filePath(QStringLiteral("existing.KEX"));
    QCOMPARE(runCli({"new", file, "--force", "--name", "Kept", "--description", "mine"}).code, 0);
    QByteArray boxBytes(256, char(0xFF));
    for (int n = 0; n < 80; ++n) boxBytes[n] = char(n * 2);
    boxBytes[0x42] = 1;  // voltage output
    const QString eeprom = dir_.filePath(QStringLiteral("box2.bin"));
    QVERIFY(writeFile(eeprom, boxBytes));
    const QByteArray before = readFile(file);

    KexboxProcess kexbox({"--eeprom", eeprom});
    const CliResult r = runCli({"retrieve", file, "--port", kexbox.device});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QByteArray after = readFile(file);
    QCOMPARE(after.size(), 768);
    QCOMPARE(after.mid(512, 80), boxBytes.left(80));
    // The rest of the image and the header's own fields stay the project's.
    QCOMPARE(after.mid(512 + 80), before.mid(512 + 80));
    QCOMPARE(after.mid(0x10, 512 - 0x10), before.mid(0x10, 512 - 0x10));
}

void TestTransfer::cliFailures_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<QString>("err");
    QTest::newRow("update, write not acknowledged")
        << "update"
        << "no-ack=12" << true << "Hardware did not acknowledge\n12 of 80 bytes written\n";
    QTest::newRow("update, verify error")
        << "update"
        << "bad-read=3" << true << "Verify error: 26 D9+\n4 of 80 bytes written\n";
    QTest::newRow("update, no box") << "update"
                                    << "no-reply" << true << "Hardware not found\n";
    QTest::newRow("retrieve, read not acknowledged")
        << "retrieve"
        << "no-read-ack=20" << true << "Hardware did not acknowledge\n";
    QTest::newRow("retrieve into a new file, no box")
        << "retrieve"
        << "no-reply" << false << "Hardware not found\n";
    QTest::newRow("diff, no box") << "diff"
                                  << "no-reply" << true << "Hardware not found\n";
    QTest::newRow("changed only, read not acknowledged: no backup")
        << "update --changed-only"
        << "no-read-ack=20" << true << "Hardware did not acknowledge\n";
}

void TestTransfer::cliFailures() {
    QFETCH(QString, command);
    QFETCH(QString, fault);
    QFETCH(bool, fileExists);
    const QString file = dir_.filePath(QStringLiteral("fail.KEX"));
    QFile::remove(file);
    if (fileExists) QCOMPARE(runCli({"new", file}).code, 0);
    const QByteArray before = readFile(file);
    const QString eeprom = dir_.filePath(QStringLiteral("fail.bin"));
    QFile::remove(eeprom);

    KexboxProcess kexbox({"--eeprom", eeprom, "--fault", fault});
    const CliResult r =
        runCli(command.split(QLatin1Char(' ')) << file << "--port" << kexbox.device);
    QCOMPARE(r.code, 1);
    QTEST(r.err, "err");
    QCOMPARE(r.out, QString());
    // A failed Retrieve leaves the project file as it was, and makes none.
    QCOMPARE(QFileInfo::exists(file), fileExists);
    QCOMPARE(readFile(file), before);
    QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("Backups"))));
}

void TestTransfer::cliUsage_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("err");
    const QString missing = dir_.filePath(QStringLiteral("missing.KEX"));
    QTest::newRow("no port") << QStringList{"update", "x.KEX"} << 2
                             << "varnel-cli: --port DEVICE is required\n";
    QTest::newRow("port without value")
        << QStringList{"retrieve", "x.KEX", "--port"} << 2 << "varnel-cli: --port needs a value\n";
    QTest::newRow("two files") << QStringList{"update", "a", "b", "--port", "/dev/null"} << 2
                               << "varnel-cli: update needs exactly one FILE\n";
    QTest::newRow("unknown option") << QStringList{"retrieve", "a", "--port", "/dev/null", "--fast"}
                                    << 2 << "varnel-cli: unknown option --fast\n";
    QTest::newRow("update of a missing project")
        << QStringList{"update", missing, "--port", "/dev/null"} << 1 << missing + " not found\n";
    QTest::newRow("diff without a port")
        << QStringList{"diff", "x.KEX"} << 2 << "varnel-cli: --port DEVICE is required\n";
    QTest::newRow("backup folder without --changed-only")
        << QStringList{"update", "a", "--port", "/dev/null", "--backup-dir", "b"} << 2
        << "varnel-cli: --backup-dir needs --changed-only\n";
    QTest::newRow("diff of a missing project")
        << QStringList{"diff", missing, "--port", "/dev/null"} << 1 << missing + " not found\n";
    QTest::newRow("port that does not exist")
        << QStringList{"retrieve", missing, "--port", dir_.filePath("ttyGone")} << 1
        << QStringLiteral("Specified device not found (%1).\n").arg(dir_.filePath("ttyGone"));
}

void TestTransfer::cliUsage() {
    QFETCH(QStringList, args);
    const CliResult r = runCli(args);
    QTEST(r.code, "code");
    QTEST(r.err, "err");
    QVERIFY(!QFileInfo::exists(dir_.filePath(QStringLiteral("missing.KEX"))));
}

void TestTransfer::cliProgressOnATerminal_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("lastShown");
    QTest::addColumn<QString>("after");  // what follows the progress line
    QTest::newRow("update") << "update" << QString() << 80 << QString();
    QTest::newRow("retrieve") << "retrieve" << QString() << 80 << QString();
    // The message starts on a line of its own.
    QTest::newRow("update stopped")
        << "update"
        << "no-ack=12" << 12 << "Hardware did not acknowledge\n12 of 80 bytes written\n";
}

void TestTransfer::cliProgressOnATerminal() {
    QFETCH(QString, command);
    QFETCH(QString, fault);
    QFETCH(int, lastShown);
    QFETCH(QString, after);
    const QString file = dir_.filePath(QStringLiteral("tty.KEX"));
    QCOMPARE(runCli({"new", file, "--force"}).code, 0);
    QStringList boxArgs;
    if (!fault.isEmpty()) boxArgs << "--fault" << fault;
    KexboxProcess kexbox(boxArgs);
    CliOnATerminal cli({command, file, "--port", kexbox.device});
    QVERIFY(cli.process.waitForFinished(30000));
    QCOMPARE(cli.process.exitCode(), fault.isEmpty() ? 0 : 1);
    const QByteArray text = cli.read();

    const QString label = command == QLatin1String("update") ? QStringLiteral("Update EEPROM")
                                                             : QStringLiteral("Retrieve EEPROM");
    QString expected;
    for (int n = 1; n <= lastShown; ++n)
        expected += QStringLiteral("\r%1: %2 of 80 bytes").arg(label).arg(n);
    expected += QLatin1Char('\n') + after;
    QCOMPARE(QString::fromUtf8(text), expected);
}

void TestTransfer::cliInterrupted_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<int>("signal");
    QTest::newRow("update, SIGINT") << "update" << true << SIGINT;
    QTest::newRow("update, SIGTERM") << "update" << true << SIGTERM;
    QTest::newRow("retrieve, SIGINT") << "retrieve" << true << SIGINT;
    QTest::newRow("retrieve into a new file, SIGTERM") << "retrieve" << false << SIGTERM;
}

void TestTransfer::cliInterrupted() {
    QFETCH(QString, command);
    QFETCH(bool, fileExists);
    QFETCH(int, signal);
    const QString file = dir_.filePath(QStringLiteral("interrupted.KEX"));
    QFile::remove(file);
    if (fileExists) QCOMPARE(runCli({"new", file}).code, 0);
    const QByteArray before = readFile(file);
    // A paced line, so that the transfer is still running when the signal comes.
    KexboxProcess kexbox({"--baud", "9600"});
    CliOnATerminal cli({command, file, "--port", kexbox.device});
    const bool update = command == QLatin1String("update");
    const QString label =
        update ? QStringLiteral("Update EEPROM") : QStringLiteral("Retrieve EEPROM");
    QVERIFY(cli.read(label.toLatin1() + ": 3 of 80 bytes", 15000).contains(": 3 of"));
    ::kill(pid_t(cli.process.processId()), signal);
    QVERIFY(cli.process.waitForFinished(5000));
    QCOMPARE(cli.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(cli.process.exitCode(), 128 + signal);

    // The last progress line (stopped part-way), then the operation's message as after Abort.
    const QString text = QString::fromUtf8(cli.read());
    const QRegularExpression end(
        QStringLiteral("\r%1: ([3-9]|[1-7]\\d) of 80 bytes\n(Hardware did not acknowledge\n)?%2$")
            .arg(label, update ? QStringLiteral("\\d+ of 80 bytes written\n") : QString()));
    QVERIFY2(end.match(text).hasMatch(), qPrintable(text.right(80)));
    QCOMPARE(QFileInfo::exists(file), fileExists);
    QCOMPARE(readFile(file), before);
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
