#include "cli/cli.h"
#include "meter/meter_file.h"
#include "meter/meter_import.h"

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
}

}  // namespace varnel::cli
