#include "eeprom_image.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace varnel {

uint16_t EepromImage::entry(int n) const {
    return static_cast<uint16_t>(byte(2 * n) << 8 | byte(2 * n + 1));
}

void EepromImage::setEntry(int n, uint16_t word) {
    setByte(2 * n, static_cast<uint8_t>(word >> 8));
    setByte(2 * n + 1, static_cast<uint8_t>(word & 0xFF));
}

void EepromImage::setOutputKind(bool frequency) {
    setModeByte(static_cast<uint8_t>((modeByte() & ~3) | (frequency ? kModeFrequency : kModeVoltage)));
}

void EepromImage::setInvertLimit(bool on) {
    setModeByte(static_cast<uint8_t>(on ? (modeByte() | kModeInvertBit) : (modeByte() & ~kModeInvertBit)));
}

QByteArray EepromImage::toByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(bytes_.data()), kImageSize);
}

void EepromImage::assign(const QByteArray& data) {
    const int n = std::min<int>(static_cast<int>(data.size()), kImageSize);
    for (int i = 0; i < n; ++i) bytes_[static_cast<size_t>(i)] = static_cast<uint8_t>(data[i]);
}

QString FormatFixed(const char* pattern, long double value) {
    // QCoreApplication calls setlocale(LC_ALL, ""), so printf follows the user's LC_NUMERIC and
    // may write a comma; files and the box's users expect a point everywhere.
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, value);
    QString s = QString::fromLatin1(buf);
    const QChar point = QLatin1Char('.');
    for (QChar& c : s)
        if (c == QLatin1Char(',')) c = point;
    return s;
}

int RoundEven(long double value) {
    if (std::isnan(value)) return 0;
    constexpr long double lo = std::numeric_limits<int>::min();
    constexpr long double hi = std::numeric_limits<int>::max();
    if (value <= lo) return std::numeric_limits<int>::min();
    if (value >= hi) return std::numeric_limits<int>::max();
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const long double r = std::nearbyintl(value);
    std::fesetround(saved);
    return static_cast<int>(r);
}

QString VoltWordToText(uint16_t word) {
    if (word > 1023) return QStringLiteral("****");
    return FormatFixed(" %5.3Lf ", static_cast<long double>(word) / static_cast<long double>(kVoltWordScale));
}

QString FreqWordToText(uint16_t word) {
    if (word < 2) return QStringLiteral("0    ");
    if (word > 1023) return QStringLiteral("2950");
    return FormatFixed(" %4.0Lf ", static_cast<long double>(word) * kFreqWordScale);
}

QString EntryToVoltText(const EepromImage& image, int entry) {
    return VoltWordToText(image.entry(entry));
}

QString EntryToFreqText(const EepromImage& image, int entry) {
    return FreqWordToText(image.entry(entry));
}

namespace {

// Whether a plain decimal text (digits with an optional point, then an optional exponent) is
// below one in size. When the reader finds a number out of range it leaves the value alone, so
// only the text can tell an underflow from an overflow.
bool belowOne(const char* p, const char* end) {
    const char* q = p;
    while (q < end && *q >= '0' && *q <= '9') ++q;
    // The power of ten of the first significant digit.
    long long power = (q - p) - 1;
    bool significant = false;
    for (q = p; q < end && *q != 'e' && *q != 'E'; ++q) {
        if (*q == '.') continue;
        if (*q != '0') {
            significant = true;
            break;
        }
        --power;
    }
    if (!significant) return true;
    while (q < end && *q != 'e' && *q != 'E') ++q;
    long long exponent = 0;
    if (q < end) {
        ++q;
        const bool negative = q < end && *q == '-';
        if (q < end && (*q == '+' || *q == '-')) ++q;
        // Far beyond any floating type either way; the sign is all that counts.
        for (; q < end && exponent < 1000000000; ++q) exponent = exponent * 10 + (*q - '0');
        if (negative) exponent = -exponent;
    }
    return power + exponent < 0;
}

}  // namespace

bool ParseDecimal(QStringView text, long double& value) {
    const QByteArray raw = text.toLatin1();
    if (raw.isEmpty() || text.size() != raw.size()) return false;
    const char* p = raw.constData();
    const char* end = p + raw.size();
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Only plain decimal forms: digits with an optional point and exponent. from_chars alone
    // would also take "inf", "nan" and (with a format flag) hexadecimal.
    const char* q = p;
    int digits = 0;
    while (q < end && *q >= '0' && *q <= '9') ++q, ++digits;
    if (q < end && *q == '.') {
        ++q;
        while (q < end && *q >= '0' && *q <= '9') ++q, ++digits;
    }
    if (digits == 0) return false;
    if (q < end && (*q == 'e' || *q == 'E')) {
        const char* e = q + 1;
        if (e < end && (*e == '+' || *e == '-')) ++e;
        const char* ed = e;
        while (ed < end && *ed >= '0' && *ed <= '9') ++ed;
        if (ed == e) return false;
        q = ed;
    }
    if (q != end) return false;
    long double parsed = 0;
    const auto [ptr, ec] = std::from_chars(p, end, parsed, std::chars_format::general);
    if (ptr != end) return false;
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is not a number the program can hold.
        if (!belowOne(p, end)) return false;
        parsed = 0;
    } else if (ec != std::errc()) {
        return false;
    }
    // Every number the box, the project and the meter files keep is a single at most.
    if (!std::isfinite(parsed) || std::fabs(parsed) > std::numeric_limits<float>::max())
        return false;
    value = negative ? -parsed : parsed;
    return true;
}

bool ParseSingle(const QString& text, float& value) {
    qsizetype b = 0;
    while (b < text.size() && text[b] == QLatin1Char(' ')) ++b;
    long double parsed = 0;
    if (!ParseDecimal(QStringView(text).mid(b), parsed)) return false;
    value = static_cast<float>(parsed);
    return true;
}

int TextToVoltWord(const QString& text) {
    float v = 0;
    if (!ParseSingle(text, v)) return -1;
    if (v > kVoltTextCeiling) v = kVoltTextCeiling;
    return RoundEven(static_cast<long double>(v) * static_cast<long double>(kVoltWordScale));
}

int TextToFreqWord(const QString& text) {
    float v = 0;
    if (!ParseSingle(text, v)) return -1;
    if (v > kFreqTextCeiling) v = kFreqTextCeiling;
    if (v < kFreqTextFloor) return 0;
    return RoundEven(static_cast<long double>(v) / kFreqWordScale);
}

void StoreVoltEntry(EepromImage& image, int entry, const QString& text) {
    const int w = TextToVoltWord(text);
    if (w >= 0 && w <= 1023) image.setEntry(entry, static_cast<uint16_t>(w));
}

void StoreFreqEntry(EepromImage& image, int entry, const QString& text) {
    const int w = TextToFreqWord(text);
    if (w < 2)
        image.setEntry(entry, 0);
    else if (w <= 1023)
        image.setEntry(entry, static_cast<uint16_t>(w));
    else
        image.setEntry(entry, 0x03FF);
}

QString InputVoltText(int entry) {
    return FormatFixed(" %5.3Lf ",
                       static_cast<long double>(entry) / static_cast<long double>(kInputStepDivisor));
}

}  // namespace varnel
