#include "log_reader.h"

#include "log/log_channels.h"
#include "log/log_text.h"

#include <QFileInfo>
#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace varnel {

namespace {

constexpr qsizetype kChunk = 1 << 18;
constexpr qsizetype kBuffer = kChunk + LogReader::kMaxLine;
constexpr int kDetectLines = 5000;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(std::string_view line) {
    for (const char c : line)
        if (c != ' ' && c != '\t') return false;
    return true;
}

// A comment or a line of stars: '#' or '*' first, after any blanks.
bool isComment(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return i < line.size() && (line[i] == '#' || line[i] == '*');
}

QString decoded(std::string_view bytes, bool latin1) {
    return latin1 ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size()))
                  : QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// What the head of the file looks like split at one separator.
struct SplitView {
    char sep = ',';
    char decimal = '.';
    int n = 0;              // the field count of most rows
    long score = -1;        // numbers in the rows of n fields
    bool trailing = false;  // every such row ends in an empty field (a separator after the last)
    std::vector<int> fields;
    std::vector<int> numbers;
    std::vector<char> lastEmpty;
    std::vector<char> rowLike;

    bool fits(size_t i) const {
        const int nf = fields[i];
        return nf == n || (nf == n + 1 && lastEmpty[i]) || (nf == n - 1 && trailing);
    }
};

SplitView splitView(const std::vector<std::string_view>& lines, const std::vector<char>& content,
                    char sep, DecimalMark mark) {
    SplitView v;
    v.sep = sep;
    const size_t count = lines.size();
    v.fields.assign(count, 0);
    v.numbers.assign(count, 0);
    v.lastEmpty.assign(count, 0);
    v.rowLike.assign(count, 0);
    std::vector<int> points(count, 0);
    std::vector<int> commas(count, 0);
    std::vector<char> missingOnly(count, 0);
    long pointOnly = 0;
    long commaOnly = 0;
    std::vector<std::string_view> fields;
    std::string scratch;
    for (size_t i = 0; i < count; ++i) {
        if (!content[i]) continue;
        SplitLogLine(lines[i], sep, fields, scratch);
        v.fields[i] = int(fields.size());
        v.lastEmpty[i] = TrimmedField(fields.back()).empty();
        bool missing = true;
        bool marked = false;
        for (const std::string_view f : fields) {
            double d = 0;
            const bool p = LogNumber(f, d, '.');
            const bool c = LogNumber(f, d, ',');
            points[i] += p;
            commas[i] += c;
            pointOnly += p && !c;
            commaOnly += c && !p;
            const bool gap = IsMissingValue(f);
            missing = missing && gap;
            marked = marked || (gap && !TrimmedField(f).empty());
        }
        missingOnly[i] = missing && marked;
    }
    v.decimal = mark == DecimalMark::Point   ? '.'
                : mark == DecimalMark::Comma ? ','
                : commaOnly > pointOnly      ? ','
                                             : '.';
    std::map<int, long> counts;
    for (size_t i = 0; i < count; ++i) {
        if (!content[i]) continue;
        v.numbers[i] = v.decimal == '.' ? points[i] : commas[i];
        v.rowLike[i] = v.fields[i] >= 2 && (v.numbers[i] >= 1 || missingOnly[i]);
        if (v.rowLike[i]) ++counts[v.fields[i]];
    }
    long best = 0;
    for (const auto& [nf, c] : counts)
        if (c >= best) {
            best = c;
            v.n = nf;
        }
    if (v.n < 2) return v;
    bool anyRow = false;
    v.trailing = true;
    for (size_t i = 0; i < count; ++i)
        if (v.rowLike[i] && v.fields[i] == v.n) {
            anyRow = true;
            v.trailing = v.trailing && v.lastEmpty[i];
        }
    v.trailing = v.trailing && anyRow;
    v.score = 0;
    for (size_t i = 0; i < count; ++i)
        if (v.rowLike[i] && v.fits(i)) v.score += v.numbers[i];
    return v;
}

// The separator today's readers of a clean log took: the first of tab, semicolon and comma in
// the names, outside quotes; a comma when there is none.
char separatorOf(std::string_view header) {
    bool quoted = false;
    for (const char c : header) {
        if (c == '"') quoted = !quoted;
        if (!quoted && (c == '\t' || c == ';' || c == ',')) return c;
    }
    return ',';
}

