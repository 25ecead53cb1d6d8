#include "kex_comm.h"

#include "link/box_link.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace varnel {

TCommForm::TCommForm(BoxLink& link, QWidget* parent) : QDialog(parent), link_(link) {
    setObjectName(QStringLiteral("CommForm"));
    setWindowTitle(QStringLiteral("Terminal"));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPixelSize(12);
    Memo1->setFont(mono);
    Memo1->setReadOnly(true);
    Memo1->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: silver; }"));
    Memo1->installEventFilter(this);
    // 80 columns and 25 lines of the fixed-pitch font, plus the frame.
    const QFontMetrics fm(mono);
    Memo1->setMinimumSize(fm.horizontalAdvance(QLatin1Char('M')) * 80 + 24,
                          fm.lineSpacing() * TerminalScreen::kRows + 16);

    Button1 = new QPushButton(QStringLiteral("Button1"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setAutoDefault(false);
    Button1->setFocusPolicy(Qt::NoFocus);
    connect(Button1, &QPushButton::clicked, this, &TCommForm::Button1Click);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Memo1);
    layout->addWidget(Button1, 0, Qt::AlignLeft);

    connect(&link_, &BoxLink::rxByte, this, &TCommForm::showByte);
    FormCreate();
    repaintScreen();
}

void TCommForm::FormCreate() {
    Activated = false;
    link_.FlushLink();
}

void TCommForm::FormActivate() {
    if (!Activated) {
        Activated = true;
        screen_.reset();
        repaintScreen();
        Memo1->moveCursor(QTextCursor::Start);
    }
    Memo1->setFocus();
}

void TCommForm::Memo1KeyPress(const QString& text) {
    // The line carries 8-bit characters; one outside Latin-1 has no byte and is not sent (a
    // stray NUL would reach the box instead).
    for (const QChar c : text)
        if (c.unicode() <= 0xFF) link_.SendByte(static_cast<uint8_t>(c.unicode()));
}

void TCommForm::Button1Click() {
    link_.FlushLink();
    for (const char c : {'C', '0', '0', '*'}) {
        link_.SendByteEcho(static_cast<uint8_t>(c));
        BoxLink::ProcessMessages();
    }
    link_.SendByteEcho(13);
    BoxLink::ProcessMessages();
}

QString TCommForm::screenText() const {
    return Memo1->toPlainText();
}

void TCommForm::showByte(quint8 b) {
    screen_.put(b);
    // Bytes come in bursts; the screen is redrawn once per burst, not once per byte.
    if (!repaintPending_) {
        repaintPending_ = true;
        QTimer::singleShot(0, this, &TCommForm::repaintScreen);
    }
}

void TCommForm::repaintScreen() {
    repaintPending_ = false;
    QStringList shown = screen_.lines();
    // Control characters other than CR and LF are written into the line; show them visibly.
    for (QString& line : shown)
        for (QChar& c : line)
            if (c.unicode() < 32)
                c = QChar(0x2400 + c.unicode());
            else if (c.unicode() == 127)
                c = QChar(0x2421);
    Memo1->setPlainText(shown.join(QLatin1Char('\n')));
    QTextCursor cursor = Memo1->textCursor();
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::Down, QTextCursor::MoveAnchor, screen_.TermRow);
    cursor.movePosition(QTextCursor::EndOfLine);
    Memo1->setTextCursor(cursor);
}

bool TCommForm::event(QEvent* e) {
    // Without a window manager a window may never be activated: the first show counts too.
    if (e->type() == QEvent::WindowActivate || (e->type() == QEvent::Show && !Activated))
        FormActivate();
    return QDialog::event(e);
}

bool TCommForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Memo1 && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll)) return false;
        // Every key with a character goes to the box, Escape and Return included; the screen
        // shows only what the box sends back.
        if (!key->text().isEmpty()) {
            Memo1KeyPress(key->text());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace varnel
