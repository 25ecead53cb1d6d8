#include "app/app_icon.h"
#include "app/help_index.h"
#include "app/help_window.h"
#include "app/kex_abot.h"
#include "app/qt_ui_services.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QtTest>

#include <memory>

using namespace varnel;

namespace {

QTextDocument* readPage(const QString& page) {
    QFile f(QStringLiteral(":/help/") + page);
    if (!f.open(QIODevice::ReadOnly)) return nullptr;
    auto* doc = new QTextDocument;
    doc->setHtml(QString::fromUtf8(f.readAll()));
    return doc;
}

// The heading that carries the anchor, read independently of the index; empty when the anchor is
// not on a heading.
QString headingAt(const QString& page, const QString& anchor) {
    std::unique_ptr<QTextDocument> doc(readPage(page));
    if (!doc) return {};
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        QStringList names = b.charFormat().anchorNames();
        for (auto it = b.begin(); !it.atEnd(); ++it)
            names += it.fragment().charFormat().anchorNames();
        if (names.contains(anchor))
            return b.blockFormat().headingLevel() > 0 ? b.text() : QString();
    }
    return {};
}

// Where a link of a guide page leads: the resource path and the fragment, or an empty path for a
// link that leaves the guide.
std::pair<QString, QString> resolve(const QString& page, const QString& link) {
    const QUrl target = QUrl(QStringLiteral("qrc:/help/") + page).resolved(QUrl(link));
    if (target.scheme() != QLatin1String("qrc")) return {};
    return {QLatin1Char(':') + target.path(), target.fragment()};
}

// Saves a picture of a window when VARNEL_SHOTS names a folder (for looking at the windows).
void shoot(QWidget& w, const char* name) {
    const QString dir = qEnvironmentVariable("VARNEL_SHOTS");
    if (!dir.isEmpty()) w.grab().save(QDir(dir).filePath(QLatin1String(name)));
}

}  // namespace

class TestHelp : public QObject {
    Q_OBJECT
  private slots:
    void contextsLeadToTheirHeading_data();
    void contextsLeadToTheirHeading();
    void unknownContextShowsContents();
    void linksStayInsideTheGuide();
    void everyPageIsReachableFromContents();
    void searchFindsEachMessage_data();
    void searchFindsEachMessage();
    void searchRanksTitleMatchesFirst();
    void searchWithoutMatchListsNothing();
    void topicSearchOpensEmptyWithEveryTopic();
    void typingFiltersAndEnterOpensTheFirstTopic();
    void contentsOpensStartPage();
    void backAndForwardRetracePages();
    void uiServicesOpenOneHelpWindow();
    void iconPngs_data();
    void iconPngs();
    void aboutBoxShowsTheIcon();
};

void TestHelp::contextsLeadToTheirHeading_data() {
    QTest::addColumn<int>("context");
    QTest::addColumn<QString>("headingWord");
    QTest::newRow("window") << 1000 << "main window";
    QTest::newRow("how do i") << 1001 << "How Do I";
    QTest::newRow("output") << 1010 << "Output";
    QTest::newRow("pots") << 1020 << "Pot 1";
    QTest::newRow("limit") << 1030 << "Limit";
    QTest::newRow("eeprom grid") << 1200 << "hexadecimal grid";
    QTest::newRow("chart") << 1300 << "chart";
}

void TestHelp::contextsLeadToTheirHeading() {
    QFETCH(int, context);
    QFETCH(QString, headingWord);
    const HelpIndex& guide = HelpIndex::guide();
    const QUrl url = guide.contextUrl(context);
    const QString page = url.fileName();
    QVERIFY2(guide.hasPage(page), qPrintable(url.toString()));
    QVERIFY2(!url.fragment().isEmpty(), qPrintable(url.toString()));
    QVERIFY2(guide.anchors(page).contains(url.fragment()), qPrintable(url.toString()));
    const QString heading = headingAt(page, url.fragment());
    QVERIFY2(heading.contains(headingWord, Qt::CaseInsensitive), qPrintable(heading));

    HelpWindow w;
    w.showTopic(context);
    QVERIFY(w.isVisible());
    QCOMPARE(w.currentSource(), url);
    QVERIFY(w.HelpBrowser->toPlainText().contains(heading));
}

