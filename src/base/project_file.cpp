#include "project_file.h"

#include "base/file_replace.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace varnel {

int32_t DayNumber(const QDate& date) {
    return static_cast<int32_t>(QDate(1899, 12, 30).daysTo(date));
}

namespace {

// Takes up to count whole records from data at offset; a trailing part of a record does not
// count. Returns the number of records taken.
int takeRecords(const QByteArray& data, qsizetype& offset, int count, QByteArray& records) {
    records.clear();
    if (count <= 0) return 0;
    const qsizetype available = (data.size() - offset) / kRecordSize;
    const int taken = int(std::min<qsizetype>(count, available));
    records = data.mid(offset, qsizetype(taken) * kRecordSize);
    offset += records.size();
    return taken;
}

}  // namespace

QString CreateErrorText(const QString& path, QFileDevice::FileError error) {
    const QFileInfo info(path);
    const QFileInfo dir(info.absolutePath());
    if (info.fileName().isEmpty() || !dir.isDir()) return QStringLiteral("Invalid filename");
    if (info.isDir() || !dir.isWritable()) return QStringLiteral("File access denied");
    if (error == QFileDevice::ResourceError) return QStringLiteral("Disk full");
    return QStringLiteral("I/O error %1").arg(int(error));
}

namespace {

// The owner's write bit is the file's own read-only mark. It is checked by itself because a
// privileged user may write any file, and isWritable() then says yes.
bool isReadOnly(const QFileInfo& info) {
    return (info.permissions() & QFileDevice::WriteOwner) == 0 || !info.isWritable();
}

}  // namespace

ReadStatus ReadProjectFile(const QString& path, ProjectHeader& header, EepromImage& image) {
    if (!QFileInfo::exists(path)) return ReadStatus::NotFound;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return ReadStatus::CannotOpen;
    // At most 32 header records and 16 image records are ever read; the rest is ignored.
    const QByteArray data = file.read(kProjectFileSize);
    return ParseProjectFile(data, header, image);
}

ReadStatus ParseProjectFile(const QByteArray& data, ProjectHeader& header, EepromImage& image) {
    ProjectHeader h = header;
    EepromImage img = image;
    qsizetype offset = 0;
    QByteArray records;
    if (takeRecords(data, offset, 1, records) != 1) return ReadStatus::BadCounts;
    for (int i = 0; i < kRecordSize; ++i) h.setByte(i, static_cast<uint8_t>(records[i]));
    const int headerRecords = h.HeaderRecords();
    // More than 32 header records would not fit the header; fewer than one cannot hold the counts.
    if (h.TotalRecords() != headerRecords + kImageRecords || headerRecords < 1 ||
        headerRecords > kHeaderRecords)
        return ReadStatus::BadCounts;

    if (takeRecords(data, offset, headerRecords - 1, records) != headerRecords - 1)
        return ReadStatus::ShortHeader;
    for (int i = 0; i < records.size(); ++i)
        h.setByte(kRecordSize + i, static_cast<uint8_t>(records[i]));

    if (takeRecords(data, offset, kImageRecords, records) != kImageRecords)
        return ReadStatus::ShortImage;
    img.assign(records);

    header = h;
    image = img;
    return ReadStatus::Ok;
}

QByteArray ProjectFileBytes(const ProjectHeader& header, const EepromImage& image) {
    return header.toByteArray() + image.toByteArray();
}

QString ReadErrorText(ReadStatus status, const QString& path) {
    if (status == ReadStatus::NotFound) return path + QStringLiteral(" not found");
    return QStringLiteral("Error (%1) reading ").arg(int(status)) + path;
}

SaveStatus WriteProjectFile(const QString& path, const ProjectHeader& header,
                            const EepromImage& image, QString& errorText) {
    return WriteFileBytes(path, ProjectFileBytes(header, image), errorText);
}

SaveStatus WriteFileBytes(const QString& path, const QByteArray& data, QString& errorText) {
    errorText.clear();
    // A read-only file must stay as it is; QSaveFile would replace it through the rename.
    const QFileInfo info(path);
    if (info.exists() && (info.isDir() || isReadOnly(info))) {
        errorText = QStringLiteral("File access denied");
        return SaveStatus::Refused;
    }
    const ReplaceOutcome written = ReplaceFileContents(path, data);
    switch (written.end) {
        case ReplaceOutcome::End::Replaced:
            return SaveStatus::Saved;
        case ReplaceOutcome::End::NotOpened:
            errorText = CreateErrorText(path, written.error);
            return SaveStatus::Refused;
        case ReplaceOutcome::End::NotWritten:
            break;
    }
    return SaveStatus::Incomplete;
}

void StampHeaderForSave(ProjectHeader& header, int32_t today) {
    header.setModifiedDate(today);
    header.setTotalRecords(kHeaderRecords + kImageRecords);
    header.setHeaderRecords(kHeaderRecords);
    header.setSoftwareVersion(11);
    header.setHardwareVersion(10);
}

}  // namespace varnel
