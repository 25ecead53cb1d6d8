#include "cli/cli_interrupt.h"

#include "link/box_link.h"

#include <QObject>

#include <csignal>

// The handler may only note the signal. On Unix it also wakes the event loop through a pipe, so
// the wait in progress ends at once; elsewhere a short timer looks for the note.
#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#else
#include <QTimer>
#endif

namespace varnel::cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;

#ifdef Q_OS_UNIX
// Made once and kept open: a handler still running on another thread must never write into a
// descriptor number that a file has taken over since.
int g_pipe[2] = {-1, -1};

void onSignal(int sig) {
    const int savedErrno = errno;
    if (g_signal == 0) g_signal = sig;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

void handleSignals(void (*handler)(int)) {
    struct sigaction sa {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // Once only: the second signal has the default action.
    sa.sa_flags = handler == SIG_DFL ? 0 : SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}
#else
void onSignal(int sig) {
    if (g_signal == 0) g_signal = sig;
    std::signal(sig, SIG_DFL);
}

void handleSignals(void (*handler)(int)) {
    std::signal(SIGINT, handler);
    std::signal(SIGTERM, handler);
}
#endif

}  // namespace

struct Interrupt::Watch {
    bool armed = false;
#ifdef Q_OS_UNIX
    std::unique_ptr<QSocketNotifier> notifier;
#else
    QTimer poll;
#endif
};

Interrupt::Interrupt(BoxLink& link, bool& abortFlag) : watch_(std::make_unique<Watch>()) {
    g_signal = 0;
    const auto stop = [&link, &abortFlag] {
        abortFlag = true;
        link.CancelWaits();
    };
#ifdef Q_OS_UNIX
    if (g_pipe[0] < 0) {
        if (::pipe(g_pipe) != 0) return;  // no way to wake the loop: the default action stays
        for (const int fd : g_pipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    watch_->notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(watch_->notifier.get(), &QSocketNotifier::activated, [stop] {
        char buf[16];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        stop();
    });
#else
    watch_->poll.setInterval(10);
    QObject::connect(&watch_->poll, &QTimer::timeout, [stop] {
        if (g_signal != 0) stop();
    });
    watch_->poll.start();
#endif
    handleSignals(onSignal);
    watch_->armed = true;
}

Interrupt::~Interrupt() {
    release();
}

int Interrupt::release() {
    if (watch_->armed) {
        handleSignals(SIG_DFL);
        watch_->armed = false;
#ifdef Q_OS_UNIX
        watch_->notifier.reset();
#else
        watch_->poll.stop();
#endif
    }
    return g_signal;
}

int Interrupt::exitCode(int code) const {
    return g_signal != 0 ? 128 + g_signal : code;
}

}  // namespace varnel::cli
