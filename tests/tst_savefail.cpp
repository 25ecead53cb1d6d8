// Saves that fail: into a folder that cannot be written, onto a full disk, and in a process
// killed part-way. Whatever happens, the previous file is byte-identical afterwards, the user
// sees the error, the document stays marked modified, and the next save works.
//
// CI runs the tests as root, so nothing here relies on permission bits: the folder that cannot be
// written is a regular file, the full disk is a file-size limit (RLIMIT_FSIZE holds for root
// too), and the kill comes from inside the saving process at a chosen step.

#include "app/kex_main.h"
#include "app/settings.h"
#include "base/project_document.h"
#include "base/project_file.h"
#include "base/widgets.h"
#include "meter/kex_maed.h"
#include "meter/meter_file.h"
#include "support/file_size_limit.h"
#include "support/unprivileged.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

using namespace varnel;
using varnel::test::FileSizeLimit;
using varnel::test::ScriptedUi;
using varnel::test::Unprivileged;
using varnel::test::WindowFixture;
using Answer = UiServices::Answer;

namespace {

// The file each kind of save replaces, as it was before.
QByteArray previousProject() {
    ProjectHeader header;
    StampHeaderForSave(header, 37470);
    header.setProjectName(QStringLiteral("BEFORE"));
    EepromImage image;
    for (int i = 0; i < 33; ++i) image.setEntry(i, uint16_t(30 * i));
    image.setModeByte(kModeVoltage);
    return ProjectFileBytes(header, image);
}

QByteArray previousMeter() {
    TMeterRecord r;
    r.setPartNumber(QStringLiteral("BEFORE"));
    r.setMetric(1);
    r.setPointCount(2);
    r.setSignalText(1, QStringLiteral("1.00"));
    r.setFlowText(1, QStringLiteral("10.00"));
    r.setSignalText(2, QStringLiteral("2.00"));
    r.setFlowText(2, QStringLiteral("40.00"));
    r.setDescription1(QStringLiteral("before"));
    return r.toByteArray();
}

// Hand-written, so that any rewrite by the program would show.
const QByteArray kPreviousSettings = "; by hand\n[System]\nComPort=3\nBaudRate=9600\n";

QByteArray previousOf(const QString& kind) {
    if (kind == QLatin1String("project")) return previousProject();
    if (kind == QLatin1String("meter")) return previousMeter();
    return kPreviousSettings;
}

QString fileNameOf(const QString& kind) {
    if (kind == QLatin1String("project")) return QStringLiteral("before.KEX");
    if (kind == QLatin1String("meter")) return QStringLiteral("before.maf");
    return QStringLiteral("kex.ini");
}

// A name as long as the system allows (255 bytes), which leaves no room to add to it.
QString longNameOf(const QString& kind) {
    return QString(251, QLatin1Char('n')) + fileNameOf(kind).right(4);
}

// The files beside target that are not target: what a failed save left behind.
QStringList leftovers(const QString& target) {
    QStringList names = QFileInfo(target).dir().entryList(QDir::Files | QDir::Hidden);
    names.removeAll(QFileInfo(target).fileName());
    return names;
}

}  // namespace

class TestSaveFail : public QObject {
    Q_OBJECT
  private slots:
    void init();

    void failedSave_data();
    void failedSave();
    void killedPartWay_data();
    void killedPartWay();
    void folderTheUserCannotWrite_data();
    void folderTheUserCannotWrite();

  private:
    void projectSave(const QString& failure, rlim_t limit);
    void meterSave(const QString& failure, rlim_t limit);
    void settingsSave(const QString& failure, rlim_t limit);

    std::unique_ptr<QTemporaryDir> dir_;
    QString path(const QString& name) const { return dir_->filePath(name); }
    // A path whose folder is a regular file: no one can create it, root included.
    QString underAFile(const QString& name) {
        const QString plain = path(QStringLiteral("plain-file"));
        WindowFixture::writeAll(plain, "not a folder");
        return plain + QLatin1Char('/') + name;
    }
};

void TestSaveFail::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestSaveFail::failedSave_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("limit");  // bytes a file may grow to, for a full disk
    for (const char* kind : {"project", "meter", "settings"}) {
        QTest::newRow(qPrintable(QStringLiteral("%1: folder is a file").arg(kind)))
            << kind << "folder" << 0;
        QTest::newRow(qPrintable(QStringLiteral("%1: disk full").arg(kind))) << kind << "full" << 0;
        // The disk fills up part-way through the file.
        const int part = QByteArray(kind) == "project" ? 600
                         : QByteArray(kind) == "meter" ? 1000
                                                       : 20;
        QTest::newRow(qPrintable(QStringLiteral("%1: disk full part-way").arg(kind)))
            << kind << "full" << part;
    }
}

