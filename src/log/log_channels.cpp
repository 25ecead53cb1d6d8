#include "log_channels.h"

#include "log/log_text.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

// The table, compiled in from channel_names.txt.
const char kChannelNames[] =
#include "channel_names.inc"
    ;

struct Entry {
    QString role;
    QStringList parts;  // the key split at '*'; one part: no wildcard
};

struct Table {
    QHash<QString, QStringList> exact;  // key -> the roles of the lines that have it, in order
    QList<Entry> wild;
};

const Table& table() {
    static const Table t = [] {
        Table built;
        const QString text = QString::fromUtf8(kChannelNames);
        for (const QString& raw : text.split(QLatin1Char('\n'))) {
            const QString line = raw.trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
            qsizetype gap = 0;
            while (gap < line.size() && !line[gap].isSpace()) ++gap;
            if (gap == line.size()) continue;
            const QString role = line.left(gap);
            const QString name = line.mid(gap).trimmed();
            if (!name.contains(QLatin1Char('*'))) {
                built.exact[NameKey(name)].append(role);
                continue;
            }
            Entry e{role, {}};
            for (const QString& part : name.split(QLatin1Char('*'))) e.parts.append(NameKey(part));
            built.wild.append(e);
        }
        return built;
    }();
    return t;
}

// key matches parts joined by '*' (each part a NameKey, so blanks around a '*' do not count).
bool wildMatch(const QString& key, const QStringList& parts) {
    if (!key.startsWith(parts.front())) return false;
    qsizetype at = parts.front().size();
    for (qsizetype k = 1; k < parts.size(); ++k) {
        const QString& part = parts[k];
        if (k == parts.size() - 1) return part.isEmpty() || key.mid(at).trimmed().endsWith(part);
        const qsizetype found = key.indexOf(part, at);
        if (found < 0) return false;
        at = found + part.size();
    }
    return true;
}

struct UnitRow {
    const char* text;
    UnitKind kind;
    double scale;
    double offset;
    bool caseSensitive;
};

constexpr double kPound = 453.59237;  // grams

