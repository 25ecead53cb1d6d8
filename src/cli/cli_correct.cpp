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

// A-B, or A alone: entries A to B.
bool parseLock(const QString& text, std::array<bool, kTableEntries>& locked) {
    const QStringList parts = text.split(QLatin1Char('-'));
    if (parts.size() > 2) return false;
    int ends[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        const QString n = parts.value(k, parts[0]).trimmed();
        bool ok = !n.isEmpty() && n.size() <= 2;
        for (const QChar c : n) ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (!ok) return false;
        ends[k] = n.toInt();
    }
    if (ends[0] > ends[1] || ends[1] >= kTableEntries) return false;
    for (int i = ends[0]; i <= ends[1]; ++i) locked[size_t(i)] = true;
    return true;
}

// A number from min to max (max < 0: no top).
bool parseRange(const QString& text, double min, double max, double& value) {
    return ParseNumber(text, value) && value >= min && (max < 0 || value <= max);
}

QString modeText(LoopMode mode) {
    switch (mode) {
        case LoopMode::Open:
            return QStringLiteral("open loop");
        case LoopMode::Both:
            return QStringLiteral("closed and open loop");
        case LoopMode::Closed:
        case LoopMode::Auto:
            break;
    }
    return QStringLiteral("closed loop");
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
    // Where the loop information came from, when the log has any.
    auto column = [](const MappedColumn& c, bool lambda) {
        return QStringLiteral("'%1' (%2)")
            .arg(c.name, lambda ? QStringLiteral("lambda") : QStringLiteral("AFR"));
    };
    QStringList loop;
    if (m.loop.index >= 0) loop << QStringLiteral("status '%1'").arg(m.loop.name);
    if (m.commanded.index >= 0)
        loop << QStringLiteral("commanded ") + column(m.commanded, m.commandedLambda);
    if (m.wideband.index >= 0)
        loop << QStringLiteral("wideband ") + column(m.wideband, m.widebandLambda);
    if (!loop.isEmpty() || m.mode != LoopMode::Closed)
        out(QStringLiteral("Loop: %1 rows; %2")
                .arg(modeText(m.mode), loop.join(QStringLiteral(", "))));
    out(QStringLiteral("Rows read: %1").arg(r.rowsRead));
    out(QStringLiteral("Rows used: %1").arg(r.rowsUsed));
    out(QStringLiteral("Rows used, closed loop: %1").arg(r.rowsUsedClosed));
    out(QStringLiteral("Rows used, open loop: %1").arg(r.rowsUsedOpen));
    out(QStringLiteral("Skipped, not a number: %1").arg(r.notANumber));
    out(QStringLiteral("Skipped, filtered: %1").arg(r.filtered));
    out(QStringLiteral("Skipped, outside the meter: %1").arg(r.outsideMeter));
    out(QStringLiteral("Skipped, outside the table: %1").arg(r.outsideTable));
    out(QStringLiteral("Skipped, wideband out of range: %1").arg(r.widebandOutOfRange));
    out(QStringLiteral("Skipped, transient: %1").arg(r.transient));
    out(QStringLiteral("Skipped, outlier: %1").arg(r.outlier));
    out(QStringLiteral("Held to keep the table rising: %1").arg(r.heldRising));
    out(QStringLiteral("Held within the largest change: %1").arg(r.limitedEntries()));
    if (r.logs.size() > 1)
        for (const LogRows& l : r.logs)
            out(QStringLiteral("Log %1: %2 rows read, %3 used")
                    .arg(l.path)
                    .arg(l.rowsRead)
                    .arg(l.rowsUsed));
    out(QStringLiteral("Entry|V in   |Samples|Trim % |Word|Proposed|") +
        (frequency ? QStringLiteral("F Out  ") : QStringLiteral("V Out  ")) +
        QStringLiteral("|Closed |Open   |Spread|Note"));
    for (int i = 0; i < kTableEntries; ++i) {
        const EntryCorrection& e = r.entries[size_t(i)];
        const QString trim =
            e.samples > 0 ? FormatMeterNumber("%+7.2f", e.meanTrim()) : QStringLiteral("    ---");
        const QString proposed = e.locked      ? QStringLiteral("  locked")
                                 : e.corrected ? QString::number(e.proposedWord).rightJustified(8)
                                               : QStringLiteral("    kept");
        QStringList notes;
        if (e.held) notes << QStringLiteral("held rising");
        if (e.limited) notes << QStringLiteral("limited");
        QString line =
            QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                .arg(i, 5)
                .arg(InputVoltText(i), FormatMeterNumber("%7.1f", e.samples), trim)
                .arg(e.word, 4)
                .arg(proposed)
                .arg(frequency ? FreqWordToText(e.proposedWord) : VoltWordToText(e.proposedWord), 7)
                .arg(FormatMeterNumber("%7.1f", e.samplesClosed),
                     FormatMeterNumber("%7.1f", e.samplesOpen()));
        line += QLatin1Char('|') +
                (e.samples > 0 ? FormatMeterNumber("%6.1f", e.spread) : QStringLiteral("   ---")) +
                QLatin1Char('|') + notes.join(QStringLiteral(", "));
        while (line.endsWith(QLatin1Char('|'))) line.chop(1);
        out(line);
    }
}