// How the head of a log is laid out: lines are 0-based here.
struct Found {
    char sep = ',';
    char decimal = '.';
    int columns = 0;
    int names = -1;
    int units = -1;
    int data = 0;
    std::vector<int> aliases;
};

Found detect(const std::vector<std::string_view>& lines, bool latin1, const LogOptions& options) {
    Found found;
    const size_t count = lines.size();
    std::vector<char> content(count, 0);
    for (size_t i = 0; i < count; ++i) content[i] = !isBlank(lines[i]) && !isComment(lines[i]);

    SplitView best;
    for (const char sep : {',', ';', '\t'}) {
        SplitView v = splitView(lines, content, sep, options.decimal);
        if (v.n >= 2 && (v.score > best.score || (v.score == best.score && v.n > best.n)))
            best = std::move(v);
    }
    // The first row: a line like a row, whose next line of the same shape is one too (a row of
    // channel numbers above the names is not the first row).
    size_t start = count;
    if (best.score > 0) {
        for (size_t i = 0; i < count && start == count; ++i) {
            if (!best.rowLike[i] || !best.fits(i)) continue;
            size_t j = i + 1;
            while (j < count && !(content[j] && best.fits(j))) ++j;
            if (j == count || best.rowLike[j]) start = i;
        }
    }
    if (start == count) {
        // No rows in the head: the first line that is not blank names the columns, as in a
        // clean log with no rows yet.
        size_t h = 0;
        while (h < count && !content[h]) ++h;
        found.decimal = options.decimal == DecimalMark::Comma ? ',' : '.';
        if (h == count) {
            found.data = int(count);
            return found;
        }
        found.sep = separatorOf(lines[h]);
        found.names = int(h);
        found.data = int(h + 1);
        std::vector<std::string_view> fields;
        std::string scratch;
        SplitLogLine(lines[h], found.sep, fields, scratch);
        found.columns = int(fields.size());
        if (found.columns > 1 && TrimmedField(fields.back()).empty()) --found.columns;
        return found;
    }
    found.sep = best.sep;
    found.decimal = best.decimal;
    found.data = int(start);

    // The lines of names, units and the like above the first row: those of the rows' shape, up
    // to the first line of another shape. A single-field line right above the rows is a marker
    // between them ("[Channel Data]").
    std::vector<int> block;
    for (int i = int(start) - 1; i >= 0; --i) {
        if (!content[size_t(i)]) continue;
        if (best.fits(size_t(i))) {
            block.insert(block.begin(), i);
            continue;
        }
        if (block.empty() && best.fields[size_t(i)] <= 1) continue;
        break;
    }
    std::vector<std::string_view> fields;
    std::string scratch;
    int namesScore = -1;
    int namesFilled = -1;
    for (const int i : block) {
        SplitLogLine(lines[size_t(i)], best.sep, fields, scratch);
        int filled = 0;
        int unitLike = 0;
        int numbers = 0;
        QStringList texts;
        for (const std::string_view f : fields) {
            const QString t = decoded(TrimmedField(f), latin1);
            texts.append(t);
            if (t.isEmpty()) continue;
            ++filled;
            double d = 0;
            numbers += LogNumber(f, d, best.decimal);
            const bool oneWord = !t.contains(QLatin1Char(' '));
            unitLike += ParseUnit(t).kind != UnitKind::Unknown || (oneWord && LooksLikeUnit(t));
        }
        const bool marker = filled <= (best.n > 2 ? 1 : 0);
        const bool ids = filled > 0 && numbers == filled;
        const bool units = !marker && !ids && 2 * unitLike >= filled;
        if (units) {
            if (found.units < 0 || found.units < found.names) found.units = i;
            continue;
        }
        if (marker || ids) continue;
        const int known = KnownChannelNames(texts);
        if (known > namesScore || (known == namesScore && filled > namesFilled)) {
            if (found.names >= 0) found.aliases.push_back(found.names);
            found.names = i;
            namesScore = known;
            namesFilled = filled;
        } else {
            found.aliases.push_back(i);
        }
    }
    if (found.names < 0 && !block.empty() && block.front() != found.units)
        found.names = block.front();
    if (found.units >= 0 && found.units == found.names) found.units = -1;
    if (found.names >= 0) {
        SplitLogLine(lines[size_t(found.names)], best.sep, fields, scratch);
        found.columns = int(fields.size());
        // A separator after the last name: after every row's last field too, or one more.
        const bool emptyLast = TrimmedField(fields.back()).empty();
        if (emptyLast &&
            (found.columns == best.n + 1 || (found.columns == best.n && best.trailing)))
            --found.columns;
    } else {
        found.columns = best.trailing ? best.n - 1 : best.n;
    }
    return found;
}

