#include "image/eeprom_image.h"
#include "image/table_ops.h"
#include "image/table_view.h"

#include <QtTest>

#include <clocale>

using namespace varnel;

class TestImage : public QObject {
    Q_OBJECT
private slots:
    void freshImageIsErased();
    void entriesAreBigEndian();
    void modeByte_data();
    void modeByte();
    void wordToText_data();
    void wordToText();
    void parse_data();
    void parse();
    void storeVolt_data();
    void storeVolt();
    void storeFreq_data();
    void storeFreq();
    void voltRoundTripsEveryWord();
    void freqRoundTripsWords2To1023();
    void textsIgnoreCommaLocale();
    void inputVoltTitles_data();
    void inputVoltTitles();
    void chartValueWord_data();
    void chartValueWord();
    void rangeOps_data();
    void rangeOps();
    void pasteAndImport_data();
    void pasteAndImport();
};

void TestImage::freshImageIsErased() {
    EepromImage img;
    for (int i = 0; i < kImageSize; ++i) QCOMPARE(img.byte(i), uint8_t(0xFF));
    QCOMPARE(img.entry(0), uint16_t(0xFFFF));
}

void TestImage::entriesAreBigEndian() {
    EepromImage img;
    img.setEntry(13, 512);
    QCOMPARE(img.byte(0x1A), uint8_t(0x02));
    QCOMPARE(img.byte(0x1B), uint8_t(0x00));
    img.setEntry(kLimitEntry, 1023);
    QCOMPARE(img.byte(0x48), uint8_t(0x03));
    QCOMPARE(img.byte(0x49), uint8_t(0xFF));
    QCOMPARE(img.byte(0x47), uint8_t(0xFF));
    QCOMPARE(img.byte(0x4A), uint8_t(0xFF));
}

void TestImage::modeByte_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<bool>("invert");
    QTest::addColumn<int>("afterVoltage");
    QTest::addColumn<int>("afterFrequency");
    QTest::newRow("erased") << 0xFF << false << true << 0xFD << 0xFE;
    QTest::newRow("voltage") << 0x01 << false << false << 0x01 << 0x02;
    QTest::newRow("frequency") << 0x02 << true << false << 0x01 << 0x02;
    QTest::newRow("zero reads voltage") << 0x00 << false << false << 0x01 << 0x02;
    QTest::newRow("three reads voltage") << 0x03 << false << false << 0x01 << 0x02;
    QTest::newRow("other bits kept") << 0xEE << true << false << 0xED << 0xEE;
}

void TestImage::modeByte() {
    QFETCH(int, start);
    EepromImage img;
    img.setModeByte(uint8_t(start));
    QTEST(img.isFrequencyOutput(), "frequency");
    QTEST(img.invertLimit(), "invert");
    img.setOutputKind(false);
    QTEST(int(img.modeByte()), "afterVoltage");
    img.setModeByte(uint8_t(start));
    img.setOutputKind(true);
    QTEST(int(img.modeByte()), "afterFrequency");

    img.setModeByte(0x01);
    img.setInvertLimit(true);
    QCOMPARE(img.modeByte(), uint8_t(0x11));
    img.setInvertLimit(false);
    QCOMPARE(img.modeByte(), uint8_t(0x01));
}

void TestImage::wordToText_data() {
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("volt");
    QTest::addColumn<QString>("freq");
    QTest::newRow("0") << 0 << " 0.000 " << "0    ";
    QTest::newRow("1") << 1 << " 0.005 " << "0    ";
    QTest::newRow("2") << 2 << " 0.010 " << "    6 ";
    QTest::newRow("64 lies below the tie") << 64 << " 0.312 " << "  184 ";
    QTest::newRow("512") << 512 << " 2.500 " << " 1475 ";
    QTest::newRow("1000") << 1000 << " 4.883 " << " 2880 ";
    QTest::newRow("1023") << 1023 << " 4.995 " << " 2946 ";
    QTest::newRow("1024") << 1024 << "****" << "2950";
    QTest::newRow("erased") << 0xFFFF << "****" << "2950";
}

void TestImage::wordToText() {
    QFETCH(int, word);
    QTEST(VoltWordToText(uint16_t(word)), "volt");
    QTEST(FreqWordToText(uint16_t(word)), "freq");
}

