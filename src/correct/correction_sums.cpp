// The sums of the rows, the open-loop rows' spread and outliers, and the proposed words: a table
// that rises where it rose, within the largest change, its locked entries kept.

#include "log_correction.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnel {

namespace {

// The rows' corrections are sorted into steps of 0.1 % from -50 % to +50 % (those beyond go to
// the end steps): fine enough for a spread and for telling an outlier, small enough to keep.
constexpr int kStepsPerPercent = 10;
constexpr int kSteps = 100 * kStepsPerPercent + 1;
// A row further from its entry's median than this many median absolute deviations is an
// outlier; the deviation is taken as at least kLeastSpread, so that an entry whose rows mostly
// agree to the logger's last digit does not throw out the rest.
constexpr double kOutlierSpreads = 4;
constexpr double kLeastSpread = 0.5;
// A handful of rows has no spread to speak of: an entry's rows are tested once it has this many.
constexpr double kOutlierRows = 10;

// The scatter view's grid: a point for each cell it has rows in, up to kMaxPoints.
constexpr int kPointColumns = 400;
constexpr int kPointRows = 500;  // steps of 0.2 % from -50 % to +50 %
constexpr size_t kMaxPoints = 60000;

int stepOf(double t) {
    const double k = std::round((t + 50) * kStepsPerPercent);
    return k <= 0 ? 0 : k >= kSteps - 1 ? kSteps - 1 : int(k);
}

double centreOf(int step) {
    return double(step) / kStepsPerPercent - 50;
}

// The weighted median of the steps' weights, and the median of the steps' distances from it.
struct Spread {
    double weight = 0;
    double median = 0;
    double deviation = 0;
};

Spread spreadOf(const double* w) {
    Spread s;
    for (int b = 0; b < kSteps; ++b) s.weight += w[b];
    if (s.weight <= 0) return s;
    const double half = s.weight / 2;
    double below = 0;
    int b = 0;
    while (b < kSteps - 1 && below + w[b] < half) below += w[b++];
    s.median = centreOf(b);
    // Half the weight up to b exactly: the median lies halfway to the next step with rows.
    if (std::abs(below + w[b] - half) <= 1e-9 * s.weight)
        for (int next = b + 1; next < kSteps; ++next)
            if (w[next] > 0) {
                s.median = (centreOf(b) + centreOf(next)) / 2;
                break;
            }
    std::vector<std::pair<double, double>> away;
    for (int k = 0; k < kSteps; ++k)
        if (w[k] > 0) away.emplace_back(std::abs(centreOf(k) - s.median), w[k]);
    std::sort(away.begin(), away.end());
    double sum = 0;
    for (const auto& [d, weight] : away) {
        sum += weight;
        s.deviation = d;
        if (sum >= half - 1e-9 * s.weight) break;
    }
    return s;
}

}  // namespace

// A row in open loop goes to its nearest entry j (the larger share) and to the entry on its
// other side; it is kept by j and by the step of its correction, so that it can be left out of
// both when it is an outlier to j.
struct CorrectionSums::Open {
    struct Share {
        double weight = 0;
        double shift = 0;
        double trim = 0;
        void add(double w, double d, double t) {
            weight += w;
            shift += w * d;
            trim += w * t;
        }
    };
    struct Cell {
        Share near;
        Share far;
    };
    std::vector<Cell> above;                // entry x step: the other entry is j + 1
    std::vector<Cell> below;                // the other entry is j - 1
    std::vector<std::vector<qint64>> rows;  // per log: entry x step, rows by their nearest entry

    Open() : above(size_t(kTableEntries) * kSteps), below(size_t(kTableEntries) * kSteps) {}
    Cell& at(std::vector<Cell>& v, int entry, int step) {
        return v[size_t(entry) * kSteps + size_t(step)];
    }
};

CorrectionSums::CorrectionSums(const std::array<uint16_t, kTableEntries>& words, bool frequency,
                               const MeterCurve& meter, double strength)
    : meter_(meter),
      frequency_(frequency),
      strength_(strength),
      words_(words),
      closedSpread_(size_t(kTableEntries) * kSteps, 0.0) {
    for (size_t i = 0; i < words.size(); ++i)
        out_[i] = frequency ? words[i] * 2.88 : words[i] / 204.8;
    pointLow_ = *std::min_element(out_.begin(), out_.end());
    pointHigh_ = *std::max_element(out_.begin(), out_.end());
}

