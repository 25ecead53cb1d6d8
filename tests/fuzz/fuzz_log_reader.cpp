// The datalog reader (layout detection, row parsing, the pivot of a long log), the column
// mapping of the correction and the correction itself: the first byte sets the decimal mark (its
// value modulo 3: 0 found, 1 point, 2 comma) and, above that, the loop mode, the wideband's lag,
// the rate limit, the largest change and a lock; the rest is the log. Whatever the text, the
// layout is one the reader can state, every column is found again by the text that names it, the
// rows come out the same after a rewind, every number read is finite, and a correction accounts
// for every row and proposes a table that rises where the table rises.

#include "correct/log_correction.h"
#include "fuzz_support.h"
#include "log/log_reader.h"
#include "log/log_text.h"

#include <QBuffer>

#include <cmath>

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader in(data, size);
    LogOptions options;
    const uint8_t first = in.byte();
    const uint8_t mark = first % 3;
    const int how = first / 3;
    options.decimal = mark == 1   ? DecimalMark::Point
                      : mark == 2 ? DecimalMark::Comma
                                  : DecimalMark::Auto;
    QByteArray text = in.rest();
    QBuffer device(&text);
    FUZZ_CHECK(device.open(QIODevice::ReadOnly));
    LogReader reader;
    QString error;
    FUZZ_CHECK(reader.open(&device, QStringLiteral("fuzz.csv"), options, error));
    FUZZ_CHECK(error.isEmpty());

    const LogLayout& l = reader.layout();
    FUZZ_CHECK(l.separator == ',' || l.separator == ';' || l.separator == '\t');
    FUZZ_CHECK(l.decimal == '.' || l.decimal == ',');
    if (mark == 1) FUZZ_CHECK(l.decimal == '.');
    if (mark == 2) FUZZ_CHECK(l.decimal == ',');
    FUZZ_CHECK(l.dataLine >= 1 && l.headerLine >= 0 && l.headerLine < l.dataLine);
    FUZZ_CHECK(l.unitsLine == 0 || (l.unitsLine < l.dataLine && l.unitsLine != l.headerLine));
    FUZZ_CHECK(l.skippedLines >= 0 && l.skippedLines < l.dataLine);
    FUZZ_CHECK(l.columnCount() <= LogReader::kMaxChannels + 1 || !l.narrow);
    for (int i = 0; i < l.columnCount(); ++i) {
        const LogColumn& c = l.columns[i];
        FUZZ_CHECK(!c.header.isEmpty());
        // A role is only given to a column of numbers (or of loop states).
        if (c.role != LogRole::None && c.role != LogRole::Loop) FUZZ_CHECK(c.numeric);
        FUZZ_CHECK(std::isfinite(c.scale.scale) && std::isfinite(c.scale.offset));
        // The window's and the command line's names of a column lead back to it.
        QString why;
        FUZZ_CHECK(FindColumn(l, ColumnReference(l, i), why) == i);
    }

    std::vector<std::string_view> fields;
    qint64 rows = 0;
    qint64 whole = 0;
    while (reader.next(fields)) {
        ++rows;
        if (fields.size() != size_t(l.columnCount())) continue;
        ++whole;
        for (const std::string_view f : fields) {
            double v = 0;
            if (reader.number(f, v)) FUZZ_CHECK(std::isfinite(v));
        }
        if (rows > 100000) break;
    }
    FUZZ_CHECK(!reader.failed());
    FUZZ_CHECK(rows == reader.rows());
    // A long log's rows are made whole by the pivot; its damaged readings are counted instead.
    if (l.narrow)
        FUZZ_CHECK(whole == rows);
    else
        FUZZ_CHECK(reader.badRows() == rows - whole);
    FUZZ_CHECK(reader.bytesRead() <= reader.size());
    const qint64 bad = reader.badRows();

    LogScan scan;
    FUZZ_CHECK(ScanLog(reader, QStringLiteral("fuzz.csv"), scan, error));
    FUZZ_CHECK(scan.rows == rows && scan.badRows == bad);
    for (size_t k = 0; k < scan.missing.size(); ++k)
        FUZZ_CHECK(scan.missing[k] + scan.numbers[k] <= whole);

    // The correction's columns by their roles: in range, and a trim at least.
    for (const bool frequency : {false, true}) {
        LogMapping m;
        if (!MapLogColumns(l, CorrectionSettings(), frequency, m, error)) {
            FUZZ_CHECK(!error.isEmpty());
            continue;
        }
        FUZZ_CHECK(m.byRole && m.signal.index >= 0 && m.signal.index < l.columnCount());
        FUZZ_CHECK(!m.trims.isEmpty());
        for (const MappedColumn& t : m.trims) FUZZ_CHECK(t.index >= 0 && t.index < l.columnCount());
    }

    // The correction on a table that rises but for a step back at entry 20, through a meter of
    // volts from 0 to 6.
    CorrectionInput input;
    for (int i = 0; i < kTableEntries; ++i)
        input.words[size_t(i)] = uint16_t(std::min(38 * i, 1023));
    input.words[20] = 300;
    input.meter.signal = {0, 1, 2, 3, 6};
    input.meter.flow = {0, 100, 300, 600, 1200};
    input.keepPoints = true;
    CorrectionSettings& set = input.settings;
    set.log = options;
    set.minSamples = 1;
    const LoopMode modes[] = {LoopMode::Auto, LoopMode::Closed, LoopMode::Open, LoopMode::Both};
    set.mode = modes[how % 4];
    set.lagMs = how & 4 ? 100 : 0;
    set.maxRate = how & 8 ? 2 : 0;
    set.maxChange = how & 16 ? 3 : 0;
    set.locked[size_t(how % kTableEntries)] = (how & 32) != 0;
    set.openLoopLtft = (how & 64) == 0;
    FUZZ_CHECK(reader.rewind());
    CorrectionRun run(input);
    if (!run.read(reader, QStringLiteral("fuzz.csv"), {}, error)) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    const CorrectionResult result = run.finish();
    FUZZ_CHECK(result.ok == result.error.isEmpty());
    if (!result.ok) return 0;
    const CorrectionReport& r = result.report;
    FUZZ_CHECK(r.rowsRead == rows);
    FUZZ_CHECK(r.rowsRead == r.rowsUsed + r.notANumber + r.filtered + r.outsideMeter +
                                 r.outsideTable + r.widebandOutOfRange + r.transient + r.outlier);
    FUZZ_CHECK(r.rowsUsed == r.rowsUsedClosed + r.rowsUsedOpen && r.rowsUsed > 0);
    FUZZ_CHECK(r.logs.size() == 1 && r.logs[0].rowsUsed == r.rowsUsed);
    double samples = 0;
    for (int i = 0; i < kTableEntries; ++i) {
        const EntryCorrection& e = r.entries[size_t(i)];
        samples += e.samples;
        FUZZ_CHECK(e.samplesClosed >= 0 && e.samplesOpen() >= -1e-9);
        FUZZ_CHECK(e.proposedWord <= 1023);
        if (set.locked[size_t(i)]) FUZZ_CHECK(e.locked && e.proposedWord == e.word);
        if (i > 0 && e.word >= r.entries[size_t(i - 1)].word)
            FUZZ_CHECK(e.proposedWord >= r.entries[size_t(i - 1)].proposedWord);
        double before = 0;
        double after = 0;
        if (set.maxChange > 0 && input.meter.flowAt(e.word / 204.8, before) &&
            input.meter.flowAt(e.proposedWord / 204.8, after) && before > 0)
            FUZZ_CHECK(std::abs(after / before - 1) <= set.maxChange / 100 + 1e-9);
    }
    // Each used row gives its entries one sample between them (outliers none).
    FUZZ_CHECK(std::abs(samples - double(r.rowsUsed)) <= 1e-6 * double(r.rowsUsed) + 1e-6);
    FUZZ_CHECK(r.points.size() <= size_t(r.rowsUsed + r.outlier));
    return 0;
}
