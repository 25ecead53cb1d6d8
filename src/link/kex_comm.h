#pragma once

#include "link/terminal_screen.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace varnel {

class BoxLink;

// The terminal on the box's serial line: it shows every byte the box sends (the operations'
// traffic included) and sends every typed key at once, without echoing it itself. Closing it
// only hides it; it goes on receiving.
class TCommForm : public QDialog {
    Q_OBJECT
  public:
    TCommForm(BoxLink& link, QWidget* parent = nullptr);

    void FormCreate();
    // The first activation clears the screen; later ones change nothing.
    void FormActivate();
    void Memo1KeyPress(const QString& text);
    void Button1Click();

    const TerminalScreen& screen() const { return screen_; }
    // The screen as shown, one line per screen line (updated after each batch of bytes).
    QString screenText() const;
    bool activated() const { return Activated; }

    QPlainTextEdit* Memo1;
    QPushButton* Button1;

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showByte(quint8 b);
    void repaintScreen();

    BoxLink& link_;
    TerminalScreen screen_;
    bool Activated = false;
    bool repaintPending_ = false;
};

}  // namespace varnel
