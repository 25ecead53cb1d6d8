#include "base/app_state.h"
#include "base/widgets.h"
#include "meter/kex_maed.h"
#include "meter/meter_file.h"
#include "meter/meter_grid.h"
#include "support/scripted_ui.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <bit>
#include <memory>

using namespace varnel;
using varnel::test::ScriptedUi;
using Answer = UiServices::Answer;

namespace {

QByteArray le32(float v) {
    const auto u = std::bit_cast<uint32_t>(v);
    QByteArray b;
    for (int i = 0; i < 4; ++i) b.append(char(u >> (8 * i)));
    return b;
}

QByteArray pstr(const QByteArray& text) {
    return char(text.size()) + text;
}

void writeBytes(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// A valid record with rows in ascending signal order, texts as the grid formats them.
TMeterRecord makeRecord(int rows, const QString& part = QStringLiteral("PN-100")) {
    TMeterRecord r;
    r.setPartNumber(part);
    r.setMetric(1);
    r.setFrequency(0);
    r.setPointCount(int16_t(rows));
    for (int i = 1; i <= rows; ++i) {
        const double s = 0.05 * i;
        const double f = 12.5 * i;
        r.setSignalText(i, FormatMeterNumber("%1.2f", s));
        r.setFlowText(i, FormatMeterNumber("%4.2f", f));
        r.setSignalValue(i, float(FormatMeterNumber("%1.2f", s).toDouble()));
        r.setFlowValue(i, float(FormatMeterNumber("%4.2f", f).toDouble()));
    }
    r.setDescription1(QStringLiteral("first line"));
    r.setDescription2(QStringLiteral("second line"));
    return r;
}

}  // namespace

class TestMeterFile : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void writtenFieldsAtTheirOffsets_data();
    void writtenFieldsAtTheirOffsets();
    void openThenSaveKeepsEveryByte_data();
    void openThenSaveKeepsEveryByte();
    void shortFiles();
    void longFileIsReadUpTo2176();
    void pointCountOutOfRange_data();
    void pointCountOutOfRange();
    void textThatIsNoNumberRefusesTheFile();
    void anyNonZeroKindReadsAsSet();
    void openMessages();
    void saveChecks();
    void lengthsAreCut();
    void saveAsksForANameOnlyWhenNeeded();
    void querySave();
    void failedSaveKeepsThePreviousFile();
    void readerForOtherParts();

  private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppState> state_;
    ScriptedUi ui_;
    std::unique_ptr<TMassAirEditorDialog> d_;
};

void TestMeterFile::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    state_ = std::make_unique<AppState>();
    state_->AppDir = dir_->path() + QLatin1Char('/');
    state_->ProjectDir = dir_->filePath(QStringLiteral("Ford")) + QLatin1Char('/');
    QVERIFY(QDir().mkpath(state_->ProjectDir));
    d_ = std::make_unique<TMassAirEditorDialog>(*state_, ui_);
}

void TestMeterFile::cleanup() {
    VERIFY_UI(ui_);
    d_.reset();
}

void TestMeterFile::writtenFieldsAtTheirOffsets_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("Metric") << 4 << QByteArray("\x00", 1);
    QTest::newRow("PartNumber") << 5 << pstr("AB-12");
    QTest::newRow("PointCount") << 32 << QByteArray("\x02\x00", 2);
    QTest::newRow("Frequency") << 42 << QByteArray("\x01");
    QTest::newRow("row 1 SignalText") << 64 << pstr("0.50");
    QTest::newRow("row 1 SignalValue") << 72 << le32(0.5f);
    QTest::newRow("row 1 FlowText") << 76 << pstr("1234.50");
    QTest::newRow("row 1 FlowValue") << 84 << le32(1234.5f);
    QTest::newRow("row 2 SignalText") << 96 << pstr("1.25");
    QTest::newRow("row 2 SignalValue") << 104 << le32(1.25f);
    QTest::newRow("row 2 FlowText") << 108 << pstr("10000.0");
    QTest::newRow("row 2 FlowValue") << 116 << le32(10000.0f);
    QTest::newRow("Description1") << 2048 << pstr("Line one");
    QTest::newRow("Description2") << 2112 << pstr("Line two");
}