void TestImage::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<float>("value");
    QTest::newRow("plain") << "2.5" << true << 2.5f;
    QTest::newRow("leading blanks") << "   2.5" << true << 2.5f;
    QTest::newRow("plus") << "+3" << true << 3.0f;
    QTest::newRow("minus") << "-1" << true << -1.0f;
    QTest::newRow("point first") << ".5" << true << 0.5f;
    QTest::newRow("point last") << "4." << true << 4.0f;
    QTest::newRow("exponent") << "1e2" << true << 100.0f;
    QTest::newRow("empty") << "" << false << 0.0f;
    QTest::newRow("blank") << " " << false << 0.0f;
    QTest::newRow("trailing blank") << "2.5 " << false << 0.0f;
    QTest::newRow("trailing letter") << "2.5V" << false << 0.0f;
    QTest::newRow("comma") << "2,5" << false << 0.0f;
    QTest::newRow("lone point") << "." << false << 0.0f;
    QTest::newRow("lone sign") << "-" << false << 0.0f;
    QTest::newRow("inf") << "inf" << false << 0.0f;
    QTest::newRow("nan") << "nan" << false << 0.0f;
    QTest::newRow("infinity") << "-Infinity" << false << 0.0f;
    QTest::newRow("hex") << "0x10" << false << 0.0f;
    QTest::newRow("bad exponent") << "1e" << false << 0.0f;
    QTest::newRow("beyond single") << "1e39" << false << 0.0f;
    QTest::newRow("beyond every type") << "1e5000" << false << 0.0f;
    QTest::newRow("beyond every type, negative") << "-1e5000" << false << 0.0f;
    QTest::newRow("beyond every type, as a fraction") << "0.00001e4940" << false << 0.0f;
    QTest::newRow("below every type reads 0") << "-1e-5000" << true << 0.0f;
    QTest::newRow("zero with a huge exponent") << "0.0e99999" << true << 0.0f;
    QTest::newRow("two signs") << "+-1" << false << 0.0f;
    QTest::newRow("letters") << "abc" << false << 0.0f;
}

void TestImage::parse() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    float v = 0;
    QCOMPARE(ParseSingle(text, v), ok);
    if (ok) QTEST(v, "value");
}

void TestImage::storeVolt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("word");  // -1: entry unchanged
    QTest::newRow("2.5") << "2.5" << 512;
    QTest::newRow("5 clamps to 4.995") << "5" << 1023;
    QTest::newRow("4.995") << "4.995" << 1023;
    QTest::newRow("4.5") << "4.5" << 922;
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("-1 refused") << "-1" << -1;
    QTest::newRow("trailing blank refused") << "2.5 " << -1;
    QTest::newRow("letters refused") << "abc" << -1;
    QTest::newRow("huge negative refused") << "-1e30" << -1;
    QTest::newRow("beyond every type refused") << "1e5000" << -1;
    QTest::newRow("beyond every type, negative, refused") << "-1e5000" << -1;
}

void TestImage::storeVolt() {
    QFETCH(QString, text);
    QFETCH(int, word);
    EepromImage img;
    img.setEntry(7, 321);
    StoreVoltEntry(img, 7, text);
    QCOMPARE(int(img.entry(7)), word < 0 ? 321 : word);
    QCOMPARE(img.entry(6), uint16_t(0xFFFF));
    QCOMPARE(img.entry(8), uint16_t(0xFFFF));
}

void TestImage::storeFreq_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("word");
    QTest::newRow("5 below floor") << "5" << 0;
    QTest::newRow("6") << "6" << 2;
    QTest::newRow("1475") << "1475" << 512;
    QTest::newRow("3000") << "3000" << 1023;
    QTest::newRow("9999") << "9999" << 1023;
    QTest::newRow("letters clear") << "abc" << 0;
    QTest::newRow("negative") << "-100" << 0;
}

void TestImage::storeFreq() {
    QFETCH(QString, text);
    EepromImage img;
    img.setEntry(3, 400);
    StoreFreqEntry(img, 3, text);
    QTEST(int(img.entry(3)), "word");
    QCOMPARE(TextToFreqWord(QStringLiteral("3000")), 1042);
}

void TestImage::voltRoundTripsEveryWord() {
    for (int w = 0; w <= 1023; ++w) {
        const QString text = VoltWordToText(uint16_t(w)).trimmed();
        QVERIFY2(TextToVoltWord(text) == w, qPrintable(QString::number(w) + " -> " + text));
    }
}

