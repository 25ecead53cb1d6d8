#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace varnel {

// Scale constants shared by the table, the charts and the match. Single precision unless noted:
// the box firmware and the stored files were made with these exact binary values, so they must
// not be replaced by their "nicer" decimal or double forms.
inline constexpr float kInputStepDivisor = 16.0f / 3.0f;  // 5.3333335
inline constexpr float kVoltWordScale = 204.8f;
inline constexpr long double kFreqWordScale = 2.88L;
inline constexpr float kVoltTextCeiling = 4.995f;
inline constexpr float kFreqTextCeiling = 3000.0f;
inline constexpr float kFreqTextFloor = 6.0f;
inline constexpr float kMatchOutputScale = 512.0f / 3.0f;
inline constexpr float kMatchInputScale = 128.0f / 3.0f;

inline constexpr int kImageSize = 256;
inline constexpr int kTransferBytes = 80;  // bytes 0x00..0x4F travel to and from the box
using TransferBytes = std::array<uint8_t, kTransferBytes>;
inline constexpr int kTableEntries = 33;   // entries 0..32
inline constexpr int kLimitEntry = 36;
inline constexpr int kModeByteOffset = 0x42;
inline constexpr int kPotByteOffset = 0x43;  // pot k (1..4) at 0x42 + k
inline constexpr uint8_t kModeVoltage = 1;
inline constexpr uint8_t kModeFrequency = 2;
inline constexpr uint8_t kModeInvertBit = 0x10;

// The in-memory copy of the box's 256-byte EEPROM.
class EepromImage {
public:
    EepromImage() { fill(0xFF); }

    void fill(uint8_t value) { bytes_.fill(value); }
    uint8_t byte(int offset) const { return bytes_.at(static_cast<size_t>(offset)); }
    void setByte(int offset, uint8_t value) { bytes_.at(static_cast<size_t>(offset)) = value; }

    // Entry n is the big-endian word at bytes 2n and 2n+1.
    uint16_t entry(int n) const;
    void setEntry(int n, uint16_t word);

    uint8_t modeByte() const { return byte(kModeByteOffset); }
    void setModeByte(uint8_t value) { setByte(kModeByteOffset, value); }
    // Bits 0-1 read as frequency only when they hold exactly 2.
    bool isFrequencyOutput() const { return (modeByte() & 3) == kModeFrequency; }
    // Keeps bits 2-7 and writes 1 (voltage) or 2 (frequency) into bits 0-1.
    void setOutputKind(bool frequency);
    bool invertLimit() const { return (modeByte() & kModeInvertBit) != 0; }
    void setInvertLimit(bool on);

    const std::array<uint8_t, kImageSize>& bytes() const { return bytes_; }
    QByteArray toByteArray() const;
    // Copies up to 256 bytes from data; bytes beyond data's length stay as they are.
    void assign(const QByteArray& data);

    bool operator==(const EepromImage& other) const = default;

private:
    std::array<uint8_t, kImageSize> bytes_{};
};

// Word to text, in the fixed shapes the grid, the limit box and the files expect.
QString VoltWordToText(uint16_t word);
QString FreqWordToText(uint16_t word);
QString EntryToVoltText(const EepromImage& image, int entry);
QString EntryToFreqText(const EepromImage& image, int entry);

// Text to word: -1 when the text is not a number.
int TextToVoltWord(const QString& text);
int TextToFreqWord(const QString& text);

// Text into an entry, with the refusal and clamping rules of each output kind.
void StoreVoltEntry(EepromImage& image, int entry, const QString& text);
void StoreFreqEntry(EepromImage& image, int entry, const QString& text);

// A plain decimal number and nothing else: an optional sign, digits with an optional point and
// an optional exponent, '.' whatever the locale; no blanks, "inf", "nan" or hexadecimal, and
// nothing beyond single precision (underflow reads as zero).
bool ParseDecimal(QStringView text, long double& value);

// The fixed number reading used for everything typed into the main window: leading blanks and a
// sign, '.' as the decimal point in every locale, nothing after the number, finite values only.
bool ParseSingle(const QString& text, float& value);

// printf-style formatting that never depends on the locale.
QString FormatFixed(const char* pattern, long double value);

// Round to nearest, ties to even, saturating at the int range.
int RoundEven(long double value);

// The input voltage of table entry i as the row titles show it (" %5.3f ").
QString InputVoltText(int entry);

}  // namespace varnel
