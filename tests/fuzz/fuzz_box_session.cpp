// Whole box operations over a line that does whatever the input says: echoes or not, any bytes
// as replies, in any cut. Each operation ends (every wait ends at once when nothing more can
// come, as a time-out would), reports one of its own messages or succeeds, changes only what it
// may, and afterwards a healthy box on the same link connects and is monitored correctly. The
// terminal screen takes every byte received, as in the program.

#include "base/app_state.h"
#include "base/project_document.h"
#include "base/ui_services.h"
#include "box_model.h"
#include "fuzz_support.h"
#include "image/table_view.h"
#include "link/box_link.h"
#include "link/box_ops.h"
#include "link/box_transfer.h"
#include "link/byte_transport.h"
#include "link/terminal_screen.h"

#include <QStringList>

#include <functional>
#include <memory>

using namespace varnel;
using varnel::fuzz::Reader;
using varnel::fuzz::RecordingUi;

namespace {

// A line whose far end answers at once, while the PC writes. It reports itself closed whenever
// it has nothing more to deliver, so a wait that finds the ring empty ends at once, as its
// time-out would (nothing the PC does while waiting makes the far end speak).
class ScriptTransport : public ByteTransport {
  public:
    std::function<QByteArray(quint8)> peer;

    bool open(const QString&, QString& error) override {
        error.clear();
        return true;
    }
    bool isOpen() const override { return !rx_.isEmpty(); }
    void close() override { rx_.clear(); }
    void write(const QByteArray& bytes) override {
        for (const char c : bytes)
            if (peer) rx_ += peer(quint8(c));
        if (!rx_.isEmpty()) emit readyRead();
    }
    QByteArray readAll() override {
        QByteArray r;
        r.swap(rx_);
        return r;
    }
    void purge() override { rx_.clear(); }
    void setDtr(bool) override {}
    void setRts(bool) override {}

