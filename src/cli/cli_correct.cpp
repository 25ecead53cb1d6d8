// varnel-cli correct: the table corrected from a datalog, as Edit > Correct from Log computes it
// (CorrectFromLog), printed as a report; --apply stores the proposed words as the dialog's Apply
// does and saves the project.

#include "base/project_document.h"
#include "cli/cli.h"
#include "cli/cli_ui.h"
#include "correct/log_correction.h"
#include "image/table_ops.h"
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

// COLUMN:MIN:MAX, the column's name being everything before the last two colons.
bool parseFilter(const QString& text, LogFilter& filter) {
    const qsizetype second = text.lastIndexOf(QLatin1Char(':'));
    const qsizetype first = second > 0 ? text.lastIndexOf(QLatin1Char(':'), second - 1) : -1;
    if (first <= 0) return false;
    filter.column = text.left(first);
    return ParseNumber(text.mid(first + 1, second - first - 1), filter.min) &&
           ParseNumber(text.mid(second + 1), filter.max);
}

void printText(const CorrectionReport& r, bool frequency) {
    out(QStringLiteral("Rows read: %1").arg(r.rowsRead));
    out(QStringLiteral("Rows used: %1").arg(r.rowsUsed));
    out(QStringLiteral("Skipped, not a number: %1").arg(r.notANumber));
    out(QStringLiteral("Skipped, filtered: %1").arg(r.filtered));
    out(QStringLiteral("Skipped, outside the meter: %1").arg(r.outsideMeter));
    out(QStringLiteral("Skipped, outside the table: %1").arg(r.outsideTable));
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
                            a == QLatin1String("--min-samples") || a == QLatin1String("--strength");
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
            settings.trims = args[++i].split(QLatin1Char(','));
            for (const QString& t : settings.trims)
                if (t.trimmed().isEmpty())
                    return usageError(QStringLiteral("--trim takes COLUMN[,COLUMN]"));
        } else if (a == QLatin1String("--filter")) {
            LogFilter f;
            if (!parseFilter(args[++i], f))
                return usageError(QStringLiteral("--filter takes COLUMN:MIN:MAX"));
            settings.filters.append(f);
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
    if (files.size() != 2)
        return usageError(QStringLiteral("correct needs a project FILE and a LOG"));
    if (meterPath.isEmpty() || settings.signal.isEmpty() || settings.trims.isEmpty())
        return usageError(QStringLiteral("correct needs --meter, --signal and --trim"));

    AppState state;
    CliUi ui;
    PlainProjectControls controls;
    ProjectDocument doc(state, ui, controls);
    controls.attach(doc);
    if (!doc.LoadProject(files[0])) return kExitFailure;

    CorrectionInput input;
    input.logPath = files[1];
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

}  // namespace

void addCorrectCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("correct"),
         QStringLiteral("FILE LOG --meter M.maf --signal COLUMN --trim COLUMN[,COLUMN] "
                        "[--filter COLUMN:MIN:MAX]... [--min-samples N] [--strength PCT] "
                        "[--json] [--apply]"),
         QStringLiteral("compute the table that would have made the log's fuel trims zero, as "
                        "Edit > Correct from Log does; --apply stores it into FILE and saves it"),
         runCorrect});
}

}  // namespace varnel::cli
