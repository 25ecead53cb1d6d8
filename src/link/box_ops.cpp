#include "box_ops.h"

#include "app/app_state.h"
#include "app/ui_services.h"
#include "image/eeprom_image.h"
#include "link/box_link.h"
#include "link/hexlib.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

const QString kHardwareNotFound = QStringLiteral("Hardware not found");

QString invalidResponse(int n) {
    return QStringLiteral("Invalid response from hardware (error %1)").arg(n);
}

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

bool ConnectBox(AppState& state, BoxLink& link, UiServices& ui, QString* reportedVersion) {
    state.Connected = false;
    link.FlushLink();
    if (!link.SendCommand(QString(), '>', state.AbortFlag)) {
        ui.error(kHardwareNotFound);
        return false;
    }
    if (!link.SendCommand(QStringLiteral("Q"), '>', state.AbortFlag)) {
        ui.error(invalidResponse(1));
        return false;
    }
    const QString reply = link.Response;
    if (reply.size() < 10) {
        ui.error(invalidResponse(2));
        return false;
    }
    if (reply[2] != QLatin1Char('V')) {
        ui.error(invalidResponse(3));
        return false;
    }
    const QString versionText = reply.mid(3, 3);
    if (reportedVersion) *reportedVersion = trimControls(versionText);
    float version = 0;
    if (!ParseVersionText(versionText, version)) {
        ui.error(invalidResponse(4));
        return false;
    }
    // Ties go to the even neighbour (the default rounding mode); a value beyond any version
    // number simply does not match.
    const double tenths = double(version) * 10.0;
    const bool matches =
        std::fabs(tenths) < 1e6 && std::lrint(tenths) == long(state.header.HardwareVersion());
    if (!matches) {
        ui.error(QStringLiteral("Incorrect hardware version"));
        return false;
    }
    state.Connected = true;
    return true;
}

int MonitorAdjustment(const std::array<int, 4>& p, int i) {
    // C++ integer division truncates toward zero, as the box's arithmetic does.
    if (i <= 3) return (p[0] * i) / 4;
    if (i <= 11) return p[0] + ((p[1] - p[0]) * (i - 4)) / 8;
    if (i <= 19) return p[1] + ((p[2] - p[1]) * (i - 12)) / 8;
    if (i <= 27) return p[2] + ((p[3] - p[2]) * (i - 20)) / 8;
    return (p[3] * (32 - i)) / 4;
}

std::array<QPointF, 32> AdjustedCurve(const EepromImage& image, const std::array<int, 4>& p,
                                      bool frequency) {
    std::array<QPointF, 32> points;
    for (int i = 0; i < 32; ++i) {
        const int e = 256 * image.byte(2 * i) + image.byte(2 * i + 1);
        const int v = std::clamp(e + MonitorAdjustment(p, i), 0, 1023);
        const double x = i / double(kInputStepDivisor);
        const double y = frequency ? v * 2.88 : v / 204.8;
        points[i] = QPointF(x, y);
    }
    return points;
}

bool MonitorBox(AppState& state, BoxLink& link, UiServices& ui, bool frequency,
                MonitorResult& result) {
    link.FlushLink();
    if (!link.SendCommand(QString(), '>', state.AbortFlag)) {
        ui.error(kHardwareNotFound);
        return false;
    }
    // The first reply line is discarded; the values follow on the next.
    if (!link.SendCommand(QStringLiteral("M"), '\n', state.AbortFlag)) {
        ui.error(invalidResponse(1));
        return false;
    }
    link.ReceiveUntil('>');
    const QString reply = link.Response;
    link.FlushLink();
    if (reply.size() < 25) {
        ui.error(invalidResponse(2));
        return false;
    }
    for (int k = 0; k < 4; ++k) result.adjust[k] = LowSigned16(HexToInt(reply.mid(5 + 5 * k, 4)));
    result.points = AdjustedCurve(state.image, result.adjust, frequency);
    return true;
}

}  // namespace varnel
