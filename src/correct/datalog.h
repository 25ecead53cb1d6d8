#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <string_view>
#include <vector>

namespace varnel {

// A datalog as an engine computer's logger writes it: a header line naming the columns, then
// one row a line (LF or CR LF). The separator is whichever of tab, semicolon and comma comes
// first in the header line; fields may be quoted with '"' ("" inside quotes is one quote).
//
// The file is read in fixed chunks and a row's fields point into the chunk, so a log of
// millions of rows costs no more memory than a short one. Not a general CSV reader: a quoted
// field never spans lines.
class DatalogReader {
  public:
    // Opens path and reads its header line. False, with the message for the user in error:
    // path + " not found", or "Error reading " + path.
    bool open(const QString& path, QString& error);

    const QStringList& columns() const { return columns_; }
    char separator() const { return sep_; }
    // The column named name, compared without regard to case and with blanks trimmed; -1 when
    // the header has none (the first of equal names wins).
    int columnIndex(const QString& name) const;

    // The next row that is not empty. fields hold the row's fields, quotes removed, valid until
    // the next call. False at the end of the file or after a read error (see failed()).
    bool next(std::vector<std::string_view>& fields);

    bool failed() const { return failed_; }
    qint64 bytesRead() const { return consumed_; }
    qint64 size() const { return size_; }

    // A line longer than this is a damaged row: it is handed out with no fields.
    static constexpr qsizetype kMaxLine = 1 << 16;

  private:
    // The next line without its end, or false at the end of the file.
    bool nextLine(std::string_view& line);
    bool fill();

    QFile file_;
    std::vector<char> buf_;
    qsizetype begin_ = 0;
    qsizetype end_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    bool skipping_ = false;  // inside a line that was too long
    qint64 consumed_ = 0;
    qint64 size_ = 0;
    char sep_ = ',';
    QStringList columns_;
    std::vector<QString> keys_;  // columns_, trimmed and folded
    std::string unquoted_;       // room for the fields that lose their quotes
};

// Splits one line into its fields at sep, taking off the quotes around a quoted field; a
// field whose quotes held "" keeps its text in scratch. The header is split the same way.
void SplitLogLine(std::string_view line, char sep, std::vector<std::string_view>& fields,
                  std::string& scratch);

// A number of the log: blanks around it, an optional sign, digits with an optional fraction and
// exponent, '.' as the decimal point in every locale; finite. False for anything else, an
// empty field included.
bool LogNumber(std::string_view field, double& value);

// The refusal of a column the log does not have.
QString NoColumnMessage(const QString& name);

}  // namespace varnel
