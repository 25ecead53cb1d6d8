// The views and editors of the image on the main window: the table grid and chart, the Output
// selector, the pots, the limit and invert controls and the hexadecimal grid.

#include "app/kex_main.h"
#include "app/kex_new.h"
#include "base/project_header.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "image/table_view.h"
#include "match/match_session.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QToolButton>
#include <QValueAxis>
#include <QtTest>

using namespace varnel;
using varnel::test::WindowFixture;

namespace {

// Where a chart value lies in the chart's viewport.
QPoint chartPos(const TMainForm& f, QPointF value) {
    return f.Chart1->mapFromScene(f.Chart1->chart()->mapToPosition(value, f.Series1));
}

}  // namespace

class TestTable : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void newProjectShowsTheIdentity();
    void gridEditVoltageAndSwitchKinds();
    void gridEdits_data();
    void gridEdits();
    void firstEditEnablesSave();
    void erasedImage();
    void pots_data();
    void pots();
    void potStepsFromItsShownValue();
    void limitTyping_data();
    void limitTyping();
    void invert();
    void hexGrid_data();
    void hexGrid();
    void hexGridOffersAndRepaints();
    void leadingHex_data();
    void leadingHex();
    void undoRedo_data();
    void undoRedo();
    void dragHoldsTheHistory();
    void compareWithAnotherProject();
    void typedValueGoesInFirst_data();
    void typedValueGoesInFirst();

  private:
    WindowFixture w;
};

void TestTable::init() {
    // Shown, the window activates and opens its link: a line to nowhere.
    w.make(true);
    w.fileNew();
}

void TestTable::cleanup() {
    VERIFY_UI(w.ui);
    w.form.reset();
}

void TestTable::newProjectShowsTheIdentity() {
    TMainForm& f = *w.form;
    for (int r = 1; r <= 27; ++r) {
        // Each output is the input of its row, to the resolution of a word.
        const double in = f.TableGrid->cell(0, r).trimmed().toDouble();
        const double out = f.TableGrid->shownText(1, r).trimmed().toDouble();
        QVERIFY2(std::abs(in - out) <= 0.003, qPrintable(QString::number(r)));
    }
    QCOMPARE(f.TableGrid->shownText(1, 33), QStringLiteral(" 4.995 "));
    QCOMPARE(f.TableGrid->cell(1, 0), QStringLiteral("V Out"));

    QCOMPARE(f.Series1->count(), kChartPoints);
    for (int i = 0; i < kChartPoints; ++i) {
        // The points are the grid's rows, to the grid's three decimals.
        const QPointF p = f.Series1->at(i);
        QVERIFY(std::abs(p.x() - f.TableGrid->cell(0, i + 1).toDouble()) < 0.0006);
        QVERIFY(std::abs(p.y() - f.TableGrid->shownText(1, i + 1).toDouble()) < 0.0006);
        // A straight line through the origin up to 4.995 V, flat beyond.
        if (i <= 26) QVERIFY(std::abs(p.y() - p.x()) < 0.003);
    }
    QCOMPARE(f.LeftAxis->titleText(), QStringLiteral("V Out"));
    QCOMPARE(f.LeftAxis->min(), 0.0);
    QCOMPARE(f.LeftAxis->max(), 5.0);

    // With VARNEL_SCREENSHOT set, the window is drawn to that file to be looked at.
    const QString shot = qEnvironmentVariable("VARNEL_SCREENSHOT");
    if (!shot.isEmpty()) {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::qWait(200);
        QVERIFY(f.grab().save(shot));
    }
}

void TestTable::gridEditVoltageAndSwitchKinds() {
    TMainForm& f = *w.form;
    QStringList before;
    for (int r = 1; r <= 33; ++r) before << f.TableGrid->shownText(1, r);
    const float point12 = float(f.Series1->at(12).y());

    f.TableGrid->commitEdit(1, 14, QStringLiteral("2.5"));
    QCOMPARE(w.state->image.byte(0x1A), uint8_t(0x02));
    QCOMPARE(w.state->image.byte(0x1B), uint8_t(0x00));
    QVERIFY(w.state->Modified);
    QCOMPARE(f.Series1->at(13).y(), 2.5);
    QCOMPARE(float(f.Series1->at(12).y()), point12);
    QCOMPARE(f.TableGrid->shownText(1, 14), QStringLiteral(" 2.500 "));
    before[13] = QStringLiteral(" 2.500 ");
    const QByteArray image = w.state->image.toByteArray();

    f.OutputRGrp->setItemIndex(1);
    QCOMPARE(f.TableGrid->shownText(1, 14), QStringLiteral(" 1475 "));
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x02));
    QCOMPARE(int(w.state->header.OutputType()), 1);
    QCOMPARE(f.LeftAxis->titleText(), QStringLiteral("F Out"));
    QCOMPARE(f.TableGrid->cell(1, 0), QStringLiteral("F Out"));
    QCOMPARE(f.Series1->at(13).y(), double(512 * 2.88L));
    QVERIFY(f.LeftAxis->max() >= 2946.24);
    // The limit box shows the same word as hertz, and reading it back keeps the word.
    QCOMPARE(f.LimitEdit->text(), QStringLiteral("2946"));
    QCOMPARE(w.state->image.entry(kLimitEntry), uint16_t(1023));

    f.OutputRGrp->setItemIndex(0);
    QStringList after;
    for (int r = 1; r <= 33; ++r) after << f.TableGrid->shownText(1, r);
    QCOMPARE(after, before);
    QCOMPARE(w.state->image.toByteArray(), image);
    QCOMPARE(int(w.state->header.OutputType()), 0);
    QCOMPARE(f.LimitEdit->text(), QStringLiteral("4.995"));
    QCOMPARE(f.LeftAxis->titleText(), QStringLiteral("V Out"));
}

