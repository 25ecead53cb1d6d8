// A full Update and a full Retrieve through varnel-cli against kexbox: on a line paced at
// 9600 baud (wall time against the ideal line time kexbox reports) and on the pseudo-terminal at
// full speed (the program's own cost). Each figure is the median of several runs; the CPU time is
// varnel-cli's own (user + system), as the system accounts it. Then Update Changes (update
// --changed-only) on the paced line for a box that differs from the project in 0, 2, 16 and 66
// bytes, each against a full Update timed in the same run, and the count of changed bytes from
// which the full Update is the quicker, found by bisection.
//   usage: bench_transfer [RUNS]

#include "kexbox_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double childCpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

struct Run {
    bool ok = false;
    double wallS = 0;
    double cpuS = 0;
    double lineS = 0;  // the ideal line time, paced runs only
};

// One varnel-cli run against a kexbox of its own, so that kexbox's counts are this run's.
Run runOnce(const QString& command, const QString& file, int baud, const QString& eeprom,
            const QString& log = QString(), const QStringList& options = {}) {
    QStringList boxArgs;
    if (!eeprom.isEmpty()) boxArgs << QStringLiteral("--eeprom") << eeprom;
    if (baud > 0) boxArgs << QStringLiteral("--baud") << QString::number(baud);
    if (!log.isEmpty()) boxArgs << QStringLiteral("--log") << log;
    QProcess kexbox;
    const QString device = startKexbox(kexbox, boxArgs);
    Run r;
    if (device.isEmpty()) return r;
    QProcess cli;
    const double cpu0 = childCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(VARNEL_CLI_PATH),
              QStringList{command, file, QStringLiteral("--port"), device} + options);
    const bool finished = cli.waitForFinished(60000);
    r.wallS = double(clock.nsecsElapsed()) / 1e9;
    r.cpuS = childCpuSeconds() - cpu0;  // varnel-cli is the only child reaped meanwhile
    r.ok = finished && cli.exitStatus() == QProcess::NormalExit && cli.exitCode() == 0;
    if (!r.ok)
        std::fprintf(stderr, "varnel-cli %s failed: %s\n", qPrintable(command),
                     cli.readAllStandardError().constData());
    stopKexbox(kexbox);
    const QString stats = QString::fromLocal8Bit(kexbox.readAllStandardOutput());
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("line time: ([0-9.]+) ms")).match(stats);
    if (m.hasMatch()) r.lineS = m.captured(1).toDouble() / 1000.0;
    return r;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

bool report(const char* title, const QString& command, const QString& file, int baud,
            const QString& eeprom, int runs, double goal) {
    std::vector<double> wall, cpu, line, ratio;
    for (int i = 0; i < runs; ++i) {
        const Run r = runOnce(command, file, baud, eeprom);
        if (!r.ok) return false;
        wall.push_back(r.wallS);
        cpu.push_back(r.cpuS);
        line.push_back(r.lineS);
        if (r.lineS > 0) ratio.push_back(r.wallS / r.lineS);
    }
    std::printf("%s (median of %d runs)\n", title, runs);
    if (baud > 0) {
        std::printf(
            "  wall %.3f s, ideal line time %.3f s, ratio %.3f (goal <= %.2f; runs %.3f .. "
            "%.3f)\n",
            median(wall), median(line), median(ratio), goal,
            *std::min_element(ratio.begin(), ratio.end()),
            *std::max_element(ratio.begin(), ratio.end()));
    } else {
        std::printf("  wall %.3f s (goal < %.2f s; runs %.3f .. %.3f)\n", median(wall), goal,
                    *std::min_element(wall.begin(), wall.end()),
                    *std::max_element(wall.begin(), wall.end()));
    }
    std::printf("  varnel-cli CPU %.3f s\n", median(cpu));
    return true;
}

// Where a paced run's time goes beyond the ideal line time, from kexbox's transcript (a
// timestamp for every byte each way): the program's share is every gap from a byte the box sent
// to the next byte the PC sent (the PC's reaction, with both ends of the pseudo-terminal); what
// is left of the transcript's span beyond the ideal is kexbox's own pacing (its wake-ups come a
// little after each byte's due time); the rest of the wall time is the process starting, opening
// the port and exiting.
void attribute(const QString& command, const QString& file, const QString& eeprom,
               const QString& log) {
    const Run r = runOnce(command, file, 9600, eeprom, log);
    QFile f(log);
    if (!r.ok || !f.open(QIODevice::ReadOnly)) return;
    double first = -1, last = 0, lastBox = -1, reaction = 0, longest = 0;
    int gaps = 0;
    while (!f.atEnd()) {
        const QList<QByteArray> w = f.readLine().simplified().split(' ');
        if (w.size() < 3) continue;
        const double t = w[0].toDouble();
        if (first < 0) first = t;
        last = t;
        if (w[1] == "box") {
            lastBox = t;
        } else if (lastBox >= 0) {
            reaction += t - lastBox;
            longest = std::max(longest, t - lastBox);
            ++gaps;
            lastBox = -1;
        }
    }
    const double span = (last - first) / 1000.0;
    std::printf("Where a paced %s's time goes (one run, from kexbox's transcript)\n",
                qPrintable(command));
    std::printf(
        "  wall %.3f s = ideal line %.3f s + kexbox pacing %.3f s + program's reactions "
        "%.3f s (%d, %.0f us each, longest %.1f ms) + start, open and exit %.3f s\n",
        r.wallS, r.lineS, span - reaction / 1000.0 - r.lineS, reaction / 1000.0, gaps,
        gaps ? reaction * 1000.0 / gaps : 0.0, longest, r.wallS - span);
}