const UnitRow kUnits[] = {
    {"V", UnitKind::Volts, 1, 0, false},
    {"volt", UnitKind::Volts, 1, 0, false},
    {"volts", UnitKind::Volts, 1, 0, false},
    {"mV", UnitKind::Volts, 0.001, 0, true},
    {"Hz", UnitKind::Hertz, 1, 0, false},
    {"kHz", UnitKind::Hertz, 1000, 0, false},
    {"g/s", UnitKind::MassFlow, 1, 0, false},
    {"g/sec", UnitKind::MassFlow, 1, 0, false},
    {"gps", UnitKind::MassFlow, 1, 0, false},
    {"gm/s", UnitKind::MassFlow, 1, 0, false},
    {"gm/sec", UnitKind::MassFlow, 1, 0, false},
    {"grams/sec", UnitKind::MassFlow, 1, 0, false},
    {"grams/s", UnitKind::MassFlow, 1, 0, false},
    {"kg/s", UnitKind::MassFlow, 1000, 0, false},
    {"kg/h", UnitKind::MassFlow, 1000.0 / 3600, 0, false},
    {"kg/hr", UnitKind::MassFlow, 1000.0 / 3600, 0, false},
    {"kg/hour", UnitKind::MassFlow, 1000.0 / 3600, 0, false},
    {"kgh", UnitKind::MassFlow, 1000.0 / 3600, 0, false},
    {"lb/min", UnitKind::MassFlow, kPound / 60, 0, false},
    {"lbs/min", UnitKind::MassFlow, kPound / 60, 0, false},
    {"lb/m", UnitKind::MassFlow, kPound / 60, 0, false},
    {"lbm/min", UnitKind::MassFlow, kPound / 60, 0, false},
    {"lb/h", UnitKind::MassFlow, kPound / 3600, 0, false},
    {"lb/hr", UnitKind::MassFlow, kPound / 3600, 0, false},
    {"lbs/h", UnitKind::MassFlow, kPound / 3600, 0, false},
    {"lbs/hr", UnitKind::MassFlow, kPound / 3600, 0, false},
    {"cfm", UnitKind::VolumeFlow, 1, 0, false},
    {"ft3/min", UnitKind::VolumeFlow, 1, 0, false},
    {"ft³/min", UnitKind::VolumeFlow, 1, 0, false},
    {"cu ft/min", UnitKind::VolumeFlow, 1, 0, false},
    {"%", UnitKind::Percent, 1, 0, false},
    {"pct", UnitKind::Percent, 1, 0, false},
    {"percent", UnitKind::Percent, 1, 0, false},
    {"-", UnitKind::Factor, 1, 0, false},
    {"factor", UnitKind::Factor, 1, 0, false},
    {"fac", UnitKind::Factor, 1, 0, false},
    {"ratio", UnitKind::Factor, 1, 0, false},
    {"°C", UnitKind::Temperature, 1, 0, false},
    {"ºC", UnitKind::Temperature, 1, 0, false},
    {"C", UnitKind::Temperature, 1, 0, false},
    {"degC", UnitKind::Temperature, 1, 0, false},
    {"deg C", UnitKind::Temperature, 1, 0, false},
    {"celsius", UnitKind::Temperature, 1, 0, false},
    {"°F", UnitKind::Temperature, 5.0 / 9, -160.0 / 9, false},
    {"ºF", UnitKind::Temperature, 5.0 / 9, -160.0 / 9, false},
    {"F", UnitKind::Temperature, 5.0 / 9, -160.0 / 9, false},
    {"degF", UnitKind::Temperature, 5.0 / 9, -160.0 / 9, false},
    {"deg F", UnitKind::Temperature, 5.0 / 9, -160.0 / 9, false},
    {"fahrenheit", UnitKind::Temperature, 5.0 / 9, -160.0 / 9, false},
    {"K", UnitKind::Temperature, 1, -273.15, true},
    {"s", UnitKind::Time, 1, 0, false},
    {"sec", UnitKind::Time, 1, 0, false},
    {"secs", UnitKind::Time, 1, 0, false},
    {"second", UnitKind::Time, 1, 0, false},
    {"seconds", UnitKind::Time, 1, 0, false},
    {"stamp", UnitKind::Time, 1, 0, false},
    {"ms", UnitKind::Time, 0.001, 0, false},
    {"msec", UnitKind::Time, 0.001, 0, false},
    {"millisec", UnitKind::Time, 0.001, 0, false},
    {"milliseconds", UnitKind::Time, 0.001, 0, false},
    {"min", UnitKind::Time, 60, 0, true},
    {"rpm", UnitKind::Rpm, 1, 0, false},
    {"1/min", UnitKind::Rpm, 1, 0, false},
    {"/min", UnitKind::Rpm, 1, 0, false},
    {"u/min", UnitKind::Rpm, 1, 0, false},
    {"rev/min", UnitKind::Rpm, 1, 0, false},
    {"revs", UnitKind::Rpm, 1, 0, false},
    {"AFR", UnitKind::Afr, 1, 0, false},
    {":1", UnitKind::Afr, 1, 0, false},
    {"A/F", UnitKind::Afr, 1, 0, false},
    {"λ", UnitKind::Lambda, 1, 0, false},
    {"lambda", UnitKind::Lambda, 1, 0, false},
    {"lam", UnitKind::Lambda, 1, 0, false},
    {"°", UnitKind::Angle, 1, 0, false},
    {"º", UnitKind::Angle, 1, 0, false},
    {"deg", UnitKind::Angle, 1, 0, false},
    {"degrees", UnitKind::Angle, 1, 0, false},
    {"kPa", UnitKind::Other, 1, 0, false},
    {"hPa", UnitKind::Other, 1, 0, false},
    {"Pa", UnitKind::Other, 1, 0, false},
    {"bar", UnitKind::Other, 1, 0, false},
    {"mbar", UnitKind::Other, 1, 0, false},
    {"psi", UnitKind::Other, 1, 0, false},
    {"psig", UnitKind::Other, 1, 0, false},
    {"psia", UnitKind::Other, 1, 0, false},
    {"inHg", UnitKind::Other, 1, 0, false},
    {"km/h", UnitKind::Other, 1, 0, false},
    {"kph", UnitKind::Other, 1, 0, false},
    {"mph", UnitKind::Other, 1, 0, false},
    {"mg/stk", UnitKind::Other, 1, 0, false},
    {"g/rev", UnitKind::Other, 1, 0, false},
    {"g/cyl", UnitKind::Other, 1, 0, false},
    {"mg/cyl", UnitKind::Other, 1, 0, false},
    {"mg/hub", UnitKind::Other, 1, 0, false},
    {"A", UnitKind::Other, 1, 0, true},
    {"mA", UnitKind::Other, 1, 0, true},
    {"Nm", UnitKind::Other, 1, 0, false},
    {"bool", UnitKind::Other, 1, 0, false},
    {"count", UnitKind::Other, 1, 0, false},
    {"counts", UnitKind::Other, 1, 0, false},
};

