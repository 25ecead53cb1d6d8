#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace varnel {

// One entry of the user guide's topic list: a page, or a titled section of one.
struct HelpTopic {
    QString title;      // the heading's text
    QString page;       // file name of the page, e.g. "messages.html"
    QString anchor;     // the heading's anchor; empty for the top of a page
    QString pageTitle;  // the page's own title
    QString text;       // the section's plain text up to the next heading
    QUrl url;           // where the help window goes for it
};

// The user guide as the help window sees it: its pages, their anchors and links, the topics that
// Topic Search lists, and the page and anchor of each help context number. The pages are read
// with the same HTML reader that the help window shows them with, so an anchor listed here is one
// the window can scroll to.
class HelpIndex {
  public:
    // The guide compiled into the program (":/help"), read once.
    static const HelpIndex& guide();

    // Reads every *.html page of a folder (a resource folder such as ":/help", or a plain one).
    explicit HelpIndex(const QString& folder);

    static QString startPageName() { return QStringLiteral("index.html"); }

    const QString& folder() const { return folder_; }
    // File names, the start page first, then the others in name order.
    const QStringList& pages() const { return pages_; }
    bool hasPage(const QString& page) const { return pages_.contains(page); }
    QString pageTitle(const QString& page) const;
    QStringList anchors(const QString& page) const;
    // Every href and src of a page, as written.
    QStringList links(const QString& page) const;
    // Pages and their sections in page order; each page's own topic comes first.
    const QList<HelpTopic>& topics() const { return topics_; }

    // Topics whose title or text holds every word of the query, ignoring case: those whose title
    // holds the query first, then those whose title holds its words, then the others, each in
    // guide order. An empty query lists every topic.
    QList<HelpTopic> search(const QString& query) const;

    QUrl pageUrl(const QString& page, const QString& anchor = QString()) const;
    QUrl startPage() const { return pageUrl(startPageName()); }
    // The page and anchor of a help context number; the start page for a number the guide
    // does not know.
    QUrl contextUrl(int context) const;
    // Context number -> "page#anchor", for every context the program asks for.
    static const QMap<int, QString>& contextTargets();

  private:
    struct Page {
        QString title;
        QStringList anchors;
        QStringList links;
    };
    void readPage(const QString& name);

    QString folder_;
    QStringList pages_;
    QHash<QString, Page> pageInfo_;
    QList<HelpTopic> topics_;
};

}  // namespace varnel