  private:
    QByteArray rx_;  // answered, not yet read by the link
};

// Records the messages; answers No to any question (no operation here asks one).

// The far end the input describes. For each byte the PC sends, one control byte: bit 0 echoes
// it, bit 1 sends a stray byte (the next input byte) first; at a carriage return, bit 2 answers
// with the next n input bytes (n = the byte after the control byte). An exhausted input is a
// silent line.
QByteArray scripted(Reader& in, quint8 b) {
    if (in.empty()) return {};
    const uint8_t control = in.byte();
    QByteArray out;
    if (control & 2) out += char(in.byte());
    if (control & 1) out += char(b);
    if (b == '\r' && (control & 4)) out += in.take(in.byte());
    return out;
}

const QStringList kConnectMessages = {
    QStringLiteral("Hardware not found"),
    QStringLiteral("Invalid response from hardware (error 1)"),
    QStringLiteral("Invalid response from hardware (error 2)"),
    QStringLiteral("Invalid response from hardware (error 3)"),
    QStringLiteral("Invalid response from hardware (error 4)"),
    QStringLiteral("Incorrect hardware version"),
};
const QStringList kMonitorMessages = {
    QStringLiteral("Hardware not found"),
    QStringLiteral("Invalid response from hardware (error 1)"),
    QStringLiteral("Invalid response from hardware (error 2)"),
};

// How a transfer may end, and the one message (or none) each end shows.
bool transferMessageFits(TransferOutcome::End end, const QStringList& messages) {
    using End = TransferOutcome::End;
    if (end == End::Done || end == End::Aborted) return messages.isEmpty();
    if (messages.size() != 1) return false;
    if (end == End::NotFound) return messages[0] == QStringLiteral("Hardware not found");
    if (end == End::NoAcknowledge)
        return messages[0] == QStringLiteral("Hardware did not acknowledge");
    return messages[0].startsWith(QStringLiteral("Verify error: "));
}

// Box > Retrieve as the window runs it: into a copy of the image, applied only when complete.
void retrieve(AppState& state, BoxLink& link, RecordingUi& ui) {
    const EepromImage image = state.image;
    const bool modified = state.Modified;
    TransferBytes bytes;
    for (int i = 0; i < kTransferBytes; ++i) bytes[size_t(i)] = state.image.byte(i);
    const TransferOutcome t = RetrieveEeprom(state, link, ui, bytes);
    FUZZ_CHECK(t.done >= 0 && t.done <= kTransferBytes);
    FUZZ_CHECK(transferMessageFits(t.end, ui.messages));
    FUZZ_CHECK(state.image == image && state.Modified == modified);
    if (!t.ok()) return;
    FUZZ_CHECK(t.done == kTransferBytes);
    PlainProjectControls controls;
    controls.output = state.image.isFrequencyOutput() ? 1 : 0;
    controls.limit = LimitText(state.image, controls.output == 1);
    ProjectDocument document(state, ui, controls);
    controls.attach(document);
    document.ApplyRetrieved(bytes);
    // The box's bytes, except what the reloaded controls write back: the output kind's bits
    // of the mode byte and the limit.
    for (int i = 0; i < kImageSize; ++i) {
        if (i == kModeByteOffset || i == 2 * kLimitEntry || i == 2 * kLimitEntry + 1) continue;
        FUZZ_CHECK(state.image.byte(i) == (i < kTransferBytes ? bytes[size_t(i)] : image.byte(i)));
    }
    FUZZ_CHECK(!state.Modified);
}

void checkCurve(const MonitorResult& r, bool frequency) {
    const double top = frequency ? 1023 * 2.88 : 1023 / 204.8;
    for (const QPointF& p : r.points) FUZZ_CHECK(p.y() >= 0 && p.y() <= top + 1e-9);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    varnel::fuzz::ensureApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const uint8_t plan = in.byte();
    auto* transport = new ScriptTransport;
    BoxLink link(transport);
    link.TimeoutMs = 60000;  // never reached: the line ends every wait itself
    transport->peer = [&in](quint8 b) { return scripted(in, b); };
    TerminalScreen screen;
    QObject::connect(&link, &BoxLink::rxByte, [&screen](quint8 b) { screen.put(b); });
    QString openError;
    FUZZ_CHECK(link.OpenLink(openError));

    AppState state;
    state.header.setHardwareVersion(int16_t(10 + (plan & 1)));
    for (int i = 0; i < 66; ++i) state.image.setByte(i, uint8_t(i * 5));
    const EepromImage image = state.image;
    const ProjectHeader header = state.header;
    RecordingUi ui;

    // Two operations of the input's choosing, one after the other on the same link: Connect,
    // Monitor, Update or Retrieve.
    for (int op = 0; op < 2; ++op) {
        ui.messages.clear();
        const int choice = (plan >> (1 + 2 * op)) & 3;
        if (choice == 2) {
            const TransferOutcome t = UpdateEeprom(state, link, ui);
            FUZZ_CHECK(t.written >= 0 && t.written <= kTransferBytes);
            FUZZ_CHECK(t.done >= 0 && t.done <= t.written);
            FUZZ_CHECK(transferMessageFits(t.end, ui.messages));
        } else if (choice == 3) {
            retrieve(state, link, ui);
            // What a complete one applied is checked there; the next operation starts from the
            // project again.
            state.image = image;
            state.header = header;
            state.Modified = false;
        } else if (choice == 1) {
            const bool ok = ConnectBox(state, link, ui);
            FUZZ_CHECK(ok == state.Connected);
            FUZZ_CHECK(ok ? ui.messages.isEmpty()
                          : ui.messages.size() == 1 && kConnectMessages.contains(ui.messages[0]));
        } else {
            const bool frequency = (plan >> 5) & 1;
            const bool connected = state.Connected;
            MonitorResult r;
            const bool ok = MonitorBox(state, link, ui, frequency, r);
            FUZZ_CHECK(state.Connected == connected);
            if (ok) {
                FUZZ_CHECK(ui.messages.isEmpty());
                checkCurve(r, frequency);
            } else {
                FUZZ_CHECK(ui.messages.size() == 1 && kMonitorMessages.contains(ui.messages[0]));
            }
        }
        // Connect, Monitor and Update never touch the project.
        FUZZ_CHECK(state.image == image);
        FUZZ_CHECK(state.header == header);
        // The refresh that ends every operation in the window.
        state.AbortFlag = false;
    }

    // The line heals: the same link then works with a real box.
    auto box = std::make_shared<kexbox::BoxModel>();
    box->version = (plan & 1) ? "1.1" : "1.0";
    box->adjust = {int16_t(plan * 3), -7, 100, int16_t(-plan)};
    transport->peer = [box](quint8 b) {
        const std::string s = box->feed(b);
        return QByteArray(s.data(), qsizetype(s.size()));
    };
    ui.messages.clear();
    FUZZ_CHECK(ConnectBox(state, link, ui));
    MonitorResult r;
    FUZZ_CHECK(MonitorBox(state, link, ui, false, r));
    FUZZ_CHECK(ui.messages.isEmpty());
    for (int k = 0; k < 4; ++k) FUZZ_CHECK(r.adjust[k] == box->adjust[k]);
    if (plan & 0x40) {
        // A whole Update and a whole Retrieve: the box then holds the image's first 80 bytes,
        // and reading them back gives them again.
        FUZZ_CHECK(UpdateEeprom(state, link, ui).ok());
        for (int i = 0; i < kTransferBytes; ++i)
            FUZZ_CHECK(box->eeprom[size_t(i)] == state.image.byte(i));
        TransferBytes bytes{};
        FUZZ_CHECK(RetrieveEeprom(state, link, ui, bytes).ok());
        for (int i = 0; i < kTransferBytes; ++i) FUZZ_CHECK(bytes[size_t(i)] == image.byte(i));
        FUZZ_CHECK(ui.messages.isEmpty());
    }

    FUZZ_CHECK(screen.lines().size() == TerminalScreen::kRows);
    FUZZ_CHECK(screen.TermRow >= 0 && screen.TermRow < TerminalScreen::kRows);
    FUZZ_CHECK(screen.TermCol >= 0 && screen.TermCol <= TerminalScreen::kColumns);
    return 0;
}