void TestMeterFile::writtenFieldsAtTheirOffsets() {
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    // Left in the buffer by a meter opened before: the save must write its own value over it.
    d_->MeterRecord.setMetric(7);
    d_->PartNumberEdit->setText(QStringLiteral("AB-12"));
    d_->DescriptionMemo->setPlainText(QStringLiteral("Line one\nLine two"));
    d_->UnitsRGrp->setItemIndex(0);
    d_->FrequencyCheckBox->setChecked(true);
    MeterGrid* g = d_->StringGrid;
    g->setRowCount(4);
    g->setCell(0, 1, QStringLiteral("0.50"));
    g->setCell(1, 1, QStringLiteral("1234.50"));
    g->setCell(0, 2, QStringLiteral("1.25"));
    // A text longer than the field: the text is cut, the single keeps the number.
    g->setCell(1, 2, QStringLiteral("10000.00"));
    const QString file = path(QStringLiteral("Ford/layout.maf"));
    ui_.expectSaveFile(file);
    d_->SaveButton->click();
    VERIFY_UI(ui_);
    const QByteArray data = readBytes(file);
    QCOMPARE(data.size(), kMeterRecordSize);
    QCOMPARE(data.mid(offset, bytes.size()).toHex(' '), bytes.toHex(' '));
}

void TestMeterFile::openThenSaveKeepsEveryByte_data() {
    QTest::addColumn<int>("rows");
    QTest::newRow("no rows") << 0;
    QTest::newRow("three rows") << 3;
    QTest::newRow("all 62 rows") << 62;
}

void TestMeterFile::openThenSaveKeepsEveryByte() {
    QFETCH(int, rows);
    // Noise everywhere, then the meaningful fields on top: the reserved bytes, the tails of
    // the strings and the rows after N stay noise.
    QByteArray noise(kMeterRecordSize, 0);
    QRandomGenerator rng(rows + 7);
    for (char& c : noise) c = char(rng.bounded(256));
    TMeterRecord r;
    r.assign(noise);
    const TMeterRecord valid = makeRecord(rows);
    r.setPartNumber(valid.PartNumber());
    r.setMetric(0);
    r.setFrequency(1);
    r.setPointCount(int16_t(rows));
    for (int i = 1; i <= rows; ++i) {
        r.setSignalText(i, valid.SignalText(i));
        r.setFlowText(i, valid.FlowText(i));
        r.setSignalValue(i, valid.SignalValue(i));
        r.setFlowValue(i, valid.FlowValue(i));
    }
    r.setDescription1(QStringLiteral("short"));
    r.setDescription2(QString());
    const QString file = path(QStringLiteral("Ford/noise.maf"));
    writeBytes(file, r.toByteArray());

    ui_.expectOpenFile(file);
    d_->OpenButton->click();
    QCOMPARE(d_->StringGrid->rowCount(), rows + 2);
    QVERIFY(!d_->MeterModified);
    // Save writes to the opened file without asking.
    d_->SaveButton->click();
    VERIFY_UI(ui_);
    QCOMPARE(readBytes(file).toHex(), r.toByteArray().toHex());
}

void TestMeterFile::shortFiles() {
    const QString full = path(QStringLiteral("Ford/full.maf"));
    TMeterRecord first = makeRecord(3);
    first.setFrequency(1);
    writeBytes(full, first.toByteArray());
    ui_.expectOpenFile(full);
    d_->OpenButtonClick();
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QStringLiteral("first line\nsecond line"));

    // 2048 bytes: no description blocks, so both lines are empty.
    const QString noDescription = path(QStringLiteral("Ford/short.maf"));
    TMeterRecord second = makeRecord(3, QStringLiteral("SHORT"));
    second.setPointCount(2);
    second.setFrequency(1);
    writeBytes(noDescription, second.toByteArray().left(2048));
    ui_.expectOpenFile(noDescription);
    d_->OpenButtonClick();
    QCOMPARE(d_->PartNumberEdit->text(), QStringLiteral("SHORT"));
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QStringLiteral("\n"));
    QCOMPARE(d_->StringGrid->rowCount(), 4);

    // 40 bytes: part number and point count come from the file, the rest of the buffer (the
    // signal kind at 42, the rows) stays as the previous file left it.
    const QString tiny = path(QStringLiteral("Ford/tiny.maf"));
    TMeterRecord third = makeRecord(1, QStringLiteral("TINY"));
    third.setPointCount(3);
    writeBytes(tiny, third.toByteArray().left(40));
    ui_.expectOpenFile(tiny);
    d_->OpenButtonClick();
    QCOMPARE(d_->PartNumberEdit->text(), QStringLiteral("TINY"));
    QVERIFY(d_->FrequencyCheckBox->isChecked());
    QCOMPARE(d_->StringGrid->rowCount(), 5);
    QCOMPARE(d_->StringGrid->cell(1, 3), first.FlowText(3));
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QStringLiteral("\n"));

    // A description that is empty after Open still saves: the box holds the line break.
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
}

