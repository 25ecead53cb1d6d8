// The number reader of the table cells and the limit box (and the meter editor's cells): a text
// is a number or refused, a stored word is always 0 to 1023 or the entry is left as it was, and
// the texts the program writes read back as the words they came from.

#include "base/project_document.h"
#include "base/ui_services.h"
#include "fuzz_support.h"
#include "image/eeprom_image.h"
#include "image/table_view.h"
#include "meter/meter_file.h"

#include <cmath>

using namespace varnel;
using varnel::fuzz::Reader;
using varnel::fuzz::RecordingUi;

namespace {

void checkStores(const QString& text, int entry) {
    EepromImage image;
    for (int i = 0; i < kImageSize; ++i) image.setByte(i, uint8_t(i * 3));
    const uint16_t before = image.entry(entry);

    float v = 0;
    const bool number = ParseSingle(text, v);
    if (number) FUZZ_CHECK(std::isfinite(v));

    const int volt = TextToVoltWord(text);
    FUZZ_CHECK(number ? volt <= 1023 : volt == -1);
    StoreVoltEntry(image, entry, text);
    FUZZ_CHECK(image.entry(entry) == (volt >= 0 ? uint16_t(volt) : before));

    const int freq = TextToFreqWord(text);
    FUZZ_CHECK(number ? freq >= 0 && freq <= 1042 : freq == -1);
    StoreFreqEntry(image, entry, text);
    FUZZ_CHECK(image.entry(entry) <= 1023);
    FUZZ_CHECK(image.entry(entry) == (freq < 2 ? 0 : std::min(freq, 1023)));

    // Only the entry's two bytes ever change.
    for (int i = 0; i < kImageSize; ++i)
        if (i / 2 != entry) FUZZ_CHECK(image.byte(i) == uint8_t(i * 3));

    float y = 0;
    if (ChartPointValue(entry, text, y)) {
        FUZZ_CHECK(entry >= 1 && entry <= 30);
        FUZZ_CHECK(std::isfinite(y));
    }
}

void checkWordTexts(uint16_t word) {
    const int w = word % 1024;
    FUZZ_CHECK(TextToVoltWord(VoltWordToText(uint16_t(w)).trimmed()) == w);
    if (w >= 2) FUZZ_CHECK(TextToFreqWord(FreqWordToText(uint16_t(w)).trimmed()) == w);
    FUZZ_CHECK(VoltWordToText(word).size() >= 4);
    FUZZ_CHECK(FreqWordToText(word).size() >= 4);
}

// The meter editor keeps a number it formats itself, lowered to its limit, or nothing.
void checkMeterCell(const QString& text, bool clamp) {
    for (const auto& [format, limit] : {std::pair{kSignalFormat, 6.0f}, {kFlowFormat, 9999.99f}}) {
        const QString kept = LeftCellText(text, format, clamp, limit);
        double n = 0;
        if (kept.isEmpty()) {
            FUZZ_CHECK(!MeterTextToNumber(text, n));
            continue;
        }
        FUZZ_CHECK(MeterTextToNumber(kept, n));
        if (clamp) FUZZ_CHECK(n <= double(limit) + 0.005);
        FUZZ_CHECK(LeftCellText(kept, format, clamp, limit) == kept);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const uint8_t first = in.byte();
    const uint16_t word = uint16_t(in.byte() | in.byte() << 8);
    const QString text = QString::fromUtf8(in.rest());

    checkStores(text, first % 37);
    checkWordTexts(word);
    checkMeterCell(text, first & 1);

    // A table cell edited in the window, and the limit box, under the output kind the input
    // chooses: only the edited entry changes, and it holds a table word afterwards unless the
    // text was refused.
    AppState state;
    for (int i = 0; i < kImageSize; ++i) state.image.setByte(i, uint8_t(i * 3));
    state.ProjectState = DocState::File;
    RecordingUi ui;
    PlainProjectControls controls;
    controls.output = first & 1;
    ProjectDocument document(state, ui, controls);
    controls.attach(document);
    const int row = (first >> 1) % 35;
    const EepromImage before = state.image;
    document.TableEdit(row, text);
    for (int e = 0; e < kImageSize / 2; ++e) {
        // Rows 1..33 are the table's; the title row and rows past it are no cells.
        if (e == row - 1 && row >= 1 && row <= kTableEntries && !text.isEmpty()) {
            const uint16_t w = state.image.entry(e);
            FUZZ_CHECK(w <= 1023 || w == before.entry(e));
        } else {
            FUZZ_CHECK(state.image.entry(e) == before.entry(e));
        }
    }
    controls.setLimitText(text);
    FUZZ_CHECK(state.image.entry(kLimitEntry) <= 1023 ||
               state.image.entry(kLimitEntry) == before.entry(kLimitEntry));
    FUZZ_CHECK(ui.messages.isEmpty());
    return 0;
}