QString unbracketed(QString text) {
    text = text.trimmed();
    while (text.size() >= 2 &&
           ((text.front() == QLatin1Char('(') && text.back() == QLatin1Char(')')) ||
            (text.front() == QLatin1Char('[') && text.back() == QLatin1Char(']'))))
        text = text.mid(1, text.size() - 2).trimmed();
    return text;
}

QString range(const ColumnSample& s) {
    auto n = [](double v) { return QString::number(v, 'g', 4); };
    return s.min == s.max ? n(s.min) : n(s.min) + QStringLiteral(" to ") + n(s.max);
}

bool within(const ColumnSample& s, double lo, double hi) {
    return s.numbers > 0 && s.min >= lo && s.max <= hi;
}

// The unit's range after the scale, for the checks.
ColumnSample scaled(ColumnSample s, const UnitScale& u) {
    s.min = u.apply(s.min);
    s.max = u.apply(s.max);
    if (s.min > s.max) std::swap(s.min, s.max);
    return s;
}

// The meter's reading: signal or flow, the unit decides over the name.
void flowRole(LogColumn& c, const QString& word, const UnitInfo& u) {
    const ColumnSample& s = c.sample;
    LogRole role = LogRole::None;
    UnitScale scale = u.scale;
    switch (u.kind) {
        case UnitKind::Volts:
            role = LogRole::SignalVolts;
            break;
        case UnitKind::Hertz:
            role = LogRole::SignalHertz;
            break;
        case UnitKind::MassFlow:
            role = LogRole::MassFlow;
            break;
        case UnitKind::VolumeFlow:
            role = LogRole::VolumeFlow;
            break;
        case UnitKind::None:
        case UnitKind::Factor:
            scale = UnitScale();
            if (word == QLatin1String("signal-volts")) {
                role = LogRole::SignalVolts;
            } else if (word == QLatin1String("signal-hertz")) {
                role = LogRole::SignalHertz;
            } else if (word == QLatin1String("mass-flow")) {
                role = LogRole::MassFlow;
                c.note = QStringLiteral("no unit: read as g/s");
            } else if (word == QLatin1String("volume-flow")) {
                role = LogRole::VolumeFlow;
                c.note = QStringLiteral("no unit: read as cfm");
            } else if (within(s, -0.5, 6)) {
                role = LogRole::SignalVolts;
                c.note = QStringLiteral("no unit: values %1 read as volts").arg(range(s));
            } else {
                c.note = QStringLiteral(
                             "no unit, and values %1 are no signal in volts: give the "
                             "column its unit")
                             .arg(range(s));
                return;
            }
            break;
        default:
            c.note = QStringLiteral("unit %1 is neither a signal's nor an air flow's").arg(c.unit);
            return;
    }
    const ColumnSample v = scaled(s, scale);
    if (role == LogRole::SignalVolts && !within(v, -0.5, 6)) {
        c.note = QStringLiteral("values %1: no signal in volts").arg(range(v));
        return;
    }
    if (role == LogRole::SignalHertz && !within(v, 0, 30000)) {
        c.note = QStringLiteral("values %1: no signal in hertz").arg(range(v));
        return;
    }
    if ((role == LogRole::MassFlow || role == LogRole::VolumeFlow) && !within(v, -1, 5000)) {
        c.note = QStringLiteral("values %1: no air flow").arg(range(v));
        return;
    }
    c.role = role;
    c.scale = scale;
}

void trimRole(LogColumn& c, LogRole role, const UnitInfo& u) {
    const ColumnSample& s = c.sample;
    if (u.kind == UnitKind::Percent) {
        if (!within(s, -100, 100)) {
            c.note = QStringLiteral("values %1: no trim in percent").arg(range(s));
            return;
        }
        c.role = role;
        return;
    }
    if (u.kind != UnitKind::None && u.kind != UnitKind::Factor) {
        c.note = QStringLiteral("unit %1 is no trim's").arg(c.unit);
        return;
    }
    if (within(s, 0.5, 1.5)) {
        c.role = role;
        c.scale = UnitScale{100, -100};
        c.note = QStringLiteral("values near 1.0: read as factors");
        return;
    }
    if (u.kind == UnitKind::Factor && c.unit != QLatin1String("-")) {
        c.note = QStringLiteral("values %1 are no factors").arg(range(s));
        return;
    }
    if (!within(s, -100, 100)) {
        c.note = QStringLiteral("values %1: no trim").arg(range(s));
        return;
    }
    c.role = role;
}

