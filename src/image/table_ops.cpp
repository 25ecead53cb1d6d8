#include "table_ops.h"

#include "image/table_view.h"

#include <QStringList>

#include <QLocale>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

namespace varnel {

namespace {

uint16_t heldWord(double value) {
    return static_cast<uint16_t>(std::clamp(RoundEven(value), 0, 1023));
}

uint16_t heldWord(int64_t value) {
    return static_cast<uint16_t>(std::clamp<int64_t>(value, 0, 1023));
}

// A number as typed, kept exactly: 55 scaled by 10 % is 60.5, a tie, where the nearest double
// of 1.1 makes it 60.500000000000007 and rounds it up. Only the whole part and the digits after
// the point are kept, and only as far as a table word can feel them.
struct Decimal {
    bool negative = false;
    bool huge = false;   // at least 10^12: beyond the table's reach whatever it is applied to
    int64_t whole = 0;   // below 10^12
    std::string digits;  // after the point, no trailing zeros
};

bool readDecimal(const QString& text, Decimal& out) {
    const QStringView trimmed = QStringView(text).trimmed();
    long double check = 0;
    if (!ParseDecimal(trimmed, check)) return false;
    const QByteArray raw = trimmed.toLatin1();
    Decimal d;
    std::string mantissa;
    int64_t point = 0;  // digits of mantissa before the point
    qsizetype i = 0;
    if (raw[i] == '+' || raw[i] == '-') d.negative = raw[i++] == '-';
    for (; i < raw.size() && raw[i] >= '0' && raw[i] <= '9'; ++i) {
        mantissa += raw[i];
        ++point;
    }
    if (i < raw.size() && raw[i] == '.')
        for (++i; i < raw.size() && raw[i] >= '0' && raw[i] <= '9'; ++i) mantissa += raw[i];
    if (i < raw.size()) {  // the exponent; ParseDecimal has checked its shape
        const bool down = raw[++i] == '-';
        if (raw[i] == '+' || raw[i] == '-') ++i;
        int64_t e = 0;
        for (; i < raw.size(); ++i) e = std::min<int64_t>(e * 10 + (raw[i] - '0'), 1'000'000);
        point += down ? -e : e;
    }
    const size_t lead = std::min(mantissa.find_first_not_of('0'), mantissa.size());
    mantissa.erase(0, lead);
    point -= int64_t(lead);
    mantissa.erase(mantissa.find_last_not_of('0') + 1);
    if (mantissa.empty()) {
        out = Decimal{};
        return true;
    }
    if (point > 12) {
        d.huge = true;
    } else if (point > 0) {
        const std::string whole = mantissa.substr(0, size_t(point));
        for (size_t k = 0; k < size_t(point); ++k)
            d.whole = d.whole * 10 + (k < whole.size() ? whole[k] - '0' : 0);
        if (size_t(point) < mantissa.size()) d.digits = mantissa.substr(size_t(point));
    } else {
        // Below 10^-6 a number times a word (at most 65535) stays below one; more leading zeros
        // change nothing a word can show.
        d.digits = std::string(size_t(std::min<int64_t>(-point, 6)), '0') + mantissa;
    }
    out = d;
    return true;
}

// w + x * n / d, rounded to nearest with ties to even and held to 0..1023, computed exactly.
// 0 <= w, n <= 65535; 0 < d <= 100.
uint16_t exactSum(int64_t w, const Decimal& x, int64_t n, int64_t d) {
    if (n == 0) return heldWord(w);
    if (x.huge) return heldWord(x.negative ? int64_t(0) : int64_t(1023));
    // x * n = whole * n + carry + h, 0 <= h < 1, h in the digits.
    int64_t carry = 0;
    bool hZero = true;
    int firstDigit = 0;    // h's first digit
    bool restZero = true;  // whether the digits after it are all 0
    for (size_t k = x.digits.size(); k-- > 0;) {
        const int64_t t = (x.digits[k] - '0') * n + carry;
        const int digit = int(t % 10);
        carry = t / 10;
        if (k > 0 && digit != 0) restZero = false;
        if (digit != 0) hZero = false;
        if (k == 0) firstDigit = digit;
    }
    // The value times d is c + h, 0 <= h < 1; half compares h with 1/2.
    const int64_t product = x.whole * n + carry;
    int64_t c = d * w + (x.negative ? -product : product);
    int half = firstDigit < 5 ? -1 : firstDigit > 5 || !restZero ? 1 : 0;
    if (x.negative && !hZero) {
        --c;
        half = -half;  // 1 - h
    }
    int64_t q = c / d;
    if (c % d < 0) --q;
    const int64_t k = d - 2 * (c - q * d);
    // Up when 2h exceeds k (which is what the remainder leaves below a half); even on a tie.
    const int compare = hZero ? (k < 0) - (k > 0) : k <= 0 ? 1 : k == 1 ? half : -1;
    if (compare > 0 || (compare == 0 && q % 2 != 0)) ++q;
    return heldWord(q);
}

// num / den rounded to nearest with ties to even and held to 0..1023; den > 0.
uint16_t exactQuotient(int64_t num, int64_t den) {
    return exactSum(0, Decimal{num < 0, false, num < 0 ? -num : num, {}}, 1, den);
}

// The number of an Add or a Scale: the text as typed when it is one, else the number.
Decimal amount(const RangeOp& op) {
    Decimal d;
    if (!readDecimal(op.text, d))
        readDecimal(QString::number(op.number, 'g', QLocale::FloatingPointShortest), d);
    return d;
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
            // A word is 1/204.8 V or 2.88 Hz.
            const Decimal x = amount(op);
            for (int i = a; i <= b; ++i)
                image.setEntry(i, frequency ? exactSum(w[size_t(i)], x, 25, 72)
                                            : exactSum(w[size_t(i)], x, 1024, 5));
            return true;
        }
        case RangeKind::AddWords:
            for (int i = a; i <= b; ++i) image.setEntry(i, heldWord(word(i) + op.number));
            return true;
        case RangeKind::Scale: {
            // w (100 + p) / 100 = w + p w / 100
            const Decimal x = amount(op);
            for (int i = a; i <= b; ++i)
                image.setEntry(i, exactSum(w[size_t(i)], x, w[size_t(i)], 100));
            return true;
        }
        case RangeKind::Interpolate:
            for (int i = a + 1; i < b; ++i)
                image.setEntry(i, exactQuotient(int64_t(w[size_t(a)]) * (b - i) +
                                                    int64_t(w[size_t(b)]) * (i - a),
                                                b - a));
            return true;
        case RangeKind::Smooth:
            // From the words before the operation: a smoothed entry does not feed the next one.
            for (int i = a + 1; i < b; ++i)
                image.setEntry(
                    i, exactQuotient(
                           int64_t(w[size_t(i - 1)]) + 2 * w[size_t(i)] + w[size_t(i + 1)], 4));
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
