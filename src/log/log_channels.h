#pragma once

#include "log/log_layout.h"

#include <QString>
#include <QStringList>

namespace varnel {

// Channel names and units: which column of a log is what. The names are data
// (channel_names.txt, compiled in); the units and the checks of each role against the values
// are here.

enum class UnitKind {
    Unknown,  // a text that is no unit the reader knows
    None,     // no unit at all
    Volts,
    Hertz,
    MassFlow,
    VolumeFlow,
    Percent,
    Factor,  // "-", "factor", "ratio": a number without a unit
    Temperature,
    Time,
    Rpm,
    Afr,
    Lambda,
    Angle,
    Other,  // a unit, but of nothing a role takes (kPa, km/h, g/rev, ...)
};

struct UnitInfo {
    UnitKind kind = UnitKind::None;
    UnitScale scale;  // into volts, hertz, g/s, cfm, degrees Celsius, seconds
};

// The unit a text names, blanks and brackets around it ignored, in any case where case does not
// matter ("ms" and "MS" are both milliseconds, "mV" is not "MV").
UnitInfo ParseUnit(const QString& text);

// Whether a text reads as a unit: one ParseUnit knows, or one that has '/', '%' or '°' in it.
bool LooksLikeUnit(const QString& text);

// The role word the channel table gives the first of keys (NameKey texts) that it names, of the
// words that begin with prefix; "" when it names none. Words are the file's: "signal-volts",
// "maf", "reading-time", ...
QString ChannelTableRole(const QStringList& keys, const QString& prefix = QString());

// How many of the texts the channel table names: the row of names scores higher than an alias
// or group row.
int KnownChannelNames(const QStringList& texts);

// How a column chosen as a fuel trim reads, whatever its name: true, with the scale into percent
// (factors near 1.0 become percent) and the note that says so; false when its unit or values are
// no trim's.
bool ReadAsTrim(const LogColumn& column, UnitScale& scale, QString& note);

// Gives each column its role from its name (the table), its unit and its sampled values, with
// the note that says why where they disagree. Columns keep their unit and name.
void AssignRoles(LogLayout& layout);

}  // namespace varnel