// AFR or lambda: the values decide, as an AFR of 1.6 or a lambda of 5 cannot be.
void mixtureRole(LogColumn& c, bool target, bool namedLambda) {
    const ColumnSample& s = c.sample;
    const bool lambda = within(s, 0.5, 1.6);
    const bool afr = within(s, 5, 30);
    if (!lambda && !afr) {
        c.note = QStringLiteral("values %1 are neither an AFR nor a lambda").arg(range(s));
        return;
    }
    if (lambda)
        c.role = target ? LogRole::LambdaTarget : LogRole::Lambda;
    else
        c.role = target ? LogRole::AfrTarget : LogRole::Afr;
    if (lambda != namedLambda)
        c.note = lambda ? QStringLiteral("values %1: a lambda, not an AFR").arg(range(s))
                        : QStringLiteral("values %1: an AFR, not a lambda").arg(range(s));
}

void checkedRole(LogColumn& c, LogRole role, const UnitInfo& u,
                 std::initializer_list<UnitKind> kinds, double lo, double hi, const char* what) {
    bool unitFits = u.kind == UnitKind::None;
    for (const UnitKind k : kinds) unitFits = unitFits || u.kind == k;
    if (!unitFits) {
        c.note = QStringLiteral("unit %1 is no %2's").arg(c.unit, QLatin1String(what));
        return;
    }
    const UnitScale scale = u.kind == UnitKind::None ? UnitScale() : u.scale;
    const ColumnSample v = scaled(c.sample, scale);
    if (!within(v, lo, hi)) {
        c.note = QStringLiteral("values %1: no %2").arg(range(c.sample), QLatin1String(what));
        return;
    }
    c.role = role;
    c.scale = scale;
}

void loopRole(LogColumn& c, char decimal) {
    const ColumnSample& s = c.sample;
    bool states = s.numbers + s.texts > 0;
    if (s.numbers > 0) {
        states = states && s.texts == 0;
        for (const double v : s.distinctNumbers)
            states = states && (v == 0 || v == 1 || v == 2 || v == 4 || v == 8 || v == 16);
    }
    for (const QByteArray& t : s.textValues)
        states = states && ReadLoopState(std::string_view(t.constData(), size_t(t.size())),
                                         decimal) != LoopState::Unknown;
    if (!states) {
        c.note = QStringLiteral("values are no loop states");
        return;
    }
    c.role = LogRole::Loop;
}

void timeRole(LogColumn& c, const UnitInfo& u) {
    if (u.kind == UnitKind::Time) {
        c.role = LogRole::Time;
        c.scale = u.scale;
        return;
    }
    if (u.kind != UnitKind::None) {
        c.note = QStringLiteral("unit %1 is no time's").arg(c.unit);
        return;
    }
    c.role = LogRole::Time;
    // Loggers write seconds with a fraction or whole milliseconds; a step of 5 or more between
    // rows is milliseconds (no logger writes a row every five seconds).
    if (c.sample.medianStep >= 5) {
        c.scale = UnitScale{0.001, 0};
        c.note = QStringLiteral("no unit: steps of %1 read as milliseconds")
                     .arg(QString::number(c.sample.medianStep, 'g', 4));
    } else {
        c.note = QStringLiteral("no unit: read as seconds");
    }
}

QStringList keysOf(const LogColumn& c) {
    QStringList keys = {NameKey(c.name), NameKey(c.header)};
    // "Coolant Temp (C)" seen as a bare text, its unit not taken off yet.
    for (const QChar open : {QLatin1Char('('), QLatin1Char('[')}) {
        const qsizetype at = c.header.lastIndexOf(open);
        if (at > 0) keys.append(NameKey(c.header.left(at)));
    }
    // "MAF V": the name without the unit that ends it.
    if (!c.unit.isEmpty() && c.name.endsWith(c.unit)) {
        const QString bare = c.name.left(c.name.size() - c.unit.size());
        if (!bare.trimmed().isEmpty() && !bare.back().isLetterOrNumber())
            keys.append(NameKey(bare));
    }
    for (const QString& a : c.aliases) keys.append(NameKey(unbracketed(a)));
    keys.removeAll(QString());
    return keys;
}

}  // namespace

