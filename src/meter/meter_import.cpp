#include "meter_import.h"

namespace varnel {

QString ExtractToken(const QString& s, const QString& delimiters, int& pos) {
    const int len = int(s.size());
    if (pos < 1) pos = 1;
    while (pos < len && delimiters.contains(s[pos - 1])) ++pos;
    const int start = pos;
    while (pos <= len && !delimiters.contains(s[pos - 1])) ++pos;
    return start <= len ? s.mid(start - 1, pos - start) : QString();
}

QStringList MeterTextLines(const QByteArray& data) {
    QStringList lines;
    QByteArray line;
    bool open = false;  // a line has started and not ended
    for (int i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '\x1A') break;
        if (c == '\r' || c == '\n') {
            lines.append(QString::fromLatin1(line));
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < data.size() && data[i + 1] == '\n') ++i;
            continue;
        }
        line.append(c);
        open = true;
    }
    if (open) lines.append(QString::fromLatin1(line));
    return lines;
}

namespace {

// Blanks and control characters at both ends go, as the text file reader's trim does.
QString trimControls(const QString& s) {
    int b = 0;
    int e = int(s.size());
    while (b < e && s[b].unicode() <= ' ') ++b;
    while (e > b && s[e - 1].unicode() <= ' ') --e;
    return s.mid(b, e - b);
}

bool numberField(const QString& line, int& pos, float& value) {
    double v = 0;
    const QString field = trimControls(ExtractToken(line, QStringLiteral("\t "), pos));
    if (!MeterTextToNumber(field, v)) return false;
    value = static_cast<float>(v);
    return true;
}

}  // namespace

MeterImportResult ImportMeterText(const QByteArray& data, TMeterRecord& record) {
    MeterImportResult result;
    record.setPointCount(0);
    record.setDescription1(QString());
    record.setDescription2(QString());

    const QStringList lines = MeterTextLines(data);
    for (int i = 0; i < lines.size(); ++i) {
        const int number = i + 1;
        QString line = trimControls(lines[i]);
        if (line.size() <= 2) continue;
        if (line.endsWith(QLatin1Char('"'))) line.chop(1);
        if (line.startsWith(QLatin1Char('"'))) line.remove(0, 1);
        switch (number) {
            case 1:
                record.setPartNumber(line);
                continue;
            case 2:
                record.setFrequency(
                    line.compare(QLatin1String("VOLTS"), Qt::CaseInsensitive) == 0 ? 0 : 1);
                continue;
            case 3:
                record.setMetric(
                    line.compare(QLatin1String("KG/HR"), Qt::CaseInsensitive) == 0 ? 1 : 0);
                continue;
            case 4:
                record.setDescription1(line);
                continue;
            case 5:
                record.setDescription2(line);
                continue;
            default:
                break;
        }
        int pos = 1;
        float signal = 0;
        float flow = 0;
        if (!numberField(line, pos, signal)) continue;
        if (!numberField(line, pos, flow)) continue;
        if (result.points == kMeterRows) {
            ++result.leftOut;
            continue;
        }
        const int row = ++result.points;
        record.setPointCount(static_cast<int16_t>(row));
        record.setSignalValue(row, signal);
        record.setSignalText(row, FormatMeterNumber("%5.3f", signal));
        record.setFlowValue(row, flow);
        record.setFlowText(row, FormatMeterNumber("%5.3f", flow));
    }
    return result;
}

QString NoPointsMessage(const QString& path) {
    return QStringLiteral(
               "No points were read from %1: from line 6 on, each line holds a signal "
               "and a flow.")
        .arg(path);
}

QString LeftOutMessage(int leftOut) {
    return QStringLiteral(
               "A meter holds at most %1 points: the first %1 were imported and %2 "
               "more data lines were left out.")
        .arg(kMeterRows)
        .arg(leftOut);
}

}  // namespace varnel
