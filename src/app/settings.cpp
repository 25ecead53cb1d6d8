#include "settings.h"

#include "base/file_replace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <limits>
#include <optional>

namespace varnel {

QString DefaultSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/varnel/kex.ini");
}

bool ParseSettingsInt(const QString& text, int& value) {
    // QSettings and QString::toInt are both too lenient (white space, octal) and too strict
    // (no "$10"), so the digits are read here.
    int i = 0;
    const int n = int(text.size());
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == QLatin1Char('0') &&
               (text[i + 1] == QLatin1Char('x') || text[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n) return false;
    long long v = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0 || d >= base) return false;
        v = v * base + d;
        if (v > std::numeric_limits<int>::max() + 1LL) return false;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min()) return false;
    value = static_cast<int>(v);
    return true;
}

// What a close writes beyond the five keys that are always written.
struct ExtraKeys {
    std::optional<QString> device;
    std::optional<QStringList> recent;
};

static bool writeSettings(const QString& path, int comPort, int baudRate, const ExtraKeys& extra);

static QString recentKey(int n) {
    return QStringLiteral("Recent/File%1").arg(n);
}

QStringList RecentAfterUse(const QStringList& recent, const QString& path) {
    QStringList list{path};
    // The same file under another spelling of its path ("a/../b") is the same file.
    const QString canonical = QFileInfo(path).absoluteFilePath();
    for (const QString& p : recent)
        if (QFileInfo(p).absoluteFilePath() != canonical && list.size() < kRecentFiles)
            list.append(p);
    return list;
}

static int readInt(QSettings& s, const QString& key, int fallback) {
    const QVariant v = s.value(key);
    if (v.typeId() != QMetaType::QString) return fallback;
    int parsed = 0;
    return ParseSettingsInt(v.toString(), parsed) ? parsed : fallback;
}

KexSettings LoadSettings(const QString& path) {
    KexSettings result;
    if (!QFileInfo(path).isFile()) return result;
    QSettings s(path, QSettings::IniFormat);
    result.ComPort = readInt(s, QStringLiteral("System/ComPort"), 2);
    result.BaudRate = readInt(s, QStringLiteral("System/BaudRate"), 9600);
    const QVariant device = s.value(QStringLiteral("System/Device"));
    if (device.typeId() == QMetaType::QString) result.Device = device.toString();
    for (int n = 1; n <= kRecentFiles; ++n) {
        const QVariant file = s.value(recentKey(n));
        if (file.typeId() == QMetaType::QString && !file.toString().isEmpty())
            result.Recent.append(file.toString());
    }
    return result;
}

bool SaveSettings(const QString& path, int comPort, int baudRate) {
    return writeSettings(path, comPort, baudRate, {});
}

bool SaveSettings(const QString& path, int comPort, int baudRate, const QString& device) {
    return writeSettings(path, comPort, baudRate, {device, std::nullopt});
}

bool SaveSettings(const QString& path, int comPort, int baudRate, const QString& device,
                  const QStringList& recent) {
    return writeSettings(path, comPort, baudRate, {device, recent});
}

// Sets the keys the program writes at close. QSettings saves atomically, through a lock file
// and a temporary file beside the file.
static bool setKeys(const QString& path, int comPort, int baudRate, const ExtraKeys& extra) {
    QSettings s(path, QSettings::IniFormat);
    if (const auto& device = extra.device) {
        if (device->isEmpty())
            s.remove(QStringLiteral("System/Device"));
        else
            s.setValue(QStringLiteral("System/Device"), *device);
    }
    if (const auto& recent = extra.recent) {
        for (int n = 1; n <= kRecentFiles; ++n) {
            if (n <= recent->size())
                s.setValue(recentKey(n), recent->at(n - 1));
            else
                s.remove(recentKey(n));
        }
    }
    s.setValue(QStringLiteral("System/ComPort"), QString::number(comPort));
    s.setValue(QStringLiteral("System/BaudRate"), QString::number(baudRate));
    s.setValue(QStringLiteral("User/EEResume"), QStringLiteral("0000"));
    s.setValue(QStringLiteral("User/EEStart"), QStringLiteral("0000"));
    s.setValue(QStringLiteral("User/EEStop"), QStringLiteral("0000"));
    s.sync();
    return s.status() == QSettings::NoError;
}

static bool writeSettings(const QString& path, int comPort, int baudRate, const ExtraKeys& extra) {
    const FileSizeLimitAsError limit;
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    if (!QFileInfo::exists(path) || QFileInfo(folder).isWritable())
        return setKeys(path, comPort, baudRate, extra);
    // A folder the user may not write holds neither the lock file nor the temporary file, yet
    // kex.ini itself may be writable: the keys are set in a copy kept elsewhere, and the copy
    // is written over kex.ini in place, which a failure leaves as it was. (QSettings' own
    // in-place fallback truncates the file first.)
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("kex.ini"));
    if (!scratch.isValid() || !QFile::copy(path, copy) || !setKeys(copy, comPort, baudRate, extra))
        return false;
    QFile in(copy);
    if (!in.open(QIODevice::ReadOnly)) return false;
    return ReplaceFileContents(path, in.readAll()).ok();
}

}  // namespace varnel