void TestHelp::unknownContextShowsContents() {
    HelpWindow w;
    w.showTopic(4242);
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/index.html")));
}

void TestHelp::linksStayInsideTheGuide() {
    const HelpIndex& guide = HelpIndex::guide();
    QVERIFY(guide.pages().size() >= 10);
    int checked = 0;
    QStringList broken;
    for (const QString& page : guide.pages()) {
        QVERIFY2(!guide.pageTitle(page).isEmpty(), qPrintable(page));
        for (const QString& link : guide.links(page)) {
            ++checked;
            const auto [path, fragment] = resolve(page, link);
            const QString where = page + QStringLiteral(": ") + link;
            if (path.isEmpty() || !QFile::exists(path)) {
                broken << where;
                continue;
            }
            if (fragment.isEmpty()) continue;
            const QString target = QFileInfo(path).fileName();
            if (!path.startsWith(QLatin1String(":/help/")) ||
                !guide.anchors(target).contains(fragment))
                broken << where;
        }
    }
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
    // Every page links its style sheet and the contents; far fewer links means the reader is blind.
    QVERIFY(checked > 150);
}

void TestHelp::everyPageIsReachableFromContents() {
    const HelpIndex& guide = HelpIndex::guide();
    QSet<QString> seen = {HelpIndex::startPageName()};
    QStringList queue = {HelpIndex::startPageName()};
    while (!queue.isEmpty()) {
        const QString page = queue.takeFirst();
        for (const QString& link : guide.links(page)) {
            const QString path = resolve(page, link).first;
            const QString name = QFileInfo(path).fileName();
            if (path.endsWith(QLatin1String(".html")) && guide.hasPage(name) &&
                !seen.contains(name)) {
                seen.insert(name);
                queue << name;
            }
        }
    }
    for (const QString& page : guide.pages()) QVERIFY2(seen.contains(page), qPrintable(page));
}

void TestHelp::searchFindsEachMessage_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("anchor");
    const char* rows[][2] = {
        {"Hardware not found", "msg-hardware-not-found"},
        {"hardware NOT found", "msg-hardware-not-found"},
        {"Invalid response from hardware (error 1)", "msg-invalid-response-1"},
        {"Invalid response from hardware (error 2)", "msg-invalid-response-2"},
        {"Invalid response from hardware (error 3)", "msg-invalid-response-3"},
        {"Invalid response from hardware (error 4)", "msg-invalid-response-4"},
        {"Incorrect hardware version", "msg-incorrect-version"},
        {"Hardware did not acknowledge", "msg-not-acknowledged"},
        {"Verify error: ", "msg-verify-error"},
        {"Error (1) reading ", "msg-error-1-reading"},
        {"Error (2) reading ", "msg-error-2-reading"},
        {"Error (3) reading ", "msg-error-3-reading"},
        {"Error (4) reading ", "msg-error-4-reading"},
        {"Error saving ", "msg-error-saving"},
        {"File access denied", "msg-file-access-denied"},
        {"Range check error", "msg-range-check"},
        {"GM Mode not implemented yet", "msg-gm-mode"},
        {"Save E2P file first ?", "msg-save-first"},
        {"Ok to update EEPROM data?", "msg-ok-update"},
        {"Ok to retrive EEPROM data?", "msg-ok-retrieve"},
        {"Ok to save E2P data in main table?", "msg-save-e2p-main-table"},
        {"No files found: ", "msg-no-files"},
        {"Invalid data path", "msg-invalid-data-path"},
        {"Changes will be effective at next program execution", "msg-next-start"},
        {"Specified device not found (", "msg-device-not-found"},
        {"Can't open specified device ", "msg-cannot-open-device"},
        {"Unable to write to ", "msg-unable-to-write"},
        {"Save current meter data?", "msg-save-meter"},
        {"This cell must not be empty.  Delete row?", "msg-cell-empty"},
        {"The value entered already exists.", "msg-value-exists"},
        {"Please enter a valid description.", "msg-enter-description"},
        {"Please enter a valid part number.", "msg-enter-part-number"},
        {"Invalid mode", "msg-invalid-mode"},
        {"The specified file was not found.", "msg-specified-file-not-found"},
        {"No help file is available at this time.", "msg-no-help-file"},
        {"is not a valid floating point value", "msg-not-a-number"},
        {"is not a valid value for table entries", "msg-not-valid-value"},
        {"rows follow the selection.", "msg-clipboard-too-many"},
        {"is too large to be a table", "msg-csv-too-large"},
        {"The log has no column", "msg-no-column"},
        {"The meter reads hertz; the table drives volts.", "msg-meter-kind"},
        {"The meter's flows do not rise with its signal.", "msg-meter-not-rising"},
        {"is not a signal and a flow", "msg-curve-line"},
    };
    for (const auto& r : rows)
        QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]);
}

