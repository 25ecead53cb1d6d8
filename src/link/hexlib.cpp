#include "hexlib.h"

namespace varnel {

int32_t HexToInt(const QString& text) {
    const QString t = text.left(40);
    uint32_t value = 0;
    for (const QChar ch : t) {
        const char16_t c = ch.toUpper().unicode();
        uint32_t digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * 16u + digit;
    }
    return static_cast<int32_t>(value);
}

QString IntToHexStr(uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (digits > 8) digits = 8;
    QString s(digits > 0 ? digits : 0, QLatin1Char('0'));
    for (int i = digits - 1; i >= 0; --i) {
        s[i] = QLatin1Char(kDigits[value & 0xF]);
        value >>= 4;
    }
    return s;
}

}  // namespace varnel