void TestTable::gridEdits_data() {
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("word");        // -1: unchanged
    QTest::addColumn<bool>("moves");      // the chart point takes the entry's text afterwards
    QTest::addColumn<QString>("status");  // the status line: why a text was refused
    QTest::newRow("volt clamped") << false << 10 << "5" << 1023 << true << "";
    // A refused text leaves the word, but the point still takes the word's rounded text.
    QTest::newRow("volt negative")
        << false << 10 << "-1" << -1 << true << "'-1' is not a valid value: entry 9 kept";
    QTest::newRow("volt trailing blank")
        << false << 10 << "2.5 " << -1 << true << "'2.5 ' is not a number: entry 9 kept";
    QTest::newRow("volt letters") << false << 10 << "abc" << -1 << true
                                  << "'abc' is not a number: entry 9 kept";
    QTest::newRow("volt decimal comma")
        << false << 6 << "2,5" << -1 << true << "'2,5' is not a number: entry 5 kept";
    QTest::newRow("volt leading blank") << false << 10 << " 1" << 205 << true << "";
    QTest::newRow("freq below 6 Hz") << true << 10 << "5" << 0 << true << "";
    QTest::newRow("freq 6 Hz") << true << 10 << "6" << 2 << true << "";
    QTest::newRow("freq clamped") << true << 10 << "9999" << 1023 << true << "";
    QTest::newRow("freq letters kept")
        << true << 10 << "abc" << -1 << true << "'abc' is not a number: entry 9 kept";
    QTest::newRow("entry 0 not plotted") << false << 1 << "1" << 205 << false << "";
    QTest::newRow("entry 30 plotted") << false << 31 << "1" << 205 << true << "";
    QTest::newRow("entry 31 not plotted") << false << 32 << "1" << 205 << false << "";
    QTest::newRow("entry 32 stored") << false << 33 << "1" << 205 << false << "";
}

void TestTable::gridEdits() {
    QFETCH(bool, frequency);
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(int, word);
    QFETCH(bool, moves);
    TMainForm& f = *w.form;
    if (frequency) f.OutputRGrp->setItemIndex(1);
    const int entry = row - 1;
    const uint16_t old = w.state->image.entry(entry);
    const QPointF oldPoint = entry < kChartPoints ? f.Series1->at(entry) : QPointF();
    f.StatusLine->setText(QStringLiteral("from an earlier value"));

    f.TableGrid->commitEdit(1, row, text);
    // No box to dismiss: the scripted user would fail the test on one.
    QTEST(f.StatusLine->text(), "status");
    QCOMPARE(int(w.state->image.entry(entry)), word < 0 ? int(old) : word);
    const QString shown = EntryText(w.state->image, entry, frequency);
    QCOMPARE(f.TableGrid->shownText(1, row), shown);
    if (moves)
        QCOMPARE(float(f.Series1->at(entry).y()), shown.trimmed().toFloat());
    else if (entry < kChartPoints)
        QCOMPARE(f.Series1->at(entry), oldPoint);
    QCOMPARE(f.Series1->count(), kChartPoints);
    QVERIFY(w.state->Modified);
}

void TestTable::firstEditEnablesSave() {
    TMainForm& f = *w.form;
    const QString file = w.path(QStringLiteral("t.KEX"));
    w.fileSaveAs(file);
    QVERIFY(!f.FileSave->isEnabled());
    // An empty text (an editor cleared and left) is no edit at all.
    f.TableGrid->commitEdit(1, 5, QString());
    QVERIFY(!w.state->Modified);
    QVERIFY(!f.FileSave->isEnabled());
    f.TableGrid->commitEdit(1, 5, QStringLiteral("1.5"));
    QVERIFY(w.state->Modified);
    QVERIFY(f.FileSave->isEnabled());
}

