#pragma once

#include "base/project_header.h"
#include "image/eeprom_image.h"

#include <QDate>
#include <QFileDevice>
#include <QString>

namespace varnel {

inline constexpr int kProjectFileSize = kHeaderSize + kImageSize;
inline constexpr int kRecordSize = 16;
inline constexpr int kHeaderRecords = kHeaderSize / kRecordSize;  // 32
inline constexpr int kImageRecords = kImageSize / kRecordSize;    // 16

// Whole days since 30 December 1899, the epoch of the project file's dates.
int32_t DayNumber(const QDate& date);

// Why a project file could not be read. The numbers are the ones the user is shown.
enum class ReadStatus {
    Ok = 0,
    CannotOpen = 1,   // exists but cannot be opened for reading (no permission, a folder)
    BadCounts = 2,    // no first record, or TotalRecords is not HeaderRecords + 16
    ShortHeader = 3,  // fewer header records than HeaderRecords says
    ShortImage = 4,   // fewer than 16 image records
    NotFound = -1,    // no file of that name; its message carries no number
};

// Reads a project file. A file may hold 1 to 32 header records: the image follows them, and the
// header bytes past the records read keep what header held. On any failure header and image are
// left exactly as they were. The file is opened for reading only, so a read-only file opens.
ReadStatus ReadProjectFile(const QString& path, ProjectHeader& header, EepromImage& image);

// The same rules on a file's contents already in memory (a file never needs more than its first
// 768 bytes). NotFound and CannotOpen do not arise here.
ReadStatus ParseProjectFile(const QByteArray& data, ProjectHeader& header, EepromImage& image);

// The 768 bytes a save writes: the header, then the image.
QByteArray ProjectFileBytes(const ProjectHeader& header, const EepromImage& image);

// The message for a failed read: "<path> not found" or "Error (n) reading <path>".
QString ReadErrorText(ReadStatus status, const QString& path);

enum class SaveStatus {
    Saved,
    Refused,     // the file could not be created or replaced; errorText says why
    Incomplete,  // the file was created but not all of it could be written
};

// Writes header then image atomically: on failure the previous file is left as it was. In a
// folder the user may not write, a writable file is written in place instead, and a failure
// there too leaves it byte for byte (ReplaceFileContents).
// A file whose write permission is off ("read-only") is refused with "File access denied", also
// for a user whom the system would let write it anyway.
SaveStatus WriteProjectFile(const QString& path, const ProjectHeader& header,
                            const EepromImage& image, QString& errorText);

// The classic runtime texts for the system errors met when creating a file ("File access
// denied", "Disk full", ...). A folder that does not exist is the system's "path not found",
// which the runtime words as "Invalid filename".
QString CreateErrorText(const QString& path, QFileDevice::FileError error);

// Writes data to path atomically, with the refusals of a project save.
SaveStatus WriteFileBytes(const QString& path, const QByteArray& data, QString& errorText);

// The header fields a save writes afresh; CreatedDate and every other byte stay.
void StampHeaderForSave(ProjectHeader& header, int32_t today);

}  // namespace varnel
