#pragma once

#include "link/box_replies.h"

#include <QPointF>
#include <QString>

#include <array>

namespace varnel {

struct AppState;
class BoxLink;
class EepromImage;
class UiServices;

// The box operations shared by the window and varnel-cli. They report through UiServices with
// the window's texts; the caller refreshes its own display afterwards.

// Checks that a box answers its prompt and reports the project's hardware version. Clears
// Connected first and sets it on success. reportedVersion, when given, receives the version text
// the box sent (also when it does not match).
bool ConnectBox(AppState& state, BoxLink& link, UiServices& ui, QString* reportedVersion = nullptr);

// The four pot adjustments the box applies and the table curve with them applied.
struct MonitorResult {
    std::array<int, 4> adjust{};
    std::array<QPointF, 32> points{};
};

// Reads the pot adjustments and computes the adjusted curve from the image's table. frequency
// chooses the unit of the y values (hertz, else volts). Nothing is changed on failure.
bool MonitorBox(AppState& state, BoxLink& link, UiServices& ui, bool frequency,
                MonitorResult& result);

// The adjustment of table entry i (0..31): a piecewise-linear curve through 0 at entry 0, P1 at
// 4, P2 at 12, P3 at 20, P4 at 28, falling back toward 0 by entry 31.
int MonitorAdjustment(const std::array<int, 4>& p, int i);

// The adjusted curve of an image; entry words plus adjustment, limited to 0..1023.
std::array<QPointF, 32> AdjustedCurve(const EepromImage& image, const std::array<int, 4>& p,
                                      bool frequency);

}  // namespace varnel