void TestHelp::searchFindsEachMessage() {
    QFETCH(QString, message);
    QFETCH(QString, anchor);
    // The message is on the Messages page exactly as the program shows it, blanks included.
    QString heading = headingAt(QStringLiteral("messages.html"), anchor);
    QVERIFY2(heading.replace(QChar::Nbsp, QLatin1Char(' ')).contains(message, Qt::CaseInsensitive),
             qPrintable(heading));

    HelpWindow w;
    const QList<HelpTopic> found = w.search(message);
    QVERIFY(!found.isEmpty());
    QCOMPARE(found.first().page, QStringLiteral("messages.html"));
    QCOMPARE(found.first().anchor, anchor);
    QCOMPARE(w.TopicList->count(), found.size());
    QVERIFY(w.searchVisible());
}

void TestHelp::searchRanksTitleMatchesFirst() {
    const QList<HelpTopic> found = HelpIndex::guide().search(QStringLiteral("monitor"));
    QVERIFY(found.size() >= 3);
    QVERIFY2(found.first().title.contains(QStringLiteral("Monitor")),
             qPrintable(found.first().title));
    bool textOnly = false;
    for (const HelpTopic& t : found) {
        const bool inTitle = t.title.contains(QStringLiteral("monitor"), Qt::CaseInsensitive);
        QVERIFY2(!(textOnly && inTitle), qPrintable(t.title));
        textOnly = textOnly || !inTitle;
        QVERIFY((t.title + t.text).contains(QStringLiteral("monitor"), Qt::CaseInsensitive));
    }
    QVERIFY(textOnly);
    // Words are found apart, in any order.
    const QList<HelpTopic> words =
        HelpIndex::guide().search(QStringLiteral("acknowledge hardware"));
    QVERIFY(!words.isEmpty());
    QCOMPARE(words.first().anchor, QStringLiteral("msg-not-acknowledged"));
}

void TestHelp::searchWithoutMatchListsNothing() {
    HelpWindow w;
    QVERIFY(w.search(QStringLiteral("qqzzxx")).isEmpty());
    QCOMPARE(w.TopicList->count(), 0);
    // Enter on an empty list goes nowhere.
    const QUrl before = w.currentSource();
    QTest::keyClick(w.SearchEdit, Qt::Key_Return);
    QCOMPARE(w.currentSource(), before);
}

void TestHelp::topicSearchOpensEmptyWithEveryTopic() {
    HelpWindow w;
    w.search(QStringLiteral("limit"));
    w.openSearch();
    QVERIFY(w.isVisible());
    QVERIFY(w.searchVisible());
    QVERIFY(w.SearchEdit->text().isEmpty());
    const int topics = int(HelpIndex::guide().topics().size());
    QVERIFY(topics > HelpIndex::guide().pages().size() * 2);
    QCOMPARE(w.TopicList->count(), topics);
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/index.html")));
}

