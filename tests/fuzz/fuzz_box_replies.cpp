// The readers of the box's replies: the version reply to "Q", the value line of "M", the
// read-back of "C%2.2X*" as Update and Retrieve take it, and the hexadecimal conversion under
// them. Every reply is read by the
// rules or refused; nothing reads outside it.

#include "fuzz_support.h"
#include "link/box_replies.h"
#include "link/box_transfer.h"
#include "link/hexlib.h"

#include <cmath>

using namespace varnel;
using varnel::fuzz::latin1;

namespace {

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

// The reference reading of a hexadecimal field: the value of its digits, 0 when any character
// is not one, 32-bit wrap-around.
uint32_t referenceHex(const QString& text) {
    uint32_t v = 0;
    for (const QChar c : text.left(40)) {
        if (!isHexDigit(c)) return 0;
        const char16_t u = c.toUpper().unicode();
        v = v * 16u + uint32_t(u <= '9' ? u - '0' : u - 'A' + 10);
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString reply = latin1(data, size);

    // "Q": the error number the rules give, and a version only when the reply holds one.
    float version = -1;
    QString versionText;
    const int invalid = CheckVersionReply(reply, version, &versionText);
    if (reply.size() < 10)
        FUZZ_CHECK(invalid == 2);
    else if (reply[2] != QLatin1Char('V'))
        FUZZ_CHECK(invalid == 3);
    else
        FUZZ_CHECK(invalid == 0 || invalid == 4);
    if (invalid == 0) {
        FUZZ_CHECK(std::isfinite(version));
        FUZZ_CHECK(versionText.size() <= 3);
        // Matching is a pure comparison: one version never matches two numbers.
        int matches = 0;
        for (int16_t hv : {int16_t(-10), int16_t(0), int16_t(10), int16_t(11), int16_t(99)})
            matches += VersionMatches(version, hv) ? 1 : 0;
        FUZZ_CHECK(matches <= 1);
    }

    // "M": four signed 16-bit values from fixed places, or refused when short.
    std::array<int, 4> adjust{9, 9, 9, 9};
    const bool monitored = ParseMonitorReply(reply, adjust);
    FUZZ_CHECK(monitored == (reply.size() >= 25));
    if (monitored) {
        for (int k = 0; k < 4; ++k) {
            FUZZ_CHECK(adjust[k] >= -32768 && adjust[k] <= 32767);
            FUZZ_CHECK(adjust[k] == int16_t(referenceHex(reply.mid(5 + 5 * k, 4)) & 0xFFFF));
        }
    } else {
        FUZZ_CHECK((adjust == std::array<int, 4>{9, 9, 9, 9}));
    }

    // "C%2.2X*": the value an Update verifies (2 characters or more) and the value a Retrieve
    // stores (3 or more); a pair that is not hexadecimal reads as 0.
    {
        uint8_t verified = 0x5A;
        const bool readBack = ReadBackValue(reply, verified);
        FUZZ_CHECK(readBack == (reply.size() >= 2));
        if (readBack)
            FUZZ_CHECK(
                verified ==
                (referenceHex(reply.mid(std::max<qsizetype>(0, reply.size() - 3), 2)) & 0xFF));
        else
            FUZZ_CHECK(verified == 0x5A);
        uint8_t stored = 0xA5;
        const bool retrieved = RetrievedValue(reply, stored);
        FUZZ_CHECK(retrieved == (reply.size() >= 3));
        if (retrieved)
            FUZZ_CHECK(stored == (referenceHex(reply.mid(reply.size() - 3, 2)) & 0xFF));
        else
            FUZZ_CHECK(stored == 0xA5);
        // The text of a verify failure holds the expected byte and the whole reply.
        const QString text = VerifyErrorText(uint8_t(size), reply);
        FUZZ_CHECK(text.startsWith(QStringLiteral("Verify error: ")) && text.endsWith(reply));
    }

    // The conversion itself, on the whole reply.
    FUZZ_CHECK(uint32_t(HexToInt(reply)) == referenceHex(reply));
    const uint32_t n = size >= 4 ? uint32_t(data[0]) | uint32_t(data[1]) << 8 |
                                       uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24
                                 : 0;
    for (int digits = 0; digits <= 9; ++digits) {
        const QString hex = IntToHexStr(n, digits);
        FUZZ_CHECK(hex.size() == std::min(digits, 8));
        if (digits >= 1 && digits <= 8) {
            const uint32_t mask = digits == 8 ? 0xFFFFFFFFu : (1u << (4 * digits)) - 1;
            FUZZ_CHECK(uint32_t(HexToInt(hex)) == (n & mask));
        }
    }
    return 0;
}
