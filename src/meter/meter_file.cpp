#include "meter_file.h"

#include "base/file_replace.h"
#include "image/eeprom_image.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace varnel {

int16_t TMeterRecord::PointCount() const {
    return static_cast<int16_t>(uint16_t(bytes_[32]) | uint16_t(bytes_[33]) << 8);
}

void TMeterRecord::setPointCount(int16_t v) {
    const auto u = static_cast<uint16_t>(v);
    bytes_[32] = static_cast<uint8_t>(u & 0xFF);
    bytes_[33] = static_cast<uint8_t>(u >> 8);
}

QString TMeterRecord::SignalText(int row) const {
    return validRow(row) ? str(rowOffset(row), kMeterTextLength) : QString();
}

void TMeterRecord::setSignalText(int row, const QString& s) {
    if (validRow(row)) setStr(rowOffset(row), kMeterTextLength, s);
}

float TMeterRecord::SignalValue(int row) const {
    return validRow(row) ? single(rowOffset(row) + 8) : 0.0f;
}

void TMeterRecord::setSignalValue(int row, float v) {
    if (validRow(row)) setSingle(rowOffset(row) + 8, v);
}

QString TMeterRecord::FlowText(int row) const {
    return validRow(row) ? str(rowOffset(row) + 12, kMeterTextLength) : QString();
}

void TMeterRecord::setFlowText(int row, const QString& s) {
    if (validRow(row)) setStr(rowOffset(row) + 12, kMeterTextLength, s);
}

float TMeterRecord::FlowValue(int row) const {
    return validRow(row) ? single(rowOffset(row) + 20) : 0.0f;
}

void TMeterRecord::setFlowValue(int row, float v) {
    if (validRow(row)) setSingle(rowOffset(row) + 20, v);
}

int TMeterRecord::usableRows() const {
    const int n = PointCount();
    return n < 0 ? 0 : std::min(n, kMeterRows);
}

QByteArray TMeterRecord::toByteArray() const {
    return QByteArray(reinterpret_cast<const char*>(bytes_.data()), kMeterRecordSize);
}

void TMeterRecord::assign(const QByteArray& data) {
    const int n = std::min<int>(int(data.size()), kMeterRecordSize);
    for (int i = 0; i < n; ++i) bytes_[i] = static_cast<uint8_t>(data[i]);
}

QString TMeterRecord::str(int o, int capacity) const {
    return QString::fromLatin1(reinterpret_cast<const char*>(&bytes_[o + 1]),
                               std::min<int>(bytes_[o], capacity));
}

void TMeterRecord::setStr(int o, int capacity, const QString& s) {
    // Only the length byte and the text are written: the bytes after the text stay as they were.
    const QByteArray text = s.left(capacity).toLatin1();
    bytes_[o] = static_cast<uint8_t>(text.size());
    for (int i = 0; i < text.size(); ++i) bytes_[o + 1 + i] = static_cast<uint8_t>(text[i]);
}

float TMeterRecord::single(int o) const {
    const uint32_t u = uint32_t(bytes_[o]) | uint32_t(bytes_[o + 1]) << 8 |
                       uint32_t(bytes_[o + 2]) << 16 | uint32_t(bytes_[o + 3]) << 24;
    return std::bit_cast<float>(u);
}

void TMeterRecord::setSingle(int o, float v) {
    const auto u = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes_[o + i] = static_cast<uint8_t>(u >> (8 * i));
}

namespace {

// The classic runtime texts for the system errors a meter file can meet.
QString fileErrorText(const QString& path, QFileDevice::FileError error, bool writing) {
    const QFileInfo info(path);
    if (!writing && !info.exists()) return QStringLiteral("File not found");
    if (writing && !QFileInfo(info.absolutePath()).isDir()) return QStringLiteral("File not found");
    if (info.fileName().isEmpty()) return QStringLiteral("Invalid filename");
    if (info.isDir() || error == QFileDevice::PermissionsError ||
        (writing && info.exists() && !info.isWritable()) ||
        (writing && !QFileInfo(info.absolutePath()).isWritable()) ||
        (!writing && !info.isReadable()))
        return QStringLiteral("File access denied");
    if (error == QFileDevice::ResourceError) return QStringLiteral("Disk full");
    return QStringLiteral("I/O error %1").arg(int(error));
}

}  // namespace

bool ReadFileStart(const QString& path, qint64 maxBytes, QByteArray& data, QString& error) {
    error.clear();
    data.clear();
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        error = fileErrorText(path, file.error(), false);
        return false;
    }
    data = file.read(maxBytes);
    if (file.error() != QFileDevice::NoError) {
        error = fileErrorText(path, file.error(), false);
        return false;
    }
    return true;
}

bool ReadMeterFile(const QString& path, TMeterRecord& record, QString& error) {
    QByteArray data;
    // Anything after the record is not part of it.
    if (!ReadFileStart(path, kMeterRecordSize, data, error)) return false;
    record.assign(data);
    return true;
}

