// Faults that fuzzing found in the readers, one group of cases each. (The inputs that found them
// are also in the fuzz corpora, which tst_fuzz_replay runs through every property.)

#include "base/project_file.h"
#include "base/project_header.h"
#include "meter/meter_file.h"

#include <QtTest>

using namespace varnel;

class TestHardening : public QObject {
    Q_OBJECT
  private slots:
    void headerTextsStayInTheirFields_data();
    void headerTextsStayInTheirFields();
    void meterTextsStayInTheirFields_data();
    void meterTextsStayInTheirFields();
};

// A string[n] whose length byte says more than n (a damaged or foreign file) reads as its whole
// field: before, the text ran on into the next fields of the header.
void TestHardening::headerTextsStayInTheirFields_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("length");  // the length byte
    QTest::newRow("ProjectName 255") << 0x040 << 63 << 255;
    QTest::newRow("ProjectName 64") << 0x040 << 63 << 64;
    QTest::newRow("ProjectName 63 is whole") << 0x040 << 63 << 63;
    QTest::newRow("Description 200") << 0x080 << 63 << 200;
    QTest::newRow("VInMeterName 32") << 0x0C0 << 31 << 32;
    QTest::newRow("VOutMeterName 255") << 0x0E0 << 31 << 255;
}

void TestHardening::headerTextsStayInTheirFields() {
    QFETCH(int, offset);
    QFETCH(int, capacity);
    QFETCH(int, length);
    QByteArray file(kProjectFileSize, 'x');
    file[8] = 48;
    file[9] = 0;
    file[10] = 32;
    file[11] = 0;
    file[offset] = char(length);
    for (int i = 1; i <= capacity; ++i) file[offset + i] = 'a';
    ProjectHeader header;
    EepromImage image;
    QCOMPARE(ParseProjectFile(file, header, image), ReadStatus::Ok);
    const QString expected(std::min(length, capacity), QLatin1Char('a'));
    const QString text = offset == 0x040   ? header.ProjectName()
                         : offset == 0x080 ? header.Description()
                         : offset == 0x0C0 ? header.VInMeterName()
                                           : header.VOutMeterName();
    QCOMPARE(text, expected);
    // The bytes stay as they were: a save writes the damaged length byte back unchanged.
    QCOMPARE(uint8_t(header.byte(offset)), uint8_t(length));
}

// The same in a meter record, where the last fields sit at the end of the record: the second
// description and the last row's texts read past the record's 2176 bytes before.
void TestHardening::meterTextsStayInTheirFields_data() {
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("length");
    QTest::newRow("PartNumber 255") << 5 << 26 << 255;
    QTest::newRow("PartNumber 27") << 5 << 26 << 27;
    QTest::newRow("Description1 64") << 2048 << 63 << 64;
    QTest::newRow("Description2 255, at the end") << 2112 << 63 << 255;
    QTest::newRow("row 62 SignalText 255") << 64 + 32 * 61 << 7 << 255;
    QTest::newRow("row 62 FlowText 8") << 64 + 32 * 61 + 12 << 7 << 8;
    QTest::newRow("row 1 SignalText 7 is whole") << 64 << 7 << 7;
}

void TestHardening::meterTextsStayInTheirFields() {
    QFETCH(int, offset);
    QFETCH(int, capacity);
    QFETCH(int, length);
    QByteArray file(kMeterRecordSize, 'x');
    file[32] = 62;
    file[33] = 0;
    file[offset] = char(length);
    for (int i = 1; i <= capacity; ++i) file[offset + i] = '1';
    TMeterRecord record;
    record.assign(file);
    const QString expected(std::min(length, capacity), QLatin1Char('1'));
    const QString text = offset == 5              ? record.PartNumber()
                         : offset == 2048         ? record.Description1()
                         : offset == 2112         ? record.Description2()
                         : offset == 64 + 32 * 61 ? record.SignalText(62)
                         : offset == 64           ? record.SignalText(1)
                                                  : record.FlowText(62);
    QCOMPARE(text, expected);
    QCOMPARE(record.toByteArray(), file);
}

QTEST_GUILESS_MAIN(TestHardening)
#include "tst_hardening.moc"