void TestSaveFail::failedSave() {
    QFETCH(QString, kind);
    QFETCH(QString, failure);
    QFETCH(int, limit);
    if (kind == QLatin1String("project")) projectSave(failure, rlim_t(limit));
    if (kind == QLatin1String("meter")) meterSave(failure, rlim_t(limit));
    if (kind == QLatin1String("settings")) settingsSave(failure, rlim_t(limit));
}

void TestSaveFail::projectSave(const QString& failure, rlim_t limit) {
    WindowFixture w;
    w.make();
    const QString file = w.path(fileNameOf(QStringLiteral("project")));
    QVERIFY(WindowFixture::writeAll(file, previousProject()));
    w.fileOpen(file);
    w.form->TableGrid->commitEdit(1, 5, QStringLiteral("1.5"));
    QVERIFY(w.state->Modified);
    const ProjectHeader header = w.state->header;
    const EepromImage image = w.state->image;

    if (failure == QLatin1String("folder")) {
        const QString plain = w.path(QStringLiteral("plain-file"));
        QVERIFY(WindowFixture::writeAll(plain, "not a folder"));
        w.ui.expectSaveFile(plain + QStringLiteral("/copy.KEX"));
        w.ui.expectError(QStringLiteral("Invalid filename"));
        w.form->FileSaveAs->trigger();
    } else {
        FileSizeLimit full(limit);
        QVERIFY(full.ok());
        w.ui.expectError(QStringLiteral("Error saving ") + file);
        w.form->FileSave->trigger();
    }
    VERIFY_UI(w.ui);
    QCOMPARE(WindowFixture::readAll(file), previousProject());
    QStringList left = leftovers(file);
    left.removeAll(QStringLiteral("plain-file"));
    QCOMPARE(left, QStringList());
    // Nothing of the document moved: still modified, still that file, still savable.
    QVERIFY(w.state->Modified);
    QCOMPARE(w.state->ProjectFileName, file);
    QVERIFY(w.form->FileSave->isEnabled());
    QVERIFY(w.state->header == header);
    QVERIFY(w.state->image == image);

    // Once the disk has room again, the same Save works.
    w.ui.expectInformation(file + QStringLiteral(" saved"));
    w.form->FileSave->trigger();
    VERIFY_UI(w.ui);
    QVERIFY(!w.state->Modified);
    QCOMPARE(QFileInfo(file).size(), qint64(kProjectFileSize));
}

void TestSaveFail::meterSave(const QString& failure, rlim_t limit) {
    AppState state;
    state.AppDir = dir_->path() + QLatin1Char('/');
    state.ProjectDir = path(QStringLiteral("Ford/"));
    QVERIFY(QDir().mkpath(state.ProjectDir));
    ScriptedUi ui;
    TMassAirEditorDialog editor(state, ui);
    const QString file = state.ProjectDir + fileNameOf(QStringLiteral("meter"));
    QVERIFY(WindowFixture::writeAll(file, previousMeter()));
    ui.expectOpenFile(file);
    editor.OpenButtonClick();
    editor.PartNumberEdit->setText(QStringLiteral("AFTER"));
    QVERIFY(editor.MeterModified);
    const QString title = editor.windowTitle();

    if (failure == QLatin1String("folder")) {
        ui.expectSaveFile(underAFile(QStringLiteral("copy.maf")));
        ui.expectError(QStringLiteral("File not found"));
        editor.SaveAsButtonClick();
    } else {
        FileSizeLimit full(limit);
        QVERIFY(full.ok());
        ui.expectError(QStringLiteral("Disk full"));
        editor.SaveFile(false);
    }
    VERIFY_UI(ui);
    QCOMPARE(WindowFixture::readAll(file), previousMeter());
    QCOMPARE(leftovers(file), QStringList());
    QVERIFY(editor.MeterModified);
    QCOMPARE(editor.windowTitle(), title);

    // With room again, the same file takes the save.
    editor.MeterFileName = file;
    editor.SaveFile(false);
    VERIFY_UI(ui);
    QVERIFY(!editor.MeterModified);
    TMeterRecord saved;
    QString error;
    QVERIFY(ReadMeterFile(file, saved, error));
    QCOMPARE(saved.PartNumber(), QStringLiteral("AFTER"));
}

