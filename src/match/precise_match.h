#pragma once

#include "image/eeprom_image.h"
#include "match/meter_match.h"

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace varnel {

// The precise match: for each of the 33 table entries, the flow the use meter gives at the
// entry's input, and the signal at which the match meter gives that flow, rounded once to the
// table's own word. The classic match (meter_match) places rows one cell low, interpolates the
// outputs by cell and scales them by a truncating 6/5; this one only rounds, so its words are
// as close to the meters as 10-bit words can be.

enum class MatchMethod { Classic, Precise };

inline constexpr double kKilogramsPerPoundExact = 0.45359237;

// The refusal of a meter the precise match cannot invert.
QString NotRisingMessage();

// A meter's response as the precise match reads it: rows sorted by signal, signals strictly
// rising, flows not below zero and strictly rising after an optional flat run at no flow.
struct MatchCurve {
    bool metric = false;     // flows in kg/h; else lb/h
    bool frequency = false;  // signals in Hz; else V
    std::vector<double> signal;
    std::vector<double> flow;

    // Straight between rows; below the first row straight from (0, 0) to it; above the last row
    // the last row's flow.
    double flowAt(double s) const;
    // The signal at which the meter gives flow f: straight between rows; below the first row
    // straight from (0, 0); above the last row along the last segment. A flow of none, on a
    // meter that opens with a flat run at no flow, gives the run's last row.
    double signalAt(double f) const;
    // Whether s lies within the rows' signals, f within their flows.
    bool coversSignal(double s) const { return s >= signal.front() && s <= signal.back(); }
    bool coversFlow(double f) const { return f >= flow.front() && f <= flow.back(); }
    double topFlow() const { return flow.back(); }
};

// The curve of a meter's rows; false with NotRisingMessage() (or the message for a text that is
// not a number) when the precise match cannot use it.
bool MatchCurveOf(const MeterRows& rows, MatchCurve& curve, QString& error);

// A flow in the other unit: kg/h and lb/h at 0.45359237 kg per lb.
double ConvertedFlow(double flow, bool fromMetric, bool toMetric);

// The use meter's signal that table entry i stands for: i x 0.1875 V, or for a frequency use
// meter i x 92.16 Hz (the classic match's every eighth cell of 11.52 Hz).
double EntryInput(int entry, bool useIsFrequency);

// The table word of an output signal: volts x 204.8 or hertz / 2.88, ties to even, held to
// 0..1023; and back.
int OutputWord(double signal, bool frequency);
double WordSignal(int word, bool frequency);

// 33 table words; -1 where a method gives none.
using TableWords = std::array<int, kTableEntries>;

TableWords PreciseMatchWords(const MatchCurve& use, const MatchCurve& match);

// The classic copy's 32 entries as table words (entry 32 is never written by it).
TableWords ClassicTableWords(const std::array<int, 32>& entries);

// How far the flow the engine computer reads through a table is from the flow the use meter
// measures, in percent, per entry: (match meter's flow at the entry's word - use meter's flow at
// the entry's input) / the latter. Only where the input lies within the use meter's rows, its
// flow within the match meter's rows and at least 2 % of the match meter's top flow, and the
// table has a word.
struct PredictedError {
    std::array<std::optional<double>, kTableEntries> entries{};
    std::optional<double> worst;  // the largest magnitude, with its sign
    std::optional<double> mean;   // the mean magnitude
};

PredictedError PredictMatchError(const MatchCurve& use, const MatchCurve& match,
                                 const TableWords& words);

// " +1.23 %" style texts for the legend and the command line; "-" when there is no figure.
QString ErrorPercentText(const std::optional<double>& value, bool withSign);

}  // namespace varnel
