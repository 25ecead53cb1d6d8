#include "project_backup.h"

#include "base/project_document.h"
#include "base/project_file.h"
#include "base/ui_services.h"

#include <QDir>
#include <QFileInfo>

namespace varnel {

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

bool SaveBackup(UiServices& ui, const QString& dir, const QString& stem, const QDateTime& time,
                const ProjectHeader& header, const EepromImage& image, QString& path) {
    EnsureFolder(dir);
    const QString base =
        QDir(dir).filePath(stem + time.toString(QStringLiteral("-yyyyMMdd-HHmmss")));
    path = base + QStringLiteral(".KEX");
    for (int n = 2; QFileInfo::exists(path); ++n) path = base + QStringLiteral("-%1.KEX").arg(n);
    return SaveProjectCopy(ui, path, header, image, DayNumber(time.date()), false);
}

}  // namespace varnel
