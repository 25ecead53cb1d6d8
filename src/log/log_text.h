#pragma once

#include <QByteArray>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace varnel {

// The pieces of a log's text that every part of the reader shares: fields, numbers, missing
// values, names compared as a user means them, and text patterns.

// Splits one line into its fields at sep, taking off the quotes around a quoted field ("" inside
// quotes is one quote; such a field keeps its text in scratch). A quoted field never spans lines.
void SplitLogLine(std::string_view line, char sep, std::vector<std::string_view>& fields,
                  std::string& scratch);

// A number of the log: blanks around it, an optional sign, digits with an optional fraction and
// exponent, decimal as the decimal mark ('.' or ','); finite. False for anything else, an empty
// field included. A field with the other mark in it is no number.
bool LogNumber(std::string_view field, double& value, char decimal = '.');

// A value the logger did not have: an empty field, dashes ("-", "--", ...), "NaN" or "N/A" in
// any case, blanks around them.
bool IsMissingValue(std::string_view field);

// A field without the blanks around it.
std::string_view TrimmedField(std::string_view field);

// A name as names are compared: without case, and with each run of blanks and punctuation read
// as one space (so "A/F Correction #1" equals "a_f correction 1"). Greek small lambda stays.
QString NameKey(const QString& name);

// True when text matches pattern, where '*' stands for any text (none included); letters are
// compared without case (ASCII), and the blanks around text do not count.
bool TextMatches(std::string_view text, std::string_view pattern);

// A count as "4,235": digits in groups of three, whatever the locale.
QString GroupedCount(qint64 n);

}  // namespace varnel
