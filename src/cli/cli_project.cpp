// varnel-cli's project commands: new, show, set, table export and table import. Each one runs the
// main window's own document steps (ProjectDocument) on a headless copy of its controls; only the
// arguments are handled here.

#include "base/project_diff.h"
#include "base/project_document.h"
#include "base/project_file.h"
#include "cli/cli.h"
#include "cli/cli_ui.h"
#include "image/table_ops.h"
#include "image/table_view.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

namespace varnel::cli {

namespace {

// One project as the main window would hold it, without the window.
struct Session {
    AppState state;
    CliUi ui;
    PlainProjectControls controls;
    ProjectDocument doc{state, ui, controls};
    Session() { controls.attach(doc); }
};

// Options of the form --name VALUE; flags take no value. Returns false (with the reason) on
// an unknown option or a missing value.
struct Option {
    QString name;
    QString value;
};

bool splitOptions(const QStringList& args, const QStringList& withValue, const QStringList& flags,
                  QStringList& positional, QList<Option>& options, QString& problem) {
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (withValue.contains(a)) {
            if (i + 1 >= args.size()) {
                problem = a + QStringLiteral(" needs a value");
                return false;
            }
            options.append({a, args[++i]});
        } else if (flags.contains(a)) {
            options.append({a, QString()});
        } else if (a.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unknown option ") + a;
            return false;
        } else {
            positional.append(a);
        }
    }
    return true;
}

std::optional<int> outputIndexOf(const QString& word) {
    if (word == QLatin1String("voltage")) return 0;
    if (word == QLatin1String("frequency")) return 1;
    return std::nullopt;
}

// "K=V" with K an integer in [lo, hi]; the value is the rest after the first '='.
bool splitKeyed(const QString& text, int lo, int hi, int& key, QString& value) {
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0) return false;
    bool ok = false;
    const QString k = text.left(eq);
    for (const QChar c : k)
        if (!c.isDigit() || c.unicode() > 127) return false;
    key = k.toInt(&ok);
    if (!ok || key < lo || key > hi) return false;
    value = text.mid(eq + 1);
    return true;
}

// "A-B" with 0 <= A <= B <= 32, and for kind the range it needs.
bool splitRange(const QString& text, RangeKind kind, int& first, int& last) {
    const qsizetype dash = text.indexOf(QLatin1Char('-'));
    if (dash <= 0) return false;
    auto number = [](const QString& t, int& v) {
        if (t.isEmpty() || t.size() > 2) return false;
        for (const QChar c : t)
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
        v = t.toInt();
        return true;
    };
    return number(text.left(dash), first) && number(text.mid(dash + 1), last) &&
           RangeProblem(kind, first, last).isEmpty();
}

bool wholeNumber(const QString& text, int lo, int hi, int& value) {
    if (text.isEmpty()) return false;
    for (const QChar c : text)
        if (!c.isDigit() || c.unicode() > 127) return false;
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= lo && value <= hi;
}

int runNew(const QStringList& args) {
    QStringList positional;
    QList<Option> options;
    QString problem;
    if (!splitOptions(args,
                      {QStringLiteral("--name"), QStringLiteral("--description"),
                       QStringLiteral("--group"), QStringLiteral("--output")},
                      {QStringLiteral("--metric"), QStringLiteral("--force")}, positional, options,
                      problem))
        return usageError(problem);
    if (positional.size() != 1) return usageError(QStringLiteral("new needs exactly one FILE"));

    ProjectAnswers answers;
    int output = 0;
    bool force = false;
    for (const Option& o : options) {
        if (o.name == QLatin1String("--name")) {
            answers.name = o.value;
        } else if (o.name == QLatin1String("--description")) {
            answers.description = o.value;
        } else if (o.name == QLatin1String("--group")) {
            // GM is not offered by the setup dialog either.
            if (o.value == QLatin1String("ford"))
                answers.group = 0;
            else if (o.value == QLatin1String("import"))
                answers.group = 2;
            else
                return usageError(QStringLiteral("--group takes ford or import"));
        } else if (o.name == QLatin1String("--metric")) {
            answers.metric = true;
        } else if (o.name == QLatin1String("--output")) {
            const auto index = outputIndexOf(o.value);
            if (!index) return usageError(QStringLiteral("--output takes voltage or frequency"));
            output = *index;
        } else if (o.name == QLatin1String("--force")) {
            force = true;
        }
    }
    const QString file = positional.first();
    // The window's Save As asks before replacing a file; here the caller says so up front.
    if (QFileInfo::exists(file) && !force) {
        err(file + QStringLiteral(" already exists (use --force to replace it)"));
        return kExitFailure;
    }

    Session s;
    s.doc.NewProject();
    ApplyProjectAnswers(s.state.header, answers);
    s.controls.selectOutput(output);
    s.state.ProjectFileName = file;
    return s.doc.SaveProject() ? kExitOk : kExitFailure;
}