void TestTable::erasedImage() {
    TMainForm& f = *w.form;
    w.state->image.fill(0xFF);
    f.DrawTableChart();
    f.RepaintTableGrid();
    for (int r = 1; r <= 33; ++r) QCOMPARE(f.TableGrid->shownText(1, r), QStringLiteral("****"));
    QVERIFY(std::abs(f.Series1->at(5).y() - 0xFFFF / 204.8) < 0.001);
    QVERIFY(f.LeftAxis->max() >= 0xFFFF / 204.8);
    // "****" is no number: the point stays where it was.
    f.TableGrid->commitEdit(1, 6, QStringLiteral("abc"));
    QVERIFY(std::abs(f.Series1->at(5).y() - 0xFFFF / 204.8) < 0.001);
    f.OutputRGrp->setItemIndex(1);
    for (int r = 1; r <= 33; ++r) QCOMPARE(f.TableGrid->shownText(1, r), QStringLiteral("2950"));
}

void TestTable::pots_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("clicks");  // u = up, d = down
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("shown");
    QTest::newRow("200 up") << 200 << "-56"
                            << "u" << 200 << "-56";
    QTest::newRow("200 down") << 200 << "-56"
                              << "d" << 199 << "-57";
    QTest::newRow("0 down") << 0 << "0"
                            << "d" << 0 << "0";
    QTest::newRow("99 up") << 99 << "99"
                           << "u" << 99 << "99";
    QTest::newRow("98 up up") << 98 << "98"
                              << "uu" << 99 << "99";
    QTest::newRow("128 loads as 128") << 128 << "128"
                                      << "" << 128 << "128";
    QTest::newRow("129 down to 128") << 129 << "-127"
                                     << "d" << 128 << "-128";
    QTest::newRow("255") << 255 << "-1"
                         << "dd" << 253 << "-3";
}

void TestTable::pots() {
    QFETCH(int, byte);
    QFETCH(QString, loaded);
    QFETCH(QString, clicks);
    QFETCH(int, after);
    QFETCH(QString, shown);
    TMainForm& f = *w.form;
    for (int k = 1; k <= 4; ++k) {
        const int offset = 0x42 + k;
        w.state->image.setByte(offset, uint8_t(byte));
        w.state->Modified = false;
        f.SetPot(k, 0);
        QCOMPARE(f.PotEdits[k - 1]->text(), loaded);
        QVERIFY(!w.state->Modified);
        for (const QChar c : clicks) {
            SpinButton* spin = f.PotSpins[k - 1];
            (c == QLatin1Char('u') ? spin->upButton() : spin->downButton())->click();
        }
        QCOMPARE(int(w.state->image.byte(offset)), after);
        QCOMPARE(f.PotEdits[k - 1]->text(), shown);
        QCOMPARE(w.state->Modified, !clicks.isEmpty());
    }
    // Each pot has its own byte.
    QCOMPARE(w.state->image.byte(0x42), uint8_t(0x01));
    QCOMPARE(w.state->image.byte(0x47), uint8_t(0xFF));
}

void TestTable::potStepsFromItsShownValue() {
    TMainForm& f = *w.form;
    f.PotSpins[1]->upButton()->click();
    QCOMPARE(f.PotEdits[1]->text(), QStringLiteral("1"));
    // The hexadecimal grid changes the byte; the pot still steps what it showed.
    f.EEPROMGrid->commitEdit(5, 5, QStringLiteral("50"));
    QCOMPARE(w.state->image.byte(0x44), uint8_t(0x50));
    f.PotSpins[1]->upButton()->click();
    QCOMPARE(w.state->image.byte(0x44), uint8_t(2));
    QCOMPARE(f.PotEdits[1]->text(), QStringLiteral("2"));
}

void TestTable::limitTyping_data() {
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("word");
    QTest::newRow("4.5 volts") << false << "4.5"
                               << "4.5" << 922;
    QTest::newRow("signs and commas refused") << false << "-2,5"
                                              << "25" << 1023;
    QTest::newRow("letters refused") << false << "x1y"
                                     << "1" << 205;
    QTest::newRow("trailing point") << false << "3."
                                    << "3." << 614;
    QTest::newRow("lone point keeps the word") << false << "."
                                               << "." << 1023;
    QTest::newRow("1000 Hz") << true << "1000"
                             << "1000" << 347;
    QTest::newRow("lone point clears hertz") << true << "."
                                             << "." << 0;
}