void TestImage::freqRoundTripsWords2To1023() {
    for (int w = 2; w <= 1023; ++w) {
        const QString text = FreqWordToText(uint16_t(w)).trimmed();
        QVERIFY2(TextToFreqWord(text) == w, qPrintable(QString::number(w) + " -> " + text));
    }
}

void TestImage::textsIgnoreCommaLocale() {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const QByteArray saved = previous ? QByteArray(previous) : QByteArray("C");
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        // make test generates de_DE.UTF-8, so in CI this case must run.
        if (qEnvironmentVariableIsSet("CI")) QFAIL("no comma locale: make test generates one");
        QSKIP("no comma locale installed (make test generates de_DE.UTF-8)");
    }
    const QString text = VoltWordToText(512);
    const int word = TextToVoltWord(QStringLiteral("2.5"));
    std::setlocale(LC_NUMERIC, saved.constData());
    QCOMPARE(text, QStringLiteral(" 2.500 "));
    QCOMPARE(word, 512);
}

void TestImage::inputVoltTitles_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << " 0.000 ";
    QTest::newRow("1 shows the lower value") << 1 << " 0.187 ";
    QTest::newRow("2") << 2 << " 0.375 ";
    QTest::newRow("3") << 3 << " 0.562 ";
    QTest::newRow("5") << 5 << " 0.937 ";
    QTest::newRow("31") << 31 << " 5.812 ";
    QTest::newRow("32") << 32 << " 6.000 ";
}

void TestImage::inputVoltTitles() {
    QFETCH(int, entry);
    QTEST(InputVoltText(entry), "text");
}

void TestImage::chartValueWord_data() {
    // Where a dragged point lands: the nearest word, held to the table's range.
    QTest::addColumn<double>("y");
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<int>("word");
    QTest::newRow("2.5 V") << 2.5 << false << 512;
    QTest::newRow("just below half a word") << 2.5 + 0.49 / 204.8 << false << 512;
    QTest::newRow("just above half a word") << 2.5 + 0.51 / 204.8 << false << 513;
    QTest::newRow("below 0 V") << -0.3 << false << 0;
    QTest::newRow("above 4.995 V") << 5.4 << false << 1023;
    QTest::newRow("1475 Hz") << 1475.0 << true << 512;
    QTest::newRow("3000 Hz") << 3000.0 << true << 1023;
}

void TestImage::chartValueWord() {
    QFETCH(double, y);
    QFETCH(bool, frequency);
    QTEST(int(ChartValueWord(y, frequency)), "word");
}

