#include "cli/cli.h"

#include <QCoreApplication>

#include <cstdio>

namespace varnel::cli {

void out(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

void err(const QString& line) {
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

int usageError(const QString& text) {
    err(QStringLiteral("varnel-cli: ") + text);
    return kExitUsage;
}

}  // namespace varnel::cli

using namespace varnel::cli;

static void printUsage(const std::vector<Command>& commands, FILE* to) {
    std::fputs("usage: varnel-cli <command> [options]\n\ncommands:\n", to);
    for (const Command& c : commands)
        std::fprintf(to, "  %s %s\n      %s\n", qPrintable(c.name), qPrintable(c.usage),
                     qPrintable(c.summary));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnel"));

    // Each area appends its commands here.
    std::vector<Command> commands;
    addLinkCommands(commands);
    addTransferCommands(commands);
    addProjectCommands(commands);
    addMeterCommands(commands);
    addMatchCommands(commands);
    addCorrectCommands(commands);

    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        printUsage(commands, stderr);
        return kExitUsage;
    }
    if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h") ||
        args.first() == QLatin1String("help")) {
        printUsage(commands, stdout);
        return kExitOk;
    }
    // The longest command name that the arguments start with: "meter show" before "meter".
    const Command* best = nullptr;
    int bestWords = 0;
    for (const Command& c : commands) {
        const QStringList words = c.name.split(QLatin1Char(' '));
        if (words.size() <= args.size() && args.mid(0, words.size()) == words && words.size() > bestWords) {
            best = &c;
            bestWords = int(words.size());
        }
    }
    if (!best) {
        err(QStringLiteral("varnel-cli: unknown command '%1' (see varnel-cli --help)").arg(args.first()));
        return kExitUsage;
    }
    return best->run(args.mid(bestWords));
}