void TestTable::limitTyping() {
    QFETCH(bool, frequency);
    QFETCH(QString, keys);
    QFETCH(QString, text);
    QFETCH(int, word);
    TMainForm& f = *w.form;
    if (frequency) f.OutputRGrp->setItemIndex(1);
    w.state->Modified = false;
    f.LimitEdit->setFocus();
    f.LimitEdit->selectAll();
    QTest::keyClicks(f.LimitEdit, keys);
    QCOMPARE(f.LimitEdit->text(), text);
    QCOMPARE(int(w.state->image.entry(kLimitEntry)), word);
    QVERIFY(w.state->Modified);
    // Backspace is a key the box takes.
    QTest::keyClick(f.LimitEdit, Qt::Key_Backspace);
    QCOMPARE(f.LimitEdit->text(), text.chopped(1));
}

void TestTable::invert() {
    TMainForm& f = *w.form;
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x01));
    f.InvertCBox->setChecked(true);
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x11));
    QVERIFY(w.state->Modified);
    f.OutputRGrp->setItemIndex(1);
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x12));
    f.InvertCBox->setChecked(false);
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x02));
}

void TestTable::hexGrid_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");  // -1: refused
    QTest::newRow("3c") << 13 << 5 << "3c" << 0x3C;
    QTest::newRow("1G") << 13 << 5 << "1G" << 0x01;
    QTest::newRow("G5") << 13 << 5 << "G5" << 0x00;
    QTest::newRow("FF") << 1 << 1 << "FF" << 0xFF;
    QTest::newRow("leading blank") << 1 << 2 << " 2B" << 0x00;
    QTest::newRow("100") << 13 << 5 << "100" << -1;
    QTest::newRow("long") << 16 << 16 << "123456789ABCDEF0" << -1;
}

void TestTable::hexGrid() {
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QString, text);
    QFETCH(int, value);
    TMainForm& f = *w.form;
    const int index = (row - 1) * 16 + (col - 1);
    const EepromImage before = w.state->image;
    if (value < 0) w.ui.expectError(QStringLiteral("Range check error"));
    f.EEPROMGrid->commitEdit(col, row, text);
    EepromImage expected = before;
    if (value >= 0) expected.setByte(index, uint8_t(value));
    QCOMPARE(w.state->image, expected);
    QCOMPARE(f.EEPROMGrid->shownText(col, row), HexByteText(expected.byte(index)));
    QVERIFY(w.state->Modified);
}

void TestTable::hexGridOffersAndRepaints() {
    TMainForm& f = *w.form;
    // Byte 0x1B is the low byte of entry 13; the table shows the change at once.
    f.EEPROMGrid->commitEdit(12, 2, QStringLiteral("1a"));
    QCOMPARE(w.state->image.byte(0x1B), uint8_t(0x1A));
    QCOMPARE(f.EEPROMGrid->getEditText(12, 2), QStringLiteral(" 1A "));
    QCOMPARE(f.EEPROMGrid->shownText(12, 2), QStringLiteral(" 1A "));
    QCOMPARE(f.TableGrid->shownText(1, 14), VoltWordToText(0x011A));
    // The mode byte changes nothing else until the next refresh.
    f.EEPROMGrid->commitEdit(3, 5, QStringLiteral("02"));
    QCOMPARE(w.state->image.modeByte(), uint8_t(0x02));
    QCOMPARE(f.OutputRGrp->itemIndex(), 0);
    QCOMPARE(f.EEPROMGrid->cell(1, 0), QStringLiteral(" 0 "));
    QCOMPARE(f.EEPROMGrid->cell(0, 16), QStringLiteral(" F0 "));
}

void TestTable::leadingHex_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("digits") << "09" << 9;
    QTest::newRow("mixed case") << "aB" << 0xAB;
    QTest::newRow("stops at blank") << "7 1" << 7;
    QTest::newRow("sign") << "-1" << 0;
    QTest::newRow("three digits") << "100" << 0x100;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("\u0661") << 0;
}

void TestTable::leadingHex() {
    QFETCH(QString, text);
    QTEST(LeadingHexValue(text), "value");
}

