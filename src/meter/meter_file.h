#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>

namespace varnel {

inline constexpr int kMeterRecordSize = 2176;  // 34 blocks of 64 bytes
inline constexpr int kMeterBlockSize = 64;
inline constexpr int kMeterRows = 62;
inline constexpr int kMeterRowSize = 32;
inline constexpr int kMeterPartNumberLength = 26;
inline constexpr int kMeterDescriptionLength = 63;
inline constexpr int kMeterTextLength = 7;

// One meter file, held as its 2176 bytes. Every field is read and written through the accessors
// (little-endian integers, IEEE singles, length-prefixed 8-bit strings), so reserved bytes, rows
// after the point count and the tail of a string after a shorter text survive a read and a
// write unchanged. Rows are numbered 1 to 62; rows outside that range read as empty and are
// never written.
class TMeterRecord {
  public:
    TMeterRecord() { clear(); }
    void clear() { bytes_.fill(0); }

    uint8_t Metric() const { return bytes_[4]; }
    void setMetric(uint8_t v) { bytes_[4] = v; }
    QString PartNumber() const { return str(5, kMeterPartNumberLength); }
    void setPartNumber(const QString& s) { setStr(5, kMeterPartNumberLength, s); }
    int16_t PointCount() const;
    void setPointCount(int16_t v);
    uint8_t Frequency() const { return bytes_[42]; }
    void setFrequency(uint8_t v) { bytes_[42] = v; }
    QString Description1() const { return str(2048, kMeterDescriptionLength); }
    void setDescription1(const QString& s) { setStr(2048, kMeterDescriptionLength, s); }
    QString Description2() const { return str(2112, kMeterDescriptionLength); }
    void setDescription2(const QString& s) { setStr(2112, kMeterDescriptionLength, s); }

    QString SignalText(int row) const;
    void setSignalText(int row, const QString& s);
    float SignalValue(int row) const;
    void setSignalValue(int row, float v);
    QString FlowText(int row) const;
    void setFlowText(int row, const QString& s);
    float FlowValue(int row) const;
    void setFlowValue(int row, float v);

    // The rows a reader may use: PointCount held to 0..62.
    int usableRows() const;

    uint8_t byte(int offset) const { return bytes_.at(static_cast<size_t>(offset)); }
    void setByte(int offset, uint8_t v) { bytes_.at(static_cast<size_t>(offset)) = v; }
    QByteArray toByteArray() const;
    // Copies the first bytes of data (up to 2176); the bytes beyond data's length stay.
    void assign(const QByteArray& data);

    bool operator==(const TMeterRecord& other) const = default;

  private:
    static int rowOffset(int row) { return 64 + kMeterRowSize * (row - 1); }
    static bool validRow(int row) { return row >= 1 && row <= kMeterRows; }
    // A length byte above the field's capacity (a damaged file) reads as the whole field: the
    // text never reaches into the next field or past the record.
    QString str(int o, int capacity) const;
    void setStr(int o, int capacity, const QString& s);
    float single(int o) const;
    void setSingle(int o, float v);

    std::array<uint8_t, kMeterRecordSize> bytes_{};
};

// Reads at most maxBytes of a file. False, with the runtime's message for the user in error
// ("File not found", "File access denied", ...), when it cannot be read.
bool ReadFileStart(const QString& path, qint64 maxBytes, QByteArray& data, QString& error);

// Reads up to 2176 bytes of a meter file into record; a shorter file replaces only the bytes it
// holds. False, with the message for the user in error, when the file cannot be read.
bool ReadMeterFile(const QString& path, TMeterRecord& record, QString& error);

// Writes the 2176 bytes atomically: when the write fails the previous file is left as it was.
// In a folder the user may not write, a writable file is written in place instead, and a
// failure there too leaves it byte for byte.
bool WriteMeterFile(const QString& path, const TMeterRecord& record, QString& error);

// The number in a meter text: blanks around it, an optional sign, digits with an optional
// fraction and exponent, '.' as the decimal point in every locale. False for anything else.
bool MeterTextToNumber(const QString& text, double& value);

// printf-style formatting of one number ("%1.2f", "%5.3f") with '.' in every locale.
QString FormatMeterNumber(const char* pattern, double value);

// The message shown for a text that is not a number.
QString NotANumberMessage(const QString& text);

// Checks that the signal and flow texts of every usable row are numbers; otherwise the message
// names the file and the first text that is not.
bool CheckMeterTexts(const TMeterRecord& record, const QString& path, QString& error);

// One grid row of the meter editor: the signal and flow texts as the cells hold them.
struct MeterPoint {
    QString signal;
    QString flow;
    bool operator==(const MeterPoint&) const = default;
};

// What the meter editor's controls hold, as far as the record is concerned.
struct MeterForm {
    QString description;  // the description box's text, lines separated by '\n'
    QString partNumber;
    bool metric = true;
    bool frequency = false;
    QVector<MeterPoint> rows;  // data rows in grid order
};

inline constexpr const char* kSignalFormat = "%1.2f";
inline constexpr const char* kFlowFormat = "%4.2f";

// The text a meter editor cell keeps when the user leaves it: the number formatted with format,
// lowered to limit when clamp is set and it is above it; empty when the text is no number (a
// lone '.' has nothing to keep). An empty text stays empty.
QString LeftCellText(const QString& text, const char* format, bool clamp, float limit);

// The controls a record gives: two description lines, the part number, the units, the signal
// kind and up to 62 rows, each text converted and formatted as the grid shows it. A text that
// does not convert gives an empty cell (files are checked with CheckMeterTexts before this).
MeterForm MeterRecordToForm(const TMeterRecord& record);

enum class MeterFormError { None, Description, PartNumber, NotANumber };

// Copies the form into the record as a save does. The description is checked (and on success
// stored) before the part number, so a missing part number leaves the description lines
// already in the record. badText is the cell text that is not a number.
MeterFormError MeterFormToRecord(const MeterForm& form, TMeterRecord& record, QString& badText);

// Orders the rows by signal number; rows with equal signals keep their order, and a signal that
// is not a number is never moved past. Returns where each row went: result[old] = new index.
QVector<int> SortMeterRows(QVector<MeterPoint>& rows);

}  // namespace varnel