void TestMeterFile::longFileIsReadUpTo2176() {
    const QString file = path(QStringLiteral("Ford/long.maf"));
    const TMeterRecord r = makeRecord(4);
    writeBytes(file, r.toByteArray() + QByteArray(300, '\x7F'));
    ui_.expectOpenFile(file);
    d_->OpenButtonClick();
    QCOMPARE(d_->StringGrid->rowCount(), 6);
    const QString copy = path(QStringLiteral("Ford/copy.maf"));
    ui_.expectSaveFile(copy);
    d_->SaveAsButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(readBytes(copy), r.toByteArray());
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor - ") + copy);
}

void TestMeterFile::pointCountOutOfRange_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("shown");
    QTest::newRow("negative") << -5 << 0;
    QTest::newRow("zero") << 0 << 0;
    QTest::newRow("62") << 62 << 62;
    QTest::newRow("63") << 63 << 62;
    QTest::newRow("32767") << 32767 << 62;
}

void TestMeterFile::pointCountOutOfRange() {
    QFETCH(int, stored);
    QFETCH(int, shown);
    TMeterRecord r = makeRecord(62);
    r.setPointCount(int16_t(stored));
    const QString file = path(QStringLiteral("Ford/count.maf"));
    writeBytes(file, r.toByteArray());
    ui_.expectOpenFile(file);
    d_->OpenButtonClick();
    QCOMPARE(d_->StringGrid->rowCount(), shown + 2);
    QCOMPARE(d_->StringGrid->cell(0, d_->StringGrid->rowCount() - 1), QString());
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    const QByteArray data = readBytes(file);
    QCOMPARE(int(uint8_t(data[32]) | uint8_t(data[33]) << 8), shown);
}

void TestMeterFile::textThatIsNoNumberRefusesTheFile() {
    const QString good = path(QStringLiteral("Ford/good.maf"));
    writeBytes(good, makeRecord(3).toByteArray());
    ui_.expectOpenFile(good);
    d_->OpenButtonClick();
    d_->PartNumberEdit->setText(QStringLiteral("EDITED"));
    QVERIFY(d_->MeterModified);

    TMeterRecord bad = makeRecord(5, QStringLiteral("BAD"));
    bad.setFlowText(4, QStringLiteral("1.2x"));
    const QString badFile = path(QStringLiteral("Ford/bad.maf"));
    writeBytes(badFile, bad.toByteArray());
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::No);
    ui_.expectOpenFile(badFile);
    ui_.expectError(badFile +
                    QStringLiteral(" cannot be used: '1.2x' is not a valid floating point value"));
    d_->OpenButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->PartNumberEdit->text(), QStringLiteral("EDITED"));
    QCOMPARE(d_->StringGrid->rowCount(), 5);
    QCOMPARE(d_->MeterFileName, good);
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor - ") + good);
    QVERIFY(d_->MeterModified);
    QCOMPARE(d_->MeterRecord.PartNumber(), QStringLiteral("PN-100"));

    QString error;
    QVERIFY(!CheckMeterTexts(bad, badFile, error));
    bad.setPointCount(3);  // the bad row is not used
    QVERIFY(CheckMeterTexts(bad, badFile, error));
}

void TestMeterFile::anyNonZeroKindReadsAsSet() {
    TMeterRecord r = makeRecord(2);
    r.setMetric(0x80);
    r.setFrequency(2);
    const QString file = path(QStringLiteral("Ford/kinds.maf"));
    writeBytes(file, r.toByteArray());
    ui_.expectOpenFile(file);
    d_->OpenButtonClick();
    QCOMPARE(d_->UnitsRGrp->itemIndex(), 1);
    QVERIFY(d_->FrequencyCheckBox->isChecked());
    QCOMPARE(d_->StringGrid->cell(0, 0), QStringLiteral("Freq"));
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    const QByteArray data = readBytes(file);
    QCOMPARE(int(data[4]), 1);
    QCOMPARE(int(data[42]), 1);
}

