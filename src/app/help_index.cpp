#include "help_index.h"

#include "app/kex_main.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace varnel {

namespace {

QStringList anchorsOf(const QTextBlock& block) {
    QStringList names = block.charFormat().anchorNames();
    for (auto it = block.begin(); !it.atEnd(); ++it)
        names += it.fragment().charFormat().anchorNames();
    names.removeAll(QString());
    return names;
}

}  // namespace

const QMap<int, QString>& HelpIndex::contextTargets() {
    static const QMap<int, QString> targets = {
        {kHelpWindow, QStringLiteral("main-window.html#window")},
        {kHelpHowDoI, QStringLiteral("main-window.html#how-do-i")},
        {kHelpOutput, QStringLiteral("main-window.html#output")},
        {kHelpPots, QStringLiteral("main-window.html#pots")},
        {kHelpLimit, QStringLiteral("main-window.html#limit")},
        {kHelpEepromGrid, QStringLiteral("hex-grid.html#hex-grid")},
        {kHelpChart, QStringLiteral("table.html#chart")},
    };
    return targets;
}

const HelpIndex& HelpIndex::guide() {
    static const HelpIndex index(QStringLiteral(":/help"));
    return index;
}

HelpIndex::HelpIndex(const QString& folder) : folder_(folder) {
    QStringList names = QDir(folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    if (names.removeAll(startPageName()) > 0) names.prepend(startPageName());
    pages_ = names;
    for (const QString& name : std::as_const(pages_)) readPage(name);
}

void HelpIndex::readPage(const QString& name) {
    QFile file(QDir(folder_).filePath(name));
    if (!file.open(QIODevice::ReadOnly)) return;
    const QString html = QString::fromUtf8(file.readAll());

    Page page;
    static const QRegularExpression linkAttr(QStringLiteral("\\b(?:href|src)\\s*=\\s*\"([^\"]*)\""),
                                             QRegularExpression::CaseInsensitiveOption);
    for (auto m = linkAttr.globalMatch(html); m.hasNext();) page.links << m.next().captured(1);

    QTextDocument doc;
    doc.setHtml(html);
    page.title = doc.metaInformation(QTextDocument::DocumentTitle);

    // A topic runs from its heading to the next heading of any level.
    HelpTopic current;
    bool open = false;
    auto finish = [&] {
        if (!open) return;
        current.text = current.text.trimmed();
        topics_.append(current);
    };
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        const QStringList names = anchorsOf(block);
        page.anchors += names;
        const int level = block.blockFormat().headingLevel();
        if (level > 0) {
            finish();
            current = HelpTopic();
            current.title = block.text().simplified();
            current.page = name;
            current.pageTitle = page.title.isEmpty() ? current.title : page.title;
            // The page's own heading opens the page at its top.
            current.anchor = level == 1 || names.isEmpty() ? QString() : names.constFirst();
            current.url = pageUrl(name, current.anchor);
            open = true;
        } else if (open) {
            current.text += block.text() + QLatin1Char('\n');
        }
    }
    finish();
    page.anchors.removeDuplicates();
    pageInfo_.insert(name, page);
}

QString HelpIndex::pageTitle(const QString& page) const {
    return pageInfo_.value(page).title;
}

QStringList HelpIndex::anchors(const QString& page) const {
    return pageInfo_.value(page).anchors;
}

QStringList HelpIndex::links(const QString& page) const {
    return pageInfo_.value(page).links;
}

QList<HelpTopic> HelpIndex::search(const QString& query) const {
    const QString q = query.simplified();
    if (q.isEmpty()) return topics_;
    const QStringList words = q.split(QLatin1Char(' '));
    auto holdsAll = [&words](const QString& s) {
        return std::all_of(words.begin(), words.end(),
                           [&s](const QString& w) { return s.contains(w, Qt::CaseInsensitive); });
    };
    QList<std::pair<int, HelpTopic>> ranked;
    for (const HelpTopic& t : topics_) {
        if (!holdsAll(t.title + QLatin1Char('\n') + t.text)) continue;
        int rank = 3;
        if (t.title.contains(q, Qt::CaseInsensitive))
            rank = 0;
        else if (holdsAll(t.title))
            rank = 1;
        else if (t.text.contains(q, Qt::CaseInsensitive))
            rank = 2;
        ranked.append({rank, t});
    }
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QList<HelpTopic> found;
    for (const auto& r : ranked) found.append(r.second);
    return found;
}

QUrl HelpIndex::pageUrl(const QString& page, const QString& anchor) const {
    const QString path = QDir(folder_).filePath(page);
    QUrl url = path.startsWith(QLatin1Char(':'))
                   ? QUrl(QStringLiteral("qrc") + path)
                   : QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (!anchor.isEmpty()) url.setFragment(anchor);
    return url;
}

QUrl HelpIndex::contextUrl(int context) const {
    const QString target = contextTargets().value(context);
    if (target.isEmpty()) return startPage();
    const qsizetype hash = target.indexOf(QLatin1Char('#'));
    return pageUrl(target.left(hash), hash < 0 ? QString() : target.mid(hash + 1));
}

}  // namespace varnel