void TestTable::undoRedo_data() {
    // Each change made in the window is one step back to the saved bytes; caption "" is a
    // refused change, which makes none.
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("modifies");
    QTest::newRow("typed cell") << "cell"
                                << "Edit entry 13" << true;
    QTest::newRow("scale") << "scale"
                           << "Scale entries 5 to 10 by 5 %" << true;
    QTest::newRow("smooth") << "smooth"
                            << "Smooth entries 0 to 32" << true;
    QTest::newRow("shift plus") << "plus"
                                << "Add 10 words to entries 3 to 4" << true;
    QTest::newRow("copy and paste") << "paste"
                                    << "Paste 3 values into entries 10 to 12" << true;
    QTest::newRow("paste refused") << "bad paste"
                                   << "" << false;
    QTest::newRow("import") << "import"
                            << "Import table t.csv" << true;
    QTest::newRow("pot") << "pot"
                         << "Pot 2 up" << true;
    QTest::newRow("limit typed") << "limit"
                                 << "Limit 4.5" << true;
    QTest::newRow("invert") << "invert"
                            << "Invert on" << true;
    QTest::newRow("hex grid") << "hex"
                              << "Edit byte 4C" << true;
    QTest::newRow("hex grid, mode byte") << "hex mode"
                                         << "Edit byte 42" << true;
    QTest::newRow("output kind") << "output"
                                 << "Output Frequency" << true;
    QTest::newRow("copy E2P") << "copy"
                              << "Copy E2P" << true;
    QTest::newRow("edit project") << "project"
                                  << "Edit project" << false;
    QTest::newRow("chart drag") << "drag"
                                << "Drag entry 13" << true;
}

