#include "app/kex_main.h"
#include "base/app_state.h"
#include "base/project_document.h"
#include "box_model.h"
#include "image/table_view.h"
#include "link/box_changes.h"
#include "link/box_link.h"
#include "link/box_ops.h"
#include "link/box_transfer.h"
#include "support/in_process_box.h"
#include "support/kexbox_process.h"
#include "support/scripted_ui.h"
#include "support/window_fixture.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <memory>

using namespace varnel;
using varnel::test::InProcessBox;
using varnel::test::KexboxProcess;
using varnel::test::ScriptedUi;
using varnel::test::WindowFixture;

// The faults of a cheap adapter and a dying box, against every box operation: each ends with
// the message its failure gives, within its time-outs; the project stays as promised; and the
// next operation on the same link works (or, once the box is gone, fails at once).
//
// The rows are one table for every operation. They run twice: on kexbox through a real
// pseudo-terminal with the program's 1000 ms time-out, and on the box model in this process with
// a short time-out, where the same waits cost a quarter of the time.

namespace {

constexpr int kPtyTimeout = 1000;
constexpr int kInProcessTimeout = 250;

enum class Next { Heals, Gone };

// One row: the operation, the box's faults, the message, and how long the operation may wait,
// in time-outs: it ends after at least waits x T and well before another T has passed. Fault
// words are kexbox's; "delay-before" and "delay-after" are replies that arrive 0.9 T and 1.1 T
// after their carriage return; "opening-late=P" has the box answer the link's opening carriage
// returns P % of T late, after the operation has started. die-at=4 kills the box as the command
// after the prompt check arrives (bytes 1 and 2 are the link's opening carriage returns, 3 the
// prompt check's).
//
// The transfers meet their fault in the middle, at EEPROM byte 40, with from= and until=: an
// Update sends 11 bytes per EEPROM byte (write "C28vv" CR, then read "C28*" CR), so byte 40's
// write is line bytes 444-449 and its read 450-454; a Retrieve sends 5, so byte 40's read is
// line bytes 204-208.
struct FaultRow {
    const char* op;
    const char* name;
    const char* faults;
    const char* message;  // nullptr: the operation succeeds
    double waits;
    Next next;
    int keptByte = -1;  // a byte a complete Retrieve leaves as the project had it
};

const char* const kNotFound = "Hardware not found";
const char* const kError1 = "Invalid response from hardware (error 1)";
const char* const kError2 = "Invalid response from hardware (error 2)";
const char* const kError3 = "Invalid response from hardware (error 3)";
const char* const kNoAck = "Hardware did not acknowledge";

const FaultRow kRows[] = {
    // Connect: the prompt check, then "Q".
    {"connect", "silence", "silent-after=2", kNotFound, 2, Next::Heals},
    // The box's CR ahead of the version reply is taken for the missing echo, which shifts the
    // reply by one character: its third is no longer the "V".
    {"connect", "no echo", "no-echo", kError3, 1, Next::Heals},
    {"connect", "no reply", "no-reply", kNotFound, 1, Next::Heals},
    {"connect", "no reply to Q", "no-reply on=Q", kError1, 1, Next::Heals},
    {"connect", "garbage", "garbage", kNotFound, 1, Next::Heals},
    {"connect", "garbage for Q", "garbage on=Q", kError1, 1, Next::Heals},
    {"connect", "truncated prompt", "truncate on=prompt", kNotFound, 1, Next::Heals},
    {"connect", "truncated Q", "truncate on=Q", kError1, 1, Next::Heals},
    {"connect", "Q just in time", "delay-before on=Q", nullptr, 0.9, Next::Heals},
    {"connect", "Q just too late", "delay-after on=Q", kError1, 1, Next::Heals},
    {"connect", "prompt just too late", "delay-after on=prompt", kNotFound, 1, Next::Heals},
    // A slow box: the operation waits for the opening's answers, not only for a quiet line.
    {"connect", "opening answered at 0.11 T", "opening-late=11", nullptr, 0, Next::Heals},
    {"connect", "opening answered at 0.5 T", "opening-late=50", nullptr, 0.3, Next::Heals},
    {"connect", "opening answered at 0.9 T", "opening-late=90", nullptr, 0.7, Next::Heals},
    {"connect", "box gone at Q", "die-at=4", kError1, 0, Next::Gone},
    {"connect", "box gone at the prompt", "die-at=3", kNotFound, 0, Next::Gone},

    // Monitor: the prompt check, then "M" (its first line), then the value line.
    {"monitor", "silence", "silent-after=2", kNotFound, 2, Next::Heals},
    // The shifted reply still has its line feed and its values in place: the curve is drawn.
    {"monitor", "no echo", "no-echo", nullptr, 1, Next::Heals},
    {"monitor", "no reply", "no-reply", kNotFound, 1, Next::Heals},
    {"monitor", "no reply to M", "no-reply on=M", kError1, 1, Next::Heals},
    {"monitor", "garbage for M", "garbage on=M", kError1, 1, Next::Heals},
    // The first line comes whole; the value line is cut and never ends.
    {"monitor", "truncated M", "truncate on=M", kError2, 1, Next::Heals},
    {"monitor", "M just in time", "delay-before on=M", nullptr, 0.9, Next::Heals},
    {"monitor", "M just too late", "delay-after on=M", kError1, 1, Next::Heals},
    {"monitor", "opening answered at 0.9 T", "opening-late=90", nullptr, 0.7, Next::Heals},
    {"monitor", "box gone at M", "die-at=4", kError1, 0, Next::Gone},

    // Update: the prompt check, then a write and a read-back per byte.
    {"update", "silence", "silent-after=2", kNotFound, 2, Next::Heals},
    {"update", "no prompt", "no-reply on=prompt", kNotFound, 1, Next::Heals},
    // Five unechoed characters of the first write cost a time-out each; then its "+" is taken
    // for the CR's echo and the acknowledgement never comes.
    {"update", "no echo", "no-echo", kNoAck, 6, Next::Heals},
    {"update", "no acknowledgement at byte 40", "no-reply from=444 until=449", kNoAck, 1,
     Next::Heals},
    {"update", "garbage for byte 40's read", "garbage from=450 until=454", kNoAck, 1, Next::Heals},
    // Half of "+\r\n>" still holds the acknowledgement: only the prompt after it is awaited in
    // vain, and the transfer goes on.
    {"update", "truncated acknowledgement", "truncate from=444 until=449", nullptr, 1, Next::Heals},
    {"update", "read of byte 40 just in time", "delay-before from=450 until=454", nullptr, 0.9,
     Next::Heals},
    {"update", "read of byte 40 just too late", "delay-after from=450 until=454", kNoAck, 1,
     Next::Heals},
    {"update", "box gone at byte 40", "die-at=444", kNoAck, 0, Next::Gone},
    {"update", "opening answered at 0.5 T", "opening-late=50", nullptr, 0.3, Next::Heals},

    // Retrieve: the prompt check, then a read per byte.
    {"retrieve", "silence", "silent-after=2", kNotFound, 2, Next::Heals},
    {"retrieve", "no reply to byte 40", "no-reply from=204 until=208", kNoAck, 1, Next::Heals},
    {"retrieve", "garbage for byte 40", "garbage from=204 until=208", kNoAck, 1, Next::Heals},
    // "vv+" of "vv+\r\n>" still holds the value; only the prompt is awaited in vain.
    {"retrieve", "truncated byte 40", "truncate from=204 until=208", nullptr, 1, Next::Heals},
    // Four unechoed characters cost a time-out each; the value's first digit is taken for the
    // CR's echo, and a reply of two characters leaves the byte as the project had it.
    {"retrieve", "no echo for byte 40", "no-echo from=204 until=208", nullptr, 4, Next::Heals, 40},
    {"retrieve", "byte 40 just in time", "delay-before from=204 until=208", nullptr, 0.9,
     Next::Heals},
    {"retrieve", "byte 40 just too late", "delay-after from=204 until=208", kNoAck, 1, Next::Heals},
    {"retrieve", "box gone at byte 40", "die-at=204", kNoAck, 0, Next::Gone},

    // Update Changes: the prompt check and 80 reads (line bytes 3-403), the prompt check before
    // the writes (404), then a write and a read-back of each changed byte, the first being byte
    // 0: its write is line bytes 405-410, its read-back 411-415.
    {"changes", "read of byte 40 not acknowledged", "no-reply from=204 until=208", kNoAck, 1,
     Next::Heals},
    {"changes", "no prompt before the writes", "no-reply on=prompt from=404", kNotFound, 1,
     Next::Heals},
    {"changes", "first write not acknowledged", "no-reply from=405 until=410", kNoAck, 1,
     Next::Heals},
    {"changes", "its read-back not acknowledged", "no-reply from=411 until=415", kNoAck, 1,
     Next::Heals},
    {"changes", "its read-back wrong", "bad-read=0 from=411", "Verify error: 00 FF+", 0,
     Next::Heals},
    {"changes", "box gone at the first write", "die-at=405", kNoAck, 0, Next::Gone},
};

// What the box holds before each row: a table unlike the project's, a valid mode, pots and
// limit, so that a Retrieve shows whether it took the box's bytes.
std::array<uint8_t, 256> boxEeprom() {
    std::array<uint8_t, 256> e;
    e.fill(0x5A);
    for (int i = 0; i < 33; ++i) {
        const int w = 1023 - 30 * i;
        e[size_t(2 * i)] = uint8_t(w >> 8);
        e[size_t(2 * i + 1)] = uint8_t(w & 0xFF);
    }
    e[0x42] = kModeVoltage;
    for (int k = 0; k < 4; ++k) e[size_t(0x43 + k)] = uint8_t(5 + k);
    e[0x48] = 0x03;
    e[0x49] = 0x20;  // the limit, 800
    return e;
}

const std::array<int16_t, 4> kAdjust = {-16, 16, 100, -100};

// The line under test, whichever box is at its other end.
class Line {
  public:
    virtual ~Line() = default;
    virtual BoxLink& link() = 0;
    virtual void heal() = 0;
    virtual int timeout() const = 0;
    // The box's EEPROM as it is now.
    virtual std::array<uint8_t, 256> eeprom() = 0;
};

class PtyLine : public Line {
  public:
    explicit PtyLine(const QStringList& faults) {
        const auto start = boxEeprom();
        QFile file(dir.filePath(QStringLiteral("box.e2p")));
        if (file.open(QIODevice::WriteOnly))
            file.write(reinterpret_cast<const char*>(start.data()), qsizetype(start.size()));
        file.close();
        QStringList args{QStringLiteral("--adjust"), QStringLiteral("-16,16,100,-100"),
                         QStringLiteral("--eeprom"), file.fileName()};
        for (const QString& f : faults) args << QStringLiteral("--fault") << f;
        box = std::make_unique<KexboxProcess>(args);
        link_.PortOverride = box->device;
        link_.TimeoutMs = kPtyTimeout;
        QString error;
        opened = !box->device.isEmpty() && link_.OpenLink(error);
        link_.WaitQuiet(100);
    }
    BoxLink& link() override { return link_; }
    void heal() override { box->heal(); }
    int timeout() const override { return kPtyTimeout; }
    // kexbox writes its EEPROM file after every byte it stores.
    std::array<uint8_t, 256> eeprom() override {
        std::array<uint8_t, 256> e{};
        QFile file(dir.filePath(QStringLiteral("box.e2p")));
        if (file.open(QIODevice::ReadOnly) && file.size() == 256)
            file.read(reinterpret_cast<char*>(e.data()), 256);
        return e;
    }
    QTemporaryDir dir;
    std::unique_ptr<KexboxProcess> box;
    BoxLink link_;
    bool opened = false;
};

// The box model in this process, with the program's part of the faults (delays, a box that
// dies) played by the line.
class InProcessLine : public Line {
  public:
    explicit InProcessLine(const QStringList& faults) : box(kInProcessTimeout) {
        for (const QString& f : faults) {
            std::string error;
            parsed = parsed && box.model->faults.parse(f.toStdString(), error);
        }
        auto model = box.model;
        InProcessTransport* transport = box.transport;
        box.transport->peer = [model, transport](quint8 b) {
            if (model->faults.dieAt >= 0 && model->bytesIn + 1 >= uint64_t(model->faults.dieAt)) {
                QTimer::singleShot(0, transport, [transport] { transport->vanish(); });
                return QByteArray();
            }
            const std::string s = model->feed(b);
            const QByteArray out(s.data(), qsizetype(s.size()));
            if (!model->replyDelayed) return out;
            const QByteArray reply = out.mid(qsizetype(model->replyAt));
            QTimer::singleShot(model->faults.delayMs, Qt::PreciseTimer, transport,
                               [transport, reply] { transport->inject(reply); });
            return out.left(qsizetype(model->replyAt));
        };
        box.model->adjust = kAdjust;
        box.model->eeprom = boxEeprom();
        opened = box.open();
    }
    BoxLink& link() override { return box.link; }
    void heal() override { box.model->faults = kexbox::Faults{}; }
    int timeout() const override { return kInProcessTimeout; }
    std::array<uint8_t, 256> eeprom() override { return box.model->eeprom; }
    InProcessBox box;
    bool opened = false;
    bool parsed = true;
};

// The fault words of a row, with the delays made concrete for a time-out of t ms. The faults
// start with the operation: the link's opening carriage returns are answered well, so that
// their late answers cannot reach into the operation.
QStringList faultWords(const char* faults, int t) {
    // A row's own from= comes later and wins.
    QStringList words{QStringLiteral("from=3")};
    words += QString::fromLatin1(faults).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QStringList concrete;
    for (const QString& w : words) {
        if (w == QLatin1String("delay-before"))
            concrete << QStringLiteral("delay=%1").arg(t * 9 / 10);
        else if (w == QLatin1String("delay-after"))
            concrete << QStringLiteral("delay=%1").arg(t * 11 / 10);
        else if (w.startsWith(QLatin1String("opening-late=")))
            concrete << QStringLiteral("delay=%1").arg(t * w.mid(13).toInt() / 100)
                     << QStringLiteral("on=prompt") << QStringLiteral("from=1")
                     << QStringLiteral("until=2");
        else
            concrete << w;
    }
    return concrete;
}

struct Outcome {
    bool ok = false;
    MonitorResult monitored;
    bool reachedBox = true;  // false: the box did not answer the prompt check
    int written = 0;         // bytes an Update had acknowledged
    std::vector<int> order;  // the bytes it writes, in order (all 80, or the changed ones)
};

// What an operation may change of the project and of the box, checked against copies taken
// before it.
void checkProject(const QString& op, const Outcome& outcome, int keptByte, const AppState& before,
                  const AppState& after, const std::array<uint8_t, 256>& boxBefore,
                  const std::array<uint8_t, 256>& boxAfter) {
    const bool talkOnly = op == QLatin1String("connect") || op == QLatin1String("monitor");
    const bool retrieved = op == QLatin1String("retrieve") && outcome.ok;
    if (retrieved) {
        // The box's 80 bytes replace the image's, and the project counts as unchanged.
        for (int i = 0; i < kTransferBytes; ++i)
            QCOMPARE(after.image.byte(i),
                     i == keptByte ? before.image.byte(i) : boxAfter[size_t(i)]);
        for (int i = kTransferBytes; i < kImageSize; ++i)
            QCOMPARE(after.image.byte(i), before.image.byte(i));
        QVERIFY(!after.Modified);
    } else {
        // Talking to the box, an Update, and a Retrieve that did not complete leave the image,
        // the header and the unsaved changes alone.
        QVERIFY(after.image == before.image);
        QCOMPARE(after.Modified, before.Modified);
    }
    QVERIFY(after.header == before.header);
    QCOMPARE(after.ProjectState, before.ProjectState);
    if (talkOnly || op == QLatin1String("retrieve") || !outcome.reachedBox) {
        QVERIFY(boxAfter == boxBefore);  // nothing written into the box
    } else {
        // The acknowledged bytes are the project's; past the byte that failed, the box's own.
        // (The failing byte itself may have been stored without its acknowledgement.)
        const int count = int(outcome.order.size());
        const int through = outcome.ok ? count : outcome.written;
        for (int k = 0; k < count; ++k) {
            const size_t i = size_t(outcome.order[size_t(k)]);
            if (k < through) QCOMPARE(boxAfter[i], before.image.byte(int(i)));
            if (k > through) QCOMPARE(boxAfter[i], boxBefore[i]);
        }
        for (int i = 0; i < kTransferBytes; ++i)
            if (std::find(outcome.order.begin(), outcome.order.end(), i) == outcome.order.end())
                QCOMPARE(boxAfter[size_t(i)], boxBefore[size_t(i)]);
    }
}

// Runs an operation as the window does: the operation (a Retrieve reads into a copy and applies
// it only when complete), then the refresh that clears the abort flag.
Outcome runOperation(const QString& op, AppState& state, BoxLink& link, ScriptedUi& ui) {
    Outcome o;
    o.monitored.adjust = {7, 7, 7, 7};
    if (op == QLatin1String("connect")) {
        o.ok = ConnectBox(state, link, ui);
        if (o.ok != state.Connected) qWarning("Connected does not follow the result");
    } else if (op == QLatin1String("monitor")) {
        o.ok = MonitorBox(state, link, ui, false, o.monitored);
    } else if (op == QLatin1String("update")) {
        const TransferOutcome t = UpdateEeprom(state, link, ui);
        o.ok = t.ok();
        o.reachedBox = t.end != TransferOutcome::End::NotFound;
        o.written = t.written;
        for (int i = 0; i < kTransferBytes; ++i) o.order.push_back(i);
    } else if (op == QLatin1String("changes")) {
        QTemporaryDir backups;
        const BackupPlace place{backups.path(), QStringLiteral("faults"),
                                QDateTime::currentDateTime()};
        const ChangesOutcome c = UpdateChanges(state, link, ui, state.image, place, {});
        o.ok = c.ok();
        using End = ChangesOutcome::End;
        o.reachedBox = c.end == End::Written ||
                       (c.end == End::WriteFailed && c.write.end != TransferOutcome::End::NotFound);
        o.written = c.write.written;
        o.order = c.diff.changed;
    } else if (op == QLatin1String("retrieve")) {
        TransferBytes bytes;
        for (int i = 0; i < kTransferBytes; ++i) bytes[size_t(i)] = state.image.byte(i);
        const TransferOutcome t = RetrieveEeprom(state, link, ui, bytes);
        o.ok = t.ok();
        if (o.ok) {
            PlainProjectControls controls;
            controls.output = state.image.isFrequencyOutput() ? 1 : 0;
            controls.limit = LimitText(state.image, controls.output == 1);
            ProjectDocument document(state, ui, controls);
            controls.attach(document);
            document.ApplyRetrieved(bytes);
        }
    } else {
        qWarning("unknown operation %s", qPrintable(op));
    }
    state.AbortFlag = false;
    return o;
}

AppState projectState() {
    AppState s;
    s.ProjectState = DocState::File;
    s.Modified = true;
    s.header.setHardwareVersion(10);
    s.header.setProjectName(QStringLiteral("fault matrix"));
    for (int i = 0; i < 33; ++i) s.image.setEntry(i, uint16_t(std::min(1023, 31 * i)));
    s.image.setModeByte(kModeVoltage);
    return s;
}

}  // namespace