CorrectionSums::~CorrectionSums() = default;

RowSkip CorrectionSums::add(double s, double t, bool open, int log) {
    double f = 0;
    if (!meter_.flowAt(s, f)) return RowSkip::OutsideMeter;
    const double wanted = f * (1 + (strength_ / 100) * t / 100);
    double s2 = 0;
    if (!meter_.signalAt(wanted, s2)) return RowSkip::OutsideMeter;
    // The first rising step of the table that holds the signal: the box's input lay there.
    int i = 0;
    while (i < kTableEntries - 1 && !(out_[i] < out_[i + 1] && out_[i] <= s && s <= out_[i + 1]))
        ++i;
    if (i == kTableEntries - 1) return RowSkip::OutsideTable;
    const double a = (s - out_[i]) / (out_[i + 1] - out_[i]);
    const double d = s2 - s;
    const int step = stepOf(t);
    const int nearest = a < 0.5 ? i : i + 1;
    if (!open) {
        weight_[i] += 1 - a;
        shift_[i] += (1 - a) * d;
        trim_[i] += (1 - a) * t;
        weight_[i + 1] += a;
        shift_[i + 1] += a * d;
        trim_[i + 1] += a * t;
        closedSpread_[size_t(i) * kSteps + size_t(step)] += 1 - a;
        closedSpread_[size_t(i + 1) * kSteps + size_t(step)] += a;
        ++closedRows_;
    } else {
        if (!open_) open_ = std::make_unique<Open>();
        Open::Cell& c = open_->at(nearest == i ? open_->above : open_->below, nearest, step);
        const double wNear = nearest == i ? 1 - a : a;
        c.near.add(wNear, d, t);
        c.far.add(1 - wNear, d, t);
        if (size_t(log) >= open_->rows.size()) open_->rows.resize(size_t(log) + 1);
        std::vector<qint64>& rows = open_->rows[size_t(log)];
        if (rows.empty()) rows.assign(size_t(kTableEntries) * kSteps, 0);
        ++rows[size_t(nearest) * kSteps + size_t(step)];
        ++openRows_;
    }
    if (keepPoints_ && points_.size() < kMaxPoints && pointHigh_ > pointLow_) {
        if (pointCells_.empty()) pointCells_.assign((2 * kPointColumns * kPointRows + 63) / 64, 0);
        const int col =
            std::clamp(int((s - pointLow_) / (pointHigh_ - pointLow_) * (kPointColumns - 1) + 0.5),
                       0, kPointColumns - 1);
        const int row =
            std::clamp(int(std::round((t + 50) * kPointRows / 100.0)), 0, kPointRows - 1);
        const size_t cell = (size_t(open) * kPointColumns + size_t(col)) * kPointRows + size_t(row);
        uint64_t& bits = pointCells_[cell / 64];
        const uint64_t bit = uint64_t(1) << (cell % 64);
        if (!(bits & bit)) {
            bits |= bit;
            points_.push_back({float(s), float(t), int8_t(open ? nearest : -1), int16_t(step)});
        }
    }
    return RowSkip::None;
}