void TestTable::undoRedo() {
    QFETCH(QString, change);
    QFETCH(QString, caption);
    QFETCH(bool, modifies);
    TMainForm& f = *w.form;
    // Everything the window shows of the project.
    auto shown = [&f] {
        QStringList s{QString::number(f.OutputRGrp->itemIndex()),
                      QString::number(f.InvertCBox->isChecked()),
                      f.LimitEdit->text(),
                      f.GroupLabel->text(),
                      f.VInLabel->text(),
                      f.windowTitle()};
        for (QLineEdit* e : f.PotEdits) s << e->text();
        for (int r = 0; r <= 33; ++r) s << f.TableGrid->shownText(1, r);
        for (const QPointF& p : f.Series1->points()) s << QString::number(p.y());
        return s;
    };
    auto bytes = [this] { return w.state->header.toByteArray() + w.state->image.toByteArray(); };
    const QString file = w.path(QStringLiteral("u.KEX"));
    w.fileSaveAs(file);
    const QByteArray saved = bytes();
    const QStringList savedShown = shown();
    auto valueDialog = [this](const char* value) {
        w.ui.expectDialog(QStringLiteral("TableValueDialog"), [value](QDialog& d) {
            auto* edit = d.findChild<QLineEdit*>(QStringLiteral("ValueEdit"));
            auto* ok = d.findChild<QPushButton*>(QStringLiteral("OKBtn"));
            // OK takes only a number: a user who can press it here makes the step fail.
            edit->setText(QStringLiteral("5 %"));
            const bool refused = !ok->isEnabled();
            edit->setText(QLatin1String(value));
            return int(refused && ok->isEnabled() ? QDialog::Accepted : QDialog::Rejected);
        });
    };

    if (change == QLatin1String("cell")) {
        f.TableGrid->commitEdit(1, 14, QStringLiteral("2.5"));
    } else if (change == QLatin1String("scale")) {
        f.selectEntries(5, 10);
        valueDialog("5");
        f.TableScale->trigger();
    } else if (change == QLatin1String("smooth")) {
        f.TableGrid->selectAll();
        f.TableSmooth->trigger();
    } else if (change == QLatin1String("plus")) {
        f.selectEntries(3, 4);
        QTest::keyClick(f.TableGrid, Qt::Key_Plus, Qt::ShiftModifier);
    } else if (change == QLatin1String("paste") || change == QLatin1String("bad paste")) {
        f.selectEntries(13, 14);
        f.EditCopy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("2.437\t%1\n2.625\t%2\n")
                     .arg(f.TableGrid->shownText(1, 14).trimmed(),
                          f.TableGrid->shownText(1, 15).trimmed()));
        f.selectEntries(10, 11);
        QGuiApplication::clipboard()->setText(change == QLatin1String("paste")
                                                  ? QStringLiteral("1\n2.5\n3\n")
                                                  : QStringLiteral("1\n2.5\nx3\n"));
        if (change == QLatin1String("bad paste"))
            w.ui.expectError(QStringLiteral("Line 3 of the clipboard: 'x3' is not a number."));
        f.EditPaste->trigger();
    } else if (change == QLatin1String("import")) {
        const QString csv = w.path(QStringLiteral("t.csv"));
        QVERIFY(WindowFixture::writeAll(csv, "entry,word\n3,100\n"));
        w.ui.expectOpenFile(csv);
        f.FileImportTable->trigger();
    } else if (change == QLatin1String("pot")) {
        f.PotSpins[1]->upButton()->click();
    } else if (change == QLatin1String("limit")) {
        f.LimitEdit->setFocus();
        f.LimitEdit->selectAll();
        QTest::keyClicks(f.LimitEdit, QStringLiteral("4.5"));
    } else if (change == QLatin1String("invert")) {
        f.InvertCBox->setChecked(true);
    } else if (change == QLatin1String("hex")) {
        f.EEPROMGrid->commitEdit(13, 5, QStringLiteral("3c"));
    } else if (change == QLatin1String("hex mode")) {
        f.EEPROMGrid->commitEdit(3, 5, QStringLiteral("02"));
    } else if (change == QLatin1String("output")) {
        f.OutputRGrp->setItemIndex(1);
    } else if (change == QLatin1String("copy")) {
        MatchCopySource source;
        source.useFile = QStringLiteral("USE.MAF");
        source.matchFile = QStringLiteral("MATCH.MAF");
        source.matchIsFrequency = true;
        for (int i = 0; i < 32; ++i) source.entries[size_t(i)] = 20 * i;
        w.ui.expectConfirm(QStringLiteral("Ok to save E2P data in main table?"),
                           UiServices::Answer::Yes);
        QVERIFY(f.MatchCopyE2P(source));
    } else if (change == QLatin1String("drag")) {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QWidget* view = f.Chart1->viewport();
        // A point of the adjusted curve is named but is no handle.
        QList<QPointF> adjusted = f.Series1->points();
        for (QPointF& p : adjusted) p.ry() = std::max(0.0, p.y() - 206 / 204.8);
        f.Series2->replace(adjusted);
        const QPoint onAdjusted = chartPos(f, adjusted[13]);
        QCOMPARE(f.ChartTipAt(onAdjusted),
                 QStringLiteral("Entry 13: 2.437 V in, 1.431 V out (adjusted)"));
        const QPoint from = chartPos(f, f.Series1->at(13));
        const QPoint to = chartPos(f, QPointF(f.Series1->at(13).x(), 2.5));
        QCOMPARE(f.ChartTipAt(from + QPoint(5, 6)),
                 QStringLiteral("Entry 13: 2.437 V in, 2.437 V out"));
        QVERIFY(f.ChartTipAt(from + QPoint(9, 8)).isEmpty());
        QTest::mousePress(view, Qt::LeftButton, {}, onAdjusted);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QCOMPARE(bytes(), saved);
        // The entry follows the pointer in the grid, the hexadecimal grid and the curve; Esc
        // puts it back, and leaves nothing to undo.
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, to);
        const int word = w.state->image.entry(13);
        QVERIFY2(std::abs(word - 512) <= 8, qPrintable(QString::number(word)));
        QCOMPARE(f.TableGrid->shownText(1, 14), VoltWordToText(uint16_t(word)));
        QCOMPARE(f.EEPROMGrid->shownText(12, 2), HexByteText(uint8_t(word & 0xFF)));
        QVERIFY(std::abs(f.Series1->at(13).y() - word / 204.8) < 1e-6);
        QVERIFY(w.state->Modified && f.FileSave->isEnabled());
        QTest::keyClick(f.TableGrid, Qt::Key_Escape);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QCOMPARE(bytes(), saved);
        QCOMPARE(shown(), savedShown);
        QVERIFY(!w.state->Modified && !f.FileSave->isEnabled() && !f.EditUndo->isEnabled());
        // Two moves and a release: one step.
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, (from + to) / 2);
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QCOMPARE(int(w.state->image.entry(13)), word);
        f.Series2->clear();
    } else if (change == QLatin1String("project")) {
        w.ui.expectDialog(QStringLiteral("NewDialog"), [](QDialog& d) {
            auto& n = static_cast<TNewDialog&>(d);
            n.ProjectNameEdit->setText(QStringLiteral("Renamed"));
            n.GroupRGrp->setItemIndex(2);
            return int(QDialog::Accepted);
        });
        f.EditProject->trigger();
    }
    VERIFY_UI(w.ui);
    const QByteArray changed = bytes();
    QStringList changedShown = shown();
    // Put back, the controls show the bytes as a load shows them: the limit's word rather
    // than the keys typed, the output kind that the mode byte now holds.
    if (change == QLatin1String("limit")) changedShown[2] = QStringLiteral("4.502");
    if (change == QLatin1String("hex mode")) changedShown[0] = QStringLiteral("1");
    QCOMPARE(w.state->Modified, modifies);
    if (caption.isEmpty()) {
        QCOMPARE(changed, saved);
        QVERIFY(!f.EditUndo->isEnabled());
        return;
    }
    QVERIFY(changed != saved);
    QCOMPARE(f.EditUndo->text(), QStringLiteral("Undo ") + caption);

    f.EditUndo->trigger();
    QCOMPARE(bytes(), saved);
    QCOMPARE(shown(), savedShown);
    QVERIFY(!w.state->Modified);
    QVERIFY(!f.EditUndo->isEnabled());
    QCOMPARE(f.EditRedo->text(), QStringLiteral("Redo ") + caption);
    f.EditRedo->trigger();
    QCOMPARE(bytes(), changed);
    // (After the mode byte, the whole window shows hertz.)
    const qsizetype compared = change == QLatin1String("hex mode") ? 1 : -1;
    QCOMPARE(shown().mid(0, compared), changedShown.mid(0, compared));
    QCOMPARE(w.state->Modified, modifies);

    // Saved there, the change is the file's: undoing it now leaves the project modified.
    w.ui.expectInformation(file + QStringLiteral(" saved"));
    QVERIFY(f.SaveProject());
    const QByteArray stamped = bytes();
    f.EditUndo->trigger();
    QCOMPARE(w.state->image.toByteArray(), saved.mid(kHeaderSize));
    QVERIFY(w.state->Modified);
    f.EditRedo->trigger();
    QCOMPARE(bytes(), stamped);
    QVERIFY(!w.state->Modified);
    QVERIFY(!f.FileSave->isEnabled());
    if (change == QLatin1String("limit")) {
        // Typing on after the save is a step of its own.
        QTest::keyClick(f.LimitEdit, Qt::Key_1);
        f.EditUndo->trigger();
        QCOMPARE(bytes(), stamped);
        QVERIFY(!w.state->Modified);
    }
    // Another project starts another history.
    f.FileClose->trigger();
    QVERIFY(!f.EditUndo->isEnabled() && !f.EditRedo->isEnabled());
}

