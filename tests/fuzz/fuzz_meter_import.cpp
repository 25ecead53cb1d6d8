// The meter text import (the editor's Convert, and varnel-cli meter import): whatever the text,
// it never yields more than 62 points, every point it stores is a pair of numbers, and the
// editor's Save of the result stores what the grid shows.

#include "fuzz_support.h"
#include "meter/meter_file.h"
#include "meter/meter_import.h"

#include <algorithm>
#include <cmath>

using namespace varnel;
using varnel::fuzz::bytes;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text = bytes(data, size);
    TMeterRecord record;
    for (int i = 0; i < kMeterRecordSize; ++i) record.setByte(i, uint8_t(i * 13));
    const MeterImportResult result = ImportMeterText(text, record);

    FUZZ_CHECK(result.points >= 0 && result.points <= kMeterRows);
    FUZZ_CHECK(result.leftOut >= 0);
    FUZZ_CHECK(result.leftOut == 0 || result.points == kMeterRows);
    FUZZ_CHECK(record.PointCount() == result.points);
    FUZZ_CHECK(record.usableRows() == result.points);
    // The data lines are at most the lines of the file after the five header lines.
    const QStringList lines = MeterTextLines(text);
    FUZZ_CHECK(result.points + result.leftOut <= std::max<int>(0, int(lines.size()) - 5));

    double v = 0;
    for (int row = 1; row <= result.points; ++row) {
        FUZZ_CHECK(MeterTextToNumber(record.SignalText(row), v));
        FUZZ_CHECK(MeterTextToNumber(record.FlowText(row), v));
        FUZZ_CHECK(std::isfinite(record.SignalValue(row)));
        FUZZ_CHECK(std::isfinite(record.FlowValue(row)));
    }
    if (result.leftOut > 0) FUZZ_CHECK(!LeftOutMessage(result.leftOut).isEmpty());

    // Convert then Save, as varnel-cli meter import does.
    MeterForm form = MeterRecordToForm(record);
    FUZZ_CHECK(form.rows.size() == result.points);
    const QVector<int> moved = SortMeterRows(form.rows);
    FUZZ_CHECK(moved.size() == form.rows.size());
    QString bad;
    TMeterRecord saved = record;
    if (MeterFormToRecord(form, saved, bad) == MeterFormError::None) {
        FUZZ_CHECK(saved.PointCount() == result.points);
        for (int row = 1; row <= saved.PointCount(); ++row)
            FUZZ_CHECK(saved.SignalText(row) == form.rows[row - 1].signal.left(kMeterTextLength));
    }
    return 0;
}
