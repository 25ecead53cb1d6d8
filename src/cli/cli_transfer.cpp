// varnel-cli's EEPROM transfers: update (all bytes, or only the changed ones after a backup),
// retrieve, and diff against the box. They run the window's transfers on a headless copy of its
// controls, without the questions, and save a retrieved project.

#include "base/project_backup.h"
#include "base/project_diff.h"
#include "base/project_document.h"
#include "cli/cli.h"
#include "cli/cli_interrupt.h"
#include "cli/cli_ui.h"
#include "link/box_changes.h"
#include "link/box_link.h"
#include "link/box_transfer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace varnel::cli {

namespace {

bool stderrIsTerminal() {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

// "Update EEPROM: 12 of 80 bytes", redrawn in place on a terminal; nothing elsewhere, so logs
// and scripts see only the messages.
class ProgressLine {
  public:
    ProgressLine(const char* label, bool enabled) : label_(label), enabled_(enabled) {}
    ~ProgressLine() { end(); }

    // The count the bytes done are out of (80 unless said otherwise).
    void setTotal(int total) {
        end();
        total_ = total;
    }
    void show(int done) {
        if (!enabled_) return;
        std::fprintf(stderr, "\r%s: %d of %d bytes", label_, done, total_);
        std::fflush(stderr);
        open_ = true;
    }
    // Ends the line, so a message starts on a line of its own.
    void end() {
        if (!open_) return;
        std::fputc('\n', stderr);
        open_ = false;
    }

  private:
    const char* label_;
    bool enabled_;
    bool open_ = false;
    int total_ = kTransferBytes;
};

class TransferUi : public CliUi {
  public:
    explicit TransferUi(ProgressLine& line) : line_(line) {}
    void error(const QString& text) override {
        line_.end();
        CliUi::error(text);
    }
    void warning(const QString& text) override {
        line_.end();
        CliUi::warning(text);
    }

  private:
    ProgressLine& line_;
};

// A project as the main window would hold it, without the window.
struct Session {
    explicit Session(const char* label) : line(label, stderrIsTerminal()), ui(line) {
        controls.attach(doc);
    }
    ProgressLine line;
    AppState state;
    TransferUi ui;
    PlainProjectControls controls;
    ProjectDocument doc{state, ui, controls};
};

struct TransferArgs {
    QString file;
    QString port;
    bool changedOnly = false;
    QString backupDir;
    bool json = false;
};

// The options a command takes besides FILE and --port.
enum Takes { kPlain = 0, kChangedOnly = 1, kJson = 2 };

// FILE --port DEVICE and the command's own options, in any order.
bool parseArgs(const QString& command, const QStringList& args, TransferArgs& out,
               int takes = kPlain) {
    QStringList positional;
    bool backupDirGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool valued = a == QLatin1String("--port") ||
                            ((takes & kChangedOnly) && a == QLatin1String("--backup-dir"));
        if (valued) {
            if (i + 1 >= args.size()) {
                err(QStringLiteral("varnel-cli: %1 needs a value").arg(a));
                return false;
            }
            if (a == QLatin1String("--port")) {
                out.port = args[++i];
            } else {
                out.backupDir = args[++i];
                backupDirGiven = true;
            }
        } else if ((takes & kChangedOnly) && a == QLatin1String("--changed-only")) {
            out.changedOnly = true;
        } else if ((takes & kJson) && a == QLatin1String("--json")) {
            out.json = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            err(QStringLiteral("varnel-cli: unknown option %1").arg(a));
            return false;
        } else {
            positional.append(a);
        }
    }
    if (positional.size() != 1) {
        err(QStringLiteral("varnel-cli: %1 needs exactly one FILE").arg(command));
        return false;
    }
    if (out.port.isEmpty()) {
        err(QStringLiteral("varnel-cli: --port DEVICE is required"));
        return false;
    }
    if (backupDirGiven && !out.changedOnly) {
        err(QStringLiteral("varnel-cli: --backup-dir needs --changed-only"));
        return false;
    }
    out.file = positional.first();
    return true;
}

// Opens the port and lets the box's answers to the opening carriage returns pass: taken for
// echoes, they would put every count after them off by some bytes.
bool openLink(BoxLink& link, const QString& port, UiServices& ui) {
    link.PortOverride = port;
    QString error;
    if (!link.OpenLink(error)) {
        ui.error(error);
        return false;
    }
    link.AwaitOpening();
    return true;
}

// Update Changes without its question: the read, the backup, then only the bytes that differ.
int runUpdateChanges(const TransferArgs& a) {
    Session s("Update Changes");
    if (!s.doc.LoadProject(a.file)) return kExitFailure;
    BoxLink link;
    Interrupt interrupt(link, s.state.AbortFlag);
    if (!openLink(link, a.port, s.ui)) return interrupt.exitCode(kExitFailure);
    BackupPlace place;
    place.dir = a.backupDir.isEmpty()
                    ? QFileInfo(a.file).absoluteDir().filePath(QStringLiteral("Backups"))
                    : a.backupDir;
    place.stem = BackupStem(a.file, DocState::File);
    place.time = QDateTime::currentDateTime();
    ChangesSteps steps;
    steps.reading = [&](int done) { s.line.show(done); };
    steps.writing = [&](int count) { s.line.setTotal(count); };
    steps.written = steps.reading;
    const ChangesOutcome o = UpdateChanges(s.state, link, s.ui, s.state.image, place, steps);
    s.line.end();
    // The backup's name, for the script that may want it back.
    if (!o.backupPath.isEmpty()) out(o.backupPath);
    if (o.end == ChangesOutcome::End::Equal) out(BoxHoldsProjectText());
    if (o.ok()) return interrupt.exitCode(kExitOk);
    if (o.end == ChangesOutcome::End::WriteFailed && o.write.end != TransferOutcome::End::NotFound)
        err(BytesWrittenText(o.write.written, int(o.diff.changed.size())));
    return interrupt.exitCode(kExitFailure);
}

int runUpdate(const QStringList& args) {
    TransferArgs a;
    if (!parseArgs(QStringLiteral("update"), args, a, kChangedOnly)) return kExitUsage;
    if (a.changedOnly) return runUpdateChanges(a);
    Session s("Update EEPROM");
    if (!s.doc.LoadProject(a.file)) return kExitFailure;
    BoxLink link;
    Interrupt interrupt(link, s.state.AbortFlag);
    if (!openLink(link, a.port, s.ui)) return interrupt.exitCode(kExitFailure);
    const TransferOutcome outcome =
        UpdateEeprom(s.state, link, s.ui, [&](int done) { s.line.show(done); });
    s.line.end();
    if (outcome.ok()) return interrupt.exitCode(kExitOk);
    // What the window's status line says after a write that stopped part-way.
    if (outcome.end != TransferOutcome::End::NotFound) err(BytesWrittenText(outcome.written));
    return interrupt.exitCode(kExitFailure);
}

int runRetrieve(const QStringList& args) {
    TransferArgs a;
    if (!parseArgs(QStringLiteral("retrieve"), args, a)) return kExitUsage;
    Session s("Retrieve EEPROM");
    if (QFileInfo::exists(a.file)) {
        if (!s.doc.LoadProject(a.file)) return kExitFailure;
    } else {
        // As new FILE would make it; nothing is written unless the read completes.
        s.doc.NewProject();
        ApplyProjectAnswers(s.state.header, ProjectAnswers{});
        s.state.ProjectFileName = a.file;
    }
    BoxLink link;
    Interrupt interrupt(link, s.state.AbortFlag);
    if (!openLink(link, a.port, s.ui)) return interrupt.exitCode(kExitFailure);
    TransferBytes bytes;
    for (int i = 0; i < kTransferBytes; ++i) bytes[size_t(i)] = s.state.image.byte(i);
    const TransferOutcome outcome =
        RetrieveEeprom(s.state, link, s.ui, bytes, [&](int done) { s.line.show(done); });
    s.line.end();
    // An interrupted read saves nothing, even one that had just completed; from here on the
    // signals stop the program as usual, and the save is atomic.
    if (interrupt.release() != 0 || !outcome.ok()) return interrupt.exitCode(kExitFailure);
    s.doc.ApplyRetrieved(bytes);
    return s.doc.SaveProject() ? kExitOk : kExitFailure;
}

// The differences as the window lists them, or as JSON; equal when the box bytes are.
int printDiff(const ProjectDiff& diff, bool json, const QString& sameText) {
    if (json) {
        out(QString::fromUtf8(QJsonDocument(DiffJson(diff)).toJson(QJsonDocument::Indented))
                .trimmed());
    } else {
        if (diff.equal()) out(sameText);
        for (const QString& line : DiffLines(diff)) out(line);
    }
    return diff.equal() ? kExitOk : kExitDiffers;
}

// Two project files, each read as File > Open reads it: A is side a, B side b.
int runFileDiff(const QStringList& files, bool json) {
    CliUi ui;
    AppState state;
    PlainProjectControls controls;
    ProjectDocument doc(state, ui, controls);
    ProjectHeader headerA, headerB;
    EepromImage a, b;
    if (!doc.ReadProjectCopy(files[0], headerA, a) || !doc.ReadProjectCopy(files[1], headerB, b))
        return kExitFailure;
    return printDiff(DiffProjects(headerA, a, headerB, b), json,
                     QStringLiteral("The projects hold the same box bytes."));
}

// Compare with Box: the box's bytes against the project's, as the window lists them. Without
// --port, two project files against each other.
int runDiff(const QStringList& args) {
    if (!args.contains(QLatin1String("--port"))) {
        QStringList files = args;
        const bool json = files.removeAll(QStringLiteral("--json")) > 0;
        if (files.size() == 2 && !files[0].startsWith(QLatin1String("--")) &&
            !files[1].startsWith(QLatin1String("--")))
            return runFileDiff(files, json);
    }
    TransferArgs a;
    if (!parseArgs(QStringLiteral("diff"), args, a, kJson)) return kExitUsage;
    Session s("Compare with Box");
    if (!s.doc.LoadProject(a.file)) return kExitFailure;
    BoxLink link;
    Interrupt interrupt(link, s.state.AbortFlag);
    if (!openLink(link, a.port, s.ui)) return interrupt.exitCode(kExitFailure);
    TransferBytes bytes;
    bytes.fill(0xFF);
    const TransferOutcome o =
        ReadBoxBytes(s.state, link, s.ui, bytes, [&](int done) { s.line.show(done); });
    s.line.end();
    if (interrupt.release() != 0 || !o.ok()) return interrupt.exitCode(kExitFailure);
    EepromImage box = s.state.image;
    for (int n = 0; n < kTransferBytes; ++n) box.setByte(n, bytes[size_t(n)]);
    return printDiff(DiffBoxBytes(s.state.image, box), a.json, BoxHoldsProjectText());
}

}  // namespace

void addTransferCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("update"),
         QStringLiteral("FILE --port DEVICE [--changed-only [--backup-dir DIR]]"),
         QStringLiteral("writes the project's EEPROM bytes 0 to 79 into the box, reading each "
                        "back (Box > Update EEPROM without the question); --changed-only reads "
                        "the box, saves a backup of it (by default in Backups beside FILE) and "
                        "writes only the bytes that differ (Box > Update Changes)"),
         runUpdate});
    commands.push_back(
        {QStringLiteral("diff"),
         QStringLiteral("FILE --port DEVICE [--json] | A.KEX B.KEX [--json]"),
         QStringLiteral("reads the box's EEPROM bytes 0 to 79 and lists how they differ from the "
                        "project's (Box > Compare with Box), or lists how two projects' box "
                        "bytes and then header fields differ; exit 0 when the box bytes are "
                        "equal, 3 when they differ"),
         runDiff});
    commands.push_back(
        {QStringLiteral("retrieve"), QStringLiteral("FILE --port DEVICE"),
         QStringLiteral("reads the box's EEPROM bytes 0 to 79 into the project and saves it; a "
                        "FILE that does not exist is made as a new project first"),
         runRetrieve});
}

}  // namespace varnel::cli
