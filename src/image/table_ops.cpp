#include "table_ops.h"

#include "image/table_view.h"

#include <QStringList>

#include <algorithm>
#include <array>

namespace varnel {

namespace {

uint16_t heldWord(double value) {
    return static_cast<uint16_t>(std::clamp(RoundEven(value), 0, 1023));
}

QString numberText(double value) {
    return QString::number(value, 'g', 12);
}

QString quoted(const QString& text) {
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

QString refusalText(const QString& value, TextRefusal refusal) {
    return quoted(value) + (refusal == TextRefusal::NotANumber
                                ? QStringLiteral(" is not a number.")
                                : QStringLiteral(" is not a valid value."));
}

// A whole number of at most six digits and nothing else.
bool plainWholeNumber(const QString& text, int& value) {
    if (text.isEmpty() || text.size() > 6) return false;
    value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return true;
}

// One line per element, without its CR; blank lines are kept so that line numbers hold.
QStringList splitLines(QString text) {
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
    return lines;
}

QString csvField(const QString& field) {
    QString f = field.trimmed();
    if (f.size() >= 2 && f.startsWith(QLatin1Char('"')) && f.endsWith(QLatin1Char('"')))
        f = f.mid(1, f.size() - 2).trimmed();
    return f;
}

}  // namespace

QString EntriesText(int first, int last) {
    return first == last ? QStringLiteral("entry %1").arg(first)
                         : QStringLiteral("entries %1 to %2").arg(first).arg(last);
}

QString RangeProblem(RangeKind kind, int first, int last) {
    if (first < 0 || last > kTableEntries - 1 || first > last)
        return QStringLiteral("a range is A-B with 0 <= A <= B <= 32");
    if ((kind == RangeKind::Interpolate || kind == RangeKind::Smooth) && last - first < 2)
        return QStringLiteral("interpolate and smooth need a range of at least three entries");
    return {};
}

TextRefusal TableTextRefusal(const QString& text, bool frequency) {
    float value = 0;
    if (!ParseSingle(text, value)) return TextRefusal::NotANumber;
    // A negative voltage is a number the voltage store will not take; the frequency store takes
    // every number (below 6 Hz as 0).
    if (!frequency && TextToVoltWord(text) < 0) return TextRefusal::Invalid;
    return TextRefusal::None;
}

bool ApplyRangeOp(EepromImage& image, const RangeOp& op, bool frequency, QString& error) {
    const int a = op.first;
    const int b = op.last;
    std::array<uint16_t, kTableEntries> w{};
    for (int i = 0; i < kTableEntries; ++i) w[size_t(i)] = image.entry(i);
    auto word = [&w](int i) { return static_cast<double>(w[size_t(i)]); };

    switch (op.kind) {
        case RangeKind::Set:
            if (TableTextRefusal(op.text, frequency) != TextRefusal::None) {
                error = QStringLiteral("'%1' is not a valid value for table %2")
                            .arg(op.text, EntriesText(a, b));
                return false;
            }
            for (int i = a; i <= b; ++i) StoreEntryText(image, i, op.text, frequency);
            return true;
        case RangeKind::Add: {
            const double step = frequency ? op.number / 2.88 : op.number * 204.8;
            for (int i = a; i <= b; ++i) image.setEntry(i, heldWord(word(i) + step));
            return true;
        }
        case RangeKind::AddWords:
            for (int i = a; i <= b; ++i) image.setEntry(i, heldWord(word(i) + op.number));
            return true;
        case RangeKind::Scale: {
            const double factor = 1 + op.number / 100;
            for (int i = a; i <= b; ++i) image.setEntry(i, heldWord(word(i) * factor));
            return true;
        }
        case RangeKind::Interpolate:
            for (int i = a + 1; i < b; ++i)
                image.setEntry(i, heldWord(word(a) + (word(b) - word(a)) * (i - a) / (b - a)));
            return true;
        case RangeKind::Smooth:
            // From the words before the operation: a smoothed entry does not feed the next one.
            for (int i = a + 1; i < b; ++i)
                image.setEntry(i, heldWord((word(i - 1) + 2 * word(i) + word(i + 1)) / 4));
            return true;
    }
    return false;
}

QString RangeOpCaption(const RangeOp& op, bool frequency) {
    const QString entries = EntriesText(op.first, op.last);
    switch (op.kind) {
        case RangeKind::Set:
            return QStringLiteral("Set %1 to %2").arg(entries, op.text.trimmed());
        case RangeKind::Add:
            return QStringLiteral("Add %1 %2 to %3")
                .arg(numberText(op.number), frequency ? QStringLiteral("Hz") : QStringLiteral("V"),
                     entries);
        case RangeKind::AddWords: {
            const double n = std::abs(op.number);
            const QString words =
                numberText(n) + (n == 1 ? QStringLiteral(" word") : QStringLiteral(" words"));
            return op.number < 0 ? QStringLiteral("Take %1 from %2").arg(words, entries)
                                 : QStringLiteral("Add %1 to %2").arg(words, entries);
        }
        case RangeKind::Scale:
            return QStringLiteral("Scale %1 by %2 %").arg(entries, numberText(op.number));
        case RangeKind::Interpolate:
            return QStringLiteral("Interpolate ") + entries;
        case RangeKind::Smooth:
            return QStringLiteral("Smooth ") + entries;
    }
    return {};
}

bool ParseNumber(const QString& text, double& value) {
    long double v = 0;
    if (!ParseDecimal(QStringView(text).trimmed(), v)) return false;
    value = static_cast<double>(v);
    return true;
}

QString TableCopyText(const EepromImage& image, int first, int last, bool frequency) {
    QString text;
    for (int i = first; i <= last; ++i)
        text += InputVoltText(i).trimmed() + QLatin1Char('\t') +
                EntryText(image, i, frequency).trimmed() + QLatin1Char('\n');
    return text;
}

bool PasteTableText(EepromImage& image, int first, const QString& text, bool frequency,
                    QString& error, int& count) {
    struct Value {
        int line;
        QString text;
    };
    QList<Value> values;
    const QStringList lines = splitLines(text);
    for (int n = 0; n < lines.size(); ++n) {
        const QString line = lines[n].trimmed();
        if (line.isEmpty()) continue;
        QString value = line;
        // "2,5" is a number written with a decimal comma, not two fields: taken whole, it is
        // refused, where its last field would quietly store 5.
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        const bool decimalComma =
            comma > 0 && comma + 1 < line.size() && line.count(QLatin1Char(',')) == 1 &&
            !line.contains(QLatin1Char('.')) && !line.contains(QLatin1Char('\t')) &&
            !line.contains(QLatin1Char(';')) && line[comma - 1].isDigit() &&
            line[comma + 1].isDigit();
        if (!decimalComma) {
            const qsizetype cut =
                std::max({line.lastIndexOf(QLatin1Char('\t')), line.lastIndexOf(QLatin1Char(',')),
                          line.lastIndexOf(QLatin1Char(';'))});
            if (cut >= 0) value = line.mid(cut + 1).trimmed();
        }
        values.append({n + 1, value});
    }
    if (values.isEmpty()) {
        error = QStringLiteral("The clipboard holds no values.");
        return false;
    }
    const int rows = kTableEntries - first;
    if (values.size() > rows) {
        error = QStringLiteral("The clipboard holds %1 values; only %2 %3 the selection.")
                    .arg(values.size())
                    .arg(rows)
                    .arg(rows == 1 ? QStringLiteral("row follows") : QStringLiteral("rows follow"));
        return false;
    }
    for (const Value& v : values) {
        const TextRefusal refusal = TableTextRefusal(v.text, frequency);
        if (refusal != TextRefusal::None) {
            error = QStringLiteral("Line %1 of the clipboard: ").arg(v.line) +
                    refusalText(v.text, refusal);
            return false;
        }
    }
    for (int i = 0; i < values.size(); ++i)
        StoreEntryText(image, first + i, values[i].text, frequency);
    count = int(values.size());
    return true;
}

QString TableCsvText(const EepromImage& image, bool frequency) {
    QString text = QStringLiteral("entry,v_in,%1,word\n")
                       .arg(frequency ? QStringLiteral("f_out") : QStringLiteral("v_out"));
    for (int i = 0; i < kTableEntries; ++i)
        text += QStringLiteral("%1,%2,%3,%4\n")
                    .arg(i)
                    .arg(InputVoltText(i).trimmed(), EntryText(image, i, frequency).trimmed())
                    .arg(image.entry(i));
    return text;
}

bool ImportTableCsvText(EepromImage& image, const QString& text, bool frequency,
                        const QString& where, QString& error, int& count) {
    const QString outColumn = frequency ? QStringLiteral("f_out") : QStringLiteral("v_out");
    const QString otherColumn = frequency ? QStringLiteral("v_out") : QStringLiteral("f_out");
    const QStringList lines = splitLines(text);
    auto fail = [&](int line, const QString& why) {
        error = QStringLiteral("Line %1 of %2: %3").arg(line).arg(where, why);
        return false;
    };

    int n = 0;
    while (n < lines.size() && lines[n].trimmed().isEmpty()) ++n;
    const int headerLine = n + 1;
    QStringList names;
    if (n < lines.size())
        for (const QString& f : lines[n].split(QLatin1Char(',')))
            names.append(csvField(f).toLower());
    for (int c = 0; c < names.size(); ++c)
        if (!names[c].isEmpty() && names.indexOf(names[c], c + 1) > 0)
            return fail(headerLine, QStringLiteral("the column %1 appears twice.").arg(names[c]));
    if (names.contains(otherColumn))
        return fail(headerLine, QStringLiteral("%1 does not belong in a %2 project.")
                                    .arg(otherColumn, frequency ? QStringLiteral("frequency")
                                                                : QStringLiteral("voltage")));
    const qsizetype entryCol = names.indexOf(QStringLiteral("entry"));
    const qsizetype wordCol = names.indexOf(QStringLiteral("word"));
    const qsizetype outCol = names.indexOf(outColumn);
    if (entryCol < 0) return fail(headerLine, QStringLiteral("no entry column."));
    if (wordCol < 0 && outCol < 0)
        return fail(headerLine, QStringLiteral("no word or %1 column.").arg(outColumn));

    EepromImage result = image;
    std::array<bool, kTableEntries> given{};
    int rows = 0;
    for (++n; n < lines.size(); ++n) {
        if (lines[n].trimmed().isEmpty()) continue;
        const int line = n + 1;
        QStringList fields;
        for (const QString& f : lines[n].split(QLatin1Char(','))) fields.append(csvField(f));
        if (fields.size() != names.size())
            return fail(line, QStringLiteral("%1 fields where the header has %2.")
                                  .arg(fields.size())
                                  .arg(names.size()));
        int entry = 0;
        if (!plainWholeNumber(fields[entryCol], entry) || entry > kTableEntries - 1)
            return fail(line,
                        QStringLiteral("entry %1 is not 0 to 32.").arg(quoted(fields[entryCol])));
        if (given[size_t(entry)])
            return fail(line, QStringLiteral("entry %1 is given twice.").arg(entry));
        given[size_t(entry)] = true;
        if (wordCol >= 0) {
            int word = 0;
            if (!plainWholeNumber(fields[wordCol], word) || word > 1023)
                return fail(
                    line, QStringLiteral("word %1 is not 0 to 1023.").arg(quoted(fields[wordCol])));
            result.setEntry(entry, static_cast<uint16_t>(word));
        } else {
            const QString& value = fields[outCol];
            const TextRefusal refusal = TableTextRefusal(value, frequency);
            if (refusal != TextRefusal::None) return fail(line, refusalText(value, refusal));
            StoreEntryText(result, entry, value, frequency);
        }
        ++rows;
    }
    if (rows == 0) return fail(headerLine + 1, QStringLiteral("no table rows."));
    image = result;
    count = rows;
    return true;
}

}  // namespace varnel