void TestHelp::typingFiltersAndEnterOpensTheFirstTopic() {
    HelpWindow w;
    w.openSearch();
    const int all = w.TopicList->count();
    QTest::keyClicks(w.SearchEdit, QStringLiteral("verify"));
    QVERIFY(w.TopicList->count() > 0);
    QVERIFY(w.TopicList->count() < all);
    QVERIFY(w.TopicList->item(0)->text().startsWith(QStringLiteral("Verify error:")));
    QTest::keyClick(w.SearchEdit, Qt::Key_Return);
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/messages.html#msg-verify-error")));
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnel Help - Messages"));
    shoot(w, "help-search.png");

    // A click on a listed topic opens it too.
    w.SearchEdit->setText(QStringLiteral("Convert"));
    QListWidgetItem* item = w.TopicList->item(0);
    QVERIFY(item);
    const QRect r = w.TopicList->visualItemRect(item);
    QTest::mouseClick(w.TopicList->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(w.currentSource(), w.listedTopics().first().url);
    QCOMPARE(w.currentSource().fileName(), QStringLiteral("meter-editor.html"));
}

void TestHelp::contentsOpensStartPage() {
    HelpWindow w;
    QVERIFY(!w.isVisible());
    w.showContents();
    QVERIFY(w.isVisible());
    QVERIFY(!w.isModal());
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/index.html")));
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnel Help"));
    const QString text = w.HelpBrowser->toPlainText();
    QVERIFY(text.contains(QStringLiteral("How do I")));
    QVERIFY(text.contains(QStringLiteral("Messages")));
    QVERIFY(!w.searchVisible());
    w.resize(780, 560);
    shoot(w, "help-contents.png");
}

void TestHelp::backAndForwardRetracePages() {
    HelpWindow w;
    w.showContents();
    QVERIFY(!w.BackBtn->isEnabled());
    w.showTopic(1300);
    QVERIFY(w.BackBtn->isEnabled());
    w.BackBtn->click();
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/index.html")));
    QVERIFY(w.ForwardBtn->isEnabled());
    w.ForwardBtn->click();
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/table.html#chart")));
    // Contents from anywhere returns to the start page.
    w.ContentsBtn->click();
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/index.html")));
    // A link inside a page is followed in the same window: Tab reaches the start page's first
    // link, Enter follows it.
    w.HelpBrowser->setFocus();
    QTest::keyClick(w.HelpBrowser, Qt::Key_Tab);
    QTest::keyClick(w.HelpBrowser, Qt::Key_Return);
    QCOMPARE(w.currentSource(), QUrl(QStringLiteral("qrc:/help/projects.html")));
    QCOMPARE(w.windowTitle(), QStringLiteral("Varnel Help - Projects"));
}

void TestHelp::uiServicesOpenOneHelpWindow() {
    QtUiServices ui;
    QVERIFY(!ui.helpWindow());
    ui.helpContents();
    HelpWindow* w = ui.helpWindow();
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->currentSource(), QUrl(QStringLiteral("qrc:/help/index.html")));
    // Help left open does not keep the program running after its main window closed.
    QVERIFY(!w->testAttribute(Qt::WA_QuitOnClose));

    ui.helpTopic(1020);
    QCOMPARE(ui.helpWindow(), w);
    QCOMPARE(w->currentSource(), QUrl(QStringLiteral("qrc:/help/main-window.html#pots")));

    w->hide();
    ui.helpSearch();
    QCOMPARE(ui.helpWindow(), w);
    QVERIFY(w->isVisible());
    QVERIFY(w->searchVisible());
    QVERIFY(w->SearchEdit->text().isEmpty());
}

void TestHelp::iconPngs_data() {
    QTest::addColumn<int>("size");
    for (int size : kAppIconSizes) QTest::newRow(qPrintable(QString::number(size))) << size;
}

void TestHelp::iconPngs() {
    QFETCH(int, size);
    const QImage image(QStringLiteral(":/icons/varnel-%1.png").arg(size));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), QSize(size, size));
    // Drawn on a transparent ground, so it sits on any title bar.
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    QVERIFY(AppIcon().availableSizes().contains(QSize(size, size)));
}

void TestHelp::aboutBoxShowsTheIcon() {
    TAboutDialog about;
    about.show();
    const QPixmap shown = about.ProgramIcon->pixmap();
    QVERIFY(!shown.isNull());
    QVERIFY(shown.width() <= about.ProgramIcon->width() &&
            shown.height() <= about.ProgramIcon->height());
    const QImage expected = AppIcon()
                                .pixmap(shown.size(), shown.devicePixelRatio())
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32), expected);
    // The credits name the licence, whole inside the panel.
    QVERIFY(about.LicenceLabel->text().contains(
        QStringLiteral("GNU General Public License, version 3 or later")));
    QVERIFY(about.Panel1->contentsRect().contains(about.LicenceLabel->geometry()));
    shoot(about, "about.png");
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
