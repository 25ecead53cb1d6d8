// varnel-cli correct: the table corrected from datalogs, as Edit > Correct from Log computes it
// (CorrectFromLog), printed as a report; --apply stores the proposed words as the dialog's Apply
// does and saves the project. varnel-cli log: what the reader finds in a log, as the dialog
// shows it before anything is computed.

#include "base/project_document.h"
#include "cli/cli.h"
#include "cli/cli_ui.h"
#include "correct/log_correction.h"
#include "image/table_ops.h"
#include "log/log_reader.h"
#include "match/match_session.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace varnel::cli {

namespace {

double rounded(double v) {
    return std::round(v * 1000) / 1000;
}

// COLUMN:MIN:MAX, the column's name being everything before the last two colons; or
// COLUMN=PATTERN, the column's name everything before the first '='.
bool parseFilter(const QString& text, LogFilter& filter) {
    const qsizetype second = text.lastIndexOf(QLatin1Char(':'));
    const qsizetype first = second > 0 ? text.lastIndexOf(QLatin1Char(':'), second - 1) : -1;
    if (first > 0) {
        filter.column = text.left(first);
        if (ParseNumber(text.mid(first + 1, second - first - 1), filter.min) &&
            ParseNumber(text.mid(second + 1), filter.max))
            return true;
    }
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    if (equals <= 0) return false;
    filter.column = text.left(equals);
    filter.text = true;
    filter.pattern = text.mid(equals + 1);
    return true;
}

bool parseDecimal(const QString& text, DecimalMark& mark) {
    if (text == QLatin1String("comma"))
        mark = DecimalMark::Comma;
    else if (text == QLatin1String("point"))
        mark = DecimalMark::Point;
    else
        return false;
    return true;
}

QString kindText(SignalKind kind) {
    switch (kind) {
        case SignalKind::Volts:
            return QStringLiteral("volts");
        case SignalKind::Hertz:
            return QStringLiteral("hertz");
        case SignalKind::MassFlow:
            return QStringLiteral("mass-flow");
    }
    return {};
}

QString quotedList(const QList<MappedColumn>& columns) {
    QStringList names;
    for (const MappedColumn& c : columns)
        names.append(QLatin1Char('\'') + c.name + QLatin1Char('\''));
    return names.join(QStringLiteral(", "));
}

void printText(const CorrectionReport& r, bool frequency) {
    // What was chosen, where the log said it rather than the user, and what was converted.
    const LogMapping& m = r.mapping;
    if (m.byRole)
        out(QStringLiteral("Columns: signal '%1' (%2), trims %3")
                .arg(m.signal.name, kindText(m.signalKind), quotedList(m.trims)));
    if (m.signalKind == SignalKind::MassFlow)
        out(QStringLiteral("Note: the signal is the air mass flow in '%1', turned into %2 through "
                           "the meter.")
                .arg(m.signal.name, frequency ? QStringLiteral("hertz") : QStringLiteral("volts")));
    if (m.trimsAsFactors)
        out(QStringLiteral(
            "Note: trims read as factors (values near 1.0) and turned into percent."));
    out(QStringLiteral("Rows read: %1").arg(r.rowsRead));
    out(QStringLiteral("Rows used: %1").arg(r.rowsUsed));
    out(QStringLiteral("Skipped, not a number: %1").arg(r.notANumber));
    out(QStringLiteral("Skipped, filtered: %1").arg(r.filtered));
    out(QStringLiteral("Skipped, outside the meter: %1").arg(r.outsideMeter));
    out(QStringLiteral("Skipped, outside the table: %1").arg(r.outsideTable));
    if (r.logs.size() > 1)
        for (const LogRows& l : r.logs)
            out(QStringLiteral("Log %1: %2 rows read, %3 used")
                    .arg(l.path)
                    .arg(l.rowsRead)
                    .arg(l.rowsUsed));
    out(QStringLiteral("Entry|V in   |Samples|Trim % |Word|Proposed|") +
        (frequency ? QStringLiteral("F Out") : QStringLiteral("V Out")));
    for (int i = 0; i < kTableEntries; ++i) {
        const EntryCorrection& e = r.entries[size_t(i)];
        const QString trim =
            e.samples > 0 ? FormatMeterNumber("%+7.2f", e.meanTrim()) : QStringLiteral("    ---");
        const QString proposed = e.corrected ? QString::number(e.proposedWord).rightJustified(8)
                                             : QStringLiteral("    kept");
        out(QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                .arg(i, 5)
                .arg(InputVoltText(i), FormatMeterNumber("%7.1f", e.samples), trim)
                .arg(e.word, 4)
                .arg(proposed,
                     frequency ? FreqWordToText(e.proposedWord) : VoltWordToText(e.proposedWord)));
    }
}

void printJson(const CorrectionReport& r) {
    QJsonObject o;
    o[QStringLiteral("rowsRead")] = r.rowsRead;
    o[QStringLiteral("rowsUsed")] = r.rowsUsed;
    QJsonObject skipped;
    skipped[QStringLiteral("notANumber")] = r.notANumber;
    skipped[QStringLiteral("filtered")] = r.filtered;
    skipped[QStringLiteral("outsideMeter")] = r.outsideMeter;
    skipped[QStringLiteral("outsideTable")] = r.outsideTable;
    o[QStringLiteral("skipped")] = skipped;
    QJsonArray entries;
    for (int i = 0; i < kTableEntries; ++i) {
        const EntryCorrection& e = r.entries[size_t(i)];
        QJsonObject entry;
        entry[QStringLiteral("entry")] = i;
        entry[QStringLiteral("samples")] = rounded(e.samples);
        entry[QStringLiteral("meanTrim")] =
            e.samples > 0 ? QJsonValue(rounded(e.meanTrim())) : QJsonValue();
        entry[QStringLiteral("word")] = e.word;
        entry[QStringLiteral("proposedWord")] = e.proposedWord;
        entries.append(entry);
    }
    o[QStringLiteral("entries")] = entries;
    const LogMapping& m = r.mapping;
    QJsonObject columns;
    columns[QStringLiteral("signal")] = m.signal.name;
    columns[QStringLiteral("signalKind")] = kindText(m.signalKind);
    QJsonArray trims;
    for (const MappedColumn& t : m.trims) trims.append(t.name);
    columns[QStringLiteral("trims")] = trims;
    columns[QStringLiteral("trimsAs")] =
        m.trimsAsFactors ? QStringLiteral("factor") : QStringLiteral("percent");
    o[QStringLiteral("columns")] = columns;
    QJsonArray logs;
    for (const LogRows& l : r.logs) {
        QJsonObject log;
        log[QStringLiteral("path")] = l.path;
        log[QStringLiteral("rowsRead")] = l.rowsRead;
        log[QStringLiteral("rowsUsed")] = l.rowsUsed;
        logs.append(log);
    }
    o[QStringLiteral("logs")] = logs;
    out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed());
}

