// The meter file reader, and what the editor and the match make of a record: whatever the bytes,
// a record never reports more than 62 rows, every field reads from within the record, the bytes
// read are the bytes kept, and a save of the editor's view reaches a fixed point.

#include "fuzz_support.h"
#include "match/meter_match.h"
#include "meter/meter_file.h"

#include <algorithm>

using namespace varnel;
using varnel::fuzz::bytes;

namespace {

MeterRows rowsOf(const TMeterRecord& r) {
    MeterRows rows;
    rows.metric = r.Metric() != 0;
    rows.frequency = r.Frequency() != 0;
    for (int row = 1; row <= r.usableRows(); ++row) {
        rows.signalTexts.append(r.SignalText(row));
        rows.flowTexts.append(r.FlowText(row));
    }
    return rows;
}

// A plain meter with rising flows, to match the fuzzed one against.
TMeterRecord plainMeter() {
    TMeterRecord r;
    r.setPointCount(4);
    const char* signalTexts[] = {"0.50", "1.00", "2.50", "4.75"};
    const char* flowTexts[] = {"10.00", "40.00", "160.00", "640.00"};
    for (int i = 0; i < 4; ++i) {
        r.setSignalText(i + 1, QString::fromLatin1(signalTexts[i]));
        r.setFlowText(i + 1, QString::fromLatin1(flowTexts[i]));
    }
    return r;
}

void checkMatch(const MeterRows& use, const MeterRows& match) {
    MatchCells cells;
    QString error;
    if (!MatchMeters(use, match, cells, error)) {
        FUZZ_CHECK(error.endsWith(QStringLiteral(" is not a valid floating point value")));
        return;
    }
    for (const MatchCell& c : cells) {
        // The grid's texts can be made of every cell.
        for (int col = 0; col < 3; ++col)
            (void)MatchCellText(c, col, use.frequency, match.frequency);
    }
    // A copy only ever writes table words.
    for (const int e : MatchTableEntries(cells, match.frequency)) FUZZ_CHECK(e >= -1 && e <= 1023);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray file = bytes(data, size);
    TMeterRecord record;
    for (int i = 0; i < kMeterRecordSize; ++i) record.setByte(i, uint8_t(i * 7));
    const TMeterRecord before = record;
    record.assign(file);

    // The bytes read are the bytes kept; a short file leaves the rest of the buffer alone.
    const QByteArray kept = record.toByteArray();
    for (int i = 0; i < kMeterRecordSize; ++i)
        FUZZ_CHECK(uint8_t(kept[i]) == (i < file.size() ? uint8_t(file[i]) : before.byte(i)));

    const int rows = record.usableRows();
    FUZZ_CHECK(rows >= 0 && rows <= kMeterRows);
    FUZZ_CHECK(rows == std::clamp<int>(record.PointCount(), 0, kMeterRows));

    // Every text field, read from every row the format has and beyond, stays within its field.
    FUZZ_CHECK(record.PartNumber().size() <= kMeterPartNumberLength);
    FUZZ_CHECK(record.Description1().size() <= kMeterDescriptionLength);
    FUZZ_CHECK(record.Description2().size() <= kMeterDescriptionLength);
    for (int row = 0; row <= kMeterRows + 1; ++row) {
        FUZZ_CHECK(record.SignalText(row).size() <= kMeterTextLength);
        FUZZ_CHECK(record.FlowText(row).size() <= kMeterTextLength);
        (void)record.SignalValue(row);
        (void)record.FlowValue(row);
    }

    QString error;
    const bool numbers = CheckMeterTexts(record, QStringLiteral("m.maf"), error);
    FUZZ_CHECK(numbers == error.isEmpty());

    // The editor's view of it, and a save of that view: at most 62 rows, and a second round
    // trip changes nothing more.
    const MeterForm form = MeterRecordToForm(record);
    FUZZ_CHECK(form.rows.size() == rows);
    TMeterRecord saved = record;
    QString bad;
    if (MeterFormToRecord(form, saved, bad) == MeterFormError::None) {
        FUZZ_CHECK(saved.usableRows() == saved.PointCount());
        FUZZ_CHECK(saved.PointCount() <= kMeterRows);
        const MeterForm again = MeterRecordToForm(saved);
        TMeterRecord savedAgain = saved;
        FUZZ_CHECK(MeterFormToRecord(again, savedAgain, bad) == MeterFormError::None);
        FUZZ_CHECK(MeterRecordToForm(savedAgain).rows == again.rows);
    }
    QVector<MeterPoint> sorted = form.rows;
    const QVector<int> moved = SortMeterRows(sorted);
    FUZZ_CHECK(moved.size() == sorted.size());

    // The match reads the same rows: against a plain meter in both roles, and against itself.
    const MeterRows fuzzed = rowsOf(record);
    const MeterRows plain = rowsOf(plainMeter());
    checkMatch(fuzzed, plain);
    checkMatch(plain, fuzzed);
    checkMatch(fuzzed, fuzzed);
    return 0;
}
