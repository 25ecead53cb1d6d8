// The integer reader of kex.ini: decimal, or hexadecimal after 0x, 0X or $, with an optional
// sign, within the int range; everything else is refused (and the setting takes its default).

#include "app/settings.h"
#include "fuzz_support.h"

#include <charconv>
#include <limits>
#include <string>

using namespace varnel;

namespace {

// An independent reading of the same grammar, on the UTF-16 text.
bool reference(const QString& text, int& value) {
    const std::u16string s = text.toStdU16String();
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) negative = s[i++] == u'-';
    int base = 10;
    if (i < s.size() && s[i] == u'$') {
        base = 16;
        ++i;
    } else if (s.size() - i >= 2 && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    std::string digits;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i];
        const bool dec = c >= u'0' && c <= u'9';
        const bool hex = (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!dec && !(hex && base == 16)) return false;
        digits += char(c);
    }
    if (digits.empty()) return false;
    unsigned long long v = 0;
    const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
    if (ec != std::errc() || p != digits.data() + digits.size()) return false;
    const unsigned long long limit = negative ? 1ULL + unsigned(std::numeric_limits<int>::max())
                                              : unsigned(std::numeric_limits<int>::max());
    if (v > limit) return false;
    value = negative ? int(-(long long)v) : int(v);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Settings come from a text file; both readings of its bytes reach the parser.
    for (const QString& text :
         {varnel::fuzz::latin1(data, size), varnel::fuzz::typed(data, size)}) {
        int parsed = 12345;
        int expected = 0;
        const bool ok = ParseSettingsInt(text, parsed);
        const bool refOk = reference(text, expected);
        FUZZ_CHECK(ok == refOk);
        if (ok) {
            FUZZ_CHECK(parsed == expected);
            // A value read back as it is written (decimal) reads as itself.
            int again = 0;
            FUZZ_CHECK(ParseSettingsInt(QString::number(parsed), again) && again == parsed);
        } else {
            FUZZ_CHECK(parsed == 12345);  // a refused text leaves the value alone
        }
    }
    return 0;
}
