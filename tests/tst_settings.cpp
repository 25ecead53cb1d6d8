#include "app/settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void parseInt_data();
    void parseInt();
    void load_data();
    void load();
    void missingFileGivesDefaults();
    void saveWritesTheFiveKeys();
    void saveKeepsOtherKeys();
    void unwritableFileIsReported();
    void defaultPathFollowsXdgConfigHome();

private:
    QTemporaryDir dir_;
};

void TestSettings::parseInt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("decimal") << "3" << true << 3;
    QTest::newRow("0x10") << "0x10" << true << 16;
    QTest::newRow("0X1f") << "0X1f" << true << 31;
    QTest::newRow("$A") << "$A" << true << 10;
    QTest::newRow("leading zero is decimal") << "010" << true << 10;
    QTest::newRow("negative") << "-4" << true << -4;
    QTest::newRow("abc") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("blank inside") << "1 2" << false << 0;
    QTest::newRow("trailing letter") << "12a" << false << 0;
    QTest::newRow("hex digits without prefix") << "1F" << false << 0;
    QTest::newRow("prefix alone") << "0x" << false << 0;
    QTest::newRow("dollar alone") << "$" << false << 0;
    QTest::newRow("too big") << "99999999999" << false << 0;
    QTest::newRow("fraction") << "9600.0" << false << 0;
}

void TestSettings::parseInt() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    int v = 0;
    QCOMPARE(ParseSettingsInt(text, v), ok);
    if (ok) QTEST(v, "value");
}

void TestSettings::load_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::newRow("both") << "[System]\nComPort=3\nBaudRate=19200\n" << 3 << 19200;
    QTest::newRow("abc") << "[System]\nComPort=abc\n" << 2 << 9600;
    QTest::newRow("hex") << "[System]\nComPort=0x10\nBaudRate=$2580\n" << 16 << 9600;
    QTest::newRow("dollar") << "[System]\nComPort=$A\n" << 10 << 9600;
    QTest::newRow("no System section") << "[User]\nEEStart=0000\n" << 2 << 9600;
    QTest::newRow("list value") << "[System]\nComPort=1,2\n" << 2 << 9600;
}

void TestSettings::load() {
    QFETCH(QString, content);
    // QSettings caches a file by path, so each row gets its own.
    const QString path = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content.toLatin1());
    f.close();
    const KexSettings s = LoadSettings(path);
    QTEST(s.ComPort, "port");
    QTEST(s.BaudRate, "baud");
}

void TestSettings::missingFileGivesDefaults() {
    const KexSettings s = LoadSettings(dir_.filePath(QStringLiteral("absent/kex.ini")));
    QCOMPARE(s.ComPort, 2);
    QCOMPARE(s.BaudRate, 9600);
    QVERIFY(s.Device.isEmpty());
}

void TestSettings::saveWritesTheFiveKeys() {
    const QString path = dir_.filePath(QStringLiteral("new/varnel/kex.ini"));
    QVERIFY(SaveSettings(path, 3, 9600));
    QSettings s(path, QSettings::IniFormat);
    QCOMPARE(s.value("System/ComPort").toString(), QStringLiteral("3"));
    QCOMPARE(s.value("System/BaudRate").toString(), QStringLiteral("9600"));
    for (const char* key : {"User/EEResume", "User/EEStart", "User/EEStop"})
        QCOMPARE(s.value(key).toString(), QStringLiteral("0000"));
    const KexSettings back = LoadSettings(path);
    QCOMPARE(back.ComPort, 3);
}

void TestSettings::saveKeepsOtherKeys() {
    const QString path = dir_.filePath(QStringLiteral("keep.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[System]\nComPort=1\nDevice=/dev/ttyUSB0\n");
    f.close();
    QVERIFY(SaveSettings(path, 4, 9600));
    const KexSettings s = LoadSettings(path);
    QCOMPARE(s.ComPort, 4);
    QCOMPARE(s.Device, QStringLiteral("/dev/ttyUSB0"));
}

void TestSettings::unwritableFileIsReported() {
    // A folder where the file should be: no permission bits involved, so this holds for root too.
    const QString path = dir_.filePath(QStringLiteral("blocked.ini"));
    QVERIFY(QDir().mkpath(path));
    QVERIFY(!SaveSettings(path, 2, 9600));
}

void TestSettings::defaultPathFollowsXdgConfigHome() {
    qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
    QCOMPARE(DefaultSettingsPath(), dir_.path() + QStringLiteral("/varnel/kex.ini"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