struct TableRow {
    int entry;
    QString input;
    int word;
    QString text;
};

QList<TableRow> tableRows(const Session& s) {
    QList<TableRow> rows;
    const bool frequency = s.doc.frequency();
    for (int i = 0; i < kTableEntries; ++i)
        rows.append(
            {i, InputVoltText(i), s.state.image.entry(i), EntryText(s.state.image, i, frequency)});
    return rows;
}

QJsonObject headerJson(const ProjectHeader& h) {
    QJsonObject o;
    for (const ProjectDiff::HeaderField& f : HeaderFields(h)) o[f.name] = f.aValue;
    return o;
}

void printText(const Session& s) {
    const auto line = [](const char* name, const QString& value) {
        out(QStringLiteral("%1: %2").arg(QLatin1String(name), value));
    };
    for (const ProjectDiff::HeaderField& f : HeaderFields(s.state.header))
        out(f.name + QStringLiteral(": ") + f.a);
    line("Output", s.doc.frequency() ? QStringLiteral("Frequency") : QStringLiteral("Voltage"));
    line("Invert", s.controls.invert ? QStringLiteral("on") : QStringLiteral("off"));
    line("Pots", s.controls.pots[0] + QLatin1Char(' ') + s.controls.pots[1] + QLatin1Char(' ') +
                     s.controls.pots[2] + QLatin1Char(' ') + s.controls.pots[3]);
    line("Limit", s.controls.limit);
    out(QStringLiteral("Entry|V in   |Word|") + OutputTitle(s.doc.frequency()));
    for (const TableRow& r : tableRows(s))
        out(QStringLiteral("%1|%2|%3|%4").arg(r.entry, 5).arg(r.input).arg(r.word, 4).arg(r.text));
}

void printJson(const Session& s) {
    QJsonObject o;
    o[QStringLiteral("header")] = headerJson(s.state.header);
    o[QStringLiteral("output")] =
        s.doc.frequency() ? QStringLiteral("frequency") : QStringLiteral("voltage");
    o[QStringLiteral("invert")] = s.controls.invert;
    QJsonArray pots;
    for (const QString& p : s.controls.pots) pots.append(p.toInt());
    o[QStringLiteral("pots")] = pots;
    o[QStringLiteral("limit")] = s.controls.limit;
    QJsonArray table;
    for (const TableRow& r : tableRows(s)) {
        QJsonObject row;
        row[QStringLiteral("entry")] = r.entry;
        row[QStringLiteral("input")] = r.input;
        row[QStringLiteral("word")] = r.word;
        row[QStringLiteral("text")] = r.text;
        table.append(row);
    }
    o[QStringLiteral("table")] = table;
    o[QStringLiteral("image")] = QString::fromLatin1(s.state.image.toByteArray().toHex().toUpper());
    out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed());
}

int runShow(const QStringList& args) {
    QStringList positional;
    QList<Option> options;
    QString problem;
    if (!splitOptions(args, {}, {QStringLiteral("--json")}, positional, options, problem))
        return usageError(problem);
    if (positional.size() != 1) return usageError(QStringLiteral("show needs exactly one FILE"));
    Session s;
    if (!s.doc.LoadProject(positional.first())) return kExitFailure;
    if (options.isEmpty())
        printText(s);
    else
        printJson(s);
    return kExitOk;
}

