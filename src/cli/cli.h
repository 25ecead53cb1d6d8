#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace varnel::cli {

// Exit codes: 0 success, 1 a failure the program reports (its message on standard error),
// 2 a usage error, 3 for diff: the two sides differ.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDiffers = 3;

struct Command {
    QString name;     // "new", "meter show", ...
    QString usage;    // one line: the arguments after the name
    QString summary;  // one line: what it does
    // args: everything after the command's name.
    std::function<int(const QStringList& args)> run;
};

// The commands of each area.
void addProjectCommands(std::vector<Command>& commands);
void addMeterCommands(std::vector<Command>& commands);
void addMatchCommands(std::vector<Command>& commands);
void addCorrectCommands(std::vector<Command>& commands);

// Prints to standard output / standard error, UTF-8, one line each.
void out(const QString& line);
void err(const QString& line);
// Prints "varnel-cli: TEXT" to standard error and gives the exit code of a usage error.
int usageError(const QString& text);

// Each area's commands.
void addLinkCommands(std::vector<Command>& commands);
void addTransferCommands(std::vector<Command>& commands);

}  // namespace varnel::cli