void TestSaveFail::settingsSave(const QString& failure, rlim_t limit) {
    WindowFixture w;
    w.make();
    if (failure == QLatin1String("folder")) {
        const QString plain = w.path(QStringLiteral("plain-file"));
        QVERIFY(WindowFixture::writeAll(plain, "not a folder"));
        w.state->SettingsPath = plain + QStringLiteral("/kex.ini");
    } else {
        QVERIFY(QDir().mkpath(QFileInfo(w.state->SettingsPath).path()));
        QVERIFY(WindowFixture::writeAll(w.state->SettingsPath, kPreviousSettings));
    }
    // A project with unsaved changes that the user chose not to save.
    w.state->Modified = true;
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
    w.ui.expectError(QStringLiteral("Unable to write to ") + w.state->SettingsPath);
    {
        std::unique_ptr<FileSizeLimit> full;
        if (failure == QLatin1String("full")) full = std::make_unique<FileSizeLimit>(limit);
        QVERIFY(!w.form->FormClose());
    }
    VERIFY_UI(w.ui);
    // The window stays open with its project as it was.
    QVERIFY(w.state->Modified);
    if (failure == QLatin1String("folder")) return;
    QCOMPARE(WindowFixture::readAll(w.state->SettingsPath), kPreviousSettings);
    QCOMPARE(leftovers(w.state->SettingsPath), QStringList());

    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
    QVERIFY(w.form->FormClose());
    VERIFY_UI(w.ui);
    QCOMPARE(LoadSettings(w.state->SettingsPath).ComPort, 2);
}

void TestSaveFail::killedPartWay_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("point");
    QTest::addColumn<bool>("longName");
    for (const char* kind : {"project", "meter", "settings"})
        for (const char* point : {"write", "link", "rename"})
            QTest::newRow(qPrintable(QStringLiteral("%1: killed at %2").arg(kind, point)))
                << kind << point << false;
    // The temporary file of a name at the system's limit takes a shorter name of its own.
    for (const char* kind : {"project", "meter"})
        for (const char* point : {"write", "rename"})
            QTest::newRow(
                qPrintable(QStringLiteral("%1, 255-byte name: killed at %2").arg(kind, point)))
                << kind << point << true;
}

void TestSaveFail::killedPartWay() {
    QFETCH(QString, kind);
    QFETCH(QString, point);
    QFETCH(bool, longName);
    if (point == QLatin1String("link")) {
        // The temporary file is made without a name only where the file system can.
        const int fd =
            ::open(QFile::encodeName(dir_->path()).constData(), O_TMPFILE | O_RDWR, 0600);
        if (fd < 0) QSKIP("no unnamed temporary files here: the temporary file is named at once");
        ::close(fd);
    }
    const QString file = path(longName ? longNameOf(kind) : fileNameOf(kind));
    const QByteArray before = previousOf(kind);
    QVERIFY(WindowFixture::writeAll(file, before));

    QProcess victim;
    victim.start(QStringLiteral(SAVE_VICTIM), {kind, file, point});
    QVERIFY(victim.waitForFinished(20000));
    QCOMPARE(victim.exitStatus(), QProcess::CrashExit);
    QCOMPARE(WindowFixture::readAll(file), before);
    // A finished temporary file may stay behind, under a name no dialog offers as a project or
    // a meter ("before.KEX.Ab12Cd"), and so may the settings' lock file, which the next save
    // takes over once its process is gone.
    const QString fileName = QFileInfo(file).fileName();
    for (const QString& name : leftovers(file)) {
        QVERIFY2(name.startsWith(longName ? fileName.left(240) : fileName + QLatin1Char('.')),
                 qPrintable(name));
        QVERIFY2(!name.endsWith(QLatin1String(".KEX")) && !name.endsWith(QLatin1String(".maf")),
                 qPrintable(name));
    }

    // The next save goes through, over the same file.
    QProcess again;
    again.start(QStringLiteral(SAVE_VICTIM), {kind, file, QStringLiteral("none")});
    QVERIFY(again.waitForFinished(20000));
    QCOMPARE(again.exitStatus(), QProcess::NormalExit);
    QCOMPARE(again.exitCode(), 0);
    if (kind == QLatin1String("project")) {
        ProjectHeader header;
        EepromImage image;
        QCOMPARE(ReadProjectFile(file, header, image), ReadStatus::Ok);
        QCOMPARE(header.ProjectName(), QStringLiteral("AFTER"));
    } else if (kind == QLatin1String("meter")) {
        TMeterRecord r;
        QString error;
        QVERIFY(ReadMeterFile(file, r, error));
        QCOMPARE(r.PartNumber(), QStringLiteral("AFTER"));
    } else {
        QCOMPARE(LoadSettings(file).ComPort, 4);
    }
}

