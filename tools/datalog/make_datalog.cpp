// Writes a synthetic datalog: the table of a project file working between two meter files, with
// the real air flow off the fitted meter's file by a known error.
//   usage: make-datalog PROJECT.KEX FITTED.maf EXPECTED.maf [--error LOW:HIGH] [--inputs LOW:HIGH]
//          [--rows N] [--seed N] [--noise PCT] [--warm-up SHARE] [--dropout-every N] [--note TEXT]
//          [--layout NAME] [--wideband] [--wideband-lag ROWS] [--open-loop-above VOLTS]
//          [--open-loop-afr AFR]
// The error is in percent of flow at the lowest and highest input volts logged; the log goes to
// standard output; --note names an empty last column, to say where the log came from. --layout
// writes the drive as one of the loggers' layouts of log_layouts.h (the names: --layout list).
// --wideband adds a wideband's AFR and the commanded AFR; --open-loop-above runs the engine in
// open loop above that input.

#include "base/project_file.h"
#include "datalog_model.h"
#include "log_layouts.h"
#include "meter/meter_file.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

using namespace varnel;

namespace {

int usage() {
    std::fputs(
        "usage: make-datalog PROJECT.KEX FITTED.maf EXPECTED.maf [--error LOW:HIGH] "
        "[--inputs LOW:HIGH] [--rows N] [--seed N] [--noise PCT] [--warm-up SHARE] "
        "[--dropout-every N] [--note TEXT] [--layout NAME] [--wideband] [--wideband-lag ROWS] "
        "[--open-loop-above VOLTS] [--open-loop-afr AFR]\n",
        stderr);
    return 2;
}

bool pair(const QString& text, double& a, double& b) {
    const QStringList parts = text.split(QLatin1Char(':'));
    bool ok1 = false;
    bool ok2 = false;
    if (parts.size() == 2) {
        a = parts[0].toDouble(&ok1);
        b = parts[1].toDouble(&ok2);
    }
    return ok1 && ok2;
}

bool metric(const QString& path) {
    TMeterRecord r;
    QString error;
    return ReadMeterFile(path, r, error) && r.Metric() != 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    QStringList files;
    datalog::EngineModel model;
    datalog::LogShape shape;
    QString layout;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (!a.startsWith(QLatin1String("--"))) {
            files << a;
            continue;
        }
        if (a == QLatin1String("--wideband")) {
            shape.wideband = true;
            continue;
        }
        if (i + 1 >= args.size()) return usage();
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--error"))
            ok = pair(v, model.errorLow, model.errorHigh);
        else if (a == QLatin1String("--inputs"))
            ok = pair(v, model.inputLow, model.inputHigh);
        else if (a == QLatin1String("--rows"))
            shape.rows = v.toLong(&ok);
        else if (a == QLatin1String("--seed"))
            shape.seed = v.toULongLong(&ok);
        else if (a == QLatin1String("--noise"))
            shape.noise = v.toDouble(&ok);
        else if (a == QLatin1String("--warm-up"))
            shape.warmUp = v.toDouble(&ok);
        else if (a == QLatin1String("--dropout-every"))
            shape.dropoutEvery = v.toInt(&ok);
        else if (a == QLatin1String("--note"))
            shape.note = v.toStdString();
        else if (a == QLatin1String("--layout"))
            layout = v;
        else if (a == QLatin1String("--wideband-lag"))
            shape.widebandLag = v.toInt(&ok);
        else if (a == QLatin1String("--open-loop-above"))
            shape.openLoopAbove = v.toDouble(&ok);
        else if (a == QLatin1String("--open-loop-afr"))
            shape.openLoopAfr = v.toDouble(&ok);
        else
            return usage();
        if (!ok) return usage();
    }
    if (layout == QLatin1String("list")) {
        std::printf("%s\n", qPrintable(datalog::LayoutNames().join(QLatin1Char('\n'))));
        return 0;
    }
    if (!layout.isEmpty() && !datalog::LayoutNames().contains(layout)) return usage();
    if (files.size() != 3) return usage();

    ProjectHeader header;
    EepromImage image;
    if (ReadProjectFile(files[0], header, image) != ReadStatus::Ok) {
        std::fprintf(stderr, "make-datalog: cannot read %s\n", qPrintable(files[0]));
        return 1;
    }
    for (int i = 0; i < 33; ++i) model.table[size_t(i)] = image.entry(i);
    model.frequency = image.isFrequencyOutput();
    // Flows in the expected meter's unit, converted as the match converts them.
    const bool fittedMetric = metric(files[1]);
    const bool expectedMetric = metric(files[2]);
    const double scale = fittedMetric == expectedMetric ? 1 : fittedMetric ? 1 / 0.454 : 0.454;
    QString error;
    if (!datalog::ReadCurve(files[1], scale, model.fitted, error) ||
        !datalog::ReadCurve(files[2], 1, model.expected, error)) {
        std::fprintf(stderr, "make-datalog: %s\n", qPrintable(error));
        return 1;
    }
    if (!layout.isEmpty()) {
        // The engine computer's flow in grams a second, from the expected meter's unit.
        const double grams = expectedMetric ? 1 / 3.6 : 0.45359237 / 3.6;
        return datalog::WriteLayoutLog(stdout, model, shape, layout, grams) ? 0 : 1;
    }
    return datalog::WriteLog(stdout, model, shape) ? 0 : 1;
}