int runSet(const QStringList& args) {
    QStringList positional;
    QList<Option> options;
    QString problem;
    if (!splitOptions(
            args,
            {QStringLiteral("--entry"), QStringLiteral("--limit"), QStringLiteral("--pot"),
             QStringLiteral("--invert"), QStringLiteral("--output"), QStringLiteral("--fill"),
             QStringLiteral("--add"), QStringLiteral("--scale"), QStringLiteral("--interpolate"),
             QStringLiteral("--smooth")},
            {}, positional, options, problem))
        return usageError(problem);
    if (positional.size() != 1) return usageError(QStringLiteral("set needs exactly one FILE"));

    // Every option is checked before the file is touched; they then apply in the order given.
    // A step that the program refuses stops the command before the save: the file stays as it
    // was.
    QList<std::function<bool(Session&)>> steps;
    // The range options: the operation, and what follows "A-B=" (nothing for the last two).
    struct RangeOption {
        const char* name;
        RangeKind kind;
        const char* value;
    };
    const RangeOption rangeOptions[] = {{"--fill", RangeKind::Set, "TEXT"},
                                        {"--add", RangeKind::Add, "DELTA"},
                                        {"--scale", RangeKind::Scale, "PCT"},
                                        {"--interpolate", RangeKind::Interpolate, nullptr},
                                        {"--smooth", RangeKind::Smooth, nullptr}};
    for (const Option& o : options) {
        const auto range =
            std::find_if(std::begin(rangeOptions), std::end(rangeOptions),
                         [&o](const RangeOption& r) { return o.name == QLatin1String(r.name); });
        if (range != std::end(rangeOptions)) {
            RangeOp op;
            op.kind = range->kind;
            const qsizetype eq = range->value ? o.value.indexOf(QLatin1Char('=')) : -1;
            const QString shape =
                o.name + QStringLiteral(" takes A-B") +
                (range->value ? QLatin1Char('=') + QLatin1String(range->value) : QString());
            if ((range->value && eq < 0) ||
                !splitRange(range->value ? o.value.left(eq) : o.value, op.kind, op.first, op.last))
                return usageError(shape + QStringLiteral(" with 0 <= A <= B <= 32") +
                                  (range->value ? QString() : QStringLiteral(" and B - A >= 2")));
            if (range->value) op.text = o.value.mid(eq + 1);
            if (op.kind != RangeKind::Set && range->value && !ParseNumber(op.text, op.number))
                return usageError(shape + QStringLiteral(": '") + op.text +
                                  QStringLiteral("' is not a number"));
            steps.append([op](Session& s) { return s.doc.RangeOperation(op); });
        } else if (o.name == QLatin1String("--entry")) {
            int entry = 0;
            QString text;
            if (!splitKeyed(o.value, 0, kTableEntries - 1, entry, text))
                return usageError(QStringLiteral("--entry takes I=TEXT with I from 0 to 32"));
            // The window keeps an entry whose text the store would not take and says so on its
            // status line; a script must learn of it too. Whether the store takes it depends on
            // the output kind, which an earlier --output may change.
            steps.append([entry, text](Session& s) {
                const bool taken =
                    s.doc.frequency() ? TextToFreqWord(text) != -1 : TextToVoltWord(text) >= 0;
                if (!taken) {
                    err(QStringLiteral("'%1' is not a valid value for table entry %2")
                            .arg(text)
                            .arg(entry));
                    return false;
                }
                s.doc.TableEdit(entry + 1, text);
                return true;
            });
        } else if (o.name == QLatin1String("--limit")) {
            const QString keys = o.value;
            steps.append([keys](Session& s) {
                s.doc.TypeLimit(keys);
                return true;
            });
        } else if (o.name == QLatin1String("--pot")) {
            int pot = 0;
            QString text;
            int target = 0;
            if (!splitKeyed(o.value, 1, 4, pot, text) || !wholeNumber(text, 0, 99, target))
                return usageError(
                    QStringLiteral("--pot takes K=N with K from 1 to 4 and N from 0 to 99"));
            // The spin buttons are the only way to a pot: click until it holds the value.
            steps.append([pot, target](Session& s) {
                for (int guard = 0; guard < 256 && s.state.PotValue[size_t(pot - 1)] != target;
                     ++guard)
                    s.doc.SetPot(pot, s.state.PotValue[size_t(pot - 1)] < target ? +1 : -1);
                return true;
            });
        } else if (o.name == QLatin1String("--invert")) {
            if (o.value != QLatin1String("on") && o.value != QLatin1String("off"))
                return usageError(QStringLiteral("--invert takes on or off"));
            const bool on = o.value == QLatin1String("on");
            steps.append([on](Session& s) {
                s.controls.setInvertChecked(on);
                return true;
            });
        } else if (o.name == QLatin1String("--output")) {
            const auto index = outputIndexOf(o.value);
            if (!index) return usageError(QStringLiteral("--output takes voltage or frequency"));
            const int i = *index;
            steps.append([i](Session& s) {
                s.controls.selectOutput(i);
                return true;
            });
        }
    }

    Session s;
    if (!s.doc.LoadProject(positional.first())) return kExitFailure;
    for (const auto& step : steps)
        if (!step(s)) return kExitFailure;
    return s.doc.SaveProject() ? kExitOk : kExitFailure;
}

