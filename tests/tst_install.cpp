// Where the program keeps its group folders: beside itself in a build tree, with the user when
// it is installed or cannot write its own folder.
#include "base/app_state.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace varnel;

class InstallTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void appDir_data();
    void appDir();

  private:
    QTemporaryDir home_;
    QString dataDir_;
};

void InstallTest::initTestCase() {
    QVERIFY(home_.isValid());
    // The program's own name, so the folder is the one the program uses.
    QCoreApplication::setApplicationName(QStringLiteral("varnel"));
    qputenv("XDG_DATA_HOME", home_.filePath(QStringLiteral("data")).toLocal8Bit());
    dataDir_ = home_.filePath(QStringLiteral("data/varnel/"));
}

void InstallTest::appDir_data() {
    QTest::addColumn<QStringList>("folders");  // made below a fresh folder
    QTest::addColumn<QString>("file");         // a regular file made there, if not empty
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("userFolder");  // else the program's folder

    QTest::newRow("build tree") << QStringList{"build/src"} << QString() << "build/src" << false
                                << false;
    QTest::newRow("installed") << QStringList{"prefix/bin", "prefix/share/varnel/samples"}
                               << QString() << "prefix/bin" << false << true;
    QTest::newRow("share without varnel") << QStringList{"prefix/bin", "prefix/share/other"}
                                          << QString() << "prefix/bin" << false << false;
    QTest::newRow("share/varnel is a file")
        << QStringList{"prefix/bin", "prefix/share"} << "prefix/share/varnel"
        << "prefix/bin" << false << false;
    QTest::newRow("below a regular file") << QStringList{} << "blocker"
                                          << "blocker/bin" << false << true;
    QTest::newRow("missing folder") << QStringList{} << QString() << "gone/bin" << false << true;
    QTest::newRow("read-only folder")
        << QStringList{"ro/bin"} << QString() << "ro/bin" << true << true;
}

void InstallTest::appDir() {
    QFETCH(QStringList, folders);
    QFETCH(QString, file);
    QFETCH(QString, programDir);
    QFETCH(bool, readOnly);
    QFETCH(bool, userFolder);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    for (const QString& f : folders) QVERIFY(QDir(root.path()).mkpath(f));
    if (!file.isEmpty()) {
        QFile blocker(root.filePath(file));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const QString program = root.filePath(programDir);
    if (readOnly) {
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        if (QFileInfo(program).isWritable()) {
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("every folder is writable for this user (root)");
        }
    }

    const QString dir = DefaultAppDir(program);
    if (readOnly)
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(dir, userFolder ? dataDir_ : program + QLatin1Char('/'));
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
