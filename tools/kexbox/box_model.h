#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace kexbox {

// Ways the box can misbehave, for the tests of the program's error paths.
struct Faults {
    bool noEcho = false;      // replies, but echoes nothing
    bool noReply = false;     // echoes, but never replies
    bool shortQ = false;      // "Q" reply of 9 characters
    bool noV = false;         // "Q" reply without "V" as its third character
    bool badVersion = false;  // "Q" version field that is not a number
    bool shortM = false;      // "M" value line under 25 characters
    int noAckAt = -1;         // a write of this byte number is not acknowledged
    int badReadAt = -1;       // a read of this byte number returns the value inverted
    int noReadAckAt = -1;     // a read of this byte number is not acknowledged
    int shortReadAt = -1;     // a read of this byte number returns only its low digit
    bool lowerHex = false;    // reads answer in lower-case hexadecimal
    long silentAfter = -1;    // after this many bytes received, sends nothing more
    bool garbage = false;     // answers with bytes that hold no terminator instead of the reply
    bool truncate = false;    // sends only the first half of each reply
    int delayMs = -1;         // sends each reply this many ms after its CR (the program's part)
    long dieAt = -1;          // is killed when byte number N arrives (the program's part)
    // When set ("prompt", "Q", "M" or "C"), no-reply, garbage, truncate and delay touch only
    // the replies to those commands.
    std::string on;
    long from = -1;   // the faults hold from byte number N on; earlier bytes are served well
    long until = -1;  // ... and up to byte number N; later bytes are served well again

    // Whether the reply faults touch the reply to this command.
    bool touches(const std::string& command) const;

    // Reads one --fault word ("no-echo", "no-ack=12", ...); false with a message when unknown.
    bool parse(const std::string& word, std::string& error);
    static const char* help();
};

// The Kex box as the wire sees it: it echoes every byte and answers each command ended by a
// carriage return from a 256-byte EEPROM and four pot adjustments.
//
//   CR alone     "\r\n>"
//   Q            "\r\nV1.0 KEX\r\n>"               (characters 4 to 6 are the version)
//   M            "\r\n" "POTS aaaa bbbb cccc dddd\r\n>" (signed 16-bit, 4 hexadecimal digits)
//   Cnnvv        stores byte nn := vv, "+\r\n>"
//   Cnn*         "vv+\r\n>"
//   anything else "?\r\n>"
class BoxModel {
  public:
    BoxModel() { eeprom.fill(0xFF); }

    std::string version = "1.0";
    std::array<int16_t, 4> adjust{};
    std::array<uint8_t, 256> eeprom{};
    Faults faults;
    // Called after every stored byte.
    std::function<void(int index, uint8_t value)> onStore;

    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    // Where the reply starts in what the last feed returned (its size when there was none), and
    // whether the delay fault holds it back.
    size_t replyAt = 0;
    bool replyDelayed = false;

    // One byte from the PC; returns what the box sends back.
    std::string feed(uint8_t b);

  private:
    std::string answer(const std::string& command, const Faults& f);
    std::string command_;
};

// Parses "P1,P2,P3,P4" (signed decimal, each -32768..32767).
bool ParseAdjust(const std::string& text, std::array<int16_t, 4>& adjust);

}  // namespace kexbox
