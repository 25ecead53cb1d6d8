// kexbox: a virtual Kex box on a pseudo-terminal. It prints the device path on the first line of
// standard output and serves until SIGTERM or SIGINT; then it prints its byte counts.

#include "box_model.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Nanos = std::chrono::nanoseconds;

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_heal = 0;
void onSignal(int) {
    g_stop = 1;
}
void onHeal(int) {
    g_heal = 1;
}

void usage(FILE* to) {
    std::fprintf(to,
                 "usage: kexbox [--version X.Y] [--adjust P1,P2,P3,P4] [--eeprom FILE]\n"
                 "              [--baud N] [--log FILE] [--fault F]...\n"
                 "Serves the Kex wire protocol on a new pseudo-terminal whose path is the first\n"
                 "line of output. --eeprom keeps the box's 256 bytes in FILE across runs;\n"
                 "--baud paces the line (10/N seconds a byte each way). Faults:\n%s",
                 kexbox::Faults::help());
}

bool loadEeprom(const std::string& path, std::array<uint8_t, 256>& eeprom, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (errno == ENOENT) return true;  // a new box: all 0xFF
        error = path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t buf[257];
    const size_t n = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    if (n != 256) {
        error = path + " is not a 256-byte EEPROM image";
        return false;
    }
    std::memcpy(eeprom.data(), buf, 256);
    return true;
}

// Written whole and renamed into place, so a kill never leaves half a file.
bool saveEeprom(const std::string& path, const std::array<uint8_t, 256>& eeprom) {
    const std::string tmp = path + ".tmp";
    FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(eeprom.data(), 1, 256, f) == 256;
    if (std::fclose(f) != 0 || !ok) return false;
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

struct Timed {
    Clock::time_point due;
    uint8_t byte;
};

}  // namespace