bool WriteMeterFile(const QString& path, const TMeterRecord& record, QString& error) {
    error.clear();
    const QFileInfo info(path);
    // A read-only file must stay as it is; the rename of an atomic save would replace it.
    if (info.exists() && (!info.isWritable() || info.isDir())) {
        error = QStringLiteral("File access denied");
        return false;
    }
    const ReplaceOutcome written = ReplaceFileContents(path, record.toByteArray());
    if (written.ok()) return true;
    // A write the system refuses part-way is the runtime's "Disk full".
    error =
        written.end == ReplaceOutcome::End::NotWritten && written.error != QFileDevice::RenameError
            ? QStringLiteral("Disk full")
            : fileErrorText(path, written.error, true);
    return false;
}

bool MeterTextToNumber(const QString& text, double& value) {
    qsizetype b = 0;
    qsizetype e = text.size();
    while (b < e && text[b].unicode() <= ' ') ++b;
    while (e > b && text[e - 1].unicode() <= ' ') --e;
    long double parsed = 0;
    if (!ParseDecimal(QStringView(text).mid(b, e - b), parsed)) return false;
    value = static_cast<double>(parsed);
    return true;
}

QString FormatMeterNumber(const char* pattern, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, value);
    QString s = QString::fromLatin1(buf);
    // printf follows the user's LC_NUMERIC; meter texts always use a point.
    s.replace(QLatin1Char(','), QLatin1Char('.'));
    return s;
}

QString NotANumberMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

bool CheckMeterTexts(const TMeterRecord& record, const QString& path, QString& error) {
    error.clear();
    double v = 0;
    for (int row = 1; row <= record.usableRows(); ++row) {
        for (const QString& t : {record.SignalText(row), record.FlowText(row)}) {
            if (!MeterTextToNumber(t, v)) {
                error = QStringLiteral("%1 cannot be used: %2").arg(path, NotANumberMessage(t));
                return false;
            }
        }
    }
    return true;
}

QString LeftCellText(const QString& text, const char* format, bool clamp, float limit) {
    double v = 0;
    if (!MeterTextToNumber(text, v)) return QString();
    if (clamp && v > double(limit)) v = limit;
    return FormatMeterNumber(format, v);
}

MeterForm MeterRecordToForm(const TMeterRecord& record) {
    MeterForm form;
    form.description = record.Description1() + QLatin1Char('\n') + record.Description2();
    form.partNumber = record.PartNumber();
    form.metric = record.Metric() != 0;
    form.frequency = record.Frequency() != 0;
    for (int row = 1; row <= record.usableRows(); ++row) {
        MeterPoint p;
        double v = 0;
        if (MeterTextToNumber(record.SignalText(row), v))
            p.signal = FormatMeterNumber(kSignalFormat, v);
        if (MeterTextToNumber(record.FlowText(row), v)) p.flow = FormatMeterNumber(kFlowFormat, v);
        form.rows.append(p);
    }
    return form;
}

MeterFormError MeterFormToRecord(const MeterForm& form, TMeterRecord& record, QString& badText) {
    badText.clear();
    if (form.description.isEmpty()) return MeterFormError::Description;
    const QStringList lines = form.description.split(QLatin1Char('\n'));
    record.setDescription1(lines.value(0));
    record.setDescription2(lines.value(1));
    if (form.partNumber.isEmpty()) return MeterFormError::PartNumber;

    const int n = std::min<int>(int(form.rows.size()), kMeterRows);
    QVector<std::pair<double, double>> values;
    for (int i = 0; i < n; ++i) {
        double s = 0;
        double f = 0;
        if (!MeterTextToNumber(form.rows[i].signal, s)) {
            badText = form.rows[i].signal;
            return MeterFormError::NotANumber;
        }
        if (!MeterTextToNumber(form.rows[i].flow, f)) {
            badText = form.rows[i].flow;
            return MeterFormError::NotANumber;
        }
        values.append({s, f});
    }

    record.setPartNumber(form.partNumber);
    record.setMetric(form.metric ? 1 : 0);
    record.setPointCount(static_cast<int16_t>(n));
    for (int i = 0; i < n; ++i) {
        // The singles keep the whole number; only the texts are cut.
        record.setSignalText(i + 1, form.rows[i].signal);
        record.setFlowText(i + 1, form.rows[i].flow);
        record.setSignalValue(i + 1, static_cast<float>(values[i].first));
        record.setFlowValue(i + 1, static_cast<float>(values[i].second));
    }
    record.setFrequency(form.frequency ? 1 : 0);
    return MeterFormError::None;
}

QVector<int> SortMeterRows(QVector<MeterPoint>& rows) {
    const int n = int(rows.size());
    QVector<int> at(n);  // at[position] = original index
    for (int i = 0; i < n; ++i) at[i] = i;
    auto less = [](const MeterPoint& a, const MeterPoint& b) {
        double x = 0;
        double y = 0;
        return MeterTextToNumber(a.signal, x) && MeterTextToNumber(b.signal, y) && x < y;
    };
    // A bubble sort: it only exchanges neighbours that are out of order, so equal signals keep
    // their order and the table a user typed changes as little as possible.
    for (int p = 1; p <= n; ++p) {
        for (int j = n; j >= p + 1; --j) {
            if (less(rows[j - 1], rows[j - 2])) {
                std::swap(rows[j - 1], rows[j - 2]);
                std::swap(at[j - 1], at[j - 2]);
            }
        }
    }
    QVector<int> moved(n);
    for (int i = 0; i < n; ++i) moved[at[i]] = i;
    return moved;
}

}  // namespace varnel
