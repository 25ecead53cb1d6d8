// The table's two readers of outside text, the clipboard's paste and the CSV import, and the
// range operations: all or nothing (a refusal says why and leaves every byte as it was), only
// table entries change, every entry written holds a table word, and the table's own CSV reads
// back as the words it came from.

#include "fuzz_support.h"
#include "image/table_ops.h"

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const uint8_t mode = data[0];
    const int first = data[1] % 40;
    const int last = data[2] % 40;
    const bool frequency = mode & 1;
    const QString text = fuzz::typed(data + 3, size - 3);

    EepromImage image;
    for (int i = 0; i < kImageSize; ++i) image.setByte(i, uint8_t(i * 7 + mode));
    const EepromImage before = image;
    QString error;
    int count = 0;
    bool ok = false;
    switch ((mode >> 1) % 3) {
        case 0:
            ok = first < kTableEntries &&
                 PasteTableText(image, first, text, frequency, error, count);
            if (ok) FUZZ_CHECK(count >= 1 && first + count <= kTableEntries);
            break;
        case 1:
            ok = ImportTableCsvText(image, text, frequency, QStringLiteral("f.csv"), error, count);
            if (ok) FUZZ_CHECK(count >= 1 && count <= kTableEntries);
            break;
        case 2: {
            RangeOp op;
            op.kind = RangeKind((mode >> 3) % 6);
            op.first = first;
            op.last = last;
            op.text = text;
            ParseNumber(text, op.number);
            ok = RangeProblem(op.kind, first, last).isEmpty() &&
                 ApplyRangeOp(image, op, frequency, error);
            // Interpolate and Smooth keep the words at both ends.
            const int ends = op.kind == RangeKind::Interpolate || op.kind == RangeKind::Smooth;
            if (ok)
                for (int i = first + ends; i <= last - ends; ++i)
                    FUZZ_CHECK(image.entry(i) <= 1023);
            break;
        }
    }
    if (!ok) FUZZ_CHECK(image == before);
    if (ok) FUZZ_CHECK(error.isEmpty());
    for (int i = 2 * kTableEntries; i < kImageSize; ++i)
        FUZZ_CHECK(image.byte(i) == before.byte(i));
    for (int i = 0; i < kTableEntries; ++i)
        FUZZ_CHECK(image.entry(i) == before.entry(i) || image.entry(i) <= 1023);

    // Export then import gives back every word a file can hold.
    for (int i = 0; i < kTableEntries; ++i) image.setEntry(i, uint16_t(image.entry(i) % 1024));
    EepromImage back;
    FUZZ_CHECK(ImportTableCsvText(back, TableCsvText(image, frequency), frequency,
                                  QStringLiteral("f.csv"), error, count));
    for (int i = 0; i < kTableEntries; ++i) FUZZ_CHECK(back.entry(i) == image.entry(i));
    return 0;
}
