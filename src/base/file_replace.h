#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <csignal>

namespace varnel {

// The longest file name (one path component) the systems we run on take, in bytes of its
// encoded form; on Windows the limit counts UTF-16 units, never more than these bytes.
inline constexpr int kMaxFileNameBytes = 255;

// The file name cut to its first characters so that, followed by reserve bytes, it fits
// kMaxFileNameBytes.
QString CutFileName(const QString& name, int reserve);

// How a replacement of a file's contents ended.
struct ReplaceOutcome {
    enum class End {
        Replaced,    // the file holds the new bytes
        NotOpened,   // nothing could be written: the file is as it was
        NotWritten,  // the write failed part-way: the file is as it was
    };
    End end = End::NotOpened;
    QFileDevice::FileError error = QFileDevice::NoError;  // of the step that failed
    bool ok() const { return end == End::Replaced; }
};

// Makes path hold exactly data; on any failure the previous file is left byte for byte.
// - In a folder that can be written, atomically: a temporary file beside it, renamed over it
//   once complete (with a shortened name for a file name too long for QSaveFile's own).
// - In a folder that cannot be written (or that has no room for the temporary file) an
//   existing file that can be written is written in place: over its bytes, never truncated
//   first, its old bytes kept; a write that fails puts them back and the file is cut back to
//   its old length. Only a process killed part-way can leave such a file mixed.
// A new file is made with the usual permissions, an existing one's are kept.
ReplaceOutcome ReplaceFileContents(const QString& path, const QByteArray& data);

// Creates an empty file at path only if nothing of that name exists, in one step of the
// system, so two programs can never both take the same name. False, with the system's error,
// when the name is taken or the file cannot be made (they differ by whether path exists).
bool TakeFileName(const QString& path, QFileDevice::FileError& error);

// While it lives, a write past the process's file-size limit fails like a full disk instead
// of ending the program (the limit's signal, by default, kills it half-way through a write).
class FileSizeLimitAsError {
  public:
    FileSizeLimitAsError();
    ~FileSizeLimitAsError();
    FileSizeLimitAsError(const FileSizeLimitAsError&) = delete;
    FileSizeLimitAsError& operator=(const FileSizeLimitAsError&) = delete;

  private:
#ifdef SIGXFSZ
    void (*previous_)(int) = SIG_DFL;
#endif
};

}  // namespace varnel
