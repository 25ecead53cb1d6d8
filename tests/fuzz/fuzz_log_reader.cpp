// The datalog reader (layout detection, row parsing, the pivot of a long log) and the column
// mapping of the correction: the first byte sets the decimal mark (0 found, 1 point, 2 comma),
// the rest is the log. Whatever the text, the layout is one the reader can state, every column
// is found again by the text that names it, the rows come out the same after a rewind and every
// number read is finite.

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
    const uint8_t mark = in.byte() % 3;
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
    return 0;
}