void TestMeterFile::openMessages() {
    // A cancelled dialog changes nothing.
    ui_.expectOpenFile(QString());
    d_->OpenButtonClick();
    QCOMPARE(ui_.lastDir, state_->ProjectDir);
    QCOMPARE(ui_.lastFilter, QStringLiteral("MAF files (*.maf)"));

    ui_.expectOpenFile(path(QStringLiteral("Ford/missing.maf")));
    ui_.expectError(QStringLiteral("The specified file was not found."));
    d_->OpenButtonClick();
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor"));

    // A name typed without its extension finds the meter file.
    writeBytes(path(QStringLiteral("Ford/typed.maf")), makeRecord(1).toByteArray());
    ui_.expectOpenFile(path(QStringLiteral("Ford/typed")));
    d_->OpenButtonClick();
    QCOMPARE(d_->MeterFileName, path(QStringLiteral("Ford/typed.maf")));

    // A group no folder belongs to.
    state_->header.setGroup(3);
    d_->PartNumberEdit->setText(QStringLiteral("X"));
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::No);
    ui_.expectError(QStringLiteral("Invalid mode"));
    d_->OpenButtonClick();
    ui_.expectError(QStringLiteral("Invalid mode"));
    d_->SaveButtonClick();
    ui_.expectError(QStringLiteral("Invalid mode"));
    d_->SaveAsButtonClick();
    VERIFY_UI(ui_);
    QVERIFY(d_->MeterModified);
}

void TestMeterFile::saveChecks() {
    const QString file = path(QStringLiteral("Ford/checks.maf"));
    d_->PartNumberEdit->setText(QStringLiteral("P1"));
    QVERIFY(d_->MeterModified);
    ui_.expectError(QStringLiteral("Please enter a valid description."));
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    // The rejected save keeps the changes marked, so the next Close still asks.
    QVERIFY(d_->MeterModified);
    QVERIFY(!QFileInfo::exists(file));

    d_->PartNumberEdit->clear();
    d_->DescriptionMemo->setPlainText(QStringLiteral("kept\nlines"));
    ui_.expectError(QStringLiteral("Please enter a valid part number."));
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    QVERIFY(d_->MeterModified);
    QCOMPARE(d_->MeterRecord.Description1(), QStringLiteral("kept"));
    QCOMPARE(d_->MeterRecord.Description2(), QStringLiteral("lines"));

    // A data row whose cell is no number (left by answering No to the row check) is not saved.
    d_->PartNumberEdit->setText(QStringLiteral("P1"));
    d_->StringGrid->setRowCount(3);
    d_->StringGrid->setCell(0, 1, QStringLiteral("1.00"));
    ui_.expectError(QStringLiteral("'' is not a valid floating point value"));
    d_->SaveFile(false);
    VERIFY_UI(ui_);
    QVERIFY(d_->MeterModified);

    d_->StringGrid->setCell(1, 1, QStringLiteral("5.00"));
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Cancel);
    d_->CloseButtonClick();
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Yes);
    ui_.expectSaveFile(file);
    d_->CloseButtonClick();
    VERIFY_UI(ui_);
    QVERIFY(!d_->MeterModified);
    QCOMPARE(readBytes(file).size(), kMeterRecordSize);
}

void TestMeterFile::lengthsAreCut() {
    d_->PartNumberEdit->setText(QStringLiteral("123456789012345678901234567890"));
    QCOMPARE(d_->PartNumberEdit->text().size(), 30);
    const QString longLine = QString(70, QLatin1Char('d'));
    d_->DescriptionMemo->setPlainText(longLine + QStringLiteral("\nsecond\nthird"));
    const QString file = path(QStringLiteral("Ford/cut.maf"));
    ui_.expectSaveFile(file);
    d_->SaveFile(false);
    VERIFY_UI(ui_);
    TMeterRecord r;
    QString error;
    QVERIFY(ReadMeterFile(file, r, error));
    QCOMPARE(r.PartNumber(), QStringLiteral("12345678901234567890123456"));
    QCOMPARE(r.Description1(), QString(63, QLatin1Char('d')));
    QCOMPARE(r.Description2(), QStringLiteral("second"));
    QCOMPARE(int(r.PointCount()), 0);
}

