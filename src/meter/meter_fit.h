#pragma once

#include "meter/meter_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace varnel {

// A meter file made from a published curve: hundreds of signal/flow points in whatever unit the
// maker chose, brought down to at most 62 rows in kg/h or lb/h with signals on the grid the
// file's two decimals hold, the rows chosen to keep the meter as close to the curve as it can.

enum class CurveFlowUnit {
    GramsPerSecond,
    KilogramsPerHour,
    PoundsPerMinute,
    PoundsPerHour,
    MilligramsPerSecond
};

// "g/s", "kg/h", "lb/min", "lb/h", "mg/s"; false for any other name.
bool CurveFlowUnitOf(const QString& name, CurveFlowUnit& unit);
QStringList CurveFlowUnitNames();

// A flow of the curve's unit in kg/h (metric) or lb/h.
double MeterFlowOf(double flow, CurveFlowUnit unit, bool metric);

struct CurvePoint {
    double signal = 0;
    double flow = 0;
    int line = 0;  // where the text has it, from 1
};

// Reads a curve text: one point per line, signal then flow, separated by blanks, tabs or commas;
// '#' starts a comment; lines that hold no number at all (headings) are skipped. Any line ending.
// False, with the message for the user, for a line that holds numbers but not exactly two.
bool ReadCurveText(const QByteArray& data, std::vector<CurvePoint>& points, QString& error);

struct MeterFitOptions {
    CurveFlowUnit unit = CurveFlowUnit::KilogramsPerHour;
    bool metric = true;      // the meter's flows in kg/h; else lb/h
    bool frequency = false;  // signals in Hz on a 1 Hz grid; else V on a 0.01 V grid
    int rows = kMeterRows;   // at most this many rows, 2..62
};

struct MeterFitResult {
    QVector<MeterPoint> rows;  // the grid's texts: signals "%1.2f", flows "%4.2f"
    // The meter's flow (straight between rows) against the curve's, in percent of the curve's,
    // over the curve above 2 % of its top flow: the worst (with its sign) anywhere, the mean
    // magnitude at the curve's own points.
    double worst = 0;
    double mean = 0;
};

// The rows of at most options.rows, with signals on the grid, that span the curve and make the
// worst error as small as the grid allows; among those, the ones whose error summed over the
// curve's points is smallest (below 2 % of the top flow, the error in parts of that 2 %). Flows
// rise strictly: a flat start at no flow keeps its last point, a flat top stops at its first.
// False, with the message for the user, for a curve that falls or cannot make a meter.
bool FitMeterCurve(const std::vector<CurvePoint>& curve, const MeterFitOptions& options,
                   MeterFitResult& result, QString& error);

// The meter's worst and mean error against the curve, by the rules above (points in the curve's
// unit are converted first). Also used to report on a fit.
void MeterCurveError(const std::vector<CurvePoint>& curve, const MeterFitOptions& options,
                     const QVector<MeterPoint>& rows, double& worst, double& mean);

// The fit into a meter record, as the editor's Convert fills it: part number, units, signal
// kind, description lines (where the meter came from and how close it is) and the rows. The
// record's other bytes stay.
void FillFittedRecord(const MeterFitResult& fit, const MeterFitOptions& options,
                      const QString& partNumber, const QString& curveName, TMeterRecord& record);

// "Worst error +0.21 %, mean 0.05 %, 62 rows kept."
QString FitSummary(const MeterFitResult& fit);

}  // namespace varnel