bool strictUnit(const QString& text) {
    if (text.isEmpty()) return false;
    const UnitInfo u = ParseUnit(text);
    if (u.kind != UnitKind::Unknown && u.kind != UnitKind::None) return true;
    return text.size() <= 10 && !text.contains(QLatin1Char(' ')) && LooksLikeUnit(text);
}

// "MAF Voltage (V)", "Coolant [°C]", "Engine RPM(SAE:rpm)": the name and the unit in brackets;
// "MAF V": the name whole, and the unit that ends it.
void splitNameUnit(const QString& header, QString& name, QString& unit) {
    name = header;
    unit.clear();
    const QString h = header.trimmed();
    if (h.endsWith(QLatin1Char(')')) || h.endsWith(QLatin1Char(']'))) {
        const QChar open = h.endsWith(QLatin1Char(')')) ? QLatin1Char('(') : QLatin1Char('[');
        const qsizetype at = h.lastIndexOf(open);
        if (at > 0) {
            QString inner = h.mid(at + 1, h.size() - at - 2).trimmed();
            const qsizetype colon = inner.lastIndexOf(QLatin1Char(':'));
            if (colon >= 0) inner = inner.mid(colon + 1).trimmed();
            const QString before = h.left(at).trimmed();
            if (!before.isEmpty() && strictUnit(inner)) {
                name = before;
                unit = inner;
                return;
            }
        }
    }
    const qsizetype space = h.lastIndexOf(QLatin1Char(' '));
    if (space > 0) {
        const QString last = h.mid(space + 1);
        const UnitInfo u = ParseUnit(last);
        const bool letter = last.size() == 1 && last.front().isLetter() &&
                            last != QLatin1String("V") && last != QLatin1String("C") &&
                            last != QLatin1String("F") && last != QLatin1String("s");
        // "Ratio" and "-" end names ("Equivalence Ratio") more often than they give units.
        if (u.kind != UnitKind::Unknown && u.kind != UnitKind::None && u.kind != UnitKind::Factor &&
            !letter)
            unit = last;
    }
    if (unit.isEmpty() && h.contains(QChar(0x03BB))) unit = QString(QChar(0x03BB));
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(mid), v.end());
    return v[mid];
}

}  // namespace

LogReader::LogReader() = default;
LogReader::~LogReader() = default;

bool LogReader::open(const QString& path, const LogOptions& options, QString& error) {
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
    return open(&file_, path, options, error);
}