// A box that holds the project's bytes 0..79 but for the first `changed`, and 0xFF beyond.
bool writeBox(const QString& path, const QByteArray& projectImage, int changed) {
    QByteArray box(256, char(0xFF));
    for (int n = 0; n < 80; ++n) box[n] = char(uint8_t(projectImage[n]) ^ (n < changed ? 0x55 : 0));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(box) == box.size();
}

// Update Changes against a full Update on the same box, alternately, each on a box prepared
// afresh (both pay kexbox's rewrite of its file after each stored byte); the ratio of the medians
// of their wall times. Negative on failure.
double changesRatio(const QString& project, const QByteArray& image, const QString& eeprom,
                    const QString& backups, int changed, int runs, double* fullS = nullptr,
                    double* changesS = nullptr) {
    std::vector<double> full, changes;
    for (int i = 0; i < runs; ++i) {
        if (!writeBox(eeprom, image, changed)) return -1;
        const Run f = runOnce(QStringLiteral("update"), project, 9600, eeprom);
        if (!writeBox(eeprom, image, changed)) return -1;
        const Run c =
            runOnce(QStringLiteral("update"), project, 9600, eeprom, QString(),
                    {QStringLiteral("--changed-only"), QStringLiteral("--backup-dir"), backups});
        if (!f.ok || !c.ok) return -1;
        full.push_back(f.wallS);
        changes.push_back(c.wallS);
    }
    if (fullS) *fullS = median(full);
    if (changesS) *changesS = median(changes);
    return median(changes) / median(full);
}

bool reportChanges(const QString& project, const QString& eeprom, const QString& backups,
                   int runs) {
    QFile f(project);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray image = f.readAll().mid(512, 256);
    std::printf(
        "Update Changes against a full Update, kexbox --baud 9600 (medians of %d runs "
        "each, alternating)\n",
        runs);
    for (const int changed : {0, 2, 16, 66}) {
        double full = 0, changes = 0;
        const double r =
            changesRatio(project, image, eeprom, backups, changed, runs, &full, &changes);
        if (r < 0) return false;
        std::printf("  %2d changed bytes: %.3f s against %.3f s, ratio %.3f\n", changed, changes,
                    full, r);
    }
    // The ratio grows with every changed byte: bisect for the first count at which it reaches 1.
    int below = 16, atOrAbove = 66;
    const int bisectRuns = std::min(runs, 3);
    while (atOrAbove - below > 1) {
        const int mid = (below + atOrAbove) / 2;
        const double r = changesRatio(project, image, eeprom, backups, mid, bisectRuns);
        if (r < 0) return false;
        std::printf("  bisect: %2d changed bytes, ratio %.3f\n", mid, r);
        (r < 1.0 ? below : atOrAbove) = mid;
    }
    std::printf("  cross-over: the full Update is as quick or quicker from %d changed bytes on\n",
                atOrAbove);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("bench.KEX"));
    const QString retrieved = dir.filePath(QStringLiteral("retrieved.KEX"));
    const QString eeprom = dir.filePath(QStringLiteral("box.bin"));
    QProcess make;
    make.start(QStringLiteral(VARNEL_CLI_PATH), {QStringLiteral("new"), project});
    if (!make.waitForFinished(10000) || make.exitCode() != 0) {
        std::fprintf(stderr, "varnel-cli new failed\n");
        return 1;
    }
    // An Update's box keeps its bytes in memory only: kexbox rewrites an EEPROM file after every
    // stored byte, a cost of the virtual box, not of the program. A Retrieve reads the bytes an
    // Update left in a file.
    {
        QProcess kexbox;
        const QString device = startKexbox(kexbox, {QStringLiteral("--eeprom"), eeprom});
        QProcess fill;
        fill.start(QStringLiteral(VARNEL_CLI_PATH),
                   {QStringLiteral("update"), project, QStringLiteral("--port"), device});
        const bool filled = fill.waitForFinished(10000) && fill.exitCode() == 0;
        stopKexbox(kexbox);
        if (!filled) {
            std::fprintf(stderr, "could not fill the virtual box's EEPROM\n");
            return 1;
        }
    }
    bool ok = true;
    ok = ok && report("Full Update through varnel-cli, kexbox --baud 9600",
                      QStringLiteral("update"), project, 9600, QString(), runs, 1.05);
    ok = ok && report("Full Retrieve through varnel-cli, kexbox --baud 9600",
                      QStringLiteral("retrieve"), retrieved, 9600, eeprom, runs, 1.05);
    ok = ok && report("Full Update through varnel-cli, no pacing", QStringLiteral("update"),
                      project, 0, QString(), runs, 0.25);
    ok = ok && report("Full Retrieve through varnel-cli, no pacing", QStringLiteral("retrieve"),
                      retrieved, 0, eeprom, runs, 0.25);
    ok = ok && reportChanges(project, eeprom, dir.filePath(QStringLiteral("backups")), runs);
    if (ok) {
        attribute(QStringLiteral("update"), project, QString(),
                  dir.filePath(QStringLiteral("u.log")));
        attribute(QStringLiteral("retrieve"), retrieved, eeprom,
                  dir.filePath(QStringLiteral("r.log")));
    }
    return ok ? 0 : 1;
}
