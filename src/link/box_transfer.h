#pragma once

#include "image/eeprom_image.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace varnel {

struct AppState;
class BoxLink;
class UiServices;

// How a transfer ended. done counts the bytes that are through: for an Update the bytes written
// and read back as sent, for a Retrieve the bytes read. written counts the writes the box
// acknowledged (Update only): what a stopped Update has changed in the box.
struct TransferOutcome {
    enum class End { Done, NotFound, NoAcknowledge, VerifyError, Aborted };
    End end = End::Done;
    int done = 0;
    int written = 0;
    bool ok() const { return end == End::Done; }
};

// Told the number of bytes done after each byte.
using TransferProgress = std::function<void(int done)>;

// Writes image bytes 0..79 into the box one at a time, reading each back. Reports failures
// through ui with the window's texts; changes neither the image nor Modified. Clears AbortFlag
// and MonitorMode first; an AbortFlag set meanwhile (the Abort button) stops it after the
// current byte's prompt wait, without a message.
TransferOutcome UpdateEeprom(AppState& state, BoxLink& link, UiServices& ui,
                             const TransferProgress& progress = {});

// Reads box bytes 0..79 into bytes, which the caller presets: a reply too short to hold a value
// leaves the preset byte. Touches nothing else: whether the bytes are used is the caller's
// choice, and only a complete read (ok()) is worth using.
TransferOutcome RetrieveEeprom(AppState& state, BoxLink& link, UiServices& ui, TransferBytes& bytes,
                               const TransferProgress& progress = {});

// "C%2.2X%2.2X" and "C%2.2X*".
QString WriteCommand(int index, uint8_t value);
QString ReadCommand(int index);

// The value a read-back reply carries: the two characters before its last one (for a reply of
// exactly two characters, both), as HexToInt reads them. False for a reply under 2 characters.
bool ReadBackValue(const QString& reply, uint8_t& value);
// The value a Retrieve takes from a reply: the two characters before the final one, when the
// reply has at least 3 characters (a pair that is not hexadecimal gives 0). False otherwise.
bool RetrievedValue(const QString& reply, uint8_t& value);

// "Verify error: " + expected byte as two upper-case digits + blank + the whole reply.
QString VerifyErrorText(uint8_t expected, const QString& reply);
// What an Update that stopped part-way left in the box: "12 of 80 bytes written".
QString BytesWrittenText(int written);

}  // namespace varnel
