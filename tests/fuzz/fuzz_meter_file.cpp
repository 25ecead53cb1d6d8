// The meter file reader, and what the editor and the match make of a record: whatever the bytes,
// a record never reports more than 62 rows, every field reads from within the record, the bytes
// read are the bytes kept, a save of the editor's view reaches a fixed point, and a match copies
// only table words into the project, or nothing.

#include "base/app_state.h"
#include "base/project_document.h"
#include "fuzz_support.h"
#include "match/match_session.h"
#include "meter/meter_file.h"

#include <algorithm>

using namespace varnel;
using varnel::fuzz::bytes;
using varnel::fuzz::RecordingUi;

namespace {

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

// The match dialog's Match and Copy E2P on two records, as the dialog and varnel-cli run them.
void checkMatch(const TMeterRecord& use, const TMeterRecord& match) {
    AppState state;
    state.ProjectState = DocState::File;
    RecordingUi ui(UiServices::Answer::Yes);
    MeterMatchSession session(state, ui);
    session.Reset();
    if (!session.Match(use, match)) {
        FUZZ_CHECK(ui.messages.size() == 1);
        FUZZ_CHECK(ui.messages[0].endsWith(QStringLiteral(" is not a valid floating point value")));
        FUZZ_CHECK(!session.Completed);
        return;
    }
    FUZZ_CHECK(ui.messages.isEmpty());
    for (int row = 0; row <= kMatchCellCount; ++row)
        for (int col = 0; col < 3; ++col) (void)session.CellText(col, row);
    FUZZ_CHECK(session.Completed.has_value());
    const MatchCopySource& source = *session.Completed;
    // A copy only ever writes table words.
    for (const int e : source.entries) FUZZ_CHECK(e >= -1 && e <= 1023);

    PlainProjectControls controls;
    ProjectDocument document(state, ui, controls);
    controls.attach(document);
    const EepromImage before = state.image;
    if (CopyMatchToProject(source, state, controls, ui)) {
        for (int i = 0; i < 32; ++i) FUZZ_CHECK(state.image.entry(i) == source.entries[size_t(i)]);
        FUZZ_CHECK(state.image.entry(32) == before.entry(32));
        FUZZ_CHECK(state.Modified);
    } else {
        // Refused whole: a match that leaves an entry without a word changes nothing.
        FUZZ_CHECK(source.uncovered() > 0);
        FUZZ_CHECK(state.image == before);
    }
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
    FUZZ_CHECK(MeterRowsOf(record).count() == rows);
    const TMeterRecord plain = plainMeter();
    checkMatch(record, plain);
    checkMatch(plain, record);
    checkMatch(record, record);
    return 0;
}