void TestSaveFail::folderTheUserCannotWrite_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("failure");  // "" none, "limit" a file-size limit, "full" a full disk
    QTest::addColumn<int>("limit");        // bytes a file may grow to
    QTest::addColumn<bool>("saved");
    for (const char* kind : {"project", "meter", "settings"}) {
        const int part = QByteArray(kind) == "project" ? 600
                         : QByteArray(kind) == "meter" ? 1000
                                                       : 20;
        QTest::newRow(kind) << kind << "" << 0 << true;
        QTest::newRow(qPrintable(QStringLiteral("%1: size limit 0").arg(kind)))
            << kind << "limit" << 0 << false;
        QTest::newRow(qPrintable(QStringLiteral("%1: size limit part-way").arg(kind)))
            << kind << "limit" << part << false;
        // A full disk still takes a file written over its own bytes; kex.ini grows, though.
        QTest::newRow(qPrintable(QStringLiteral("%1: disk full").arg(kind)))
            << kind << "full" << 0 << (QByteArray(kind) != "settings");
    }
}

void TestSaveFail::folderTheUserCannotWrite() {
    // The file may be written, its folder may not: with no room for the temporary file the
    // file is written in place, and a write that fails there leaves it byte for byte. A new
    // file cannot be made there at all. The saves run as the user nobody in a program of their
    // own, where the size limit's signal has its default action, as in a user's shell.
    QFETCH(QString, kind);
    QFETCH(QString, failure);
    QFETCH(int, limit);
    QFETCH(bool, saved);
    const passwd* nobody = ::getuid() == 0 ? ::getpwnam("nobody") : nullptr;
    if (::getuid() == 0 && !nobody) QSKIP("no user nobody to give up root for");
    const uid_t uid = nobody ? nobody->pw_uid : ::getuid();
    const gid_t gid = nobody ? nobody->pw_gid : ::getgid();
    const QString folder = path(QStringLiteral("locked"));
    const QString file = folder + QLatin1Char('/') + fileNameOf(kind);
    QVERIFY(QDir().mkpath(folder) && WindowFixture::writeAll(file, previousOf(kind)));
    QVERIFY(QFile::setPermissions(
        file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::WriteOther));
    // No one but root may write the folder; root runs the saves as nobody.
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(Unprivileged::reachable(dir_->path()) && QFile::setPermissions(folder, readOnly));
    const rlim_t bytes = failure == QLatin1String("limit") ? rlim_t(limit) : RLIM_INFINITY;
    const auto save = [&](const QString& target) {
        QProcess victim;
        victim.setChildProcessModifier([uid, gid, bytes] {
            rlimit r{};
            ::getrlimit(RLIMIT_FSIZE, &r);
            r.rlim_cur = bytes;
            ::setrlimit(RLIMIT_FSIZE, &r);
            ::signal(SIGXFSZ, SIG_DFL);
            if (::getuid() == 0 && (::setgroups(1, &gid) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                                    ::setresuid(uid, uid, uid) != 0))
                ::_exit(99);
        });
        victim.start(QStringLiteral(SAVE_VICTIM),
                     {kind, target, failure == QLatin1String("full") ? failure : "none"});
        victim.waitForFinished(20000);
        return victim.exitStatus() == QProcess::NormalExit ? victim.exitCode() : -1;
    };
    QCOMPARE(save(file), saved ? 0 : 1);
    QCOMPARE(save(folder + QStringLiteral("/new-") + fileNameOf(kind)), 1);
    if (saved)
        QVERIFY(WindowFixture::readAll(file) != previousOf(kind));
    else
        QCOMPARE(WindowFixture::readAll(file), previousOf(kind));
    if (saved && kind == QLatin1String("settings")) QCOMPARE(LoadSettings(file).ComPort, 4);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{fileNameOf(kind)});
    QVERIFY(QFile::setPermissions(folder, readOnly | QFile::WriteOwner));
}

QTEST_MAIN(TestSaveFail)
#include "tst_savefail.moc"