class TestWireFaults : public QObject {
    Q_OBJECT
  private slots:
    void pty_data() { rows(); }
    void pty();
    void inProcess_data() { rows(); }
    void inProcess();
    void boxGoneInTheWindow();
    void kexboxFaultWords_data();
    void kexboxFaultWords();

  private:
    void rows();
    void runRow(Line& line, const FaultRow& row);
};

void TestWireFaults::rows() {
    QTest::addColumn<int>("index");
    for (size_t i = 0; i < std::size(kRows); ++i)
        QTest::newRow(qPrintable(
            QStringLiteral("%1: %2").arg(QLatin1String(kRows[i].op), QLatin1String(kRows[i].name))))
            << int(i);
}

void TestWireFaults::runRow(Line& line, const FaultRow& row) {
    const QString op = QString::fromLatin1(row.op);
    const int t = line.timeout();
    AppState state = projectState();
    // Monitor runs once a box has connected; nothing in it depends on that.
    state.Connected = op == QLatin1String("monitor");
    const AppState before = state;
    const auto boxBefore = line.eeprom();
    ScriptedUi ui;
    if (row.message) ui.expectError(QString::fromLatin1(row.message));

    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = runOperation(op, state, line.link(), ui);
    const qint64 ms = clock.elapsed();
    VERIFY_UI(ui);
    QCOMPARE(outcome.ok, row.message == nullptr);
    // Every wait ends with its time-out: at least the waits the row names, and never another
    // whole time-out more. A box that dies ends the waits early, at the latest within two.
    const double low = row.waits * t - 30;
    const double high = row.next == Next::Gone ? 2.0 * t + 300 : row.waits * t + t / 2.0 + 150;
    QVERIFY2(ms >= low && ms <= high,
             qPrintable(QStringLiteral("%1 ms, expected %2..%3").arg(ms).arg(low).arg(high)));
    checkProject(op, outcome, row.keptByte, before, state, boxBefore, line.eeprom());
    if (op == QLatin1String("monitor")) {
        if (outcome.ok) {
            for (int k = 0; k < 4; ++k) QCOMPARE(outcome.monitored.adjust[k], int(kAdjust[k]));
        } else {
            // A failed Monitor keeps the previous curve: nothing was handed back.
            QCOMPARE(outcome.monitored.adjust, (std::array<int, 4>{7, 7, 7, 7}));
            QCOMPARE(state.Connected, true);
        }
    }

    // The next operation, a moment later (when the user clicks again).
    QTest::qWait(t / 5 + 50);
    if (row.next == Next::Heals) {
        line.heal();
        QTest::qWait(20);
        ScriptedUi next;
        AppState again = projectState();
        QVERIFY(runOperation(QStringLiteral("connect"), again, line.link(), next).ok);
        // The same transfer again, now through.
        if (op != QLatin1String("connect") && op != QLatin1String("monitor"))
            QVERIFY(runOperation(op, again, line.link(), next).ok);
        const Outcome m = runOperation(QStringLiteral("monitor"), again, line.link(), next);
        QVERIFY(m.ok);
        for (int k = 0; k < 4; ++k) QCOMPARE(m.monitored.adjust[k], int(kAdjust[k]));
        VERIFY_UI(next);
    } else {
        QVERIFY(!line.link().isOpen());
        ScriptedUi next;
        next.expectError(QString::fromLatin1(kNotFound));
        AppState again = projectState();
        clock.restart();
        QVERIFY(!runOperation(QStringLiteral("connect"), again, line.link(), next).ok);
        // Nothing can come from a closed port: no wait runs its time-out.
        QVERIFY2(clock.elapsed() < t / 2, qPrintable(QString::number(clock.elapsed())));
        VERIFY_UI(next);
    }
}

