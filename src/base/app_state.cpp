#include "app_state.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace varnel {

bool IsInstalledProgramDir(const QString& programDir) {
    // The install puts the samples in <prefix>/share/varnel beside <prefix>/bin; a build tree
    // has no such folder.
    return QFileInfo(programDir + QStringLiteral("/../share/varnel")).isDir();
}

QString DefaultAppDir(const QString& programDir) {
    QString dir = programDir;
    const QFileInfo info(dir);
    // An installed program keeps its folders with the user even when it could write its own
    // folder (run as root, or installed below the user's home): group folders among the
    // programs in bin/ would belong to no user and outlive an uninstall.
    if (!info.isDir() || !info.isWritable() || IsInstalledProgramDir(dir))
        dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

bool IsMeterFileName(const QString& path) {
    return path.endsWith(QLatin1String(".maf"), Qt::CaseInsensitive);
}

bool TakeStartArguments(const QStringList& args, AppState& state, QString& problem) {
    state.DiagnosticWord = args.isEmpty() ? QString() : args.first();
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (i == 0 && a == QLatin1String(kDiagnosticWord)) continue;
        if (a.endsWith(QLatin1String(".kex"), Qt::CaseInsensitive) || IsMeterFileName(a) ||
            QFileInfo(a).isFile())
            files.append(QFileInfo(a).absoluteFilePath());
    }
    if (files.size() > 1) {
        problem = QStringLiteral("one FILE at most: ") + files.join(QStringLiteral(", "));
        return false;
    }
    state.StartFile = files.isEmpty() ? QString() : files.first();
    return true;
}

void EnsureFolder(const QString& path) {
    if (QFileInfo(path).isDir()) return;
    QDir().mkpath(path);
}

void PlaceSamples(const QString& appDir, const QString& samplesDir) {
    const QFileInfoList samples =
        QDir(samplesDir)
            .entryInfoList({QStringLiteral("*.maf"), QStringLiteral("*.csv")}, QDir::Files,
                           QDir::Name);
    if (samples.isEmpty()) return;
    for (const char* group : {"Ford", "Import"}) {
        // Only a folder the program makes now: one the user has, emptied or not, is theirs.
        const QString folder = appDir + QLatin1String(group);
        if (QFileInfo::exists(folder) || !QDir().mkpath(folder)) continue;
        // QFile::copy never replaces a file that exists.
        for (const QFileInfo& sample : samples)
            QFile::copy(sample.filePath(), folder + QLatin1Char('/') + sample.fileName());
    }
}

}  // namespace varnel