void CorrectionSums::finish(const ProposalLimits& limits, CorrectionReport& report) const {
    std::array<double, kTableEntries> weight = weight_;
    std::array<double, kTableEntries> shift = shift_;
    std::array<double, kTableEntries> trim = trim_;
    // Per entry and step, whether its open-loop rows there are outliers.
    std::vector<char> outlying;
    qint64 outliers = 0;
    std::vector<double> openSpread;
    if (open_) {
        Open& o = *open_;
        openSpread.assign(size_t(kTableEntries) * kSteps, 0.0);
        for (int j = 0; j < kTableEntries; ++j)
            for (int b = 0; b < kSteps; ++b) {
                double& w = openSpread[size_t(j) * kSteps + size_t(b)];
                w += o.at(o.above, j, b).near.weight + o.at(o.below, j, b).near.weight;
                if (j > 0) w += o.at(o.above, j - 1, b).far.weight;
                if (j + 1 < kTableEntries) w += o.at(o.below, j + 1, b).far.weight;
            }
        outlying.assign(size_t(kTableEntries) * kSteps, 0);
        for (int j = 0; j < kTableEntries; ++j) {
            const Spread s = spreadOf(&openSpread[size_t(j) * kSteps]);
            if (s.weight < kOutlierRows - 1e-9) continue;
            const double reach = kOutlierSpreads * std::max(s.deviation, kLeastSpread);
            for (int b = 0; b < kSteps; ++b)
                outlying[size_t(j) * kSteps + size_t(b)] = std::abs(centreOf(b) - s.median) > reach;
        }
        for (int j = 0; j < kTableEntries; ++j)
            for (int b = 0; b < kSteps; ++b) {
                if (outlying[size_t(j) * kSteps + size_t(b)]) continue;
                for (const bool up : {true, false}) {
                    const Open::Cell& c = o.at(up ? o.above : o.below, j, b);
                    if (c.near.weight + c.far.weight <= 0) continue;
                    const int other = up ? j + 1 : j - 1;
                    for (const auto& [e, share] :
                         {std::pair{j, &c.near}, std::pair{other, &c.far}}) {
                        if (e < 0 || e >= kTableEntries) continue;
                        weight[size_t(e)] += share->weight;
                        shift[size_t(e)] += share->shift;
                        trim[size_t(e)] += share->trim;
                    }
                }
            }
        for (size_t k = 0; k < o.rows.size(); ++k) {
            if (o.rows[k].empty()) continue;
            qint64 left = 0;
            for (size_t c = 0; c < outlying.size(); ++c)
                if (outlying[c]) left += o.rows[k][c];
            outliers += left;
            if (qsizetype(k) < report.logs.size()) report.logs[qsizetype(k)].rowsUsed -= left;
        }
    }
    report.rowsUsedClosed = closedRows_;
    report.rowsUsedOpen = openRows_ - outliers;
    report.outlier = outliers;
    report.rowsUsed = report.rowsUsedClosed + report.rowsUsedOpen;
    report.outputs = out_;
    std::vector<double> both(kSteps);
    for (size_t j = 0; j < words_.size(); ++j) {
        EntryCorrection& e = report.entries[j];
        e = EntryCorrection();
        e.samples = weight[j];
        e.samplesClosed = weight_[j];
        e.trimSum = trim[j];
        e.shiftSum = shift[j];
        e.word = words_[j];
        for (int b = 0; b < kSteps; ++b)
            both[size_t(b)] = closedSpread_[j * kSteps + size_t(b)] +
                              (openSpread.empty() ? 0 : openSpread[j * kSteps + size_t(b)]);
        const Spread s = spreadOf(both.data());
        e.spread = s.weight > 0 ? s.deviation : std::numeric_limits<double>::quiet_NaN();
    }
    report.points.clear();
    report.points.reserve(points_.size());
    for (const Point& p : points_)
        report.points.push_back({p.signal, p.correction, p.entry >= 0,
                                 p.entry >= 0 && !outlying.empty() &&
                                     outlying[size_t(p.entry) * kSteps + size_t(p.step)] != 0});
    ProposeWords(meter_, frequency_, limits, report);
}

namespace {

// Pool adjacent violators: the least change (weighted squares) that makes v[from..to] rise.
void poolRising(std::array<double, kTableEntries>& v, const std::array<double, kTableEntries>& w,
                int from, int to) {
    struct Block {
        int first;
        int last;
        double weight;
        double value;
    };
    std::vector<Block> blocks;
    for (int k = from; k <= to; ++k) {
        blocks.push_back({k, k, w[size_t(k)], v[size_t(k)]});
        while (blocks.size() > 1 && blocks[blocks.size() - 2].value > blocks.back().value) {
            const Block b = blocks.back();
            blocks.pop_back();
            Block& a = blocks.back();
            a.value = (a.weight * a.value + b.weight * b.value) / (a.weight + b.weight);
            a.weight += b.weight;
            a.last = b.last;
        }
    }
    for (const Block& b : blocks)
        if (b.first < b.last)
            for (int k = b.first; k <= b.last; ++k) v[size_t(k)] = b.value;
}

}  // namespace