void TestTable::dragHoldsTheHistory() {
    TMainForm& f = *w.form;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    QWidget* view = f.Chart1->viewport();
    const QPoint from = chartPos(f, f.Series1->at(13));
    const QPoint to = chartPos(f, QPointF(f.Series1->at(13).x(), 2.5));
    auto drag = [&](QPoint a, QList<QPoint> moves, bool escape) {
        QTest::mousePress(view, Qt::LeftButton, {}, a);
        for (QPoint m : moves) QTest::mouseMove(view, m);
        if (escape) QTest::keyClick(f.TableGrid, Qt::Key_Escape);
        QTest::mouseRelease(view, Qt::LeftButton, {}, moves.last());
    };
    drag(from, {to}, false);
    const uint16_t dragged = w.state->image.entry(13);  // a word the pointer reaches
    w.fileSaveAs(w.path(QStringLiteral("drag.KEX")));
    // Away and back to its word, then Esc: the saved project, unmodified.
    drag(to, {from, to}, true);
    QVERIFY(!w.state->Modified && !f.FileSave->isEnabled());
    // A point held, the history stands still; let go, each drag is a step of its own.
    QTest::mousePress(view, Qt::LeftButton, {}, to);
    QTest::mouseMove(view, from);
    QVERIFY(!f.EditUndo->isEnabled() && !f.EditRedo->isEnabled());
    QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
    QTest::mouseRelease(view, Qt::LeftButton, {}, from);
    f.EditUndo->trigger();
    QVERIFY(w.state->image.entry(13) == dragged && !w.state->Modified);
}