void TestMeterFile::saveAsksForANameOnlyWhenNeeded() {
    d_->PartNumberEdit->setText(QStringLiteral("P"));
    d_->DescriptionMemo->setPlainText(QStringLiteral("d"));
    // Untitled: Save asks; a cancelled dialog keeps the changes marked.
    ui_.expectSaveFile(QString());
    d_->SaveFile(false);
    VERIFY_UI(ui_);
    QCOMPARE(ui_.lastDir, state_->ProjectDir);
    QVERIFY(d_->MeterModified);
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor"));

    // A name without extension gets the meter extension.
    ui_.expectSaveFile(path(QStringLiteral("Ford/named")));
    d_->SaveFile(false);
    const QString named = path(QStringLiteral("Ford/named.maf"));
    QCOMPARE(d_->MeterFileName, named);
    QVERIFY(QFileInfo::exists(named));
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor - ") + named);

    // Save again: no dialog. Copy always asks; the added extension names an existing file.
    d_->SaveFile(false);
    ui_.expectSaveFile(path(QStringLiteral("Ford/named")));
    ui_.expectConfirm(named + QStringLiteral(" already exists.\nDo you want to replace it?"),
                      Answer::No);
    d_->SaveAsButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->MeterFileName, named);
}

void TestMeterFile::querySave() {
    QCOMPARE(d_->QuerySave(), Answer::Yes);  // nothing changed: no question
    d_->PartNumberEdit->setText(QStringLiteral("P"));
    d_->DescriptionMemo->setPlainText(QStringLiteral("d"));
    // Yes, then a cancelled save dialog: New goes on and the changes are gone.
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Yes);
    ui_.expectSaveFile(QString());
    d_->NewButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->PartNumberEdit->text(), QString());
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QString());

    d_->MeterModified = true;
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Cancel);
    d_->ImportButtonClick();
    ui_.expectConfirm(QStringLiteral("Save current meter data?"), Answer::Cancel);
    d_->OpenButtonClick();
    VERIFY_UI(ui_);
}

void TestMeterFile::failedSaveKeepsThePreviousFile() {
    const QString file = path(QStringLiteral("Ford/previous.maf"));
    const TMeterRecord before = makeRecord(2, QStringLiteral("BEFORE"));
    writeBytes(file, before.toByteArray());
    ui_.expectOpenFile(file);
    d_->OpenButtonClick();
    d_->PartNumberEdit->setText(QStringLiteral("AFTER"));

    // A folder in place of the file.
    const QString folder = path(QStringLiteral("Ford/folder.maf"));
    QVERIFY(QDir().mkpath(folder));
    ui_.expectSaveFile(folder);
    ui_.expectError(QStringLiteral("File access denied"));
    d_->SaveAsButtonClick();
    VERIFY_UI(ui_);
    QVERIFY(d_->MeterModified);
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor - ") + file);
    QCOMPARE(readBytes(file), before.toByteArray());
}

void TestMeterFile::readerForOtherParts() {
    // What the match relies on: texts and values of each row, by path, without the editor.
    TMeterRecord r = makeRecord(3);
    r.setFlowValue(2, 99.5f);
    const QString file = path(QStringLiteral("Ford/reader.maf"));
    writeBytes(file, r.toByteArray().left(1000));
    TMeterRecord read;
    QString error;
    QVERIFY(ReadMeterFile(file, read, error));
    QCOMPARE(read.usableRows(), 3);
    QCOMPARE(read.SignalText(2), QStringLiteral("0.10"));
    QCOMPARE(read.FlowText(3), QStringLiteral("37.50"));
    QCOMPARE(read.FlowValue(2), 99.5f);
    QCOMPARE(read.Description1(), QString());  // beyond the 1000 bytes read
    // Rows outside 1..62 are neither read nor written.
    QCOMPARE(read.SignalText(63), QString());
    read.setSignalText(63, QStringLiteral("9"));
    read.setSignalText(0, QStringLiteral("9"));
    QCOMPARE(read.byte(2048), uint8_t(0));
    QCOMPARE(read.usableRows(), 3);

    QVERIFY(!ReadMeterFile(path(QStringLiteral("Ford/none.maf")), read, error));
    QCOMPARE(error, QStringLiteral("File not found"));
}

QTEST_MAIN(TestMeterFile)
#include "tst_meter_file.moc"