void TestWireFaults::pty() {
    QFETCH(int, index);
    const FaultRow& row = kRows[index];
    PtyLine line(faultWords(row.faults, kPtyTimeout));
    QVERIFY2(line.opened, "kexbox did not start");
    runRow(line, row);
}

void TestWireFaults::inProcess() {
    QFETCH(int, index);
    const FaultRow& row = kRows[index];
    InProcessLine line(faultWords(row.faults, kInProcessTimeout));
    QVERIFY(line.parsed);
    QVERIFY(line.opened);
    runRow(line, row);
}

// The whole window while the box is killed in the middle of a Monitor: the message, the
// previous curve and the project stay, the button still reads "Monitor", and the next click
// reports "Hardware not found" at once instead of waiting.
void TestWireFaults::boxGoneInTheWindow() {
    // Bytes 1-2 open the link, 3-5 are the Connect, 6-8 the first Monitor; the second Monitor's
    // "M" is byte 10.
    KexboxProcess box({"--adjust", "-16,16,100,-100", "--fault", "die-at=10"});
    QVERIFY(!box.device.isEmpty());
    WindowFixture w;
    w.make();
    w.link->PortOverride = box.device;
    w.form->FormActivate();
    QVERIFY(w.link->isOpen());
    w.link->WaitQuiet(100);
    w.state->ProjectState = DocState::New;
    w.state->header.setHardwareVersion(10);
    for (int i = 0; i < 33; ++i) w.state->image.setEntry(i, uint16_t(std::min(1023, 31 * i)));
    w.form->UpdateControls();
    const EepromImage image = w.state->image;

    w.form->AbortBtn->click();  // Connect
    QCOMPARE(w.form->AbortBtn->text(), QStringLiteral("Monitor"));
    w.form->AbortBtn->click();  // Monitor
    QCOMPARE(w.form->Series2->count(), 32);
    const QList<QPointF> curve = w.form->Series2->points();

    w.ui.expectError(QString::fromLatin1(kError1));
    QElapsedTimer clock;
    clock.start();
    w.form->AbortBtn->click();  // Monitor, and the box dies
    QVERIFY2(clock.elapsed() < 2 * kPtyTimeout + 300, qPrintable(QString::number(clock.elapsed())));
    VERIFY_UI(w.ui);
    QVERIFY(!w.link->isOpen());
    QCOMPARE(w.form->Series2->points(), curve);
    QCOMPARE(w.form->AbortBtn->text(), QStringLiteral("Monitor"));
    QVERIFY(w.state->image == image);
    QVERIFY(!w.state->Modified);

    w.ui.expectError(QString::fromLatin1(kNotFound));
    clock.restart();
    w.form->AbortBtn->click();
    QVERIFY2(clock.elapsed() < kPtyTimeout / 2, qPrintable(QString::number(clock.elapsed())));
    VERIFY_UI(w.ui);
    QCOMPARE(w.form->Series2->points(), curve);
}

