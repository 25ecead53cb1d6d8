#include "meter_match.h"

#include "image/eeprom_image.h"

#include <algorithm>

namespace varnel {

namespace {

constexpr long double kKilogramsPerPound = 0.454L;

struct NotANumber {
    QString text;
};

float toFloat(const QString& text) {
    float v = 0;
    if (!MeterTextToFloat(text, v)) throw NotANumber{text};
    return v;
}

int heldToCells(int n) {
    return std::clamp(n, 0, kMatchCellCount - 1);
}

int limited(int out) {
    return std::min(out, kMatchOutLimit);
}

void placeUseMeter(const MeterRows& use, const MeterRows& match, MatchCells& cells) {
    const int n = std::min(use.count(), kMeterRowLimit);
    for (int k = 0; k < n; ++k) {
        const float s = toFloat(use.signalTexts[k]);
        MatchCell& cell = cells[UseCellOf(s, use.frequency)];
        cell.Signal = s;
        cell.Out = -1;
        float f = toFloat(use.flowTexts[k]);
        if (use.metric && !match.metric)
            f = static_cast<float>(static_cast<long double>(f) / kKilogramsPerPound);
        else if (!use.metric && match.metric)
            f = static_cast<float>(static_cast<long double>(f) * kKilogramsPerPound);
        cell.Flow = f;
    }
}

bool marked(const MatchCell& c) {
    return c.Signal != -1.0f;
}

void fillUseMeter(MatchCells& cells) {
    int p = 0;
    while (p < kMatchCellCount && !marked(cells[p])) ++p;
    if (p >= kMatchCellCount - 1) return;
    bool first = true;
    int markedCount = 1;
    for (int m = p + 1; m < kMatchCellCount; ++m) {
        if (!marked(cells[m])) continue;
        ++markedCount;
        const int gap = m - p;
        if (gap > 1) {
            const long double sp = cells[p].Signal, fp = cells[p].Flow;
            const float ds = static_cast<float>(static_cast<long double>(cells[m].Signal) - sp);
            const float df = static_cast<float>(static_cast<long double>(cells[m].Flow) - fp);
            for (int j = 1; j < gap; ++j) {
                cells[p + j].Signal =
                    static_cast<float>(sp + j * static_cast<long double>(ds) / gap);
                cells[p + j].Flow = static_cast<float>(fp + j * static_cast<long double>(df) / gap);
            }
            if (first && p > 0) {
                for (int j = 0; j < p; ++j) {
                    cells[j].Signal = static_cast<float>(j * sp / p);
                    cells[j].Flow = static_cast<float>(j * fp / p);
                }
                first = false;
            }
        }
        p = m;
    }
    if (markedCount >= 2)
        for (int m = p + 1; m < kMatchCellCount; ++m) {
            cells[m].Signal = cells[p].Signal;
            cells[m].Flow = cells[p].Flow;
        }
}

void placeMatchMeter(const MeterRows& match, MatchCells& cells) {
    const int n = std::min(match.count(), kMeterRowLimit);
    int i = 0;
    for (int k = 0; k < n; ++k) {
        const float g = toFloat(match.flowTexts[k]);
        while (i < kMatchCellCount - 1) {
            ++i;
            if (cells[i].Flow >= g) {
                const long double s = toFloat(match.signalTexts[k]);
                cells[i - 1].Out =
                    match.frequency
                        ? RoundEven(s / kFreqWordScale)
                        : limited(RoundEven(s * static_cast<long double>(kMatchOutputScale)));
                break;
            }
        }
    }
}

bool assigned(const MatchCell& c) {
    return c.Out > 0;
}

void fillOutputs(MatchCells& cells) {
    int p = 0;
    while (p < kMatchCellCount && !assigned(cells[p])) ++p;
    if (p >= kMatchCellCount) return;
    bool first = true;
    float step = 0.0f;
    int assignedCount = 1;
    for (int m = p + 1; m < kMatchCellCount; ++m) {
        if (!assigned(cells[m])) continue;
        ++assignedCount;
        const int gap = m - p;
        if (gap > 1) {
            const long double outP = cells[p].Out;
            const float d = static_cast<float>(cells[m].Out - cells[p].Out);
            step = static_cast<float>(static_cast<long double>(d) / gap);
            for (int j = 1; j < gap; ++j)
                cells[p + j].Out =
                    limited(cells[p].Out + RoundEven(j * static_cast<long double>(d) / gap));
            if (first && p > 0) {
                for (int j = 0; j < p; ++j) cells[j].Out = limited(RoundEven(j * outP / p));
                first = false;
            }
        }
        p = m;
    }
    if (assignedCount < 2) return;
    float v = static_cast<float>(cells[p].Out);
    for (int m = p + 1; m < kMatchCellCount; ++m) {
        v = static_cast<float>(static_cast<long double>(v) + step);
        if (RoundEven(v) > 1023) v = 1023.0f;
        cells[m].Out = limited(RoundEven(v));
    }
}

}  // namespace

void ResetCells(MatchCells& cells) {
    cells.fill(MatchCell{});
}

int UseCellOf(float signal, bool frequency) {
    const long double s = signal;
    const long double n =
        frequency ? s / kFreqWordScale / 4 : s * static_cast<long double>(kMatchInputScale);
    return heldToCells(RoundEven(n));
}

bool MeterTextToFloat(const QString& text, float& value) {
    // The same blanks as the meter editor's reading, so both take the same files.
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b].unicode() <= ' ') ++b;
    while (e > b && text[e - 1].unicode() <= ' ') --e;
    return ParseSingle(text.mid(b, e - b), value);
}

bool MatchMeters(const MeterRows& use, const MeterRows& match, MatchCells& cells, QString& error) {
    error.clear();
    ResetCells(cells);
    try {
        placeUseMeter(use, match, cells);
        if (use.count() >= 3) fillUseMeter(cells);
        placeMatchMeter(match, cells);
        if (match.count() >= 3) fillOutputs(cells);
    } catch (const NotANumber& e) {
        error = QStringLiteral("'%1' is not a valid floating point value").arg(e.text);
        return false;
    }
    return true;
}

QString FlowUnitsText(bool matchMetric) {
    return matchMetric ? QStringLiteral("Kg / Hour") : QStringLiteral("Lbs / Hour");
}

QString MatchCellText(const MatchCell& cell, int column, bool useIsFrequency,
                      bool matchIsFrequency) {
    switch (column) {
        case 0:
            return FormatFixed("%.2Lf", cell.Flow);
        case 1:
            if (cell.Signal < 0) return QStringLiteral("---");
            if (useIsFrequency) return QString::asprintf("%5d", RoundEven(cell.Signal));
            return FormatFixed("%5.3Lf", cell.Signal);
        case 2:
            if (cell.Out < 0) return QStringLiteral("---");
            if (matchIsFrequency)
                return QString::asprintf("%5d", RoundEven(cell.Out * kFreqWordScale));
            return FormatFixed("%5.3Lf", cell.Out / static_cast<long double>(kMatchOutputScale));
    }
    return {};
}

std::array<int, 32> MatchTableEntries(const MatchCells& cells, bool matchIsFrequency) {
    std::array<int, 32> entries{};
    for (int i = 0; i < 32; ++i) {
        const int w = cells[8 * i].Out;
        if (w < 0)
            entries[i] = -1;
        else if (matchIsFrequency)
            // Frequency outputs already count in the table's own 2.88 Hz steps.
            entries[i] = std::min(w, 1023);
        else
            entries[i] = std::min((6 * w) / 5, 1023);
    }
    return entries;
}

}  // namespace varnel