int runCorrect(const QStringList& args) {
    QStringList files;
    QString meterPath;
    CorrectionSettings settings;
    bool json = false;
    bool apply = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool valued = a == QLatin1String("--meter") || a == QLatin1String("--signal") ||
                            a == QLatin1String("--trim") || a == QLatin1String("--filter") ||
                            a == QLatin1String("--min-samples") ||
                            a == QLatin1String("--strength") || a == QLatin1String("--decimal");
        if (valued && i + 1 >= args.size()) return usageError(a + QStringLiteral(" needs a value"));
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--apply")) {
            apply = true;
        } else if (a == QLatin1String("--meter")) {
            meterPath = args[++i];
        } else if (a == QLatin1String("--signal")) {
            settings.signal = args[++i];
        } else if (a == QLatin1String("--trim")) {
            settings.trims.clear();
            for (const QString& t : args[++i].split(QLatin1Char(','))) {
                if (t.trimmed().isEmpty())
                    return usageError(QStringLiteral("--trim takes COLUMN[,COLUMN]"));
                settings.trims.append(t);
            }
        } else if (a == QLatin1String("--filter")) {
            LogFilter f;
            if (!parseFilter(args[++i], f))
                return usageError(
                    QStringLiteral("--filter takes COLUMN:MIN:MAX or COLUMN=PATTERN"));
            settings.filters.append(f);
        } else if (a == QLatin1String("--decimal")) {
            if (!parseDecimal(args[++i], settings.log.decimal))
                return usageError(QStringLiteral("--decimal takes comma or point"));
        } else if (a == QLatin1String("--min-samples")) {
            const QString n = args[++i];
            bool ok = !n.isEmpty() && n.size() <= 9;
            for (const QChar c : n) ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
            settings.minSamples = ok ? n.toInt() : 0;
            if (settings.minSamples < 1)
                return usageError(QStringLiteral("--min-samples takes a whole number from 1"));
        } else if (a == QLatin1String("--strength")) {
            if (!ParseNumber(args[++i], settings.strength) || settings.strength < 0 ||
                settings.strength > 100)
                return usageError(QStringLiteral("--strength takes a percentage from 0 to 100"));
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else {
            files.append(a);
        }
    }
    if (files.size() < 2)
        return usageError(QStringLiteral("correct needs a project FILE and a LOG"));
    if (meterPath.isEmpty()) return usageError(QStringLiteral("correct needs --meter"));

    AppState state;
    CliUi ui;
    PlainProjectControls controls;
    ProjectDocument doc(state, ui, controls);
    controls.attach(doc);
    if (!doc.LoadProject(files[0])) return kExitFailure;

    CorrectionInput input;
    input.logPaths = files.mid(1);
    input.frequency = doc.frequency();
    for (int i = 0; i < kTableEntries; ++i) input.words[size_t(i)] = state.image.entry(i);
    input.settings = settings;
    TMeterRecord meter;
    if (!ReadMatchMeter(meterPath, meter, ui)) return kExitFailure;
    QString error;
    if (!MeterCurveOf(meter, meterPath, input.frequency, input.meter, error)) {
        ui.error(error);
        return kExitFailure;
    }
    const CorrectionResult result = CorrectFromLog(input);
    if (!result.ok) {
        ui.error(result.error);
        return kExitFailure;
    }
    if (json)
        printJson(result.report);
    else
        printText(result.report, input.frequency);
    if (!apply) return kExitOk;
    doc.SetTableWords(result.report.proposedWords());
    return doc.SaveProject() ? kExitOk : kExitFailure;
}

