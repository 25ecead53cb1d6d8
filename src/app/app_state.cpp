#include "app_state.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace varnel {

QString DefaultAppDir(const QString& programDir) {
    QString dir = programDir;
    const QFileInfo info(dir);
    if (!info.isDir() || !info.isWritable())
        dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    return dir;
}

void EnsureFolder(const QString& path) {
    if (QFileInfo(path).isDir()) return;
    QDir().mkpath(path);
}

}  // namespace varnel
