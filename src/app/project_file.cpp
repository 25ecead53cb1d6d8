#include "project_file.h"

#include <QFileInfo>
#include <QSaveFile>

namespace varnel {

int32_t DayNumber(const QDate& date) {
    return static_cast<int32_t>(QDate(1899, 12, 30).daysTo(date));
}

namespace {

// The classic runtime texts for the system errors a save can meet.
QString saveErrorText(const QString& path, const QSaveFile& file) {
    const QFileInfo info(path);
    const QFileInfo dir(info.absolutePath());
    if (!dir.exists()) return QStringLiteral("File not found");
    if (info.fileName().isEmpty()) return QStringLiteral("Invalid filename");
    if ((info.exists() && !info.isWritable()) || !dir.isWritable() || info.isDir())
        return QStringLiteral("File access denied");
    if (file.error() == QFileDevice::ResourceError) return QStringLiteral("Disk full");
    return QStringLiteral("I/O error %1").arg(int(file.error()));
}

}  // namespace

bool WriteProjectFile(const QString& path, const ProjectHeader& header, const EepromImage& image,
                      QString& errorText) {
    errorText.clear();
    // A read-only file must stay as it is; QSaveFile would replace it through the rename.
    const QFileInfo info(path);
    if (info.exists() && (!info.isWritable() || info.isDir())) {
        errorText = QStringLiteral("File access denied");
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = saveErrorText(path, file);
        return false;
    }
    QByteArray data = header.toByteArray();
    data += image.toByteArray();
    if (file.write(data) != data.size() || !file.commit()) {
        errorText = saveErrorText(path, file);
        return false;
    }
    return true;
}

}  // namespace varnel