QString separatorText(char sep) {
    return sep == '\t' ? QStringLiteral("\t") : QString(QLatin1Char(sep));
}

void printLogJson(const LogLayout& layout, const LogScan& scan) {
    QJsonObject o;
    o[QStringLiteral("rows")] = scan.rows;
    o[QStringLiteral("headerLine")] = layout.headerLine;
    o[QStringLiteral("separator")] = separatorText(layout.separator);
    o[QStringLiteral("decimal")] = QString(QLatin1Char(layout.decimal));
    o[QStringLiteral("encoding")] =
        layout.latin1 ? QStringLiteral("latin-1") : QStringLiteral("utf-8");
    o[QStringLiteral("skippedLines")] = layout.skippedLines + scan.blankLines + scan.commentLines;
    QJsonArray columns;
    for (const LogColumn& c : layout.columns) {
        QJsonObject column;
        column[QStringLiteral("name")] = c.name;
        column[QStringLiteral("unit")] = c.unit;
        column[QStringLiteral("role")] =
            c.role == LogRole::None ? QJsonValue() : QJsonValue(RoleName(c.role));
        column[QStringLiteral("numeric")] = c.numeric;
        columns.append(column);
    }
    o[QStringLiteral("columns")] = columns;
    out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented)).trimmed());
}