void ProposeWords(const MeterCurve& meter, bool frequency, const ProposalLimits& limits,
                  CorrectionReport& report) {
    auto outputOf = [frequency](uint16_t word) { return frequency ? word * 2.88 : word / 204.8; };
    auto wordOf = [frequency](double o) {
        const long double w = frequency ? o / 2.88L : o * 204.8L;
        return static_cast<uint16_t>(std::clamp(RoundEven(w), 0, 1023));
    };
    const int minSamples = std::max(1, limits.minSamples);
    std::array<bool, kTableEntries> free{};
    std::array<double, kTableEntries> estimate{};
    std::array<double, kTableEntries> weight{};
    for (size_t j = 0; j < free.size(); ++j) {
        EntryCorrection& e = report.entries[j];
        e.locked = limits.locked[j];
        e.held = e.limited = false;
        // The weights are sums of fractions: five rows each giving 0.2 add up to a hair under
        // one, and they are meant as one sample.
        const bool enough = e.samples > 0 && e.samples >= minSamples - 1e-9;
        e.corrected = enough && !e.locked;
        free[j] = e.corrected;
        estimate[j] = outputOf(e.word) + (free[j] ? e.shiftSum / e.samples : 0);
        weight[j] = e.samples;
    }

    // Where the table rises now, the proposal rises: within each run of entries that do not
    // fall, the entries that keep their words bound the free ones between them.
    std::array<double, kTableEntries> rising = estimate;
    for (int first = 0; first < kTableEntries;) {
        int last = first;
        while (last + 1 < kTableEntries &&
               report.entries[size_t(last + 1)].word >= report.entries[size_t(last)].word)
            ++last;
        for (int k = first; k <= last;) {
            if (!free[size_t(k)]) {
                ++k;
                continue;
            }
            int m = k;
            while (m + 1 <= last && free[size_t(m + 1)]) ++m;
            poolRising(rising, weight, k, m);
            const double low = k > first ? estimate[size_t(k - 1)] : -HUGE_VAL;
            const double high = m < last ? estimate[size_t(m + 1)] : HUGE_VAL;
            for (int q = k; q <= m; ++q)
                rising[size_t(q)] = std::clamp(rising[size_t(q)], low, high);
            k = m + 1;
        }
        first = last + 1;
    }

    const double change = limits.maxChange / 100;
    report.heldRising = 0;
    for (size_t j = 0; j < free.size(); ++j) {
        EntryCorrection& e = report.entries[j];
        e.proposedWord = e.word;
        if (!free[j]) continue;
        e.proposedWord = wordOf(rising[j]);
        e.held = e.proposedWord != wordOf(estimate[j]);
        report.heldRising += e.held ? 1 : 0;
        if (change <= 0) continue;
        // The largest change as the expected meter's flow at the old and the new word: the
        // farthest whole words within it, the old word always among them.
        const uint16_t was = e.proposedWord;
        double f = 0;
        double low = 0;
        double high = 0;
        if (!meter.flowAt(outputOf(e.word), f) || meter.flow.empty()) {
            e.proposedWord = e.word;
        } else {
            meter.signalAt(std::max(f * (1 - change), meter.flow.front()), low);
            meter.signalAt(std::min(f * (1 + change), meter.flow.back()), high);
            const double perWord = frequency ? 1 / 2.88 : 204.8;
            const int lowWord = std::min<int>(int(std::ceil(low * perWord - 1e-9)), e.word);
            const int highWord = std::max<int>(int(std::floor(high * perWord + 1e-9)), e.word);
            e.proposedWord = uint16_t(
                std::clamp<int>(e.proposedWord, std::max(lowWord, 0), std::min(highWord, 1023)));
        }
        e.limited = e.proposedWord != was;
    }
}

std::array<uint16_t, kTableEntries> CorrectionReport::proposedWords() const {
    std::array<uint16_t, kTableEntries> words{};
    for (size_t i = 0; i < words.size(); ++i) words[i] = entries[i].proposedWord;
    return words;
}

int CorrectionReport::changedEntries() const {
    return int(std::count_if(entries.begin(), entries.end(),
                             [](const EntryCorrection& e) { return e.proposedWord != e.word; }));
}

int CorrectionReport::limitedEntries() const {
    return int(std::count_if(entries.begin(), entries.end(),
                             [](const EntryCorrection& e) { return e.limited; }));
}

}  // namespace varnel
