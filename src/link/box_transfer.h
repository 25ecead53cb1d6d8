#pragma once

#include "image/eeprom_image.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

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

// Writes the listed bytes of image (ascending byte numbers, each below 80) as the Update writes
// each of its bytes, with its prompt check first, its messages and its Abort; done and written
// count the listed bytes, progress the listed bytes done, acknowledged the writes the box has
// acknowledged so far (before their read-back). An empty list sends nothing.
TransferOutcome UpdateBytes(AppState& state, BoxLink& link, UiServices& ui,
                            const EepromImage& image, const std::vector<int>& indices,
                            const TransferProgress& progress = {},
                            const TransferProgress& acknowledged = {});

// Reads box bytes 0..79 into bytes, which the caller presets: a reply too short to hold a value
// leaves the preset byte. Touches nothing else: whether the bytes are used is the caller's
// choice, and only a complete read (ok()) is worth using.
TransferOutcome RetrieveEeprom(AppState& state, BoxLink& link, UiServices& ui, TransferBytes& bytes,
                               const TransferProgress& progress = {});

// Reads box bytes 0..79 as a Retrieve does, for a copy that stands for the box (a comparison, a
// backup, the base of a write of the changes): a reply that does not carry two hexadecimal
// digits before its "+" ends the read as a reply missing would ("Hardware did not acknowledge"),
// instead of leaving a guess in the copy.
TransferOutcome ReadBoxBytes(AppState& state, BoxLink& link, UiServices& ui, TransferBytes& bytes,
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
// The value a reply carries for certain: two hexadecimal digits just before its last character.
bool CertainValue(const QString& reply, uint8_t& value);

// "Verify error: " + expected byte as two upper-case digits + blank + the whole reply.
QString VerifyErrorText(uint8_t expected, const QString& reply);
// What an Update that stopped part-way left in the box: "12 of 80 bytes written" (of total).
QString BytesWrittenText(int written, int total = kTransferBytes);

}  // namespace varnel