void TestWireFaults::kexboxFaultWords_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("delayed");  // the part the program holds back
    QTest::newRow("garbage") << "garbage" << QByteArray("Q\r")
                             << QByteArray("Q\r?#~!*@\x01\x7f\xfe\x80\x1b%?") << QByteArray();
    QTest::newRow("truncate") << "truncate" << QByteArray("Q\r") << QByteArray("Q\r\r\nV1.0")
                              << QByteArray();
    QTest::newRow("truncate on=C") << "truncate on=C" << QByteArray("Q\rC00*\r")
                                   << QByteArray("Q\r\r\nV1.0 KEX\r\n>C00*\rFF+") << QByteArray();
    QTest::newRow("delay") << "delay=5" << QByteArray("\r") << QByteArray("\r\r\n>")
                           << QByteArray("\r\n>");
    QTest::newRow("delay on=M") << "delay=5 on=M" << QByteArray("\r") << QByteArray("\r\r\n>")
                                << QByteArray();
    // Faults held to a stretch of bytes: here only the second command's reply is cut.
    QTest::newRow("from and until") << "truncate from=2 until=3" << QByteArray("\rQ\r\r")
                                    << QByteArray("\r\r\n>Q\r\r\nV1.0\r\r\n>") << QByteArray();
    QTest::newRow("no-reply on=prompt") << "no-reply on=prompt" << QByteArray("\rQ\r")
                                        << QByteArray("\rQ\r\r\nV1.0 KEX\r\n>") << QByteArray();
}

void TestWireFaults::kexboxFaultWords() {
    QFETCH(QString, word);
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, delayed);
    kexbox::BoxModel box;
    std::string error;
    for (const QString& w : word.split(QLatin1Char(' ')))
        QVERIFY2(box.faults.parse(w.toStdString(), error), error.c_str());
    QByteArray out;
    QByteArray held;
    for (const char c : in) {
        const std::string s = box.feed(uint8_t(c));
        out += QByteArray(s.data(), qsizetype(s.size()));
        if (box.replyDelayed)
            held += QByteArray(s.data() + box.replyAt, qsizetype(s.size() - box.replyAt));
    }
    QTEST(out, "out");
    QCOMPARE(held, delayed);
    QVERIFY(!box.faults.parse("on=X", error));
    QVERIFY(!box.faults.parse("delay", error));
}

QTEST_MAIN(TestWireFaults)
#include "tst_wirefaults.moc"
