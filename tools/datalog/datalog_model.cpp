#include "datalog_model.h"

#include "meter/meter_file.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace varnel::datalog {

namespace {

double along(const std::vector<double>& xs, const std::vector<double>& ys, double x) {
    if (x <= xs.front()) return ys.front();
    if (x >= xs.back()) return ys.back();
    size_t k = 1;
    while (xs[k] < x) ++k;
    return ys[k - 1] + (x - xs[k - 1]) * (ys[k] - ys[k - 1]) / (xs[k] - xs[k - 1]);
}

void put(std::string& line, double v, int decimals) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    line.append(buf, r.ptr);
}

}  // namespace

double Random::uniform() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return double((state * 0x2545F4914F6CDD1DULL) >> 11) / double(1ULL << 53);
}

double Random::normal() {
    double sum = 0;
    for (int i = 0; i < 12; ++i) sum += uniform();
    return sum - 6;
}

double Curve::flowAt(double s) const {
    return along(signal, flow, s);
}

double Curve::signalAt(double f) const {
    return along(flow, signal, f);
}

bool ReadCurve(const QString& path, double flowScale, Curve& curve, QString& error) {
    TMeterRecord record;
    if (!ReadMeterFile(path, record, error) || !CheckMeterTexts(record, path, error)) return false;
    curve = Curve();
    for (int row = 1; row <= record.usableRows(); ++row) {
        double s = 0;
        double f = 0;
        MeterTextToNumber(record.SignalText(row), s);
        MeterTextToNumber(record.FlowText(row), f);
        curve.signal.push_back(s);
        curve.flow.push_back(f * flowScale);
    }
    if (curve.signal.size() < 2) {
        error = path + QStringLiteral(" has fewer than two points");
        return false;
    }
    return true;
}

double EngineModel::output(double x) const {
    const double step = std::clamp(x * 16 / 3, 0.0, 32.0);
    const int i = std::min(int(step), 31);
    const double a = step - i;
    const double scale = frequency ? 2.88 : 1 / 204.8;
    return (table[size_t(i)] * (1 - a) + table[size_t(i + 1)] * a) * scale;
}

double EngineModel::trueFlow(double x) const {
    const double t = inputHigh > inputLow ? (x - inputLow) / (inputHigh - inputLow) : 0;
    return fitted.flowAt(x) * (1 + (errorLow + t * (errorHigh - errorLow)) / 100);
}

double EngineModel::trim(double x) const {
    const double seen = expected.flowAt(output(x));
    if (seen <= 0) return 25;
    return std::clamp(100 * (trueFlow(x) / seen - 1), -25.0, 25.0);
}

double EngineModel::flowRatio(double x) const {
    const double seen = expected.flowAt(output(x));
    return seen > 0 ? trueFlow(x) / seen : 1;
}

bool WriteLog(std::FILE* out, const EngineModel& model, const LogShape& shape) {
    Random random{shape.seed * 0x9E3779B97F4A7C15ULL + 1};
    // A European spreadsheet's CSV: semicolons between fields, decimal commas in the numbers.
    const char sep = shape.decimalComma ? ';' : ',';
    const char mark = shape.decimalComma ? ',' : '.';
    auto put = [mark](std::string& line, double v, int decimals) {
        const size_t from = line.size();
        ::varnel::datalog::put(line, v, decimals);
        if (mark != '.') std::replace(line.begin() + std::ptrdiff_t(from), line.end(), '.', mark);
    };
    std::string line = "Time s,RPM,\"";
    line += model.frequency ? "MAF Hz" : "MAF V";
    line += "\",\"STFT %\",\"LTFT %\",ECT C";
    if (shape.wideband) line += ",AFR,\"Target AFR\"";
    if (!shape.note.empty()) line += ",\"" + shape.note + '"';
    if (sep != ',') std::replace(line.begin(), line.end(), ',', sep);
    line += '\n';
    const long warm = long(shape.warmUp * double(shape.rows));
    const double span = model.inputHigh - model.inputLow;
    // What the long-term trim learned at the edge of closed loop, as the logger writes it.
    const double learned =
        shape.openLoopAbove > 0 ? std::round(model.trim(shape.openLoopAbove) * 10) / 10 : 0;
    // The mixtures the wideband has yet to show.
    std::vector<double> mixtures(size_t(std::max(shape.widebandLag, 0)) + 1, 14.7);
    for (long row = 0; row < shape.rows; ++row) {
        const double x = model.inputLow + random.uniform() * span;
        const double scatter = random.normal() * shape.noise;
        const double heat = random.uniform();
        const bool warming = row < warm;
        const bool load = !warming && shape.openLoopAbove > 0 && x > shape.openLoopAbove;
        // Open loop while the engine is cold: the computer does not trim yet. Under load it
        // keeps its long-term trim.
        const double ltft = warming ? 0 : load ? learned : model.trim(x);
        const double stft = warming || load ? 0 : scatter;
        put(line, double(row) / 10, 1);
        line += sep;
        put(line, 700 + 5500 * (x - model.inputLow) / span + 40 * scatter, 0);
        line += sep;
        put(line, model.output(x), model.frequency ? 1 : 3);
        line += sep;
        if (shape.dropoutEvery <= 0 || (row + 1) % shape.dropoutEvery != 0) put(line, stft, 1);
        line += sep;
        put(line, ltft, 1);
        line += sep;
        put(line, warming ? 20 + 45 * double(row) / double(std::max(warm, 1L)) : 85 + 10 * heat, 0);
        if (shape.wideband) {
            const double target = warming ? 13.2 : load ? shape.openLoopAfr : 14.7;
            // In closed loop the trims hold the mixture at the target; in open loop the fuel is
            // what the computer's flow asks for, and the air the flow's error more or less.
            const double mixture =
                warming || load ? target * model.flowRatio(x) / (1 + ltft / 100) : target;
            std::rotate(mixtures.begin(), mixtures.begin() + 1, mixtures.end());
            mixtures.back() = mixture * (1 + random.normal() * shape.widebandNoise / 100);
            line += sep;
            put(line, row < shape.widebandLag ? mixtures.back() : mixtures.front(), 2);
            line += sep;
            put(line, target, 1);
        }
        if (!shape.note.empty()) line += sep;
        line += '\n';
        if (line.size() > (1 << 16) || row + 1 == shape.rows) {
            if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) return false;
            line.clear();
        }
    }
    if (!line.empty() && std::fwrite(line.data(), 1, line.size(), out) != line.size()) return false;
    return std::fflush(out) == 0;
}

bool WriteLogFile(const QString& path, const EngineModel& model, const LogShape& shape) {
    std::FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f) return false;
    const bool written = WriteLog(f, model, shape);
    return std::fclose(f) == 0 && written;
}

}  // namespace varnel::datalog
