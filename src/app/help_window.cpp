#include "help_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace varnel {

namespace {

constexpr int kUrlRole = Qt::UserRole;

}  // namespace

HelpWindow::HelpWindow(const HelpIndex& index, QWidget* parent)
    : QWidget(parent, Qt::Window), index_(index) {
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Varnel Help"));
    // Help left open must not keep the program running once the main window has closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(780, 560);

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    BackBtn = button("BackBtn", QStringLiteral("< &Back"));
    ForwardBtn = button("ForwardBtn", QStringLiteral("&Forward >"));
    ContentsBtn = button("ContentsBtn", QStringLiteral("&Contents"));
    SearchBtn = button("SearchBtn", QStringLiteral("&Search"));
    SearchBtn->setCheckable(true);
    BackBtn->setEnabled(false);
    ForwardBtn->setEnabled(false);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {BackBtn, ForwardBtn, ContentsBtn, SearchBtn}) buttons->addWidget(b);
    buttons->addStretch(1);

    SearchPane = new QWidget(this);
    SearchPane->setObjectName(QStringLiteral("SearchPane"));
    auto* label = new QLabel(QStringLiteral("&Type a word to find:"), SearchPane);
    SearchEdit = new QLineEdit(SearchPane);
    SearchEdit->setObjectName(QStringLiteral("SearchEdit"));
    SearchEdit->setClearButtonEnabled(true);
    label->setBuddy(SearchEdit);
    TopicList = new QListWidget(SearchPane);
    TopicList->setObjectName(QStringLiteral("TopicList"));
    auto* paneLayout = new QVBoxLayout(SearchPane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->addWidget(label);
    paneLayout->addWidget(SearchEdit);
    paneLayout->addWidget(TopicList, 1);
    SearchPane->hide();

    HelpBrowser = new QTextBrowser(this);
    HelpBrowser->setObjectName(QStringLiteral("HelpBrowser"));
    HelpBrowser->setOpenExternalLinks(false);

    auto* splitter = new QSplitter(this);
    splitter->addWidget(SearchPane);
    splitter->addWidget(HelpBrowser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 540});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    connect(BackBtn, &QPushButton::clicked, HelpBrowser, &QTextBrowser::backward);
    connect(ForwardBtn, &QPushButton::clicked, HelpBrowser, &QTextBrowser::forward);
    connect(HelpBrowser, &QTextBrowser::backwardAvailable, BackBtn, &QPushButton::setEnabled);
    connect(HelpBrowser, &QTextBrowser::forwardAvailable, ForwardBtn, &QPushButton::setEnabled);
    connect(HelpBrowser, &QTextBrowser::sourceChanged, this, &HelpWindow::sourceChanged);
    connect(ContentsBtn, &QPushButton::clicked, this, &HelpWindow::showContents);
    connect(SearchBtn, &QPushButton::toggled, this, [this](bool on) {
        SearchPane->setVisible(on);
        if (on) {
            refreshList(SearchEdit->text());
            SearchEdit->setFocus();
        }
    });
    connect(SearchEdit, &QLineEdit::textChanged, this, &HelpWindow::refreshList);
    connect(SearchEdit, &QLineEdit::returnPressed, this, [this] {
        if (TopicList->count() == 0) return;
        QListWidgetItem* item = TopicList->currentItem();
        itemChosen(item ? item : TopicList->item(0));
    });
    connect(TopicList, &QListWidget::itemActivated, this, &HelpWindow::itemChosen);
    connect(TopicList, &QListWidget::itemClicked, this, &HelpWindow::itemChosen);
}

void HelpWindow::present() {
    if (isMinimized()) showNormal();
    show();
    raise();
    activateWindow();
}

void HelpWindow::go(const QUrl& url) {
    const bool samePage =
        HelpBrowser->source().adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment);
    HelpBrowser->setSource(url);
    // The browser does not move when asked for the top of the page it already shows.
    if (samePage && url.fragment().isEmpty()) HelpBrowser->verticalScrollBar()->setValue(0);
}

void HelpWindow::showContents() {
    go(index_.startPage());
    present();
}

void HelpWindow::showTopic(int context) {
    go(index_.contextUrl(context));
    present();
}

void HelpWindow::openSearch() {
    if (HelpBrowser->source().isEmpty()) go(index_.startPage());
    SearchEdit->clear();
    SearchBtn->setChecked(true);
    refreshList(QString());
    present();
    SearchEdit->setFocus();
}

QList<HelpTopic> HelpWindow::search(const QString& text) {
    if (HelpBrowser->source().isEmpty()) go(index_.startPage());
    SearchBtn->setChecked(true);
    if (SearchEdit->text() == text)
        refreshList(text);
    else
        SearchEdit->setText(text);
    present();
    return listed_;
}

void HelpWindow::openTopic(const HelpTopic& topic) {
    go(topic.url);
}

QUrl HelpWindow::currentSource() const {
    return HelpBrowser->source();
}

bool HelpWindow::searchVisible() const {
    return !SearchPane->isHidden();
}

void HelpWindow::refreshList(const QString& text) {
    listed_ = index_.search(text);
    TopicList->clear();
    for (const HelpTopic& t : std::as_const(listed_)) {
        const QString caption =
            t.title == t.pageTitle ? t.title : QStringLiteral("%1 - %2").arg(t.title, t.pageTitle);
        auto* item = new QListWidgetItem(caption, TopicList);
        item->setData(kUrlRole, t.url);
        item->setToolTip(t.pageTitle);
    }
    if (TopicList->count() > 0) TopicList->setCurrentRow(0);
}

void HelpWindow::itemChosen(QListWidgetItem* item) {
    if (item) go(item->data(kUrlRole).toUrl());
}

void HelpWindow::sourceChanged() {
    const QString stem = QStringLiteral("Varnel Help");
    const QString title = HelpBrowser->documentTitle();
    setWindowTitle(title.isEmpty() || title == stem ? stem
                                                    : QStringLiteral("%1 - %2").arg(stem, title));
}

}  // namespace varnel
