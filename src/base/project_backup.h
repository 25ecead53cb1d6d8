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

// A backup's file name: STEM-YYYYMMDD-HHMMSS.KEX by the local time, with -n before the
// extension from n = 2 on; the stem is cut so that the name fits the system's limit.
QString BackupFileName(const QString& stem, const QDateTime& time, int n);

// "Error saving the backup PATH: REASON. The box was not written." (no ": REASON" for a write
// that stopped part-way).
QString BackupFailedText(const QString& path, const QString& reason);

// Saves a backup into dir (made when missing) under BackupFileName, the first n whose name is
// free: the name is taken by creating the file exclusively, so a backup never replaces another,
// not even one that another run is saving in the same second. On success path names the file;
// on failure nothing is left under that name and BackupFailedText has been shown.
bool SaveBackup(UiServices& ui, const QString& dir, const QString& stem, const QDateTime& time,
                const ProjectHeader& header, const EepromImage& image, QString& path);

}  // namespace varnel