UnitInfo ParseUnit(const QString& text) {
    static const QStringList units = [] {
        QStringList texts;
        for (const UnitRow& row : kUnits) texts.append(QString::fromUtf8(row.text));
        return texts;
    }();
    const QString t = unbracketed(text);
    if (t.isEmpty()) return {UnitKind::None, {}};
    for (qsizetype k = 0; k < units.size(); ++k) {
        const UnitRow& row = kUnits[k];
        if (row.caseSensitive ? t == units[k] : t.compare(units[k], Qt::CaseInsensitive) == 0)
            return {row.kind, {row.scale, row.offset}};
    }
    return {UnitKind::Unknown, {}};
}

bool LooksLikeUnit(const QString& text) {
    const QString t = unbracketed(text);
    if (t.isEmpty()) return false;
    if (ParseUnit(t).kind != UnitKind::Unknown) return true;
    return t.size() <= 12 && (t.contains(QLatin1Char('/')) || t.contains(QLatin1Char('%')) ||
                              t.contains(QChar(0xB0)));
}

QString ChannelTableRole(const QStringList& keys, const QString& prefix) {
    const Table& t = table();
    for (const QString& key : keys)
        if (const auto it = t.exact.constFind(key); it != t.exact.cend())
            for (const QString& role : *it)
                if (role.startsWith(prefix)) return role;
    for (const QString& key : keys)
        for (const Entry& e : t.wild)
            if (e.role.startsWith(prefix) && wildMatch(key, e.parts)) return e.role;
    return {};
}

int KnownChannelNames(const QStringList& texts) {
    int n = 0;
    for (const QString& text : texts) {
        LogColumn c;
        c.header = c.name = text;
        n += ChannelTableRole(keysOf(c)).isEmpty() ? 0 : 1;
    }
    return n;
}

bool ReadAsTrim(const LogColumn& column, UnitScale& scale, QString& note) {
    LogColumn c = column;
    c.role = LogRole::None;
    c.scale = UnitScale();
    c.note.clear();
    const UnitInfo u = ParseUnit(c.unit);
    if (c.numeric && u.kind != UnitKind::Unknown) trimRole(c, LogRole::TrimShort, u);
    scale = c.scale;
    note = c.note;
    return c.role != LogRole::None;
}

void AssignRoles(LogLayout& layout) {
    for (LogColumn& c : layout.columns) {
        c.role = LogRole::None;
        c.scale = UnitScale();
        c.note.clear();
        const QString word = ChannelTableRole(keysOf(c));
        if (word.isEmpty() || word.startsWith(QLatin1String("reading-"))) continue;
        const UnitInfo u = ParseUnit(c.unit);
        if (word == QLatin1String("loop")) {
            loopRole(c, layout.decimal);
            continue;
        }
        if (!c.numeric) {
            c.note = c.sample.numbers + c.sample.texts == 0
                         ? QStringLiteral("no values")
                         : QStringLiteral("holds text, not numbers");
            continue;
        }
        if (u.kind == UnitKind::Unknown) {
            c.note = QStringLiteral("unit %1 is not one the reader knows").arg(c.unit);
            continue;
        }
        if (word == QLatin1String("trim-short") || word == QLatin1String("trim-long")) {
            trimRole(
                c, word == QLatin1String("trim-short") ? LogRole::TrimShort : LogRole::TrimLong, u);
        } else if (word == QLatin1String("afr") || word == QLatin1String("afr-target") ||
                   word == QLatin1String("lambda") || word == QLatin1String("lambda-target")) {
            mixtureRole(c, word.endsWith(QLatin1String("-target")),
                        word.startsWith(QLatin1String("lambda")));
        } else if (word == QLatin1String("coolant") || word == QLatin1String("intake-temp")) {
            checkedRole(c,
                        word == QLatin1String("coolant") ? LogRole::Coolant : LogRole::IntakeTemp,
                        u, {UnitKind::Temperature}, -60, 250, "temperature");
        } else if (word == QLatin1String("throttle")) {
            checkedRole(c, LogRole::Throttle, u, {UnitKind::Percent, UnitKind::Angle}, -5, 110,
                        "throttle");
        } else if (word == QLatin1String("rpm")) {
            checkedRole(c, LogRole::Rpm, u, {UnitKind::Rpm}, 0, 25000, "engine speed");
        } else if (word == QLatin1String("time")) {
            timeRole(c, u);
        } else {
            flowRole(c, word, u);
        }
    }
}

}  // namespace varnel
