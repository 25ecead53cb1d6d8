#include "box_ops.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "image/eeprom_image.h"
#include "link/box_link.h"

#include <algorithm>

namespace varnel {

namespace {

const QString kHardwareNotFound = QStringLiteral("Hardware not found");

QString invalidResponse(int n) {
    return QStringLiteral("Invalid response from hardware (error %1)").arg(n);
}

}  // namespace

bool ConnectBox(AppState& state, BoxLink& link, UiServices& ui, QString* reportedVersion) {
    state.Connected = false;
    link.AwaitOpening();
    link.FlushLink();
    if (!link.SendCommand(QString(), '>', state.AbortFlag)) {
        ui.error(kHardwareNotFound);
        return false;
    }
    if (!link.SendCommand(QStringLiteral("Q"), '>', state.AbortFlag)) {
        ui.error(invalidResponse(1));
        return false;
    }
    float version = 0;
    const int invalid = CheckVersionReply(link.Response, version, reportedVersion);
    if (invalid != 0) {
        ui.error(invalidResponse(invalid));
        return false;
    }
    if (!VersionMatches(version, state.header.HardwareVersion())) {
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
    link.AwaitOpening();
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
    std::array<int, 4> adjust{};
    if (!ParseMonitorReply(reply, adjust)) {
        ui.error(invalidResponse(2));
        return false;
    }
    result.adjust = adjust;
    result.points = AdjustedCurve(state.image, result.adjust, frequency);
    return true;
}

}  // namespace varnel
