// varnel-cli match: the match dialog's Match on two meter files given by path, and its Copy E2P
// into a project file. The steps are the dialog's own (MeterMatchSession, CopyMatchToProject);
// only the arguments and the printing are handled here.

#include "base/project_document.h"
#include "cli/cli.h"
#include "cli/cli_ui.h"
#include "match/match_session.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <charconv>
#include <cstdlib>

namespace varnel::cli {

namespace {

// A cell's single-precision value as the shortest decimal that reads back as the same single,
// so 597.6378 prints as that and not as the double 597.63781738...
double shortestValue(float v) {
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, v);
    *r.ptr = '\0';
    return std::strtod(buf, nullptr);
}

// The meter's name as the dialog's list shows it, which is what the header records.
QString listedName(const QString& path) {
    return QFileInfo(path).fileName().toUpper().trimmed();
}

// The chosen method's table words: 32 for the classic copy, 33 for the precise one.
QVector<int> tableWords(const MatchCopySource& source) {
    QVector<int> words(source.entries.begin(), source.entries.end());
    if (source.entry32 >= 0) words.append(source.entry32);
    return words;
}

QJsonValue percentValue(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

void printText(const MeterMatchSession& m, const MatchCopySource& source) {
    out(m.FlowUnits);
    out(m.CellText(0, 0) + QLatin1Char('|') + m.CellText(1, 0) + QLatin1Char('|') +
        m.CellText(2, 0));
    for (int row = 1; row <= kMatchCellCount; ++row)
        out(m.CellText(0, row) + QLatin1Char('|') + m.CellText(1, row) + QLatin1Char('|') +
            m.CellText(2, row));
    out(QStringLiteral("Entry|Word"));
    const QVector<int> entries = tableWords(source);
    for (int i = 0; i < entries.size(); ++i) {
        const int w = entries[i];
        out(QStringLiteral("%1|%2").arg(i, 5).arg(w < 0 ? QStringLiteral("---")
                                                        : QString::number(w).rightJustified(4)));
    }
}

void printJson(const MeterMatchSession& m, MatchMethod method, const MatchCopySource& source) {
    QJsonObject o;
    const bool precise = method == MatchMethod::Precise;
    o[QStringLiteral("method")] = precise ? QStringLiteral("precise") : QStringLiteral("classic");
    o[QStringLiteral("flowUnits")] = m.FlowUnits;
    o[QStringLiteral("useIsFrequency")] = m.UseIsFrequency;
    o[QStringLiteral("matchIsFrequency")] = m.MatchIsFrequency;
    QJsonArray cells;
    for (const MatchCell& c : m.Cells) {
        QJsonObject cell;
        cell[QStringLiteral("flow")] = shortestValue(c.Flow);
        cell[QStringLiteral("signal")] = shortestValue(c.Signal);
        cell[QStringLiteral("out")] = c.Out;
        cells.append(cell);
    }
    o[QStringLiteral("cells")] = cells;
    QJsonArray table;
    for (const int w : tableWords(source)) table.append(w < 0 ? QJsonValue() : QJsonValue(w));
    o[QStringLiteral("table")] = table;
    const std::optional<PredictedError>& predicted = precise ? m.PreciseError : m.ClassicError;
    QJsonArray error;
    for (int i = 0; i < kTableEntries; ++i)
        error.append(predicted ? percentValue(predicted->entries[size_t(i)]) : QJsonValue());
    o[QStringLiteral("error")] = error;
    o[QStringLiteral("worstError")] = predicted ? percentValue(predicted->worst) : QJsonValue();
    o[QStringLiteral("meanError")] = predicted ? percentValue(predicted->mean) : QJsonValue();
    out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed());
}

// A file whose texts are not numbers is no meter: refused whole, naming it, as the meter
// editor's Open refuses it, before anything is matched.
bool readMeter(const QString& path, TMeterRecord& record, UiServices& ui) {
    if (!ReadMatchMeter(path, record, ui)) return false;
    QString error;
    if (CheckMeterTexts(record, path, error)) return true;
    ui.error(error);
    return false;
}

int runMatch(const QStringList& args) {
    QStringList files;
    bool json = false;
    QString into;
    MatchMethod method = MatchMethod::Classic;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--method")) {
            const QString name = i + 1 < args.size() ? args[++i] : QString();
            if (name == QLatin1String("classic"))
                method = MatchMethod::Classic;
            else if (name == QLatin1String("precise"))
                method = MatchMethod::Precise;
            else
                return usageError(QStringLiteral("--method needs classic or precise"));
        } else if (a == QLatin1String("--into")) {
            if (i + 1 >= args.size()) return usageError(QStringLiteral("--into needs a FILE"));
            into = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else {
            files.append(a);
        }
    }
    if (files.size() != 2)
        return usageError(QStringLiteral("match needs the meter to use and the meter to match"));

    AppState state;
    CliUi ui;
    PlainProjectControls controls;
    ProjectDocument doc(state, ui, controls);
    controls.attach(doc);
    // The project first: a file that cannot be read stops before anything is printed.
    if (!into.isEmpty()) {
        if (!doc.LoadProject(into)) return kExitFailure;
        // The window cannot match in a project whose group has no folder; neither can this.
        if (GroupName(state.header.Group()).isEmpty()) {
            ui.error(QStringLiteral("Invalid data path"));
            return kExitFailure;
        }
    }

    MeterMatchSession m(state, ui);
    if (!readMeter(files[0], m.UseRecord, ui)) return kExitFailure;
    if (!readMeter(files[1], m.MatchRecord, ui)) return kExitFailure;
    m.UseGroup = m.MatchGroup = state.header.Group();
    m.UseFile = listedName(files[0]);
    m.MatchFile = listedName(files[1]);
    if (!m.Match(m.UseRecord, m.MatchRecord)) return kExitFailure;
    const MatchCopySource* source = m.CopySource(method);
    if (!source) {
        ui.error(m.PreciseRefusal);
        return kExitFailure;
    }

    if (json)
        printJson(m, method, *source);
    else
        printText(m, *source);

    if (into.isEmpty()) return kExitOk;
    if (!CopyMatchToProject(*source, state, controls, ui)) return kExitFailure;
    return doc.SaveProject() ? kExitOk : kExitFailure;
}

}  // namespace

void addMatchCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("match"),
         QStringLiteral("USE.maf MATCH.maf [--method classic|precise] [--json] [--into FILE]"),
         QStringLiteral("match two meter files as the match dialog does and print the grid and "
                        "the table words of the method (classic: 32, precise: 33); --into copies "
                        "them into project FILE and saves it"),
         runMatch});
}

}  // namespace varnel::cli