int runTableExport(const QStringList& args) {
    QStringList positional;
    QList<Option> options;
    QString problem;
    if (!splitOptions(args, {QStringLiteral("--output")}, {}, positional, options, problem))
        return usageError(problem);
    if (positional.size() != 1)
        return usageError(QStringLiteral("table export needs exactly one FILE"));
    Session s;
    if (!s.doc.LoadProject(positional.first())) return kExitFailure;
    if (options.isEmpty()) {
        std::fputs(TableCsvText(s.state.image, s.doc.frequency()).toUtf8().constData(), stdout);
        return kExitOk;
    }
    return s.doc.ExportTable(options.last().value) ? kExitOk : kExitFailure;
}

int runTableImport(const QStringList& args) {
    QStringList positional;
    QList<Option> options;
    QString problem;
    if (!splitOptions(args, {}, {}, positional, options, problem)) return usageError(problem);
    if (positional.size() != 2)
        return usageError(QStringLiteral("table import needs a project FILE and a CSV file"));
    Session s;
    if (!s.doc.LoadProject(positional[0]) || !s.doc.ImportTable(positional[1])) return kExitFailure;
    return s.doc.SaveProject() ? kExitOk : kExitFailure;
}

}  // namespace

void addProjectCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("new"),
         QStringLiteral("FILE [--name TEXT] [--description TEXT] [--group ford|import] [--metric] "
                        "[--output voltage|frequency] [--force]"),
         QStringLiteral("write a new project as File > New and Save would (--force replaces FILE)"),
         runNew});
    commands.push_back({QStringLiteral("show"), QStringLiteral("FILE [--json]"),
                        QStringLiteral("print a project's header, settings and table"), runShow});
    commands.push_back(
        {QStringLiteral("set"),
         QStringLiteral("FILE [--entry I=TEXT]... [--limit TEXT] [--pot K=N]... [--invert on|off] "
                        "[--output voltage|frequency] [--fill A-B=TEXT]... [--add A-B=DELTA]... "
                        "[--scale A-B=PCT]... [--interpolate A-B]... [--smooth A-B]..."),
         QStringLiteral(
             "edit a project through the window's controls, in the order given, and save it"),
         runSet});
    commands.push_back({QStringLiteral("table export"), QStringLiteral("FILE [--output CSV]"),
                        QStringLiteral("write a project's table as CSV (to standard output "
                                       "without --output)"),
                        runTableExport});
    commands.push_back({QStringLiteral("table import"), QStringLiteral("FILE CSV"),
                        QStringLiteral("read a CSV table into a project, as File > Import Table "
                                       "does, and save it"),
                        runTableImport});
}

}  // namespace varnel::cli
