#include "file_replace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace varnel {

namespace {

using End = ReplaceOutcome::End;

// QSaveFile names its temporary file after the file it replaces, with ".XXXXXX" added.
constexpr int kTempSuffixBytes = 7;

int encodedBytes(const QString& s) {
    return int(QFile::encodeName(s).size());
}

ReplaceOutcome outcome(End end, QFileDevice::FileError error = QFileDevice::NoError) {
    ReplaceOutcome o;
    o.end = end;
    // A write the system cut short leaves no error behind: it is still a failed write.
    o.error =
        end != End::Replaced && error == QFileDevice::NoError ? QFileDevice::WriteError : error;
    return o;
}

std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

// Over the file's own bytes. Only the bytes a write reached have changed, and those the system
// lets us write again (a full disk has their blocks already, a size limit lies beyond them), so
// writing the old bytes back and cutting off what was added restores the file.
ReplaceOutcome writeInPlace(const QString& path, const QByteArray& data) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return outcome(End::NotOpened, file.error());
    const qint64 oldSize = file.size();
    const QByteArray old = file.read(data.size());
    if (old.size() != std::min<qint64>(oldSize, data.size()))
        return outcome(End::NotOpened, QFileDevice::ReadError);
    bool ok = file.seek(0) && file.write(data) == data.size();
    if (ok && oldSize > data.size()) ok = file.resize(data.size());
    if (ok && file.size() == data.size()) return outcome(End::Replaced);
    const QFileDevice::FileError error = file.error();
    file.seek(0);
    file.write(old);
    if (file.size() > oldSize) file.resize(oldSize);
    return outcome(End::NotWritten, error);
}

ReplaceOutcome writeWithSaveFile(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return outcome(End::NotOpened, file.error());
    // commit() does not see a failure of the final flush (Qt 6.4 then renames a cut-short file
    // over the old one), so flush and check the size first.
    if (file.write(data) != data.size() || !file.flush() || file.size() != data.size()) {
        const QFileDevice::FileError error = file.error();
        file.cancelWriting();
        return outcome(End::NotWritten, error);
    }
    if (!file.commit()) return outcome(End::NotWritten, file.error());
    return outcome(End::Replaced);
}

// QSaveFile's temporary name would be too long for the system, so the temporary file takes a
// shortened name of our own and is renamed over the file as QSaveFile would rename it.
ReplaceOutcome writeWithShortTemp(const QString& path, const QByteArray& data) {
    const QFileInfo info(path);
    const QString start = info.dir().filePath(CutFileName(info.fileName(), kTempSuffixBytes));
    const bool replacing = info.exists();
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QFile temp;
    for (int attempt = 0; attempt < 16 && !temp.isOpen(); ++attempt) {
        QString name = start + QLatin1Char('.');
        for (int i = 0; i < 6; ++i)
            name += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
        temp.setFileName(name);
        // Nobody else's until complete; a replaced file's permissions are put on it then.
        const bool opened = replacing ? temp.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner)
                                      : temp.open(QIODevice::WriteOnly | QIODevice::NewOnly);
        if (!opened && !temp.exists()) return outcome(End::NotOpened, temp.error());
    }
    if (!temp.isOpen()) return outcome(End::NotOpened, QFileDevice::OpenError);
    bool ok = temp.write(data) == data.size() && temp.flush() && temp.size() == data.size();
    if (ok && replacing) ok = temp.setPermissions(QFile::permissions(path));
    QFileDevice::FileError error = temp.error();
    temp.close();
    if (ok && temp.error() != QFileDevice::NoError) {
        ok = false;
        error = temp.error();
    }
    if (ok) {
        std::error_code failed;
        std::filesystem::rename(nativePath(temp.fileName()), nativePath(path), failed);
        if (failed) {
            ok = false;
            error = QFileDevice::RenameError;
        }
    }
    if (ok) return outcome(End::Replaced);
    temp.remove();
    return outcome(End::NotWritten, error);
}

}  // namespace

QString CutFileName(const QString& name, int reserve) {
    QString cut = name;
    while (!cut.isEmpty() && encodedBytes(cut) + reserve > kMaxFileNameBytes) {
        cut.chop(1);
        if (!cut.isEmpty() && cut.back().isHighSurrogate()) cut.chop(1);
    }
    return cut;
}

ReplaceOutcome ReplaceFileContents(const QString& link, const QByteArray& data) {
    const FileSizeLimitAsError limit;
    // A symbolic link stays one: the file it names is replaced, as QSaveFile does.
    const QFileInfo named(link);
    const QString path = named.isSymLink() && named.exists() ? named.canonicalFilePath() : link;
    const QFileInfo info(path);
    const bool exists = info.exists();
    if (exists && !QFileInfo(info.absolutePath()).isWritable()) return writeInPlace(path, data);
    const ReplaceOutcome atomic =
        encodedBytes(info.fileName()) + kTempSuffixBytes > kMaxFileNameBytes
            ? writeWithShortTemp(path, data)
            : writeWithSaveFile(path, data);
    // No room for a temporary file beside it (no free inode, a folder the system says no to
    // although it looked writable): the file itself is all there is to write.
    if (atomic.end == End::NotOpened && exists && info.isWritable())
        return writeInPlace(path, data);
    return atomic;
}

bool TakeFileName(const QString& path, QFileDevice::FileError& error) {
    QFile file(path);
    const bool taken = file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    error = file.error();
    return taken;
}

FileSizeLimitAsError::FileSizeLimitAsError() {
#ifdef SIGXFSZ
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
#endif
}

FileSizeLimitAsError::~FileSizeLimitAsError() {
#ifdef SIGXFSZ
    if (previous_ != SIG_ERR) std::signal(SIGXFSZ, previous_);
#endif
}

}  // namespace varnel
