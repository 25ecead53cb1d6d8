#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace varnel {

// The fields Connect and Monitor read from the box's replies (the transfers' are in
// box_transfer.h). Each takes a reply as the link collected
// it (Response: everything after the echoes, terminator included). They read nothing else, so
// whatever a damaged line delivers is either read as these rules say or refused.

// The "Q" reply. Returns 0 when it holds a version number, else the number of the "Invalid
// response from hardware (error n)" message: 2 under 10 characters, 3 no "V" as the third
// character, 4 characters 4 to 6 not a decimal number. versionText (when given) receives those
// three characters trimmed, once the reply is long enough and has its "V".
int CheckVersionReply(const QString& reply, float& version, QString* versionText = nullptr);

// The version field as a decimal number: trimmed of blanks and control characters, '.' as the
// decimal point. False when it is not a number.
bool ParseVersionText(const QString& text, float& value);

// Whether a reported version is the one the project needs (HardwareVersion, in tenths): the
// version times ten, rounded with ties to even. A value beyond any version number never matches.
bool VersionMatches(float version, int16_t hardwareVersion);

// The second "M" reply line: false when it is under 25 characters; else the four adjustments,
// characters 6-9, 11-14, 16-19 and 21-24 as signed 16-bit hexadecimal numbers (a field that is
// not pure hexadecimal counts as 0).
bool ParseMonitorReply(const QString& reply, std::array<int, 4>& adjust);

}  // namespace varnel
