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

    // One byte from the PC; returns what the box sends back.
    std::string feed(uint8_t b);

  private:
    std::string answer(const std::string& command);
    std::string command_;
};

// Parses "P1,P2,P3,P4" (signed decimal, each -32768..32767).
bool ParseAdjust(const std::string& text, std::array<int16_t, 4>& adjust);

}  // namespace kexbox