int main(int argc, char** argv) {
    kexbox::BoxModel box;
    std::string eepromPath, logPath;
    long baud = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char* name) -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kexbox: %s needs a value\n", name);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--version") {
            box.version = value("--version");
        } else if (a == "--adjust") {
            if (!kexbox::ParseAdjust(value("--adjust"), box.adjust)) {
                std::fprintf(stderr, "kexbox: --adjust wants four signed numbers P1,P2,P3,P4\n");
                return 2;
            }
        } else if (a == "--eeprom") {
            eepromPath = value("--eeprom");
        } else if (a == "--baud") {
            char* end = nullptr;
            const std::string v = value("--baud");
            baud = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || baud <= 0) {
                std::fprintf(stderr, "kexbox: --baud wants a positive number\n");
                return 2;
            }
        } else if (a == "--log") {
            logPath = value("--log");
        } else if (a == "--fault") {
            std::string error;
            if (!box.faults.parse(value("--fault"), error)) {
                std::fprintf(stderr, "kexbox: %s\n", error.c_str());
                return 2;
            }
        } else {
            std::fprintf(stderr, "kexbox: unknown option %s\n", a.c_str());
            usage(stderr);
            return 2;
        }
    }

    if (!eepromPath.empty()) {
        std::string error;
        if (!loadEeprom(eepromPath, box.eeprom, error)) {
            std::fprintf(stderr, "kexbox: %s\n", error.c_str());
            return 1;
        }
        if (!saveEeprom(eepromPath, box.eeprom)) {
            std::fprintf(stderr, "kexbox: cannot write %s\n", eepromPath.c_str());
            return 1;
        }
        box.onStore = [&](int, uint8_t) {
            if (!saveEeprom(eepromPath, box.eeprom))
                std::fprintf(stderr, "kexbox: cannot write %s\n", eepromPath.c_str());
        };
    }
    FILE* log = nullptr;
    if (!logPath.empty() && !(log = std::fopen(logPath.c_str(), "w"))) {
        std::fprintf(stderr, "kexbox: cannot write %s\n", logPath.c_str());
        return 1;
    }

    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("kexbox: openpty");
        return 1;
    }
    // Raw, so the line discipline neither echoes nor turns CR into LF. Keeping the slave open
    // here lets the PC close and reopen the port without the master seeing a hang-up.
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(slave, TCSANOW, &t);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("%s\n", ptsname(master));
    std::fflush(stdout);

    sigset_t block, waitMask;
    sigemptyset(&block);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGUSR1);
    sigprocmask(SIG_BLOCK, &block, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGUSR1);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    struct sigaction heal {};
    heal.sa_handler = onHeal;
    sigaction(SIGUSR1, &heal, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // A paced line is only as exact as the wake-ups at each byte's due time: without this the
    // kernel may run each one up to 50 microseconds late, some 5 % of a byte at 9600 baud.
    if (baud > 0) prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    const auto start = Clock::now();
    const Nanos byteTime = baud > 0 ? Nanos(10'000'000'000LL / baud) : Nanos(0);
    std::deque<Timed> inbound, outbound;
    Clock::time_point inLineFree = start, outLineFree = start;
    std::string pending;  // due bytes not yet taken by the pseudo-terminal

    auto logByte = [&](const char* dir, uint8_t b) {
        if (!log) return;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::fprintf(log, "%10.3f %s %02X %c\n", ms, dir, b, b >= 32 && b < 127 ? char(b) : '.');
    };
    // A byte that has fully arrived: the box acts on it and queues its answer on the line. A
    // delayed reply holds back everything after it, so the line keeps its order.
    auto arrived = [&](const Timed& in) {
        if (box.faults.dieAt >= 0 && box.bytesIn + 1 >= uint64_t(box.faults.dieAt)) {
            if (log) std::fflush(log);
            kill(getpid(), SIGKILL);
        }
        const std::string out = box.feed(in.byte);
        const auto replyDue =
            in.due + std::chrono::milliseconds(box.replyDelayed ? box.faults.delayMs : 0);
        for (size_t i = 0; i < out.size(); ++i) {
            const auto ready = i >= box.replyAt ? replyDue : in.due;
            if (byteTime.count() == 0 && ready <= in.due && outbound.empty()) {
                pending += out[i];
                continue;
            }
            const auto begin = std::max(ready, outLineFree);
            outLineFree = begin + byteTime;
            outbound.push_back({outLineFree, uint8_t(out[i])});
        }
    };

    int exitCode = 0;
    while (!g_stop) {
        if (g_heal) {
            g_heal = 0;
            box.faults = kexbox::Faults{};
        }
        const auto now = Clock::now();
        while (!inbound.empty() && inbound.front().due <= now) {
            arrived(inbound.front());
            inbound.pop_front();
        }
        while (!outbound.empty() && outbound.front().due <= now) {
            pending += char(outbound.front().byte);
            outbound.pop_front();
        }
        while (!pending.empty()) {
            const ssize_t n = write(master, pending.data(), pending.size());
            if (n <= 0) break;
            for (ssize_t k = 0; k < n; ++k) logByte("box", uint8_t(pending[size_t(k)]));
            pending.erase(0, size_t(n));
        }

        timespec timeout{};
        timespec* wait = nullptr;
        Clock::time_point next = Clock::time_point::max();
        if (!inbound.empty()) next = std::min(next, inbound.front().due);
        if (!outbound.empty()) next = std::min(next, outbound.front().due);
        if (next != Clock::time_point::max()) {
            const auto ns = std::max<long long>(0, Nanos(next - Clock::now()).count());
            timeout.tv_sec = time_t(ns / 1'000'000'000);
            timeout.tv_nsec = long(ns % 1'000'000'000);
            wait = &timeout;
        }
        pollfd p{master, short(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
        const int r = ppoll(&p, 1, wait, &waitMask);
        if (r < 0) {
            if (errno == EINTR) continue;
            std::perror("kexbox: ppoll");
            exitCode = 1;
            break;
        }
        if (r == 0 || !(p.revents & POLLIN)) continue;
        uint8_t buf[4096];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) continue;
        const auto at = Clock::now();
        for (ssize_t k = 0; k < n; ++k) {
            logByte("pc ", buf[k]);
            if (byteTime.count() == 0) {
                arrived({at, buf[k]});
                continue;
            }
            // The echo may leave only once the byte has fully arrived.
            const auto begin = std::max(at, inLineFree);
            inLineFree = begin + byteTime;
            inbound.push_back({inLineFree, buf[k]});
        }
    }

    if (log) std::fclose(log);
    close(slave);
    close(master);
    std::printf("bytes in: %llu\n", static_cast<unsigned long long>(box.bytesIn));
    std::printf("bytes out: %llu\n", static_cast<unsigned long long>(box.bytesOut));
    if (baud > 0) {
        const double ms = double(box.bytesIn + box.bytesOut) * 10000.0 / double(baud);
        std::printf("line time: %.1f ms\n", ms);
    }
    std::fflush(stdout);
    return exitCode;
}
