// Connect against a port where nothing answers: the wall time is the two one-second waits; the
// CPU time shows whether the waits sleep or spin.

#include "base/app_state.h"
#include "base/ui_services.h"
#include "kexbox_process.h"
#include "link/box_link.h"
#include "link/box_ops.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>

namespace {

class QuietUi : public varnel::UiServices {
  public:
    QString last;
    void error(const QString& text) override { last = text; }
    void warning(const QString& text) override { last = text; }
    void information(const QString& text) override { last = text; }
    Answer confirm(const QString&, bool) override { return Answer::No; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    int runModal(QDialog&) override { return 0; }
    void helpContents() override {}
    void helpSearch() override {}
    void helpTopic(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QProcess kexbox;
    // A box that sends nothing at all, not even echoes.
    const QString device = startKexbox(kexbox, {"--fault", "silent-after=0"});
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
    // The opening's own time-out passes first: each run below is a Connect's two waits alone.
    link.AwaitOpening();
    varnel::AppState state;
    state.header.setHardwareVersion(10);
    QuietUi ui;

    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    std::printf("Connect against a silent port (%d runs)\n", runs);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer wall;
        const std::clock_t cpu0 = std::clock();
        wall.start();
        const bool ok = varnel::ConnectBox(state, link, ui);
        const double wallS = double(wall.nsecsElapsed()) / 1e9;
        const double cpuS = double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        std::printf("  run %d: %s, wall %.3f s, process CPU %.4f s\n", i + 1,
                    ok ? "connected?!" : qPrintable(ui.last), wallS, cpuS);
    }
    stopKexbox(kexbox);
    return 0;
}