void TestImage::rangeOps_data() {
    // Entries 0.. start with the words before and end with those after; error: a refusal.
    QTest::addColumn<QString>("op");
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("after");
    QTest::addColumn<QString>("error");
    using L = QList<int>;
    QTest::newRow("scale 5 %, ties to even")
        << "scale" << false << 0 << 3 << "5" << L{10, 30, 50, 70, 90} << L{10, 32, 52, 74, 90}
        << "";
    // Exact ties that the nearest double of 1 + p/100 pushes off the tie.
    QTest::newRow("scale 10 %, exact ties")
        << "scale" << false << 0 << 1 << "10" << L{55, 65} << L{60, 72} << "";
    QTest::newRow("scale 7 %, an exact tie")
        << "scale" << true << 0 << 0 << "7" << L{950} << L{1016} << "";
    QTest::newRow("scale 2.5 %, exact ties")
        << "scale" << false << 0 << 1 << " 2.5 " << L{60, 220} << L{62, 226} << "";
    QTest::newRow("scale just above a tie")
        << "scale" << false << 0 << 0 << "10.00000000000000000001" << L{55} << L{61} << "";
    QTest::newRow("scale just below a tie, falling")
        << "scale" << false << 0 << 1 << "-10.0000000000000000001" << L{55, 0} << L{49, 0} << "";
    QTest::newRow("scale -1e1 %, a tie")
        << "scale" << false << 0 << 0 << "-1e1" << L{55} << L{50} << "";
    QTest::newRow("scale -50 %") << "scale" << false << 1 << 2 << "-50" << L{9, 1000, 3, 9}
                                 << L{9, 500, 2, 9} << "";
    QTest::newRow("scale held at 1023")
        << "scale" << true << 0 << 0 << "50" << L{1000} << L{1023} << "";
    QTest::newRow("add 0.5 V") << "add" << false << 0 << 0 << "0.5" << L{100} << L{202} << "";
    QTest::newRow("add -1 V held at 0")
        << "add" << false << 0 << 1 << "-1" << L{100, 300} << L{0, 95} << "";
    QTest::newRow("add 10 Hz") << "add" << true << 0 << 0 << "10" << L{100} << L{103} << "";
    QTest::newRow("add 12.96 Hz, exact ties")
        << "add" << true << 0 << 1 << "12.96" << L{0, 1} << L{4, 6} << "";
    QTest::newRow("add -4.32 Hz, an exact tie")
        << "add" << true << 0 << 0 << "-4.32" << L{3} << L{2} << "";
    QTest::newRow("add -100 Hz") << "add" << true << 0 << 0 << "-100" << L{500} << L{465} << "";
    QTest::newRow("words, held, erased")
        << "words" << false << 0 << 2 << "-1" << L{0, 5, 0xFFFF} << L{0, 4, 1023} << "";
    QTest::newRow("interpolate, ties to even")
        << "interpolate" << false << 0 << 4 << "" << L{0, 9, 9, 9, 2} << L{0, 0, 1, 2, 2} << "";
    QTest::newRow("interpolate falling") << "interpolate" << true << 1 << 4 << ""
                                         << L{7, 100, 0, 0, 0, 7} << L{7, 100, 67, 33, 0, 7} << "";
    QTest::newRow("smooth from the old words")
        << "smooth" << false << 0 << 4 << "" << L{0, 8, 0, 8, 0} << L{0, 4, 4, 4, 0} << "";
    QTest::newRow("smooth, ties to even")
        << "smooth" << false << 0 << 3 << "" << L{0, 1, 3, 1} << L{0, 1, 2, 1} << "";
    QTest::newRow("set volts, clamped")
        << "set" << false << 1 << 2 << "5" << L{0, 0, 0, 0} << L{0, 1023, 1023, 0} << "";
    QTest::newRow("set hertz below 6")
        << "set" << true << 0 << 1 << "5" << L{9, 9} << L{0, 0} << "";
    QTest::newRow("set 1000 Hz") << "set" << true << 0 << 0 << "1000" << L{9} << L{347} << "";
    QTest::newRow("set negative volts refused")
        << "set" << false << 3 << 5 << "-1" << L{1, 2, 3, 4, 5, 6} << L{1, 2, 3, 4, 5, 6}
        << "'-1' is not a valid value for table entries 3 to 5";
    // The frequency store would clear the entry; a range refuses instead.
    QTest::newRow("set letters refused in hertz")
        << "set" << true << 0 << 0 << "abc" << L{9} << L{9}
        << "'abc' is not a valid value for table entry 0";
}

void TestImage::rangeOps() {
    QFETCH(QString, op);
    QFETCH(bool, frequency);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QString, value);
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);
    EepromImage image;
    for (int i = 0; i < before.size(); ++i) image.setEntry(i, uint16_t(before[i]));
    EepromImage expected = image;
    for (int i = 0; i < after.size(); ++i) expected.setEntry(i, uint16_t(after[i]));
    const QStringList names{"set", "add", "words", "scale", "interpolate", "smooth"};
    RangeOp r;
    r.kind = RangeKind(names.indexOf(op));
    r.first = first;
    r.last = last;
    r.text = value;
    QVERIFY(RangeProblem(r.kind, first, last).isEmpty());
    QVERIFY(value.isEmpty() || r.kind == RangeKind::Set || ParseNumber(value, r.number));
    QString error;
    const bool ok = ApplyRangeOp(image, r, frequency, error);
    QCOMPARE(ok, error.isEmpty());
    QTEST(error, "error");
    QCOMPARE(image, expected);
}