void printJson(const CorrectionReport& r) {
    QJsonObject o;
    o[QStringLiteral("rowsRead")] = r.rowsRead;
    o[QStringLiteral("rowsUsed")] = r.rowsUsed;
    o[QStringLiteral("rowsUsedClosed")] = r.rowsUsedClosed;
    o[QStringLiteral("rowsUsedOpen")] = r.rowsUsedOpen;
    o[QStringLiteral("heldRising")] = r.heldRising;
    QJsonObject skipped;
    skipped[QStringLiteral("notANumber")] = r.notANumber;
    skipped[QStringLiteral("filtered")] = r.filtered;
    skipped[QStringLiteral("outsideMeter")] = r.outsideMeter;
    skipped[QStringLiteral("outsideTable")] = r.outsideTable;
    skipped[QStringLiteral("widebandOutOfRange")] = r.widebandOutOfRange;
    skipped[QStringLiteral("transient")] = r.transient;
    skipped[QStringLiteral("outlier")] = r.outlier;
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
        entry[QStringLiteral("samplesClosed")] = rounded(e.samplesClosed);
        entry[QStringLiteral("samplesOpen")] = rounded(e.samplesOpen());
        entry[QStringLiteral("spread")] =
            e.samples > 0 ? QJsonValue(rounded(e.spread)) : QJsonValue();
        entry[QStringLiteral("limited")] = e.limited;
        entry[QStringLiteral("locked")] = e.locked;
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
        static const QStringList valuedOptions = {
            "--meter",    "--signal",        "--trim",       "--filter", "--min-samples",
            "--strength", "--decimal",       "--mode",       "--afr",    "--afr-target",
            "--lambda",   "--lambda-target", "--loop",       "--stoich", "--open-loop-ltft",
            "--lag",      "--max-rate",      "--max-change", "--lock"};
        if (valuedOptions.contains(a) && i + 1 >= args.size())
            return usageError(a + QStringLiteral(" needs a value"));
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
        } else if (a == QLatin1String("--mode")) {
            const QString v = args[++i];
            if (v == QLatin1String("closed"))
                settings.mode = LoopMode::Closed;
            else if (v == QLatin1String("open"))
                settings.mode = LoopMode::Open;
            else if (v == QLatin1String("both"))
                settings.mode = LoopMode::Both;
            else
                return usageError(QStringLiteral("--mode takes closed, open or both"));
        } else if (a == QLatin1String("--afr") || a == QLatin1String("--lambda")) {
            if (!settings.wideband.empty())
                return usageError(
                    QStringLiteral("--afr and --lambda name the same column: give one"));
            settings.wideband = args[++i];
            settings.widebandUnit =
                a == QLatin1String("--afr") ? MixtureUnit::Afr : MixtureUnit::Lambda;
        } else if (a == QLatin1String("--afr-target") || a == QLatin1String("--lambda-target")) {
            if (!settings.commanded.empty())
                return usageError(QStringLiteral(
                    "--afr-target and --lambda-target name the same column: give one"));
            settings.commanded = args[++i];
            settings.commandedUnit =
                a == QLatin1String("--afr-target") ? MixtureUnit::Afr : MixtureUnit::Lambda;
        } else if (a == QLatin1String("--loop")) {
            settings.loop = args[++i];
        } else if (a == QLatin1String("--stoich")) {
            if (!parseRange(args[++i], 5, 25, settings.stoich))
                return usageError(QStringLiteral("--stoich takes an AFR from 5 to 25"));
        } else if (a == QLatin1String("--open-loop-ltft")) {
            const QString v = args[++i];
            if (v != QLatin1String("on") && v != QLatin1String("off"))
                return usageError(QStringLiteral("--open-loop-ltft takes on or off"));
            settings.openLoopLtft = v == QLatin1String("on");
        } else if (a == QLatin1String("--lag")) {
            if (!parseRange(args[++i], 0, 10000, settings.lagMs))
                return usageError(QStringLiteral("--lag takes milliseconds from 0 to 10000"));
        } else if (a == QLatin1String("--max-rate")) {
            if (!parseRange(args[++i], 0, -1, settings.maxRate))
                return usageError(QStringLiteral("--max-rate takes a rate from 0 up (0: off)"));
        } else if (a == QLatin1String("--max-change")) {
            if (!parseRange(args[++i], 0, 100, settings.maxChange))
                return usageError(
                    QStringLiteral("--max-change takes a percentage from 0 to 100 (0: off)"));
        } else if (a == QLatin1String("--lock")) {
            if (!parseLock(args[++i], settings.locked))
                return usageError(QStringLiteral("--lock takes A-B, entries from 0 to 32"));
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
             "[--min-samples N] [--strength PCT] [--mode closed|open|both] [--afr COLUMN | "
             "--lambda COLUMN] [--afr-target COLUMN | --lambda-target COLUMN] [--loop COLUMN] "
             "[--stoich AFR] [--open-loop-ltft on|off] [--lag MS] [--max-rate V_PER_S] "
             "[--max-change PCT] [--lock A-B]... [--json] [--apply]"),
         QStringLiteral("compute the table that would have made the logs' fuel trims zero in "
                        "closed loop and their wideband's mixture the commanded one in open "
                        "loop, as Edit > Correct from Log does (columns by their roles unless "
                        "named); --apply stores it into FILE and saves it"),
         runCorrect});
    commands.push_back({QStringLiteral("log"),
                        QStringLiteral("LOG [--decimal comma|point] [--json]"),
                        QStringLiteral("show what the reader finds in a datalog: its layout, and "
                                       "each column's unit and role"),
                        runLog});
}

}  // namespace varnel::cli
