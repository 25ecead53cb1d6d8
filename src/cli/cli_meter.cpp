#include "cli/cli.h"
#include "meter/meter_file.h"
#include "meter/meter_fit.h"
#include "meter/meter_import.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace varnel::cli {

namespace {

// A JSON string literal, quotes included.
QString jsonString(const QString& s) {
    const QByteArray array =
        QJsonDocument(QJsonArray{QJsonValue(s)}).toJson(QJsonDocument::Compact);
    // "[" + literal + "]"
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

int meterShow(const QStringList& args) {
    QString path;
    bool json = false;
    bool usage = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--json"))
            json = true;
        else if (a.startsWith(QLatin1String("--")) || !path.isEmpty())
            usage = true;
        else
            path = a;
    }
    if (usage || path.isEmpty()) {
        err(QStringLiteral("usage: varnel-cli meter show FILE [--json]"));
        return kExitUsage;
    }
    TMeterRecord record;
    QString error;
    // A file whose texts are not numbers is no meter file: refused as the editor's Open does.
    if (!ReadMeterFile(path, record, error) || !CheckMeterTexts(record, path, error)) {
        err(error);
        return kExitFailure;
    }
    const int n = record.usableRows();
    const bool metric = record.Metric() != 0;
    const bool frequency = record.Frequency() != 0;
    if (json) {
        QStringList rows;
        for (int r = 1; r <= n; ++r)
            rows.append(QStringLiteral("{\"signal\":%1,\"flow\":%2}")
                            .arg(jsonString(record.SignalText(r)), jsonString(record.FlowText(r))));
        out(QStringLiteral("{\"partNumber\":%1,\"description1\":%2,\"description2\":%3,"
                           "\"metric\":%4,\"frequency\":%5,\"pointCount\":%6,\"rows\":[%7]}")
                .arg(jsonString(record.PartNumber()), jsonString(record.Description1()),
                     jsonString(record.Description2()))
                .arg(metric ? 1 : 0)
                .arg(frequency ? 1 : 0)
                .arg(n)
                .arg(rows.join(QLatin1Char(','))));
        return kExitOk;
    }
    out(QStringLiteral("part number: %1").arg(record.PartNumber()));
    out(QStringLiteral("description: %1").arg(record.Description1()));
    out(QStringLiteral("description: %1").arg(record.Description2()));
    out(QStringLiteral("unit: %1").arg(metric ? QStringLiteral("kg/hr") : QStringLiteral("lb/hr")));
    out(QStringLiteral("signal: %1")
            .arg(frequency ? QStringLiteral("hertz") : QStringLiteral("volts")));
    out(QStringLiteral("points: %1").arg(n));
    for (int r = 1; r <= n; ++r) out(record.SignalText(r) + QLatin1Char('\t') + record.FlowText(r));
    return kExitOk;
}

int meterImport(const QStringList& args) {
    if (args.size() != 2 || args[0].startsWith(QLatin1String("--")) ||
        args[1].startsWith(QLatin1String("--"))) {
        err(QStringLiteral("usage: varnel-cli meter import TEXT OUT"));
        return kExitUsage;
    }
    QByteArray data;
    QString error;
    if (!ReadFileStart(args[0], 64LL * 1024 * 1024, data, error)) {
        err(error);
        return kExitFailure;
    }
    // The Convert button: the text into the record, the record into the editor's grid
    // (formatted and sorted)...
    TMeterRecord record;
    const MeterImportResult result = ImportMeterText(data, record);
    if (result.points == 0) {
        err(NoPointsMessage(args[0]));
        return kExitFailure;
    }
    MeterForm form = MeterRecordToForm(record);
    SortMeterRows(form.rows);
    if (result.leftOut > 0) err(LeftOutMessage(result.leftOut));
    // ... then Save: the grid back into the record, and the record into the file.
    QString bad;
    switch (MeterFormToRecord(form, record, bad)) {
        case MeterFormError::None:
            break;
        case MeterFormError::Description:
            err(QStringLiteral("Please enter a valid description."));
            return kExitFailure;
        case MeterFormError::PartNumber:
            err(QStringLiteral("Please enter a valid part number."));
            return kExitFailure;
        case MeterFormError::NotANumber:
            err(NotANumberMessage(bad));
            return kExitFailure;
    }
    if (!WriteMeterFile(args[1], record, error)) {
        err(error);
        return kExitFailure;
    }
    return kExitOk;
}

// Fit Curve, then Save: the curve into the editor's grid, the grid into the file.
int meterFit(const QStringList& args) {
    QStringList files;
    MeterFitOptions options;
    QString part;
    bool partGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--unit")) {
            if (!hasValue || !CurveFlowUnitOf(args[++i], options.unit))
                return usageError(QStringLiteral("--unit needs one of ") +
                                  CurveFlowUnitNames().join(QLatin1Char('|')));
        } else if (a == QLatin1String("--to")) {
            const QString to = hasValue ? args[++i] : QString();
            if (to != QLatin1String("kg/h") && to != QLatin1String("lb/h"))
                return usageError(QStringLiteral("--to needs kg/h or lb/h"));
            options.metric = to == QLatin1String("kg/h");
        } else if (a == QLatin1String("--frequency")) {
            options.frequency = true;
        } else if (a == QLatin1String("--part")) {
            if (!hasValue) return usageError(QStringLiteral("--part needs a TEXT"));
            part = args[++i];
            partGiven = true;
        } else if (a == QLatin1String("--points")) {
            bool ok = false;
            options.rows = hasValue ? args[++i].toInt(&ok) : 0;
            if (!ok || options.rows < 2 || options.rows > kMeterRows)
                return usageError(QStringLiteral("--points needs a number from 2 to 62"));
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option ") + a);
        } else {
            files.append(a);
        }
    }
    if (files.size() != 2)
        return usageError(QStringLiteral("meter fit needs a CURVE text and an OUT.maf file"));

    QByteArray data;
    QString error;
    std::vector<CurvePoint> curve;
    MeterFitResult fit;
    if (!ReadFileStart(files[0], 64LL * 1024 * 1024, data, error) ||
        !ReadCurveText(data, curve, error) || !FitMeterCurve(curve, options, fit, error)) {
        err(error);
        return kExitFailure;
    }
    const QFileInfo curveFile(files[0]);
    TMeterRecord record;
    FillFittedRecord(fit, options, partGiven ? part : curveFile.completeBaseName(),
                     curveFile.fileName(), record);
    MeterForm form = MeterRecordToForm(record);
    SortMeterRows(form.rows);
    QString bad;
    if (MeterFormToRecord(form, record, bad) == MeterFormError::PartNumber) {
        err(QStringLiteral("Please enter a valid part number."));
        return kExitFailure;
    }
    if (!WriteMeterFile(files[1], record, error)) {
        err(error);
        return kExitFailure;
    }
    out(FitSummary(fit));
    return kExitOk;
}

}  // namespace

void addMeterCommands(std::vector<Command>& commands) {
    commands.push_back(
        {QStringLiteral("meter show"), QStringLiteral("FILE [--json]"),
         QStringLiteral("print a meter file: part number, description, units, signal "
                        "kind and its rows as stored"),
         meterShow});
    commands.push_back({QStringLiteral("meter import"), QStringLiteral("TEXT OUT"),
                        QStringLiteral("convert a meter text file as the editor's Convert does and "
                                       "save it as the meter file OUT"),
                        meterImport});
    commands.push_back(
        {QStringLiteral("meter fit"),
         QStringLiteral("CURVE OUT.maf [--unit g/s|kg/h|lb/min|lb/h|mg/s] [--to kg/h|lb/h] "
                        "[--frequency] [--part TEXT] [--points N]"),
         QStringLiteral("fit a meter file of at most N (62) rows to a published curve of "
                        "signal/flow points (flows in --unit, default kg/h) and print its worst "
                        "and mean error"),
         meterFit});
}

}  // namespace varnel::cli
