#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <signal.h>

namespace varnel::test {

// A kexbox process on its own pseudo-terminal (KEXBOX_PATH names the program).
class KexboxProcess {
  public:
    explicit KexboxProcess(const QStringList& args) {
        process.start(QStringLiteral(KEXBOX_PATH), args);
        while (!process.canReadLine())
            if (!process.waitForReadyRead(5000)) return;
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~KexboxProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(3000);
        }
    }
    KexboxProcess(const KexboxProcess&) = delete;
    KexboxProcess& operator=(const KexboxProcess&) = delete;

    // The box behaves again: every fault is cleared (SIGUSR1).
    void heal() { ::kill(pid_t(process.processId()), SIGUSR1); }
    bool running() const { return process.state() == QProcess::Running; }

    QProcess process;
    QString device;
};

}  // namespace varnel::test
