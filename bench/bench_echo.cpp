// Echo round trips through kexbox's pseudo-terminal without pacing: what one echoed byte of a
// command transaction costs the program when the line itself costs nothing.

#include "kexbox_process.h"
#include "link/box_link.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(100, std::atoi(argv[1])) : 5000;
    QProcess kexbox;
    const QString device = startKexbox(kexbox, {});
    if (device.isEmpty()) {
        std::fprintf(stderr, "kexbox did not start\n");
        return 1;
    }
    varnel::BoxLink link;
    link.PortOverride = device;
    QString error;
    if (!link.OpenLink(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    link.WaitQuiet(100);

    std::vector<double> us;
    us.reserve(size_t(count));
    int lost = 0;
    QElapsedTimer total;
    const std::clock_t cpu0 = std::clock();
    total.start();
    for (int i = 0; i < count; ++i) {
        QElapsedTimer t;
        t.start();
        // Letters only: a CR would start a command and bring a reply.
        if (!link.SendByteEcho(uint8_t('A' + i % 26))) ++lost;
        us.push_back(double(t.nsecsElapsed()) / 1000.0);
    }
    const double totalS = double(total.nsecsElapsed()) / 1e9;
    const double cpuS = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, size_t(q * double(us.size())))]; };
    std::printf("Echo round trips through kexbox's pseudo-terminal, no pacing (%d bytes)\n", count);
    std::printf("  median %.1f us, p99 %.1f us, max %.1f us, lost %d\n", at(0.5), at(0.99),
                us.back(), lost);
    std::printf("  total %.3f s wall, %.3f s process CPU (%.1f us CPU a round trip)\n", totalS,
                cpuS, cpuS * 1e6 / count);
    stopKexbox(kexbox);
    return lost == 0 ? 0 : 1;
}
