#include "log_layout.h"

#include "log/log_text.h"

namespace varnel {

namespace {

QString folded(const QString& text) {
    return text.trimmed();
}

// The columns whose names-row text (or, with bare, name without unit) equals key, a trimmed
// text, in any case. The names are trimmed when the layout is made.
QList<int> columnsNamed(const LogLayout& layout, const QString& key, bool bare) {
    QList<int> found;
    for (int i = 0; i < layout.columnCount(); ++i) {
        const LogColumn& c = layout.columns[i];
        if ((bare ? c.name : c.header).compare(key, Qt::CaseInsensitive) == 0) found.append(i);
    }
    return found;
}

QList<int> candidates(const LogLayout& layout, const QString& key) {
    QList<int> found = columnsNamed(layout, key, false);
    return found.isEmpty() ? columnsNamed(layout, key, true) : found;
}

}  // namespace

QString RoleName(LogRole role) {
    switch (role) {
        case LogRole::None:
            return {};
        case LogRole::SignalVolts:
            return QStringLiteral("signal-volts");
        case LogRole::SignalHertz:
            return QStringLiteral("signal-hertz");
        case LogRole::MassFlow:
            return QStringLiteral("mass-flow");
        case LogRole::VolumeFlow:
            return QStringLiteral("volume-flow");
        case LogRole::TrimShort:
            return QStringLiteral("trim-short");
        case LogRole::TrimLong:
            return QStringLiteral("trim-long");
        case LogRole::Afr:
            return QStringLiteral("afr");
        case LogRole::AfrTarget:
            return QStringLiteral("afr-target");
        case LogRole::Lambda:
            return QStringLiteral("lambda");
        case LogRole::LambdaTarget:
            return QStringLiteral("lambda-target");
        case LogRole::Coolant:
            return QStringLiteral("coolant");
        case LogRole::IntakeTemp:
            return QStringLiteral("intake-temp");
        case LogRole::Throttle:
            return QStringLiteral("throttle");
        case LogRole::Rpm:
            return QStringLiteral("rpm");
        case LogRole::Loop:
            return QStringLiteral("loop");
        case LogRole::Time:
            return QStringLiteral("time");
    }
    return {};
}

int LogLayout::firstWithRole(LogRole role, int from) const {
    for (int i = std::max(0, from); i < columnCount(); ++i)
        if (columns[i].role == role) return i;
    return -1;
}

QString NoColumnMessage(const QString& name) {
    return QStringLiteral("The log has no column '%1'.").arg(name);
}

int FindColumn(const LogLayout& layout, const QString& text, QString& error) {
    error.clear();
    const QString key = folded(text);
    QList<int> found = candidates(layout, key);
    if (found.size() == 1) return found.front();
    if (found.size() > 1) {
        const QString name = text.trimmed();
        const QString choice =
            found.size() == 2 ? QStringLiteral("'%1#1' or '%1#2'").arg(name)
                              : QStringLiteral("'%1#1' to '%1#%2'").arg(name).arg(found.size());
        error = QStringLiteral("The log has %1 columns '%2': name one as %3.")
                    .arg(found.size())
                    .arg(name, choice);
        return -1;
    }
    // "NAME#k": the k-th column of that name; "#k" alone: the k-th column.
    const qsizetype hash = key.lastIndexOf(QLatin1Char('#'));
    if (hash == 0 && key.size() > 1 && key.size() <= 6) {
        bool digits = true;
        for (const QChar c : key.mid(1)) digits = digits && c.isDigit();
        const int k = digits ? key.mid(1).toInt() : 0;
        if (k >= 1 && k <= layout.columnCount()) return k - 1;
    }
    if (hash > 0 && hash + 1 < key.size() && key.size() - hash <= 4) {
        bool digits = true;
        for (const QChar c : key.mid(hash + 1)) digits = digits && c.isDigit();
        const int k = digits ? key.mid(hash + 1).toInt() : 0;
        found = candidates(layout, folded(key.left(hash)));
        if (k >= 1 && k <= found.size()) return found[k - 1];
    }
    error = NoColumnMessage(text);
    return -1;
}

QString ColumnReference(const LogLayout& layout, int index) {
    if (index < 0 || index >= layout.columnCount()) return {};
    const QString& header = layout.columns[index].header;
    const QList<int> same = columnsNamed(layout, folded(header), false);
    const QString text = same.size() <= 1
                             ? header
                             : header + QLatin1Char('#') + QString::number(same.indexOf(index) + 1);
    // Names that only a position tells apart ("a#1" beside two columns "a"): the position.
    QString unused;
    return FindColumn(layout, text, unused) == index
               ? text
               : QLatin1Char('#') + QString::number(index + 1);
}

LoopState ReadLoopState(std::string_view field, char decimal) {
    field = TrimmedField(field);
    double v = 0;
    if (LogNumber(field, v, decimal)) {
        if (v == 2) return LoopState::Closed;
        if (v == 1 || v == 4 || v == 8 || v == 16) return LoopState::Open;
        return LoopState::Unknown;
    }
    auto begins = [&](std::string_view word) {
        if (field.size() < word.size()) return false;
        for (size_t i = 0; i < word.size(); ++i) {
            char c = field[i];
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
            if (c != word[i]) return false;
        }
        return true;
    };
    if (begins("cl") || begins("closed")) return LoopState::Closed;
    if (begins("ol") || begins("open")) return LoopState::Open;
    return LoopState::Unknown;
}

}  // namespace varnel