void TestImage::pasteAndImport_data() {
    // The text goes into the entries from first on (paste) or into its rows' entries (csv;
    // "export": the table's own CSV). On a refusal nothing changes and error says why.
    QTest::addColumn<bool>("csv");
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("changed");  // "entry=word"
    QTest::addColumn<QString>("error");
    const QStringList none;
    QTest::newRow("paste the copy format") << false << false << 10 << "2.437\t2.5\n1.0\r\n0.5\n"
                                           << QStringList{"10=512", "11=205", "12=102"} << "";
    QTest::newRow("paste other separators")
        << false << false << 31 << "1;2.5\n3,1.0" << QStringList{"31=512", "32=205"} << "";
    QTest::newRow("paste hertz") << false << true << 0 << "1000\n5" << QStringList{"0=347", "1=0"}
                                 << "";
    QTest::newRow("paste a decimal comma")
        << false << false << 0 << "1\n2\n\n2,5x\n"
        << none << "Line 4 of the clipboard: '2,5x' is not a number.";
    QTest::newRow("paste 2,5 is no 5") << false << false << 0 << "2,5" << none
                                       << "Line 1 of the clipboard: '2,5' is not a number.";
    QTest::newRow("paste negative volts") << false << false << 0 << "1\t-1" << none
                                          << "Line 1 of the clipboard: '-1' is not a valid value.";
    QTest::newRow("paste too many")
        << false << false << 25 << QString("1\n").repeated(12) << none
        << "The clipboard holds 12 values; only 8 rows follow the selection.";
    QTest::newRow("paste nothing") << false << false << 0 << "\n \n"
                                   << none << "The clipboard holds no values.";
    QTest::newRow("csv words, any order") << true << false << 0 << "entry,word\n3,100\n1,200\n"
                                          << QStringList{"3=100", "1=200"} << "";
    QTest::newRow("csv word wins")
        << true << false << 0 << "entry,v_in,v_out,word\n2,0.375,2.5,7" << QStringList{"2=7"} << "";
    QTest::newRow("csv BOM, CRLF, quotes")
        << true << false << 0 << QString::fromUtf8("\uFEFF\"entry\",v_out\r\n2,2.5\r\n")
        << QStringList{"2=512"} << "";
    QTest::newRow("csv f_out") << true << true << 0 << "entry,f_out\n2,1000" << QStringList{"2=347"}
                               << "";
    QTest::newRow("csv export round trip") << true << true << 0 << "export" << none << "";
    QTest::newRow("csv f_out in volts")
        << true << false << 0 << "entry,f_out,word\n1,2,3" << none
        << "Line 1 of t.csv: f_out does not belong in a voltage project.";
    QTest::newRow("csv no entry") << true << false << 0 << "\nv_out,word\n1,2" << none
                                  << "Line 2 of t.csv: no entry column.";
    QTest::newRow("csv no value column") << true << true << 0 << "entry,v_in\n0,0.000" << none
                                         << "Line 1 of t.csv: no word or f_out column.";
    QTest::newRow("csv entry 33") << true << false << 0 << "entry,word\n0,1\n33,1" << none
                                  << "Line 3 of t.csv: entry '33' is not 0 to 32.";
    QTest::newRow("csv entry twice") << true << false << 0 << "entry,word\n1,1\n\n1,2" << none
                                     << "Line 4 of t.csv: entry 1 is given twice.";
    QTest::newRow("csv word 1024") << true << false << 0 << "entry,word\n1,1024" << none
                                   << "Line 2 of t.csv: word '1024' is not 0 to 1023.";
    QTest::newRow("csv not a number") << true << false << 0 << "entry,v_out\n0,1\n1,abc" << none
                                      << "Line 3 of t.csv: 'abc' is not a number.";
    QTest::newRow("csv decimal comma") << true << false << 0 << "entry,v_out\n1,2,5" << none
                                       << "Line 2 of t.csv: 3 fields where the header has 2.";
}

void TestImage::pasteAndImport() {
    QFETCH(bool, csv);
    QFETCH(bool, frequency);
    QFETCH(int, first);
    QFETCH(QString, text);
    QFETCH(QStringList, changed);
    EepromImage image;
    for (int i = 0; i < 33; ++i) image.setEntry(i, uint16_t(30 * i));
    EepromImage expected = image;
    for (const QString& c : changed)
        expected.setEntry(c.section(QLatin1Char('='), 0, 0).toInt(),
                          uint16_t(c.section(QLatin1Char('='), 1).toInt()));
    if (text == QLatin1String("export")) {
        text = TableCsvText(image, frequency);
        for (int i = 0; i < 33; ++i) image.setEntry(i, 0);
    }
    QString error;
    int count = -1;
    const bool ok =
        csv ? ImportTableCsvText(image, text, frequency, QStringLiteral("t.csv"), error, count)
            : PasteTableText(image, first, text, frequency, error, count);
    QTEST(error, "error");
    QCOMPARE(ok, error.isEmpty());
    QCOMPARE(image, expected);
    if (ok) QCOMPARE(count, changed.isEmpty() ? 33 : int(changed.size()));
}

QTEST_APPLESS_MAIN(TestImage)
#include "tst_image.moc"
