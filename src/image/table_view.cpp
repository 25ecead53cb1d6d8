#include "table_view.h"

#include <algorithm>

namespace varnel {

QString OutputTitle(bool frequency) {
    return frequency ? QStringLiteral("F Out") : QStringLiteral("V Out");
}

QString EntryText(const EepromImage& image, int entry, bool frequency) {
    return frequency ? EntryToFreqText(image, entry) : EntryToVoltText(image, entry);
}

QString StoreEntryText(EepromImage& image, int entry, const QString& text, bool frequency) {
    if (frequency)
        StoreFreqEntry(image, entry, text);
    else
        StoreVoltEntry(image, entry, text);
    return EntryText(image, entry, frequency);
}

bool ChartPointValue(int entry, const QString& text, float& y) {
    if (entry < 1 || entry > 30) return false;
    return ParseSingle(text.trimmed(), y);
}

QPointF TableChartPoint(const EepromImage& image, int entry, bool frequency) {
    const long double w = image.entry(entry);
    const long double x =
        static_cast<long double>(entry) / static_cast<long double>(kInputStepDivisor);
    const long double y =
        frequency ? w * kFreqWordScale : w / static_cast<long double>(kVoltWordScale);
    return QPointF(static_cast<double>(x), static_cast<double>(y));
}

QList<QPointF> TableChartPoints(const EepromImage& image, bool frequency) {
    QList<QPointF> points;
    points.reserve(kChartPoints);
    for (int i = 0; i < kChartPoints; ++i) points.append(TableChartPoint(image, i, frequency));
    return points;
}

uint16_t ChartValueWord(double y, bool frequency) {
    const long double v = y;
    const int w =
        RoundEven(frequency ? v / kFreqWordScale : v * static_cast<long double>(kVoltWordScale));
    return static_cast<uint16_t>(std::clamp(w, 0, 1023));
}

QString ChartPointTip(int entry, uint16_t word, bool frequency, const QString& mark) {
    const QString out = frequency ? FreqWordToText(word).trimmed() + QStringLiteral(" Hz")
                                  : VoltWordToText(word).trimmed() + QStringLiteral(" V");
    QString tip = QStringLiteral("Entry %1: %2 V in, %3 out")
                      .arg(entry)
                      .arg(InputVoltText(entry).trimmed(), out);
    if (!mark.isEmpty()) tip += QStringLiteral(" (") + mark + QLatin1Char(')');
    return tip;
}

QString DiffText(const EepromImage& image, const EepromImage& reference, int entry,
                 bool frequency) {
    const int a = image.entry(entry);
    const int b = reference.entry(entry);
    if (a > 1023 || b > 1023) return QStringLiteral("****");
    const long double d = a - b;
    return frequency ? FormatFixed(" %4.0Lf ", d * kFreqWordScale)
                     : FormatFixed(" %5.3Lf ", d / static_cast<long double>(kVoltWordScale));
}

QString LimitText(const EepromImage& image, bool frequency) {
    return EntryText(image, kLimitEntry, frequency).trimmed();
}

void StoreLimitText(EepromImage& image, const QString& text, bool frequency) {
    StoreEntryText(image, kLimitEntry, text.trimmed(), frequency);
}

bool LimitKeyAccepted(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == u'.' || u == 8 || u == 127;
}

QString PotLoadedText(uint8_t value) {
    return QString::number(value <= 128 ? int(value) : int(value) - 256);
}

QString PotSteppedText(uint8_t value) {
    return QString::number(static_cast<int8_t>(value));
}

uint8_t PotAfterStep(uint8_t value, int step) {
    if (step < 0 && value > 0) return static_cast<uint8_t>(value - 1);
    if (step > 0 && value < 99) return static_cast<uint8_t>(value + 1);
    return value;
}

QString HexByteText(uint8_t value) {
    return QStringLiteral(" %1 ").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

int LeadingHexValue(const QString& text) {
    constexpr int kCeiling = 0x10000;
    int value = 0;
    for (const QChar c : text) {
        const int digit =
            c.isDigit() && c.unicode() < 128                   ? c.unicode() - u'0'
            : (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ? c.unicode() - u'A' + 10
            : (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ? c.unicode() - u'a' + 10
                                                               : -1;
        if (digit < 0) break;
        value = std::min(kCeiling, value * 16 + digit);
    }
    return value;
}

}  // namespace varnel