bool LogReader::open(QIODevice* device, const QString& name, const LogOptions& options,
                     QString& error) {
    error.clear();
    device_ = device;
    failed_ = false;
    dataOffset_ = 0;
    timeAt_ = channelAt_ = valueAt_ = unitAt_ = -1;
    channelIndex_.clear();
    values_.clear();
    size_ = device->size();
    // Not cleared: only what is read into it is ever looked at.
    if (!buf_) buf_ = std::make_unique_for_overwrite<char[]>(size_t(kBuffer));
    layout_ = LogLayout();

    // The head, whole lines of it.
    QByteArray head;
    while (head.size() < kHeadBytes) {
        const QByteArray more = device->read(kHeadBytes - head.size());
        if (more.isEmpty()) break;
        head += more;
    }
    const bool whole = head.size() < kHeadBytes;
    std::string_view text(head.constData(), size_t(head.size()));
    if (!whole) {
        const size_t last = text.rfind('\n');
        text = last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
    }
    if (text.substr(0, 3) == kBom) {
        layout_.byteOrderMark = true;
        text.remove_prefix(3);
    }
    {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString unused = utf8(QByteArrayView(text.data(), qsizetype(text.size())));
        layout_.latin1 = utf8.hasError();
    }
    std::vector<std::string_view> lines;
    for (size_t at = 0; at < text.size() && int(lines.size()) < kDetectLines;) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        at = end + 1;
    }
    const Found found = detect(lines, layout_.latin1, options);
    layout_.separator = found.sep;
    layout_.decimal = found.decimal;
    layout_.decimalFound = options.decimal == DecimalMark::Auto;
    layout_.headerLine = found.names + 1;
    layout_.unitsLine = found.units + 1;
    layout_.dataLine = found.data + 1;
    layout_.skippedLines = found.data - (found.names >= 0 ? 1 : 0);

    auto fieldsOf = [&](int line) {
        std::vector<QString> out;
        if (line < 0) return out;
        std::vector<std::string_view> fields;
        SplitLogLine(lines[size_t(line)], found.sep, fields, unquoted_);
        for (const std::string_view f : fields)
            out.push_back(decoded(TrimmedField(f), layout_.latin1));
        return out;
    };
    const std::vector<QString> names = fieldsOf(found.names);
    const std::vector<QString> units = fieldsOf(found.units);
    std::vector<std::vector<QString>> aliases;
    for (const int a : found.aliases) aliases.push_back(fieldsOf(a));
    for (int k = 0; k < std::min(found.columns, kMaxColumns); ++k) {
        LogColumn c;
        c.header = size_t(k) < names.size() ? names[size_t(k)].trimmed() : QString();
        if (c.header.isEmpty()) c.header = QStringLiteral("Column %1").arg(k + 1);
        splitNameUnit(c.header, c.name, c.unit);
        if (size_t(k) < units.size() && !units[size_t(k)].isEmpty()) {
            c.unit = units[size_t(k)];
            while (c.unit.size() >= 2 &&
                   ((c.unit.front() == QLatin1Char('(') && c.unit.back() == QLatin1Char(')')) ||
                    (c.unit.front() == QLatin1Char('[') && c.unit.back() == QLatin1Char(']'))))
                c.unit = c.unit.mid(1, c.unit.size() - 2).trimmed();
        }
        for (const auto& row : aliases)
            if (size_t(k) < row.size() && !row[size_t(k)].isEmpty())
                c.aliases.append(row[size_t(k)]);
        layout_.columns.append(c);
    }
    return start(name, error);
}

bool LogReader::start(const QString& name, QString& error) {
    if (!seekTo(0)) {
        error = QStringLiteral("Error reading ") + name;
        return false;
    }
    lineNo_ = 0;
    std::string_view line;
    while (lineNo_ < layout_.dataLine - 1 && nextLine(line)) {
    }
    dataOffset_ = consumed_;
    sampleColumns();

    // One reading a row: time, channel, value (and unit) by name, the channel a text and the
    // value a number.
    if (layout_.columnCount() >= 3 && layout_.columnCount() <= 5) {
        auto at = [&](const char* role) {
            for (int k = 0; k < layout_.columnCount(); ++k) {
                const LogColumn& c = layout_.columns[k];
                if (!ChannelTableRole({NameKey(c.name), NameKey(c.header)}, QLatin1String(role))
                         .isEmpty())
                    return k;
            }
            return -1;
        };
        const int time = at("reading-time");
        const int channel = at("reading-channel");
        const int value = at("reading-value");
        if (time >= 0 && channel >= 0 && value >= 0 && channel != value && channel != time &&
            value != time && layout_.columns[channel].sample.texts > 0 &&
            layout_.columns[value].numeric) {
            timeAt_ = time;
            channelAt_ = channel;
            valueAt_ = value;
            unitAt_ = at("reading-unit");
            findChannels();
            sampleColumns();
        }
    }
    AssignRoles(layout_);
    if (!rewind() || failed_) {
        error = QStringLiteral("Error reading ") + name;
        return false;
    }
    return true;
}

bool LogReader::seekTo(qint64 offset) {
    begin_ = end_ = 0;
    eof_ = false;
    skipping_ = false;
    unterminated_ = false;
    consumed_ = offset;
    if (!device_->seek(offset)) {
        failed_ = true;
        return false;
    }
    return true;
}

bool LogReader::rewind() {
    if (!seekTo(dataOffset_)) return false;
    lineNo_ = layout_.dataLine - 1;
    rows_ = blank_ = comments_ = bad_ = 0;
    truncated_ = false;
    havePending_ = false;
    rowTime_.clear();
    for (std::string& v : values_) v.clear();
    return true;
}

