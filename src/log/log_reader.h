#pragma once

#include "log/log_layout.h"

#include <QFile>
#include <QString>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QIODevice;

namespace varnel {

// A datalog read as a stream of rows. Opening reads the head of the file (a quarter of a MiB)
// to find its layout (LogLayout: where the names, units and first row are, the separator, the
// decimal mark, the encoding), then reads the first rows to see what each column holds and give
// it its role, and starts again at the first row.
//
// The file is read in fixed chunks and a row's fields point into the chunk, so a log of millions
// of rows costs no more memory than a short one. Lines end in LF or CR LF; a field may be quoted
// with '"' but never spans lines.
class LogReader {
  public:
    LogReader();
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    // Opens path. False, with the message for the user in error: path + " not found", or
    // "Error reading " + path.
    bool open(const QString& path, const LogOptions& options, QString& error);
    // The same on a device that is open for reading and stays alive while the reader is used;
    // name stands for it in messages.
    bool open(QIODevice* device, const QString& name, const LogOptions& options, QString& error);

    const LogLayout& layout() const { return layout_; }
    int columnCount() const { return layout_.columnCount(); }

    // The next row: fields hold its fields, quotes removed, valid until the next call. A row
    // that has columnCount() fields is whole (a trailing separator after the last field does not
    // count); any other is damaged and counted in badRows(). Blank lines and comment lines ('#'
    // or '*' first) are passed over and counted. False at the end of the file or after a read
    // error (see failed()).
    bool next(std::vector<std::string_view>& fields);

    // A field as a number, with the log's decimal mark.
    bool number(std::string_view field, double& value) const;

    // Back to the first row, the counts to zero.
    bool rewind();

    bool failed() const { return failed_; }
    qint64 bytesRead() const { return consumed_; }
    qint64 size() const { return size_; }
    qint64 rows() const { return rows_; }
    qint64 blankLines() const { return blank_; }
    qint64 commentLines() const { return comments_; }
    qint64 badRows() const { return bad_; }
    // The file's last line has no line end and too few fields: it was cut off while written.
    bool truncatedLastRow() const { return truncated_; }

    // A line longer than this is a damaged row: it is handed out with no fields.
    static constexpr qsizetype kMaxLine = 1 << 16;
    // The bytes read to find the layout, and the rows read to sample the columns.
    static constexpr qsizetype kHeadBytes = 1 << 18;
    static constexpr int kSampleRows = 1000;
    // A long log's channels beyond this many are not read; nor the columns of a wide log (its
    // rows are then damaged).
    static constexpr int kMaxChannels = 512;
    static constexpr int kMaxColumns = 1024;

  private:
    bool start(const QString& name, QString& error);
    bool seekTo(qint64 offset);
    bool fill();
    // The next line without its end, or false at the end of the file.
    bool nextLine(std::string_view& line);
    // The next line that is neither blank nor a comment, split, or false at the end.
    bool nextFields(std::vector<std::string_view>& fields);
    bool nextReading();
    bool nextPivoted(std::vector<std::string_view>& fields);
    void findChannels();
    void sampleColumns();

    QFile file_;
    QIODevice* device_ = nullptr;
    std::unique_ptr<char[]> buf_;
    qsizetype begin_ = 0;
    qsizetype end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    bool skipping_ = false;      // inside a line that was too long
    bool unterminated_ = false;  // the last line handed out had no line end
    qint64 consumed_ = 0;
    qint64 size_ = 0;
    qint64 dataOffset_ = 0;
    qint64 lineNo_ = 0;
    qint64 rows_ = 0;
    qint64 blank_ = 0;
    qint64 comments_ = 0;
    qint64 bad_ = 0;
    bool truncated_ = false;
    LogLayout layout_;
    std::string unquoted_;

    // A long log: the file's own columns, and the values each channel holds now.
    struct Reading {
        std::string time;
        std::string channel;
        std::string value;
    };
    int timeAt_ = -1;
    int channelAt_ = -1;
    int valueAt_ = -1;
    int unitAt_ = -1;
    std::unordered_map<std::string, int> channelIndex_;
    std::vector<std::string> values_;
    std::string rowTime_;
    Reading pending_;
    bool havePending_ = false;
    std::vector<std::string_view> readingFields_;
};

// A whole pass over a log: its rows, the lines that were not rows, and per column the values
// that were missing and those that were numbers.
struct LogScan {
    qint64 rows = 0;
    qint64 blankLines = 0;
    qint64 commentLines = 0;
    qint64 badRows = 0;
    bool truncatedLastRow = false;
    std::vector<qint64> missing;
    std::vector<qint64> numbers;
};

// Reads reader to its end from its first row. False, with "Error reading " + name, on a read
// error.
bool ScanLog(LogReader& reader, const QString& name, LogScan& scan, QString& error);

}  // namespace varnel
