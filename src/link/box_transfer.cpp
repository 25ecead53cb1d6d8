#include "box_transfer.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "link/box_link.h"
#include "link/hexlib.h"

#include <algorithm>

namespace varnel {

namespace {

using End = TransferOutcome::End;

const QString kHardwareNotFound = QStringLiteral("Hardware not found");
const QString kNoAcknowledge = QStringLiteral("Hardware did not acknowledge");

// The start both transfers share: a clean line and a box that answers its prompt.
bool startTransfer(AppState& state, BoxLink& link, UiServices& ui) {
    state.MonitorMode = false;
    state.AbortFlag = false;
    link.AwaitOpening();
    link.FlushLink();
    if (link.SendCommand(QString(), '>', state.AbortFlag)) return true;
    ui.error(kHardwareNotFound);
    return false;
}

TransferOutcome stopped(End end, int done, int written = 0) {
    TransferOutcome o;
    o.end = end;
    o.done = done;
    o.written = written;
    return o;
}

}  // namespace

QString WriteCommand(int index, uint8_t value) {
    return QLatin1Char('C') + IntToHexStr(uint32_t(index), 2) + IntToHexStr(value, 2);
}

QString ReadCommand(int index) {
    return QLatin1Char('C') + IntToHexStr(uint32_t(index), 2) + QLatin1Char('*');
}

bool ReadBackValue(const QString& reply, uint8_t& value) {
    if (reply.size() < 2) return false;
    const qsizetype from = std::max<qsizetype>(0, reply.size() - 3);
    value = uint8_t(HexToInt(reply.mid(from, 2)));
    return true;
}

bool RetrievedValue(const QString& reply, uint8_t& value) {
    if (reply.size() < 3) return false;
    value = uint8_t(HexToInt(reply.mid(reply.size() - 3, 2)));
    return true;
}

QString VerifyErrorText(uint8_t expected, const QString& reply) {
    return QStringLiteral("Verify error: ") + IntToHexStr(expected, 2) + QLatin1Char(' ') + reply;
}

bool CertainValue(const QString& reply, uint8_t& value) {
    if (reply.size() < 3) return false;
    const QString pair = reply.mid(reply.size() - 3, 2);
    for (const QChar c : pair) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f')))
            return false;
    }
    value = uint8_t(HexToInt(pair));
    return true;
}

QString BytesWrittenText(int written, int total) {
    return QStringLiteral("%1 of %2 bytes written").arg(written).arg(total);
}

TransferOutcome UpdateEeprom(AppState& state, BoxLink& link, UiServices& ui,
                             const TransferProgress& progress) {
    std::vector<int> all(kTransferBytes);
    for (int n = 0; n < kTransferBytes; ++n) all[size_t(n)] = n;
    return UpdateBytes(state, link, ui, state.image, all, progress);
}

TransferOutcome UpdateBytes(AppState& state, BoxLink& link, UiServices& ui,
                            const EepromImage& image, const std::vector<int>& indices,
                            const TransferProgress& progress,
                            const TransferProgress& acknowledged) {
    if (indices.empty()) return stopped(End::Done, 0);
    if (!startTransfer(state, link, ui)) return stopped(End::NotFound, 0);
    int written = 0;
    const int count = int(indices.size());
    for (int k = 0; k < count; ++k) {
        const int n = indices[size_t(k)];
        // What goes out is what the read-back must show, even if the image is edited meanwhile.
        const uint8_t value = image.byte(n);
        if (!link.SendCommand(WriteCommand(n, value), '+', state.AbortFlag)) {
            ui.error(kNoAcknowledge);
            return stopped(End::NoAcknowledge, k, written);
        }
        written = k + 1;
        if (acknowledged) acknowledged(written);
        link.ReceiveUntil('>');
        if (state.AbortFlag) return stopped(End::Aborted, k, written);

        if (!link.SendCommand(ReadCommand(n), '+', state.AbortFlag)) {
            ui.error(kNoAcknowledge);
            return stopped(End::NoAcknowledge, k, written);
        }
        const QString reply = link.Response;
        uint8_t readBack = 0;
        const bool verified = ReadBackValue(reply, readBack) && readBack == value;
        link.ReceiveUntil('>');
        if (state.AbortFlag) return stopped(End::Aborted, verified ? k + 1 : k, written);
        if (!verified) {
            ui.error(VerifyErrorText(value, reply));
            return stopped(End::VerifyError, k, written);
        }
        if (progress) progress(k + 1);
    }
    return stopped(End::Done, count, written);
}

namespace {

TransferOutcome readBytes(AppState& state, BoxLink& link, UiServices& ui, TransferBytes& bytes,
                          const TransferProgress& progress, bool certain) {
    if (!startTransfer(state, link, ui)) return stopped(End::NotFound, 0);
    for (int n = 0; n < kTransferBytes; ++n) {
        if (!link.SendCommand(ReadCommand(n), '+', state.AbortFlag)) {
            ui.error(kNoAcknowledge);
            return stopped(End::NoAcknowledge, n);
        }
        uint8_t value = 0;
        if (certain ? CertainValue(link.Response, value) : RetrievedValue(link.Response, value))
            bytes[size_t(n)] = value;
        else if (certain) {
            ui.error(kNoAcknowledge);
            return stopped(End::NoAcknowledge, n);
        }
        link.ReceiveUntil('>');
        if (state.AbortFlag) return stopped(End::Aborted, n + 1);
        if (progress) progress(n + 1);
    }
    return stopped(End::Done, kTransferBytes);
}

}  // namespace

TransferOutcome RetrieveEeprom(AppState& state, BoxLink& link, UiServices& ui, TransferBytes& bytes,
                               const TransferProgress& progress) {
    return readBytes(state, link, ui, bytes, progress, false);
}

TransferOutcome ReadBoxBytes(AppState& state, BoxLink& link, UiServices& ui, TransferBytes& bytes,
                             const TransferProgress& progress) {
    return readBytes(state, link, ui, bytes, progress, true);
}

}  // namespace varnel
