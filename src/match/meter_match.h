#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

namespace varnel {

inline constexpr int kMatchCellCount = 256;
inline constexpr int kMatchOutLimit = 853;  // 4.998 V in steps of 6/1024 V
inline constexpr int kMeterRowLimit = 62;

// What the match needs of one meter file.
struct MeterRows {
    bool metric = false;     // flows in kg/h; else lb/h
    bool frequency = false;  // signals in Hz; else V
    QStringList signalTexts;
    QStringList flowTexts;
    int count() const { return int(std::min(signalTexts.size(), flowTexts.size())); }
};

// One step of the use meter's signal.
struct MatchCell {
    float Flow = 0.0f;     // in the match meter's units
    float Signal = -1.0f;  // -1: unmarked
    int32_t Out = -1;      // -1: unassigned
};

using MatchCells = std::array<MatchCell, kMatchCellCount>;

void ResetCells(MatchCells& cells);

// The cell a use-meter signal falls into, held to 0..255.
int UseCellOf(float signal, bool frequency);

// Reads a meter text as a number ('.' as the decimal point, surrounding blanks allowed).
bool MeterTextToFloat(const QString& text, float& value);

// Fills the cells from the two meters. Fails only on a text that is not a number, with the
// message the user is shown; the cells then keep what was written so far.
bool MatchMeters(const MeterRows& use, const MeterRows& match, MatchCells& cells, QString& error);

// "Kg / Hour" or "Lbs / Hour": the match meter's flow unit.
QString FlowUnitsText(bool matchMetric);

// The grid's texts for a cell: column 0 flow, 1 use signal, 2 output.
QString MatchCellText(const MatchCell& cell, int column, bool useIsFrequency,
                      bool matchIsFrequency);

// The table words a copy writes into entries 0..31, from cells 0, 8, ..., 248; -1 where the
// match left the cell without an output.
std::array<int, 32> MatchTableEntries(const MatchCells& cells, bool matchIsFrequency);

}  // namespace varnel
