#pragma once

#include "app/help_index.h"

#include <QList>
#include <QUrl>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QTextBrowser;

namespace varnel {

// The program's help: a modeless window that shows the user guide, with Back, Forward, Contents
// and a Search pane that lists the guide's topics matching what is typed.
class HelpWindow : public QWidget {
    Q_OBJECT
  public:
    explicit HelpWindow(const HelpIndex& index = HelpIndex::guide(), QWidget* parent = nullptr);

    // Help > Contents and the "How Do I ..." button: the start page.
    void showContents();
    // F1 over a control: the page and anchor of its help context.
    void showTopic(int context);
    // Help > Topic Search: the search pane, empty, listing every topic.
    void openSearch();
    // Types the text into the search pane and returns the topics it lists.
    QList<HelpTopic> search(const QString& text);
    // Goes to a topic, as a click on it in the list does.
    void openTopic(const HelpTopic& topic);

    // The page shown, with the anchor it was opened at.
    QUrl currentSource() const;
    QList<HelpTopic> listedTopics() const { return listed_; }
    bool searchVisible() const;

    QTextBrowser* HelpBrowser;
    QPushButton* BackBtn;
    QPushButton* ForwardBtn;
    QPushButton* ContentsBtn;
    QPushButton* SearchBtn;
    QWidget* SearchPane;
    QLineEdit* SearchEdit;
    QListWidget* TopicList;

  private:
    void present();
    void go(const QUrl& url);
    void refreshList(const QString& text);
    void itemChosen(QListWidgetItem* item);
    void sourceChanged();

    const HelpIndex& index_;
    QList<HelpTopic> listed_;
};

}  // namespace varnel
