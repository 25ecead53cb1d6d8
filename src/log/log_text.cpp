#include "log_text.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace varnel {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

}  // namespace

void SplitLogLine(std::string_view line, char sep, std::vector<std::string_view>& fields,
                  std::string& scratch) {
    fields.clear();
    scratch.clear();
    // Unquoted text is never longer than the line, so the views into scratch stay valid.
    scratch.reserve(line.size());
    const size_t n = line.size();
    size_t i = 0;
    for (;;) {
        size_t j = i;
        while (j < n && line[j] == ' ') ++j;
        size_t next = n;
        if (j < n && line[j] == '"') {
            size_t k = j + 1;
            bool doubled = false;
            while (k < n) {
                if (line[k] == '"') {
                    if (k + 1 < n && line[k + 1] == '"') {
                        doubled = true;
                        k += 2;
                        continue;
                    }
                    break;
                }
                ++k;
            }
            std::string_view text = line.substr(j + 1, std::min(k, n) - (j + 1));
            if (doubled) {
                const size_t start = scratch.size();
                for (size_t c = 0; c < text.size(); ++c) {
                    scratch.push_back(text[c]);
                    if (text[c] == '"') ++c;
                }
                text = std::string_view(scratch.data() + start, scratch.size() - start);
            }
            fields.push_back(text);
            // Whatever stands between the closing quote and the separator is not part of it.
            const size_t at = k < n ? line.find(sep, k) : std::string_view::npos;
            next = at == std::string_view::npos ? n : at;
        } else {
            const void* at = n > i ? std::memchr(line.data() + i, sep, n - i) : nullptr;
            next = at ? size_t(static_cast<const char*>(at) - line.data()) : n;
            fields.push_back(line.substr(i, next - i));
        }
        if (next >= n) return;
        i = next + 1;
    }
}

std::string_view TrimmedField(std::string_view field) {
    size_t b = 0;
    size_t e = field.size();
    while (b < e && blank(field[b])) ++b;
    while (e > b && blank(field[e - 1])) --e;
    return field.substr(b, e - b);
}

bool LogNumber(std::string_view field, double& value, char decimal) {
    field = TrimmedField(field);
    size_t b = 0;
    const size_t e = field.size();
    if (b < e && field[b] == '+') ++b;
    const size_t digits = b < e && field[b] == '-' ? b + 1 : b;
    // from_chars also reads "inf", "nan" and a leading '-' before them; a log has no use for
    // those.
    if (digits >= e ||
        !((field[digits] >= '0' && field[digits] <= '9') || field[digits] == decimal))
        return false;
    const char* first = field.data() + b;
    const char* last = field.data() + e;
    char copy[64];
    if (decimal != '.') {
        // from_chars reads only '.': the field is copied with its mark turned, and a '.' in it
        // (a thousands mark, or a number of the other kind) makes it no number.
        const size_t len = e - b;
        if (len >= sizeof copy) return false;
        for (size_t k = 0; k < len; ++k) {
            const char c = first[k];
            if (c == '.') return false;
            copy[k] = c == decimal ? '.' : c;
        }
        first = copy;
        last = copy + len;
    }
    double v = 0;
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool IsMissingValue(std::string_view field) {
    field = TrimmedField(field);
    if (field.empty()) return true;
    bool dashes = true;
    for (const char c : field) dashes = dashes && c == '-';
    if (dashes) return true;
    if (field.size() != 3) return false;
    const char a = lower(field[0]);
    const char b = lower(field[1]);
    const char c = lower(field[2]);
    return (a == 'n' && b == 'a' && c == 'n') || (a == 'n' && b == '/' && c == 'a');
}

QString NameKey(const QString& name) {
    QString key;
    key.reserve(name.size());
    bool gap = false;
    for (const QChar c : name) {
        if (c.isLetterOrNumber()) {
            if (gap && !key.isEmpty()) key.append(QLatin1Char(' '));
            gap = false;
            key.append(c.toCaseFolded());
        } else {
            gap = true;
        }
    }
    return key;
}

bool TextMatches(std::string_view text, std::string_view pattern) {
    text = TrimmedField(text);
    pattern = TrimmedField(pattern);
    // The usual greedy match with one point to come back to: linear enough for a log's fields.
    size_t t = 0;
    size_t p = 0;
    size_t star = std::string_view::npos;
    size_t mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] != '*' && lower(pattern[p]) == lower(text[t])) {
            ++t;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

QString GroupedCount(qint64 n) {
    QString digits = QString::number(n < 0 ? -n : n);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
    return n < 0 ? QLatin1Char('-') + digits : digits;
}

}  // namespace varnel
