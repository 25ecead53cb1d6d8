#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts kexbox and reads the device path it prints first.
inline QString startKexbox(QProcess& process, const QStringList& args) {
    process.start(QStringLiteral(KEXBOX_PATH), args);
    while (!process.canReadLine())
        if (!process.waitForReadyRead(5000)) return QString();
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

inline void stopKexbox(QProcess& process) {
    process.terminate();
    process.waitForFinished(3000);
}
