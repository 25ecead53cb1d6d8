#include "link/kex_comm.h"
#include "link/terminal_screen.h"
#include "support/in_process_box.h"

#include <QFontInfo>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace varnel;
using varnel::test::InProcessBox;

class TestTerminal : public QObject {
    Q_OBJECT
  private slots:
    void screen_data();
    void screen();
    void twentyFifthCarriageReturnScrolls();

    void firstShowClearsTheScreenAndLaterShowsKeepIt();
    void typedKeysAreSentWithoutLocalEcho();
    void theBoxEchoShowsOnTheScreen();
    void escapeIsSentAndKeepsTheWindow();
    void testButtonReadsByteZero();
    void fixedPitchFont();
};

void TestTerminal::screen_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("top");  // the first lines of the screen
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("col");
    QTest::newRow("80th character dropped")
        << QByteArray(85, 'a') << QStringList{QString(79, QLatin1Char('a')), QString()} << 0 << 79;
    QTest::newRow("line feed lets the line grow again")
        << QByteArray(80, 'a') + "\nbc" << QStringList{QString(79, QLatin1Char('a')) + "bc"} << 0
        << 2;
    QTest::newRow("CR only moves down")
        << QByteArray("ab\rcd") << QStringList{"ab", "cd", ""} << 1 << 4;
    QTest::newRow("LF only returns to the margin")
        << QByteArray("ab\ncd") << QStringList{"abcd", ""} << 0 << 2;
    QTest::newRow("CR LF starts a new line")
        << QByteArray("ab\r\ncd") << QStringList{"ab", "cd", ""} << 1 << 2;
    QTest::newRow("CR alone keeps the column count")
        << QByteArray(60, 'a') + "\r" + QByteArray(30, 'b')
        << QStringList{QString(60, QLatin1Char('a')), QString(19, QLatin1Char('b'))} << 1 << 79;
    QTest::newRow("other control bytes are characters")
        << QByteArray("a\tb\x07") << QStringList{"a\tb\x07"} << 0 << 4;
}

void TestTerminal::screen() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, top);
    TerminalScreen s;
    for (const char c : bytes) s.put(uint8_t(c));
    QCOMPARE(s.lines().size(), 25);
    QCOMPARE(s.lines().mid(0, top.size()), top);
    QTEST(s.TermRow, "row");
    QTEST(s.TermCol, "col");
}

void TestTerminal::twentyFifthCarriageReturnScrolls() {
    TerminalScreen s;
    for (int i = 0; i < 24; ++i) {
        for (const char c : QByteArray::number(i)) s.put(uint8_t(c));
        s.put('\r');
        s.put('\n');
    }
    QCOMPARE(s.TermRow, 24);
    QCOMPARE(s.lines().first(), QStringLiteral("0"));
    QCOMPARE(s.lines()[23], QStringLiteral("23"));
    s.put('x');
    s.put('\r');  // the 25th: the top line is lost
    QCOMPARE(s.TermRow, 24);
    QCOMPARE(s.lines().size(), 25);
    QCOMPARE(s.lines().first(), QStringLiteral("1"));
    QCOMPARE(s.lines()[23], QStringLiteral("x"));
    QCOMPARE(s.lines()[24], QString());
}

void TestTerminal::firstShowClearsTheScreenAndLaterShowsKeepIt() {
    InProcessBox box;
    QVERIFY(box.open());
    TCommForm form(box.link);
    for (const char c : QByteArray("before\r\n")) box.link.StoreRxByte(uint8_t(c));
    QCoreApplication::processEvents();
    QCOMPARE(form.screen().lines().first(), QStringLiteral("before"));
    form.show();
    QCOMPARE(form.screen().lines().first(), QString());
    QCOMPARE(form.screen().TermRow, 0);
    QVERIFY(form.screenText().trimmed().isEmpty());
    for (const char c : QByteArray("after")) box.link.StoreRxByte(uint8_t(c));
    QTRY_COMPARE(form.screenText().section(QLatin1Char('\n'), 0, 0), QStringLiteral("after"));
    form.close();
    QVERIFY(form.isHidden());
    form.show();
    QCOMPARE(form.screenText().section(QLatin1Char('\n'), 0, 0), QStringLiteral("after"));
}

void TestTerminal::typedKeysAreSentWithoutLocalEcho() {
    InProcessBox box;
    QVERIFY(box.open());
    box.detach();  // no box on the line
    TCommForm form(box.link);
    form.show();
    QTest::keyClicks(form.Memo1, QStringLiteral("Q1a"));
    // A character outside Latin-1 has no byte on the line: nothing is sent for it.
    for (const QString& text :
         {QString(QChar(0x20AC)), QString::fromUtf8("b\u00E9"), QString::fromUtf8("\U0001F600")})
        QTest::sendKeyEvent(QTest::Click, form.Memo1, Qt::Key_unknown, text, Qt::NoModifier);
    QTest::keyClick(form.Memo1, Qt::Key_Return);
    QCOMPARE(box.transport->written, QByteArray("Q1ab\xE9\r"));
    QTest::qWait(30);
    QVERIFY(form.screenText().trimmed().isEmpty());
    QVERIFY(form.Memo1->toPlainText().trimmed().isEmpty());
}

void TestTerminal::theBoxEchoShowsOnTheScreen() {
    InProcessBox box;
    QVERIFY(box.open());
    TCommForm form(box.link);
    form.show();
    QTest::keyClicks(form.Memo1, QStringLiteral("Q"));
    QTest::keyClick(form.Memo1, Qt::Key_Return);
    QTRY_COMPARE(form.screen().lines().mid(0, 4), (QStringList{"Q", "", "V1.0 KEX", ">"}));
    QTRY_COMPARE(form.screenText().split(QLatin1Char('\n')).mid(0, 4),
             (QStringList{"Q", "", "V1.0 KEX", ">"}));
}

void TestTerminal::escapeIsSentAndKeepsTheWindow() {
    InProcessBox box;
    QVERIFY(box.open());
    TCommForm form(box.link);
    form.show();
    QTest::keyClick(form.Memo1, Qt::Key_Escape);
    QCOMPARE(box.transport->written, QByteArray("\x1b"));
    QVERIFY(form.isVisible());
}

void TestTerminal::testButtonReadsByteZero() {
    InProcessBox box;
    QVERIFY(box.open());
    box.model->eeprom[0] = 0x5A;
    TCommForm form(box.link);
    form.show();
    form.Button1->click();
    QCOMPARE(form.Button1->text(), QStringLiteral("Button1"));
    QCOMPARE(box.transport->written, QByteArray("C00*\r"));
    // No reply is awaited: it comes in on the screen and stays in the ring.
    QTRY_COMPARE(form.screen().lines().mid(0, 3), (QStringList{"C00*", "5A+", ">"}));
    uint8_t b = 0;
    QVERIFY(box.link.GetRxByte(b));
    QCOMPARE(char(b), '5');
}

void TestTerminal::fixedPitchFont() {
    InProcessBox box;
    TCommForm form(box.link);
    QVERIFY(QFontInfo(form.Memo1->font()).fixedPitch());
    QCOMPARE(form.windowTitle(), QStringLiteral("Terminal"));
}

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
