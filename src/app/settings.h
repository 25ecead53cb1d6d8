#pragma once

#include <QString>
#include <QStringList>

namespace varnel {

struct KexSettings {
    int ComPort = 2;
    int BaudRate = 9600;
    QString Device;      // a device path that overrides ComPort when not empty
    QStringList Recent;  // "Recent"/"File1".."File6", most recent first
};

inline constexpr int kRecentFiles = 6;

// The recent list after path was opened or saved: path first, once, the list cut to six.
QStringList RecentAfterUse(const QStringList& recent, const QString& path);

// kex.ini in the user's configuration folder: $XDG_CONFIG_HOME/varnel/kex.ini on Linux.
QString DefaultSettingsPath();

// Decimal, or hexadecimal after 0x, 0X or $, with an optional sign; nothing else.
bool ParseSettingsInt(const QString& text, int& value);

KexSettings LoadSettings(const QString& path);

// Writes the "System" and "User" keys as the program does at close. False when the file cannot
// be written.
bool SaveSettings(const QString& path, int comPort, int baudRate);
// The same, and "System"/"Device": written when not empty, removed when empty (the COM port is
// then in use).
bool SaveSettings(const QString& path, int comPort, int baudRate, const QString& device);
// The same, and the recent list as "Recent"/"File1".."File6", the keys beyond it removed.
bool SaveSettings(const QString& path, int comPort, int baudRate, const QString& device,
                  const QStringList& recent);

}  // namespace varnel
