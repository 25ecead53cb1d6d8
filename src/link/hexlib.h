#pragma once

#include <QString>

#include <cstdint>

namespace varnel {

// Hexadecimal text to integer, as the box's replies are read: at most the first 40 characters,
// either case; 0 for an empty text and 0 when any character is not a hexadecimal digit. Digits
// beyond eight wrap around as 32-bit arithmetic does; callers that want a signed 16-bit value
// take the low 16 bits.
int32_t HexToInt(const QString& text);

// Fixed-width upper-case hexadecimal, at most 8 digits, least significant nibble last.
QString IntToHexStr(uint32_t value, int digits);

// The low 16 bits of a value as a two's-complement number.
inline int16_t LowSigned16(int32_t value) {
    return static_cast<int16_t>(value & 0xFFFF);
}

}  // namespace varnel
