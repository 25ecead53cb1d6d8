// varnel-cli correct on a synthetic datalog of 1,000,000 rows (the model engine of
// tools/datalog on the sample meters' matched table): rows per second of wall time with the
// columns named, with the columns found by their roles, by their roles in the same log
// written with semicolons and decimal commas, and on a drive logged with a wideband whose top
// quarter is in open loop (both loops, the wideband's lag taken out); and the peak resident
// memory of the process, beside the same for a log of 1,000 rows. Each figure is the median of
// several runs; the memory is the kernel's ru_maxrss of that one child.
//   usage: bench_correct [RUNS] [ROWS]

#include "datalog_model.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <vector>

extern char** environ;

namespace {

struct Run {
    bool ok = false;
    double wallS = 0;
    double cpuS = 0;
    long maxRssKiB = 0;
};

// One child with its own resource figures (wait4), standard output thrown away.
Run spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    Run r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0) return r;
    posix_spawn_file_actions_destroy(&files);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return r;
    r.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.cpuS = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
             double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    r.maxRssKiB = usage.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

template <typename T>
T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool writeLog(const QString& path, const varnel::datalog::EngineModel& model, long rows,
              bool decimalComma = false, bool wideband = false) {
    varnel::datalog::LogShape shape;
    shape.rows = rows;
    shape.dropoutEvery = 400;
    shape.decimalComma = decimalComma;
    shape.wideband = wideband;
    shape.openLoopAbove = wideband ? 3.75 : 0;
    shape.widebandLag = wideband ? 1 : 0;
    return varnel::datalog::WriteLogFile(path, model, shape);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const long rows = argc > 2 ? std::max(1000L, std::atol(argv[2])) : 1000000;
    QTemporaryDir dir;
    const std::string cli = VARNEL_CLI_PATH;
    const QString samples = QStringLiteral(VARNEL_SAMPLES_DIR "/");
    const std::string project = dir.filePath(QStringLiteral("bench.KEX")).toStdString();
    if (!spawn({cli, "new", project}).ok ||
        !spawn({cli, "match", (samples + "sample-v1.maf").toStdString(),
                (samples + "sample-v2.maf").toStdString(), "--into", project})
             .ok) {
        std::fprintf(stderr, "bench_correct: could not make the project\n");
        return 1;
    }

    varnel::datalog::EngineModel model;
    QString error;
    if (!varnel::datalog::ReadCurve(samples + "sample-v1.maf", 0.454, model.fitted, error) ||
        !varnel::datalog::ReadCurve(samples + "sample-v2.maf", 1, model.expected, error)) {
        std::fprintf(stderr, "bench_correct: %s\n", qPrintable(error));
        return 1;
    }
    model.errorLow = 6;
    model.errorHigh = 2;
    model.inputHigh = 4.6;
    // The matched table is what the project holds; the log is made on it.
    {
        QFile f(QString::fromStdString(project));
        if (!f.open(QIODevice::ReadOnly)) return 1;
        const QByteArray bytes = f.readAll();
        for (int i = 0; i < 33; ++i)
            model.table[size_t(i)] =
                uint16_t(uint8_t(bytes[512 + 2 * i]) << 8 | uint8_t(bytes[512 + 2 * i + 1]));
    }
    const QString bigLog = dir.filePath(QStringLiteral("big.csv"));
    const QString smallLog = dir.filePath(QStringLiteral("small.csv"));
    const QString commaLog = dir.filePath(QStringLiteral("comma.csv"));
    const QString widebandLog = dir.filePath(QStringLiteral("wideband.csv"));
    const QString smallWidebandLog = dir.filePath(QStringLiteral("small-wideband.csv"));
    if (!writeLog(bigLog, model, rows) || !writeLog(smallLog, model, 1000) ||
        !writeLog(commaLog, model, rows, true) ||
        !writeLog(widebandLog, model, rows, false, true) ||
        !writeLog(smallWidebandLog, model, 1000, false, true)) {
        std::fprintf(stderr, "bench_correct: could not write the logs\n");
        return 1;
    }
    const double mib = double(QFileInfo(bigLog).size()) / (1 << 20);

    auto measure = [&](const QString& log, std::vector<Run>& out, bool named = true,
                       bool lag = false) {
        for (int i = 0; i < runs; ++i) {
            std::vector<std::string> args = {cli,        "correct",
                                             project,    log.toStdString(),
                                             "--meter",  (samples + "sample-v2.maf").toStdString(),
                                             "--filter", "ECT C:70:120"};
            if (named)
                for (const char* a : {"--signal", "MAF V", "--trim", "STFT %,LTFT %"})
                    args.push_back(a);
            if (lag)
                for (const char* a : {"--mode", "both", "--lag", "100"}) args.push_back(a);
            const Run r = spawn(args);
            if (!r.ok) return false;
            out.push_back(r);
        }
        return true;
    };
    std::vector<Run> big;
    std::vector<Run> small;
    std::vector<Run> byRole;
    std::vector<Run> comma;
    std::vector<Run> wide;
    std::vector<Run> smallWide;
    if (!measure(smallLog, small) || !measure(bigLog, big) || !measure(bigLog, byRole, false) ||
        !measure(commaLog, comma, false) || !measure(widebandLog, wide, false, true) ||
        !measure(smallWidebandLog, smallWide, false, true)) {
        std::fprintf(stderr, "bench_correct: varnel-cli correct failed\n");
        return 1;
    }
    auto field = [](const std::vector<Run>& v, auto member) {
        std::vector<std::decay_t<decltype(v[0].*member)>> x;
        for (const Run& r : v) x.push_back(r.*member);
        return median(x);
    };
    const double wall = field(big, &Run::wallS);
    const double cpu = field(big, &Run::cpuS);
    const long rssBig = field(big, &Run::maxRssKiB);
    const long rssSmall = field(small, &Run::maxRssKiB);
    std::printf(
        "correct, %ld-row log (%.1f MiB), median of %d runs: %.3f s wall, %.3f s CPU, "
        "%.0f rows/s\n",
        rows, mib, runs, wall, cpu, double(rows) / wall);
    const double roleWall = field(byRole, &Run::wallS);
    const double commaWall = field(comma, &Run::wallS);
    std::printf(
        "correct, the same log, columns by their roles: %.3f s wall, %.3f s CPU, %.0f rows/s\n",
        roleWall, field(byRole, &Run::cpuS), double(rows) / roleWall);
    std::printf(
        "correct, the same rows with semicolons and decimal commas (%.1f MiB), columns by their "
        "roles: %.3f s wall, %.3f s CPU, %.0f rows/s\n",
        double(QFileInfo(commaLog).size()) / (1 << 20), commaWall, field(comma, &Run::cpuS),
        double(rows) / commaWall);
    const double wideWall = field(wide, &Run::wallS);
    std::printf(
        "correct, the same drive with a wideband, a quarter in open loop (%.1f MiB), both loops, "
        "--lag 100: %.3f s wall, %.3f s CPU, %.0f rows/s\n",
        double(QFileInfo(widebandLog).size()) / (1 << 20), wideWall, field(wide, &Run::cpuS),
        double(rows) / wideWall);
    std::printf(
        "correct, peak memory (ru_maxrss): %.1f MiB for %ld rows, %.1f MiB for 1000 rows "
        "(%+.1f MiB)\n",
        rssBig / 1024.0, rows, rssSmall / 1024.0, (rssBig - rssSmall) / 1024.0);
    const long rssWide = field(wide, &Run::maxRssKiB);
    const long rssSmallWide = field(smallWide, &Run::maxRssKiB);
    std::printf(
        "correct, peak memory with the wideband: %.1f MiB for %ld rows, %.1f MiB for 1000 rows "
        "(%+.1f MiB)\n",
        rssWide / 1024.0, rows, rssSmallWide / 1024.0, (rssWide - rssSmallWide) / 1024.0);
    return 0;
}