void printLogText(const LogLayout& layout, const LogScan& scan) {
    out(layout.headerLine > 0 ? QStringLiteral("Names: line %1").arg(layout.headerLine)
                              : QStringLiteral("Names: none (the columns are numbered)"));
    out(layout.unitsLine > 0 ? QStringLiteral("Units: line %1").arg(layout.unitsLine)
                             : QStringLiteral("Units: from the names"));
    out(QStringLiteral("First row: line %1").arg(layout.dataLine));
    out(QStringLiteral("Separator: %1")
            .arg(layout.separator == '\t'
                     ? QStringLiteral("tab")
                     : QStringLiteral("'%1'").arg(QLatin1Char(layout.separator))));
    out(QStringLiteral("Decimal mark: '%1' (%2)")
            .arg(QLatin1Char(layout.decimal))
            .arg(layout.decimalFound ? QStringLiteral("found in the numbers")
                                     : QStringLiteral("as given")));
    out(QStringLiteral("Encoding: %1%2")
            .arg(layout.latin1 ? QStringLiteral("Latin-1") : QStringLiteral("UTF-8"),
                 layout.byteOrderMark ? QStringLiteral(", with a byte-order mark") : QString()));
    if (layout.narrow)
        out(QStringLiteral("Layout: one reading a row (%1), pivoted by time")
                .arg(layout.readingColumns.join(QStringLiteral(", "))));
    out(QStringLiteral("Rows: %1").arg(scan.rows));
    out(QStringLiteral("Skipped lines: %1 before the first row, %2 blank, %3 comments")
            .arg(layout.skippedLines)
            .arg(scan.blankLines)
            .arg(scan.commentLines));
    out(QStringLiteral("Damaged rows: %1%2")
            .arg(scan.badRows)
            .arg(scan.truncatedLastRow ? QStringLiteral(" (the last one cut short)") : QString()));
    int width = 4;
    for (const LogColumn& c : layout.columns) width = std::max<int>(width, int(c.header.size()));
    width = std::min(width, 28);
    auto line = [](QString text) {
        while (text.endsWith(QLatin1Char(' '))) text.chop(1);
        out(text);
    };
    line(QStringLiteral("  # %1 Unit     Role          Values  Missing  Note")
             .arg(QStringLiteral("Name"), -width));
    for (int i = 0; i < layout.columnCount(); ++i) {
        const LogColumn& c = layout.columns[i];
        const QString role = c.role == LogRole::None ? QStringLiteral("-") : RoleName(c.role);
        line(QStringLiteral("%1 %2 %3 %4 %5 %6  %7")
                 .arg(i + 1, 3)
                 .arg(c.name.size() > width ? c.name.left(width - 3) + QStringLiteral("...")
                                            : c.name,
                      -width)
                 .arg(c.unit.isEmpty() ? QStringLiteral("-") : c.unit, -8)
                 .arg(role, -13)
                 .arg(c.numeric                               ? QStringLiteral("numbers")
                      : c.sample.numbers + c.sample.texts > 0 ? QStringLiteral("text")
                                                              : QStringLiteral("empty"),
                      -7)
                 .arg(scan.missing[size_t(i)], 7)
                 .arg(c.note));
    }
}

int runLog(const QStringList& args) {
    QString path;
    bool json = false;
    LogOptions options;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--json")) {
            json = true;
        } else if (a == QLatin1String("--decimal")) {
            if (i + 1 >= args.size() || !parseDecimal(args[++i], options.decimal))
                return usageError(QStringLiteral("--decimal takes comma or point"));
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else if (path.isEmpty()) {
            path = a;
        } else {
            return usageError(QStringLiteral("log takes one LOG"));
        }
    }
    if (path.isEmpty()) return usageError(QStringLiteral("log needs a LOG"));
    LogReader reader;
    QString error;
    LogScan scan;
    if (!reader.open(path, options, error) || !ScanLog(reader, path, scan, error)) {
        err(error);
        return kExitFailure;
    }
    if (json)
        printLogJson(reader.layout(), scan);
    else
        printLogText(reader.layout(), scan);
    return kExitOk;
}

}  // namespace

void addCorrectCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("correct"),
         QStringLiteral(
             "FILE LOG [LOG...] --meter M.maf [--signal COLUMN] [--trim COLUMN[,COLUMN]] "
             "[--filter COLUMN:MIN:MAX|COLUMN=PATTERN]... [--decimal comma|point] "
             "[--min-samples N] [--strength PCT] [--json] [--apply]"),
         QStringLiteral("compute the table that would have made the logs' fuel trims zero, as "
                        "Edit > Correct from Log does (columns by their roles unless named); "
                        "--apply stores it into FILE and saves it"),
         runCorrect});
    commands.push_back({QStringLiteral("log"),
                        QStringLiteral("LOG [--decimal comma|point] [--json]"),
                        QStringLiteral("show what the reader finds in a datalog: its layout, and "
                                       "each column's unit and role"),
                        runLog});
}

}  // namespace varnel::cli
