#include "box_replies.h"

#include "link/hexlib.h"

#include <cmath>

namespace varnel {

namespace {

QString trimControls(const QString& s) {
    int from = 0;
    int to = int(s.size());
    while (from < to && s[from].unicode() <= 32) ++from;
    while (to > from && s[to - 1].unicode() <= 32) --to;
    return s.mid(from, to - from);
}

}  // namespace

bool ParseVersionText(const QString& raw, float& value) {
    const QString t = trimControls(raw);
    int i = 0;
    const int n = int(t.size());
    auto digit = [&](int k) {
        return k < n && t[k] >= QLatin1Char('0') && t[k] <= QLatin1Char('9');
    };
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
    int digits = 0;
    while (digit(i)) ++i, ++digits;
    if (i < n && t[i] == QLatin1Char('.')) {
        ++i;
        while (digit(i)) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) ++i;
        if (!digit(i)) return false;
        while (digit(i)) ++i;
    }
    if (i != n) return false;
    bool ok = false;
    const double v = t.toDouble(&ok);  // the text is plain ASCII digits and '.', as C reads it
    if (!ok || !std::isfinite(v)) return false;
    value = static_cast<float>(v);
    return true;
}

int CheckVersionReply(const QString& reply, float& version, QString* versionText) {
    if (reply.size() < 10) return 2;
    if (reply[2] != QLatin1Char('V')) return 3;
    const QString field = reply.mid(3, 3);
    if (versionText) *versionText = trimControls(field);
    return ParseVersionText(field, version) ? 0 : 4;
}

bool VersionMatches(float version, int16_t hardwareVersion) {
    // Ties go to the even neighbour (the default rounding mode).
    const double tenths = double(version) * 10.0;
    return std::fabs(tenths) < 1e6 && std::lrint(tenths) == long(hardwareVersion);
}

bool ParseMonitorReply(const QString& reply, std::array<int, 4>& adjust) {
    if (reply.size() < 25) return false;
    for (int k = 0; k < 4; ++k) adjust[size_t(k)] = LowSigned16(HexToInt(reply.mid(5 + 5 * k, 4)));
    return true;
}

}  // namespace varnel
