#include "datalog.h"

#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <cstring>

namespace varnel {

namespace {

constexpr qsizetype kChunk = 1 << 18;

bool blank(char c) {
    return c == ' ' || c == '\t';
}

QString folded(const QString& name) {
    return name.trimmed().toCaseFolded();
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

bool LogNumber(std::string_view field, double& value) {
    size_t b = 0;
    size_t e = field.size();
    while (b < e && blank(field[b])) ++b;
    while (e > b && blank(field[e - 1])) --e;
    if (b < e && field[b] == '+') ++b;
    const size_t digits = b < e && field[b] == '-' ? b + 1 : b;
    // from_chars also reads "inf", "nan" and a leading '-' before them; a log has no use for
    // those.
    if (digits >= e || !((field[digits] >= '0' && field[digits] <= '9') || field[digits] == '.'))
        return false;
    const char* first = field.data() + b;
    const char* last = field.data() + e;
    double v = 0;
    const auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(v)) return false;
    value = v;
    return true;
}

QString NoColumnMessage(const QString& name) {
    return QStringLiteral("The log has no column '%1'.").arg(name);
}

bool DatalogReader::open(const QString& path, QString& error) {
    error.clear();
    if (!QFileInfo::exists(path)) {
        error = path + QStringLiteral(" not found");
        return false;
    }
    file_.setFileName(path);
    if (QFileInfo(path).isDir() || !file_.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Error reading ") + path;
        return false;
    }
    size_ = file_.size();
    buf_.assign(size_t(kChunk + kMaxLine), '\0');

    std::string_view header;
    columns_.clear();
    keys_.clear();
    if (nextLine(header)) {
        if (header.substr(0, 3) == "\xEF\xBB\xBF") header.remove_prefix(3);  // a spreadsheet's BOM
        bool quoted = false;
        for (const char c : header) {
            if (c == '"') quoted = !quoted;
            if (!quoted && (c == '\t' || c == ';' || c == ',')) {
                sep_ = c;
                break;
            }
        }
        std::vector<std::string_view> names;
        SplitLogLine(header, sep_, names, unquoted_);
        for (const std::string_view name : names) {
            columns_.append(QString::fromUtf8(name.data(), qsizetype(name.size())).trimmed());
            keys_.push_back(folded(columns_.back()));
        }
    }
    if (failed_) {
        error = QStringLiteral("Error reading ") + path;
        return false;
    }
    return true;
}

int DatalogReader::columnIndex(const QString& name) const {
    const QString key = folded(name);
    for (size_t i = 0; i < keys_.size(); ++i)
        if (keys_[i] == key) return int(i);
    return -1;
}

bool DatalogReader::fill() {
    const qsizetype pending = end_ - begin_;
    if (pending > 0 && begin_ > 0) std::memmove(buf_.data(), buf_.data() + begin_, size_t(pending));
    begin_ = 0;
    end_ = pending;
    const qint64 got = file_.read(buf_.data() + end_, qint64(buf_.size()) - end_);
    if (got < 0) {
        failed_ = true;
        eof_ = true;
        return false;
    }
    if (got == 0) eof_ = true;
    end_ += got;
    return got > 0;
}

bool DatalogReader::nextLine(std::string_view& line) {
    for (;;) {
        const char* from = buf_.data() + begin_;
        const auto* nl = static_cast<const char*>(std::memchr(from, '\n', size_t(end_ - begin_)));
        if (nl || (eof_ && end_ > begin_)) {
            const qsizetype len = nl ? nl - from : end_ - begin_;
            line = std::string_view(from, size_t(len));
            begin_ += len + (nl ? 1 : 0);
            consumed_ += len + (nl ? 1 : 0);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (std::exchange(skipping_, false)) line = std::string_view(nullptr, 0);
            return true;
        }
        if (eof_) {
            // A line that was too long and ended with the file.
            if (std::exchange(skipping_, false)) {
                line = std::string_view(nullptr, 0);
                return true;
            }
            return false;
        }
        if (end_ - begin_ > kMaxLine) {
            // Nothing of a line this long is kept; the rest of it goes as it comes.
            consumed_ += end_ - begin_;
            begin_ = end_;
            skipping_ = true;
        }
        fill();
    }
}

bool DatalogReader::next(std::vector<std::string_view>& fields) {
    std::string_view line;
    for (;;) {
        if (!nextLine(line)) return false;
        if (line.data() == nullptr) {
            // The remains of an overlong line: a row that has no fields at all.
            fields.clear();
            return true;
        }
        if (!line.empty()) break;
    }
    SplitLogLine(line, sep_, fields, unquoted_);
    return true;
}

}  // namespace varnel