void TestTable::compareWithAnotherProject() {
    TMainForm& f = *w.form;
    auto bytes = [this] { return w.state->header.toByteArray() + w.state->image.toByteArray(); };
    const QString ref = w.path(QStringLiteral("ref.KEX"));
    w.fileSaveAs(ref);
    f.TableGrid->commitEdit(1, 14, QStringLiteral("2.5"));  // entry 13: 512 against 499
    const QByteArray project = bytes();
    auto compareWith = [&](const QString& file, const char* warning = nullptr) {
        w.ui.expectOpenFile(file);
        if (warning) w.ui.expectWarning(QLatin1String(warning));
        f.FileCompare->trigger();
    };
    compareWith(ref);
    QVERIFY(f.comparing());
    QCOMPARE(bytes(), project);
    QVERIFY(w.state->Modified);
    QCOMPARE(w.state->ProjectFileName, ref);
    QCOMPARE(f.ReferenceSeries->count(), kChartPoints);
    QVERIFY(f.ReferenceSeries->isVisible());
    QVERIFY(std::abs(f.ReferenceSeries->at(13).y() - 499 / 204.8) < 1e-6);
    QCOMPARE(f.ReferenceSeries->at(20), f.Series1->at(20));
    QCOMPARE(f.TableGrid->colCount(), 3);
    QCOMPARE(f.TableGrid->cell(2, 0), QStringLiteral("Diff"));
    QCOMPARE(f.TableGrid->shownText(2, 14), QStringLiteral(" 0.063 "));
    QCOMPARE(f.TableGrid->shownText(2, 13), QStringLiteral(" 0.000 "));
    QCOMPARE(f.ReferenceLabel->text(), QStringLiteral("Reference = ref.KEX"));
    QVERIFY(!f.ReferenceLabel->isHidden());
    QCOMPARE(f.ReferenceLabel->y(), f.VOutLabel->y() + f.VOutLabel->height());
    QCOMPARE(f.Chart1->y(), f.ReferenceLabel->y() + f.ReferenceLabel->height() + 8);
    QCOMPARE(f.Chart1->x(), f.TableGrid->width() + 16);
    QVERIFY(f.FileCloseCompare->isEnabled());

    // Under the other kind the reference is named but neither drawn nor subtracted; the reverse
    // message for a voltage reference of a frequency project.
    f.OutputRGrp->setItemIndex(1);
    QVERIFY(!f.ReferenceSeries->isVisible());
    QCOMPARE(f.TableGrid->colCount(), 2);
    QCOMPARE(f.ReferenceLabel->text(),
             QStringLiteral("Reference = ref.KEX (a voltage table: not drawn)"));
    compareWith(ref, "The reference holds a voltage table; the project a frequency table.");
    f.OutputRGrp->setItemIndex(0);
    QCOMPARE(f.TableGrid->shownText(2, 14), QStringLiteral(" 0.063 "));
    QByteArray frequencyFile = WindowFixture::readAll(ref);
    frequencyFile[kHeaderSize + kModeByteOffset] = char(kModeFrequency);
    const QString freq = w.path(QStringLiteral("freq.KEX"));
    QVERIFY(WindowFixture::writeAll(freq, frequencyFile));
    compareWith(freq, "The reference holds a frequency table; the project a voltage table.");
    QCOMPARE(f.ReferenceLabel->text(), QStringLiteral("Reference = ref.KEX"));

    // Close Compare, New, Open and Close each end it.
    for (const char* end : {"close compare", "new", "open", "close"}) {
        if (w.state->ProjectState == DocState::None) w.fileNew();
        compareWith(ref);
        QVERIFY(f.comparing());
        const QString way = QLatin1String(end);
        if (w.state->Modified && way != QLatin1String("close compare"))
            w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), UiServices::Answer::No);
        if (way == QLatin1String("close compare"))
            f.FileCloseCompare->trigger();
        else if (way == QLatin1String("new"))
            w.fileNew();
        else if (way == QLatin1String("open"))
            w.fileOpen(ref);
        else
            f.FileClose->trigger();
        QVERIFY2(!f.comparing(), end);
        QCOMPARE(f.ReferenceSeries->count(), 0);
        QCOMPARE(f.TableGrid->colCount(), 2);
        QVERIFY(f.ReferenceLabel->isHidden());
        QVERIFY(!f.FileCloseCompare->isEnabled());
        QCOMPARE(f.Chart1->y(), f.VOutLabel->y() + f.VOutLabel->height() + 8);
        QCOMPARE(f.Chart1->x(), f.TableGrid->width() + 16);
    }
}

void TestTable::typedValueGoesInFirst_data() {
    // What changes the grid's shape or the project while a value is being typed.
    QTest::addColumn<QString>("way");
    for (const char* way : {"close compare", "compare with", "output kind", "open"})
        QTest::newRow(way) << QString::fromLatin1(way);
}

void TestTable::typedValueGoesInFirst() {
    QFETCH(QString, way);
    TMainForm& f = *w.form;
    const QString file = w.path(QStringLiteral("typed.KEX"));
    w.fileSaveAs(file);
    auto compare = [&] { w.ui.expectOpenFile(file), f.FileCompare->trigger(); };
    if (way == QLatin1String("close compare")) compare();
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    // Entry 32, which a match copy leaves alone, typed into and not left.
    const QModelIndex cell = f.TableGrid->model()->index(32, 0);
    f.TableGrid->setCurrentIndex(cell);
    f.TableGrid->edit(cell);
    QTest::keyClicks(f.TableGrid->indexWidget(cell), QStringLiteral("2.5"));
    MatchCopySource frequency;
    frequency.useFile = frequency.matchFile = QStringLiteral("M.MAF");
    frequency.matchIsFrequency = true;
    if (way == QLatin1String("close compare")) {
        f.FileCloseCompare->trigger();
    } else if (way == QLatin1String("compare with")) {
        compare();
    } else if (way == QLatin1String("output kind")) {
        w.ui.expectConfirm(QStringLiteral("Ok to save E2P data in main table?"),
                           UiServices::Answer::Yes);
        QVERIFY(f.MatchCopyE2P(frequency) && f.OutputRGrp->itemIndex() == 1);
    } else {
        // Typed in, the value has changed the project: leaving it asks first.
        w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), UiServices::Answer::Cancel);
        f.FileOpen->trigger();
    }
    QVERIFY(!f.TableGrid->indexWidget(cell));
    QCOMPARE(w.state->image.entry(32), uint16_t(512));
}

QTEST_MAIN(TestTable)
#include "tst_table.moc"
