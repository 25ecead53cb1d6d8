#pragma once

#include "base/app_state.h"

#include <QDateTime>
#include <QString>

namespace varnel {

class UiServices;

// Where the copies of the box made before a write of the changes go: the folder Backups inside
// the project's group folder (the program's folder for a group without one).
QString BackupDir(const QString& appDir, int group);

// What a backup's name starts with: the project file's name without its extension, "new" for
// a project that was never saved.
QString BackupStem(const QString& projectFileName, DocState state);

// Saves header (stamped as a save stamps it, dated by today) and image to path with the save's
// messages: its refusal text or "Error saving <path>", and "<path> saved" when announce is set.
// Nothing of the open project changes.
bool SaveProjectCopy(UiServices& ui, const QString& path, ProjectHeader header,
                     const EepromImage& image, int32_t today, bool announce);

// Saves a backup into dir (made when missing) as STEM-YYYYMMDD-HHMMSS.KEX by the local time, or
// with -2, -3, ... before the extension when that name is taken: a backup never replaces
// another. On success path names the file; on failure the save's message has been shown.
bool SaveBackup(UiServices& ui, const QString& dir, const QString& stem, const QDateTime& time,
                const ProjectHeader& header, const EepromImage& image, QString& path);

}  // namespace varnel