bool LogReader::fill() {
    const qsizetype pending = end_ - begin_;
    if (pending > 0 && begin_ > 0) std::memmove(buf_.get(), buf_.get() + begin_, size_t(pending));
    begin_ = 0;
    end_ = pending;
    const qint64 got = device_->read(buf_.get() + end_, kBuffer - end_);
    if (got < 0) {
        failed_ = true;
        eof_ = true;
        return false;
    }
    if (got == 0) eof_ = true;
    end_ += got;
    return got > 0;
}

bool LogReader::nextLine(std::string_view& line) {
    for (;;) {
        const char* from = buf_.get() + begin_;
        const auto* nl = static_cast<const char*>(std::memchr(from, '\n', size_t(end_ - begin_)));
        if (nl || (eof_ && end_ > begin_)) {
            const bool first = consumed_ == 0;
            const qsizetype len = nl ? nl - from : end_ - begin_;
            line = std::string_view(from, size_t(len));
            begin_ += len + (nl ? 1 : 0);
            consumed_ += len + (nl ? 1 : 0);
            unterminated_ = !nl;
            ++lineNo_;
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            if (first && line.substr(0, 3) == kBom) line.remove_prefix(3);
            if (std::exchange(skipping_, false)) line = std::string_view(nullptr, 0);
            return true;
        }
        if (eof_) {
            // A line that was too long and ended with the file.
            if (std::exchange(skipping_, false)) {
                ++lineNo_;
                unterminated_ = true;
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

bool LogReader::nextFields(std::vector<std::string_view>& fields) {
    std::string_view line;
    for (;;) {
        if (!nextLine(line)) return false;
        if (line.data() == nullptr) {
            // The remains of an overlong line: a row that has no fields at all.
            fields.clear();
            return true;
        }
        if (line.empty() || isBlank(line)) {
            ++blank_;
            continue;
        }
        if (isComment(line)) {
            ++comments_;
            continue;
        }
        SplitLogLine(line, layout_.separator, fields, unquoted_);
        return true;
    }
}

bool LogReader::next(std::vector<std::string_view>& fields) {
    if (timeAt_ >= 0) return nextPivoted(fields);
    if (!nextFields(fields)) return false;
    const size_t n = size_t(layout_.columnCount());
    if (fields.size() == n + 1 && TrimmedField(fields.back()).empty()) fields.pop_back();
    ++rows_;
    if (fields.size() != n) {
        ++bad_;
        if (unterminated_ && !fields.empty() && fields.size() < n) truncated_ = true;
    }
    return true;
}

bool LogReader::number(std::string_view field, double& value) const {
    return LogNumber(field, value, layout_.decimal);
}

bool LogReader::nextReading() {
    const size_t need = size_t(std::max({timeAt_, channelAt_, valueAt_})) + 1;
    for (;;) {
        if (!nextFields(readingFields_)) return false;
        if (readingFields_.size() < need) {
            ++bad_;
            if (unterminated_ && !readingFields_.empty()) truncated_ = true;
            continue;
        }
        pending_.time = TrimmedField(readingFields_[size_t(timeAt_)]);
        pending_.channel = TrimmedField(readingFields_[size_t(channelAt_)]);
        pending_.value = TrimmedField(readingFields_[size_t(valueAt_)]);
        return true;
    }
}

bool LogReader::nextPivoted(std::vector<std::string_view>& fields) {
    if (!havePending_ && !nextReading()) return false;
    havePending_ = true;
    rowTime_ = pending_.time;
    for (;;) {
        const auto it = channelIndex_.find(pending_.channel);
        if (it != channelIndex_.end()) values_[size_t(it->second)] = pending_.value;
        if (!nextReading()) {
            havePending_ = false;
            break;
        }
        if (pending_.time != rowTime_) break;
    }
    ++rows_;
    fields.clear();
    fields.push_back(rowTime_);
    for (const std::string& v : values_) fields.push_back(v);
    return true;
}

void LogReader::findChannels() {
    layout_.narrow = true;
    for (const LogColumn& c : layout_.columns) layout_.readingColumns.append(c.header);
    const LogColumn time = layout_.columns[timeAt_];
    std::vector<QString> units;
    QList<LogColumn> columns = {time};
    channelIndex_.clear();
    seekTo(dataOffset_);
    while (nextReading()) {
        if (channelIndex_.count(pending_.channel) || int(channelIndex_.size()) >= kMaxChannels)
            continue;
        const int index = int(channelIndex_.size());
        channelIndex_.emplace(pending_.channel, index);
        LogColumn c;
        c.header = decoded(pending_.channel, layout_.latin1).trimmed();
        if (c.header.isEmpty()) c.header = QStringLiteral("Column %1").arg(index + 2);
        splitNameUnit(c.header, c.name, c.unit);
        if (unitAt_ >= 0 && size_t(unitAt_) < readingFields_.size()) {
            const QString unit =
                decoded(TrimmedField(readingFields_[size_t(unitAt_)]), layout_.latin1);
            if (!unit.isEmpty()) c.unit = unit;
        }
        columns.append(c);
    }
    values_.assign(channelIndex_.size(), std::string());
    layout_.columns = columns;
    rewind();
}

void LogReader::sampleColumns() {
    rewind();
    const int n = layout_.columnCount();
    for (LogColumn& c : layout_.columns) c.sample = ColumnSample();
    std::vector<std::vector<double>> numbers(static_cast<size_t>(n));
    std::vector<std::string_view> fields;
    for (int row = 0; row < kSampleRows && next(fields); ++row) {
        if (fields.size() != size_t(n)) continue;
        for (int k = 0; k < n; ++k) {
            ColumnSample& s = layout_.columns[k].sample;
            const std::string_view f = fields[size_t(k)];
            if (IsMissingValue(f)) {
                ++s.missing;
                continue;
            }
            if (s.examples.size() < 3) {
                const QString example = decoded(TrimmedField(f), layout_.latin1);
                if (!s.examples.contains(example)) s.examples.append(example);
            }
            double v = 0;
            if (number(f, v)) {
                ++s.numbers;
                numbers[size_t(k)].push_back(v);
                if (s.distinctNumbers.size() < 16 && !s.distinctNumbers.contains(v))
                    s.distinctNumbers.append(v);
                continue;
            }
            ++s.texts;
            const std::string_view t = TrimmedField(f);
            const QByteArray bytes(t.data(), qsizetype(t.size()));
            if (s.textValues.size() < 8 && !s.textValues.contains(bytes))
                s.textValues.append(bytes);
        }
    }
    for (int k = 0; k < n; ++k) {
        LogColumn& c = layout_.columns[k];
        std::vector<double>& v = numbers[size_t(k)];
        c.numeric = c.sample.numbers > 0 && c.sample.texts * 20 <= c.sample.numbers;
        if (v.empty()) continue;
        c.sample.min = *std::min_element(v.begin(), v.end());
        c.sample.max = *std::max_element(v.begin(), v.end());
        std::vector<double> steps;
        for (size_t i = 1; i < v.size(); ++i) steps.push_back(std::abs(v[i] - v[i - 1]));
        c.sample.medianStep = median(std::move(steps));
    }
}

bool ScanLog(LogReader& reader, const QString& name, LogScan& scan, QString& error) {
    error.clear();
    scan = LogScan();
    const size_t n = size_t(reader.columnCount());
    scan.missing.assign(n, 0);
    scan.numbers.assign(n, 0);
    if (!reader.rewind()) {
        error = QStringLiteral("Error reading ") + name;
        return false;
    }
    std::vector<std::string_view> fields;
    while (reader.next(fields)) {
        if (fields.size() != n) continue;
        for (size_t k = 0; k < n; ++k) {
            double v = 0;
            if (IsMissingValue(fields[k]))
                ++scan.missing[k];
            else if (reader.number(fields[k], v))
                ++scan.numbers[k];
        }
    }
    if (reader.failed()) {
        error = QStringLiteral("Error reading ") + name;
        return false;
    }
    scan.rows = reader.rows();
    scan.blankLines = reader.blankLines();
    scan.commentLines = reader.commentLines();
    scan.badRows = reader.badRows();
    scan.truncatedLastRow = reader.truncatedLastRow();
    reader.rewind();
    return true;
}

}  // namespace varnel
