#include "project_backup.h"

#include "base/file_replace.h"
#include "base/project_document.h"
#include "base/project_file.h"
#include "base/ui_services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace varnel {

namespace {
// More backups of one project in one second than any workshop takes.
constexpr int kMaxBackupsPerSecond = 999;
}  // namespace

QString BackupDir(const QString& appDir, int group) {
    return GroupDir(appDir, group) + QStringLiteral("Backups/");
}

QString BackupStem(const QString& projectFileName, DocState state) {
    if (state != DocState::File) return QStringLiteral("new");
    const QString stem = QFileInfo(projectFileName).completeBaseName();
    return stem.isEmpty() ? QStringLiteral("new") : stem;
}

bool SaveProjectCopy(UiServices& ui, const QString& path, ProjectHeader header,
                     const EepromImage& image, int32_t today, bool announce) {
    StampHeaderForSave(header, today);
    QString error;
    switch (WriteProjectFile(path, header, image, error)) {
        case SaveStatus::Refused:
            ui.error(error);
            return false;
        case SaveStatus::Incomplete:
            ui.error(QStringLiteral("Error saving ") + path);
            return false;
        case SaveStatus::Saved:
            break;
    }
    if (announce) ui.information(path + QStringLiteral(" saved"));
    return true;
}

QString BackupFileName(const QString& stem, const QDateTime& time, int n) {
    const QString end = time.toString(QStringLiteral("-yyyyMMdd-HHmmss")) +
                        (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".KEX");
    return CutFileName(stem, int(QFile::encodeName(end).size())) + end;
}

QString BackupFailedText(const QString& path, const QString& reason) {
    return QStringLiteral("Error saving the backup %1%2. The box was not written.")
        .arg(path, reason.isEmpty() ? QString() : QStringLiteral(": ") + reason);
}

bool SaveBackup(UiServices& ui, const QString& dir, const QString& stem, const QDateTime& time,
                const ProjectHeader& header, const EepromImage& image, QString& path) {
    EnsureFolder(dir);
    // The name is taken before anything is written, in one step of the system: another run
    // saving a backup in the same second takes the next name, never this one.
    QString error = QStringLiteral("every name of that second is taken");
    bool taken = false;
    for (int n = 1; n <= kMaxBackupsPerSecond && !taken; ++n) {
        path = QDir(dir).filePath(BackupFileName(stem, time, n));
        QFileDevice::FileError refused = QFileDevice::NoError;
        taken = TakeFileName(path, refused);
        if (!taken && !QFileInfo::exists(path)) {
            error = CreateErrorText(path, refused);
            break;
        }
    }
    if (taken) {
        ProjectHeader stamped = header;
        StampHeaderForSave(stamped, DayNumber(time.date()));
        switch (WriteProjectFile(path, stamped, image, error)) {
            case SaveStatus::Saved:
                return true;
            case SaveStatus::Refused:
                break;
            case SaveStatus::Incomplete:
                error.clear();
                break;
        }
        QFile::remove(path);
    }
    ui.error(BackupFailedText(path, error));
    return false;
}

}  // namespace varnel
