#include "base/app_state.h"
#include "cli/cli.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_ui.h"
#include "link/box_link.h"
#include "link/box_ops.h"

#include <QFile>
#include <QFileInfo>

namespace varnel::cli {

namespace {

struct LinkArgs {
    QString port;
    QString project;
    QStringList positional;
    bool json = false;
};

// --port DEVICE, --project FILE, --json and positional words; false (with a message) when the
// arguments are not understood.
bool parseArgs(const QStringList& args, LinkArgs& out, bool allowProject, bool allowJson) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--port") || (allowProject && a == QLatin1String("--project"))) {
            if (i + 1 >= args.size()) {
                err(QStringLiteral("varnel-cli: %1 needs a value").arg(a));
                return false;
            }
            (a == QLatin1String("--port") ? out.port : out.project) = args[++i];
        } else if (allowJson && a == QLatin1String("--json")) {
            out.json = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            err(QStringLiteral("varnel-cli: unknown option %1").arg(a));
            return false;
        } else {
            out.positional.append(a);
        }
    }
    if (out.port.isEmpty()) {
        err(QStringLiteral("varnel-cli: --port DEVICE is required"));
        return false;
    }
    return true;
}

// Reads a project's header and image as the program's reader does, with its messages.
bool readProject(const QString& path, AppState& state, UiServices& ui) {
    if (!QFileInfo(path).isFile()) {
        ui.error(path + QStringLiteral(" not found"));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        ui.error(QStringLiteral("Error (1) reading ") + path);
        return false;
    }
    const QByteArray data = f.readAll();
    if (data.size() < 16) {
        ui.error(QStringLiteral("Error (2) reading ") + path);
        return false;
    }
    auto i16 = [&](int o) { return int16_t(uint8_t(data[o]) | (uint8_t(data[o + 1]) << 8)); };
    const int total = i16(0x08);
    const int records = i16(0x0A);
    if (total != records + 16) {
        ui.error(QStringLiteral("Error (2) reading ") + path);
        return false;
    }
    if (records < 1 || records > 32 || data.size() < records * 16) {
        ui.error(QStringLiteral("Error (3) reading ") + path);
        return false;
    }
    if (data.size() < records * 16 + kImageSize) {
        ui.error(QStringLiteral("Error (4) reading ") + path);
        return false;
    }
    for (int k = 0; k < records * 16; ++k) state.header.setByte(k, uint8_t(data[k]));
    state.image.assign(data.mid(records * 16, kImageSize));
    return true;
}

// Opens the port and lets the box's answers to the opening carriage returns pass, however
// late they come within the time-out.
bool openLink(BoxLink& link, const QString& port, CliUi& ui) {
    link.PortOverride = port;
    QString error;
    if (!link.OpenLink(error)) {
        // The window goes on without a link and its operations then find no hardware; a
        // script is better told why.
        ui.error(error);
        return false;
    }
    link.AwaitOpening();
    return true;
}

QString number(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

int runConnect(const QStringList& args) {
    LinkArgs a;
    if (!parseArgs(args, a, true, true) || !a.positional.isEmpty()) {
        if (!a.positional.isEmpty())
            err(QStringLiteral("varnel-cli: unexpected %1").arg(a.positional.first()));
        return kExitUsage;
    }
    AppState state;
    CliUi ui;
    state.header.setHardwareVersion(10);
    if (!a.project.isEmpty() && !readProject(a.project, state, ui)) return kExitFailure;
    BoxLink link;
    Interrupt interrupt(link, state.AbortFlag);
    if (!openLink(link, a.port, ui)) return interrupt.exitCode(kExitFailure);
    QString version;
    if (!ConnectBox(state, link, ui, &version)) return interrupt.exitCode(kExitFailure);
    out(a.json ? QStringLiteral("{\"version\":\"%1\"}").arg(version) : version);
    return interrupt.exitCode(kExitOk);
}

int runMonitor(const QStringList& args) {
    LinkArgs a;
    if (!parseArgs(args, a, false, true)) return kExitUsage;
    if (a.positional.size() != 1) {
        err(QStringLiteral("varnel-cli: monitor needs one project file"));
        return kExitUsage;
    }
    AppState state;
    CliUi ui;
    if (!readProject(a.positional.first(), state, ui)) return kExitFailure;
    BoxLink link;
    Interrupt interrupt(link, state.AbortFlag);
    if (!openLink(link, a.port, ui)) return interrupt.exitCode(kExitFailure);
    MonitorResult r;
    const bool frequency = state.image.isFrequencyOutput();
    if (!MonitorBox(state, link, ui, frequency, r)) return interrupt.exitCode(kExitFailure);
    const int yDecimals = frequency ? 2 : 4;
    if (a.json) {
        QStringList adjust, points;
        for (int v : r.adjust) adjust << QString::number(v);
        for (const QPointF& p : r.points)
            points << QStringLiteral("[%1,%2]").arg(number(p.x(), 4), number(p.y(), yDecimals));
        out(QStringLiteral("{\"adjust\":[%1],\"points\":[%2]}")
                .arg(adjust.join(QLatin1Char(',')), points.join(QLatin1Char(','))));
        return interrupt.exitCode(kExitOk);
    }
    out(QStringLiteral("adjust %1 %2 %3 %4")
            .arg(r.adjust[0])
            .arg(r.adjust[1])
            .arg(r.adjust[2])
            .arg(r.adjust[3]));
    for (const QPointF& p : r.points)
        out(number(p.x(), 4) + QLatin1Char(' ') + number(p.y(), yDecimals));
    return interrupt.exitCode(kExitOk);
}

}  // namespace

void addLinkCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("connect"), QStringLiteral("--port DEVICE [--project FILE] [--json]"),
         QStringLiteral("checks the box answers and has the project's hardware version (1.0 "
                        "without a project); prints the version it reports"),
         runConnect});
    commands.push_back(
        {QStringLiteral("monitor"), QStringLiteral("--port DEVICE FILE [--json]"),
         QStringLiteral("reads the box's four pot adjustments and prints them with the "
                        "32 points of the project's table as the box applies it"),
         runMonitor});
}

}  // namespace varnel::cli
