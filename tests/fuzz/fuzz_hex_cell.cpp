// The hexadecimal grid's text reader and the cell edit that uses it: the value of the text's
// leading hexadecimal digits goes into exactly the edited byte, or is refused above FF with
// "Range check error" and nothing changed.

#include "base/project_document.h"
#include "base/ui_services.h"
#include "fuzz_support.h"
#include "image/table_view.h"

#include <QStringList>

using namespace varnel;
using varnel::fuzz::Reader;
using varnel::fuzz::RecordingUi;

namespace {

// The value of the leading hexadecimal digits, or -1 once it is above FF.
int reference(const QString& text) {
    long long v = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        int d = -1;
        if (u >= u'0' && u <= u'9')
            d = u - u'0';
        else if (u >= u'a' && u <= u'f')
            d = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F')
            d = u - u'A' + 10;
        if (d < 0) break;
        v = v * 16 + d;
        if (v > 0xFF) return -1;
    }
    return int(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    // The cell, rows and columns 0..17 so that the titles and beyond are tried too.
    const int col = in.byte() % 18;
    const int row = in.byte() % 18;
    const QByteArray raw = in.rest();
    const QString text = QString::fromUtf8(raw);

    const int value = LeadingHexValue(text);
    const int expected = reference(text);
    FUZZ_CHECK(expected < 0 ? value > 0xFF : value == expected);

    AppState state;
    for (int i = 0; i < kImageSize; ++i) state.image.setByte(i, uint8_t(i));
    state.ProjectState = DocState::File;
    const EepromImage before = state.image;
    RecordingUi ui;
    PlainProjectControls controls;
    ProjectDocument document(state, ui, controls);
    controls.attach(document);
    document.HexEdit(col, row, text);

    const bool cell = col >= 1 && col <= 16 && row >= 1 && row <= 16;
    if (!cell || text.isEmpty()) {
        FUZZ_CHECK(state.image == before && !state.Modified && ui.messages.isEmpty());
        return 0;
    }
    FUZZ_CHECK(state.Modified);
    const int index = HexCellIndex(col, row);
    FUZZ_CHECK(index >= 0 && index < kImageSize);
    for (int i = 0; i < kImageSize; ++i) {
        if (i == index) continue;
        FUZZ_CHECK(state.image.byte(i) == before.byte(i));
    }
    if (expected < 0) {
        FUZZ_CHECK(ui.messages == QStringList{QStringLiteral("Range check error")});
        FUZZ_CHECK(state.image.byte(index) == before.byte(index));
    } else {
        FUZZ_CHECK(ui.messages.isEmpty());
        FUZZ_CHECK(state.image.byte(index) == expected);
        // The grid then shows the byte as " %2.2X ", which reads back as the same byte.
        FUZZ_CHECK(LeadingHexValue(HexByteText(state.image.byte(index)).trimmed()) == expected);
    }
    return 0;
}
