// Every input in the fuzz corpora (the seeds and the inputs of past findings), run through its
// fuzz target's property checks in this build. A broken property aborts the test, as it would
// stop the fuzzer.

#include "fuzz_support.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cstddef>
#include <cstdint>

namespace {

struct FuzzTarget {
    const char* name;
    int (*run)(const uint8_t*, size_t);
};

#include "fuzz_targets.inc"

}  // namespace

class TestFuzzReplay : public QObject {
    Q_OBJECT
  private slots:
    void everyTargetHasSeeds_data();
    void everyTargetHasSeeds();
    void replay_data();
    void replay();
};

void TestFuzzReplay::everyTargetHasSeeds_data() {
    QTest::addColumn<QString>("target");
    for (const FuzzTarget& t : kFuzzTargets) QTest::newRow(t.name) << QString::fromLatin1(t.name);
}

void TestFuzzReplay::everyTargetHasSeeds() {
    QFETCH(QString, target);
    const QDir dir(QStringLiteral(FUZZ_CORPUS_DIR "/") + target);
    QVERIFY2(dir.entryList(QDir::Files).size() >= 3, qPrintable(dir.path()));
}

void TestFuzzReplay::replay_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("file");
    for (size_t i = 0; i < std::size(kFuzzTargets); ++i) {
        const QString name = QString::fromLatin1(kFuzzTargets[i].name);
        const QDir dir(QStringLiteral(FUZZ_CORPUS_DIR "/") + name);
        for (const QString& f : dir.entryList(QDir::Files, QDir::Name))
            QTest::newRow(qPrintable(name + QLatin1Char('/') + f)) << int(i) << dir.filePath(f);
    }
}

void TestFuzzReplay::replay() {
    QFETCH(int, target);
    QFETCH(QString, file);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    QCOMPARE(kFuzzTargets[target].run(reinterpret_cast<const uint8_t*>(data.constData()),
                                      size_t(data.size())),
             0);
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "tst_fuzz_replay.moc"
