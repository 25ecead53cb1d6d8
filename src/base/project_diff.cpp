#include "project_diff.h"

#include "base/app_state.h"
#include "image/table_view.h"

#include <QDate>
#include <QJsonArray>

namespace varnel {

namespace {

constexpr int kLimitByte = 2 * kLimitEntry;  // 0x48, 0x49

bool entryDiffers(const EepromImage& a, const EepromImage& b, int entry) {
    return a.entry(entry) != b.entry(entry);
}

QString unit(bool frequency) {
    return frequency ? QStringLiteral(" Hz") : QStringLiteral(" V");
}

QString valueText(const QString& text, bool frequency, int word) {
    return QStringLiteral("%1%2 (%3)").arg(text, unit(frequency)).arg(word);
}

QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString outputName(bool frequency) {
    return frequency ? QStringLiteral("Frequency") : QStringLiteral("Voltage");
}

bool isFrequency(uint8_t mode) {
    return (mode & 3) == kModeFrequency;
}

QString byteText(uint8_t value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

ProjectDiff DiffBoxBytes(const EepromImage& a, const EepromImage& b) {
    ProjectDiff d;
    d.aFrequency = a.isFrequencyOutput();
    d.bFrequency = b.isFrequencyOutput();
    for (int n = 0; n < kTransferBytes; ++n)
        if (a.byte(n) != b.byte(n)) d.changed.push_back(n);

    for (int i = 0; i < kTableEntries; ++i) {
        if (!entryDiffers(a, b, i)) continue;
        d.entries.append({i, InputVoltText(i).trimmed(), EntryText(a, i, d.aFrequency).trimmed(),
                          EntryText(b, i, d.bFrequency).trimmed(), a.entry(i), b.entry(i)});
    }
    const uint8_t ma = a.modeByte();
    const uint8_t mb = b.modeByte();
    if (ma != mb) {
        ProjectDiff::Mode m;
        m.a = ma;
        m.b = mb;
        m.outputDiffers = isFrequency(ma) != isFrequency(mb);
        m.invertDiffers = ((ma ^ mb) & kModeInvertBit) != 0;
        // Bits 0-1 are accounted for when they change the kind shown; 1, 0 and 3 all show as
        // voltage, so a change among those is a bit nothing shows.
        const uint8_t shown = uint8_t(kModeInvertBit | (m.outputDiffers ? 3 : 0));
        m.otherBitsDiffer = ((ma ^ mb) & ~shown) != 0;
        d.mode = m;
    }
    for (int k = 1; k <= 4; ++k) {
        const int n = kPotByteOffset + k - 1;
        if (a.byte(n) != b.byte(n))
            d.pots.append({k, PotLoadedText(a.byte(n)), PotLoadedText(b.byte(n))});
    }
    if (entryDiffers(a, b, kLimitEntry))
        d.limit = ProjectDiff::Limit{LimitText(a, d.aFrequency), LimitText(b, d.bFrequency),
                                     a.entry(kLimitEntry), b.entry(kLimitEntry)};
    for (const int n : d.changed) {
        const bool other = n == kPotByteOffset + 4 || (n >= kLimitByte + 2 && n < kTransferBytes);
        if (other) d.bytes.append({n, a.byte(n), b.byte(n)});
    }
    return d;
}

QList<ProjectDiff::HeaderField> HeaderFields(const ProjectHeader& h) {
    QList<ProjectDiff::HeaderField> fields;
    const auto number = [&](const char* name, int value, const QString& text = QString()) {
        fields.append({QLatin1String(name), text.isEmpty() ? QString::number(value) : text,
                       QString(), value, QJsonValue()});
    };
    const auto day = [](int32_t n) {
        return QStringLiteral("%1 (%2)").arg(n).arg(
            QDate(1899, 12, 30).addDays(n).toString(Qt::ISODate));
    };
    const auto text = [&](const char* name, const QString& value) {
        fields.append({QLatin1String(name), value, QString(), value, QJsonValue()});
    };
    number("CreatedDate", h.CreatedDate(), day(h.CreatedDate()));
    number("ModifiedDate", h.ModifiedDate(), day(h.ModifiedDate()));
    number("TotalRecords", h.TotalRecords());
    number("HeaderRecords", h.HeaderRecords());
    number("SoftwareVersion", h.SoftwareVersion());
    number("HardwareVersion", h.HardwareVersion());
    const QString group = GroupName(h.Group());
    number("Group", h.Group(),
           group.isEmpty() ? QString() : QStringLiteral("%1 (%2)").arg(h.Group()).arg(group));
    number("OutputType", h.OutputType());
    number("Metric", h.Metric());
    number("VInMeterGroup", h.VInMeterGroup());
    number("VOutMeterGroup", h.VOutMeterGroup());
    text("ProjectName", h.ProjectName());
    text("Description", h.Description());
    text("VInMeterName", h.VInMeterName());
    text("VOutMeterName", h.VOutMeterName());
    return fields;
}

ProjectDiff DiffProjects(const ProjectHeader& headerA, const EepromImage& a,
                         const ProjectHeader& headerB, const EepromImage& b) {
    ProjectDiff d = DiffBoxBytes(a, b);
    const QList<ProjectDiff::HeaderField> fa = HeaderFields(headerA);
    const QList<ProjectDiff::HeaderField> fb = HeaderFields(headerB);
    for (qsizetype i = 0; i < fa.size(); ++i)
        if (fa[i].aValue != fb[i].aValue)
            d.header.append({fa[i].name, fa[i].a, fb[i].a, fa[i].aValue, fb[i].aValue});
    return d;
}

QList<DiffRow> DiffRows(const ProjectDiff& d) {
    QList<DiffRow> rows;
    for (const ProjectDiff::Entry& e : d.entries)
        rows.append({QStringLiteral("Entry %1 (%2 V in)").arg(e.entry).arg(e.input),
                     valueText(e.a, d.aFrequency, e.aWord), valueText(e.b, d.bFrequency, e.bWord)});
    if (d.mode) {
        const ProjectDiff::Mode& m = *d.mode;
        if (m.outputDiffers)
            rows.append({QStringLiteral("Output"), outputName(isFrequency(m.a)),
                         outputName(isFrequency(m.b))});
        if (m.invertDiffers)
            rows.append({QStringLiteral("Invert"), onOff(m.a & kModeInvertBit),
                         onOff(m.b & kModeInvertBit)});
        if (m.otherBitsDiffer)
            rows.append({QStringLiteral("Byte ") + byteText(kModeByteOffset), byteText(m.a),
                         byteText(m.b)});
    }
    for (const ProjectDiff::Pot& p : d.pots)
        rows.append({QStringLiteral("Pot %1").arg(p.pot), p.a, p.b});
    if (d.limit)
        rows.append({QStringLiteral("Limit"), valueText(d.limit->a, d.aFrequency, d.limit->aWord),
                     valueText(d.limit->b, d.bFrequency, d.limit->bWord)});
    for (const ProjectDiff::Byte& b : d.bytes)
        rows.append(
            {QStringLiteral("Byte ") + byteText(uint8_t(b.address)), byteText(b.a), byteText(b.b)});
    for (const ProjectDiff::HeaderField& f : d.header) rows.append({f.name, f.a, f.b});
    return rows;
}

QStringList DiffLines(const ProjectDiff& diff) {
    QStringList lines;
    for (const DiffRow& r : DiffRows(diff))
        lines.append(r.what + QStringLiteral(": ") + r.a + QStringLiteral(" | ") + r.b);
    return lines;
}

QJsonObject DiffJson(const ProjectDiff& d) {
    QJsonObject o;
    o[QStringLiteral("equal")] = d.equal();
    QJsonArray entries;
    for (const ProjectDiff::Entry& e : d.entries)
        entries.append(QJsonObject{{QStringLiteral("entry"), e.entry},
                                   {QStringLiteral("input"), e.input},
                                   {QStringLiteral("a"), e.a},
                                   {QStringLiteral("b"), e.b},
                                   {QStringLiteral("aWord"), e.aWord},
                                   {QStringLiteral("bWord"), e.bWord}});
    o[QStringLiteral("entries")] = entries;
    const auto mode = [](uint8_t m) {
        return QJsonObject{{QStringLiteral("byte"), int(m)},
                           {QStringLiteral("output"), isFrequency(m) ? QStringLiteral("frequency")
                                                                     : QStringLiteral("voltage")},
                           {QStringLiteral("invert"), (m & kModeInvertBit) != 0}};
    };
    o[QStringLiteral("mode")] =
        d.mode ? QJsonValue(QJsonObject{{QStringLiteral("a"), mode(d.mode->a)},
                                        {QStringLiteral("b"), mode(d.mode->b)}})
               : QJsonValue(QJsonValue::Null);
    QJsonArray pots;
    for (const ProjectDiff::Pot& p : d.pots)
        pots.append(QJsonObject{{QStringLiteral("pot"), p.pot},
                                {QStringLiteral("a"), p.a.toInt()},
                                {QStringLiteral("b"), p.b.toInt()}});
    o[QStringLiteral("pots")] = pots;
    o[QStringLiteral("limit")] =
        d.limit ? QJsonValue(QJsonObject{{QStringLiteral("a"), d.limit->a},
                                         {QStringLiteral("b"), d.limit->b},
                                         {QStringLiteral("aWord"), d.limit->aWord},
                                         {QStringLiteral("bWord"), d.limit->bWord}})
                : QJsonValue(QJsonValue::Null);
    QJsonArray bytes;
    for (const ProjectDiff::Byte& b : d.bytes)
        bytes.append(QJsonObject{{QStringLiteral("address"), b.address},
                                 {QStringLiteral("a"), int(b.a)},
                                 {QStringLiteral("b"), int(b.b)}});
    o[QStringLiteral("bytes")] = bytes;
    QJsonObject header;
    for (const ProjectDiff::HeaderField& f : d.header)
        header[f.name] =
            QJsonObject{{QStringLiteral("a"), f.aValue}, {QStringLiteral("b"), f.bValue}};
    o[QStringLiteral("header")] = header;
    return o;
}

}  // namespace varnel
