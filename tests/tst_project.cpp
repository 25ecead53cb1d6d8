// The project document through the main window: File > New, Open, Save, Save As, Close,
// Edit > Project, the exit dialogue, and the project file format.

#include "app/kex_main.h"
#include "app/kex_new.h"
#include "app/settings.h"
#include "base/project_file.h"
#include "base/widgets.h"
#include "support/file_size_limit.h"
#include "support/window_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QValueAxis>
#include <QtTest>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

using namespace varnel;
using varnel::test::FileSizeLimit;
using varnel::test::WindowFixture;
using Answer = UiServices::Answer;

namespace {

// The image of File > New with Output on "Voltage": the identity table up to 4.995 V, entry 32
// = 1023, mode 1, pots 0, byte 0x47 untouched, limit 1023, the rest erased.
QByteArray defaultImage() {
    QByteArray img = QByteArray::fromHex(
        "00000026004D0073009A00C000E6010D0133015A018001A601CD01F3021A0240"
        "0266028D02B302DA03000326034D0373039A03C003E603FF03FF03FF03FF03FF"
        "03FF0100000000FF03FF");
    img.append(QByteArray(kImageSize - img.size(), char(0xFF)));
    return img;
}

QByteArray projectBytes(int16_t total, int16_t headerRecords, int size, char fill = 0x11) {
    QByteArray b(size, fill);
    if (size >= 12) {
        b[8] = char(total & 0xFF);
        b[9] = char((total >> 8) & 0xFF);
        b[10] = char(headerRecords & 0xFF);
        b[11] = char((headerRecords >> 8) & 0xFF);
    }
    return b;
}

}  // namespace

class TestProject : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void dayNumbers_data();
    void dayNumbers();
    void newProjectDefaults();
    void newProjectAnswers();
    void gmFallsBackToFord();
    void newCancelledChangesNothing();
    void saveThenLoadGivesIdenticalBytes();
    void badFilesChangeNothing_data();
    void badFilesChangeNothing();
    void oneHeaderRecordLoads();
    void readOnlyFileOpensButIsNotOverwritten();
    void failedWriteKeepsOldFileAndModified();
    void saveAsUsesTheNameAsTyped();
    void saveAsCancelledOrFailedKeepsTheName();
    void openShowsTheGroup_data();
    void openShowsTheGroup();
    void openLoadsTheControls();
    void closeProject();
    void editProjectIsNotAnEdit();
    void exitWithNeverSavedProject_data();
    void exitWithNeverSavedProject();
    void exitSavesALoadedProjectInPlace();
    void leavingAModifiedProjectAsks_data();
    void leavingAModifiedProjectAsks();
    void undoDuringTheConnectOfAnotherProject();
    void recentProjects();

  private:
    // A project saved by the program: File > New with default answers, then Save As.
    QString savedProject(const QString& name);
    WindowFixture w;
};

void TestProject::init() {
    w.make();
}

void TestProject::cleanup() {
    VERIFY_UI(w.ui);
    w.form.reset();
}

QString TestProject::savedProject(const QString& name) {
    const QString file = w.path(name);
    w.fileNew();
    w.fileSaveAs(file);
    return file;
}

void TestProject::dayNumbers_data() {
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("day");
    QTest::newRow("epoch") << QDate(1899, 12, 30) << 0;
    QTest::newRow("next day") << QDate(1899, 12, 31) << 1;
    QTest::newRow("1 March 1900") << QDate(1900, 3, 1) << 61;
    QTest::newRow("2 August 2002") << QDate(2002, 8, 2) << 37470;
    QTest::newRow("before the epoch") << QDate(1899, 12, 29) << -1;
}

void TestProject::dayNumbers() {
    QFETCH(QDate, date);
    QTEST(int(DayNumber(date)), "day");
}

void TestProject::newProjectDefaults() {
    w.fileNew();
    const AppState& s = *w.state;
    QCOMPARE(s.image.toByteArray().toHex().toUpper(), defaultImage().toHex().toUpper());

    const ProjectHeader& h = s.header;
    QCOMPARE(h.ProjectName(), QStringLiteral("(none)"));
    QCOMPARE(h.Description(), QString());
    QCOMPARE(int(h.Group()), 0);
    QCOMPARE(int(h.Metric()), 0);
    QCOMPARE(int(h.OutputType()), 0);
    QCOMPARE(int(h.VInMeterGroup()), 0xFF);
    QCOMPARE(int(h.VOutMeterGroup()), 0xFF);
    QCOMPARE(h.VInMeterName(), QStringLiteral("(none)"));
    QCOMPARE(h.VOutMeterName(), QStringLiteral("(none)"));
    QCOMPARE(h.CreatedDate(), 37470);
    QCOMPARE(h.ModifiedDate(), 37470);
    QCOMPARE(int(h.TotalRecords()), 48);
    QCOMPARE(int(h.HeaderRecords()), 32);
    QCOMPARE(int(h.SoftwareVersion()), 11);
    QCOMPARE(int(h.HardwareVersion()), 10);
    for (int i = 0x15; i < 0x40; ++i) QCOMPARE(int(h.byte(i)), 0);
    for (int i = 0x100; i < kHeaderSize; ++i) QCOMPARE(int(h.byte(i)), 0);

    QCOMPARE(s.ProjectState, DocState::New);
    QVERIFY(!s.Modified);
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  (new)"));
    QCOMPARE(w.form->GroupLabel->text(), QStringLiteral("Ford"));
    QCOMPARE(s.ProjectDir, s.AppDir + QStringLiteral("Ford/"));
    QCOMPARE(w.form->OutputRGrp->itemIndex(), 0);
    QCOMPARE(w.form->LimitEdit->text(), QStringLiteral("4.995"));
    QVERIFY(!w.form->InvertCBox->isChecked());
    for (QLineEdit* pot : w.form->PotEdits) QCOMPARE(pot->text(), QStringLiteral("0"));
    QVERIFY(!w.form->FileSave->isEnabled());
    QVERIFY(w.form->FileSaveAs->isEnabled());
}

void TestProject::newProjectAnswers() {
    const QString longName = QString(70, QLatin1Char('n'));
    w.fileNew([&](TNewDialog& d) {
        QCOMPARE(d.ProjectNameEdit->text(), QStringLiteral("(none)"));
        QCOMPARE(d.GroupRGrp->itemIndex(), 0);
        QCOMPARE(d.UnitsRGrp->itemIndex(), 0);
        d.ProjectNameEdit->setText(longName);
        d.DescriptionEdit->setText(QStringLiteral("Mustang 5.0 with a Bosch meter"));
        d.GroupRGrp->setItemIndex(2);
        d.UnitsRGrp->setItemIndex(1);
    });
    const ProjectHeader& h = w.state->header;
    QCOMPARE(h.ProjectName(), longName.left(63));
    QCOMPARE(h.Description(), QStringLiteral("Mustang 5.0 with a Bosch meter"));
    QCOMPARE(int(h.Group()), 2);
    QCOMPARE(int(h.Metric()), 1);
    QCOMPARE(w.form->GroupLabel->text(), QStringLiteral("Import"));
    QCOMPARE(w.state->ProjectDir, w.state->AppDir + QStringLiteral("Import/"));

    // The next New offers the constant defaults again, not the last answers.
    w.fileNew([](TNewDialog& d) {
        QCOMPARE(d.ProjectNameEdit->text(), QStringLiteral("(none)"));
        QCOMPARE(d.DescriptionEdit->text(), QString());
        QCOMPARE(d.GroupRGrp->itemIndex(), 0);
        QCOMPARE(d.UnitsRGrp->itemIndex(), 0);
    });
    QCOMPARE(int(w.state->header.Group()), 0);
}

void TestProject::gmFallsBackToFord() {
    w.ui.expectDialog(QStringLiteral("NewDialog"), [this](QDialog& d) {
        auto& n = static_cast<TNewDialog&>(d);
        n.GroupRGrp->button(1)->click();
        return int(QDialog::Accepted);
    });
    w.ui.expectWarning(QStringLiteral("GM Mode not implemented yet"));
    w.ui.expectError(QStringLiteral("Hardware not found"));
    w.form->FileNew->trigger();
    QCOMPARE(int(w.state->header.Group()), 0);
    QCOMPARE(w.form->GroupLabel->text(), QStringLiteral("Ford"));
}

void TestProject::newCancelledChangesNothing() {
    w.ui.expectDialog(QStringLiteral("NewDialog"), [](QDialog& d) {
        static_cast<TNewDialog&>(d).ProjectNameEdit->setText(QStringLiteral("x"));
        return int(QDialog::Rejected);
    });
    w.form->FileNew->trigger();
    QCOMPARE(w.state->ProjectState, DocState::None);
    QCOMPARE(w.state->header, ProjectHeader());
    QCOMPARE(w.state->image, EepromImage());
    QVERIFY(w.form->GroupLabel->text().isEmpty());
}

void TestProject::saveThenLoadGivesIdenticalBytes() {
    w.fileNew([](TNewDialog& d) { d.ProjectNameEdit->setText(QStringLiteral("Round trip")); });
    w.state->header.setByte(0x30, 0xAB);  // reserved bytes travel as they are
    w.state->image.setByte(0xF0, 0x5A);
    w.form->document().today = [] { return QDate(2003, 1, 15); };
    const QString file = w.path(QStringLiteral("trip.KEX"));
    w.fileSaveAs(file);
    QCOMPARE(w.state->ProjectState, DocState::File);
    QCOMPARE(w.state->ProjectFileName, file);
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  ") + file);

    const QByteArray bytes = WindowFixture::readAll(file);
    QCOMPARE(bytes.size(), kProjectFileSize);
    QCOMPARE(bytes.left(kHeaderSize), w.state->header.toByteArray());
    QCOMPARE(bytes.mid(kHeaderSize), w.state->image.toByteArray());
    // Little-endian fields at their offsets.
    QCOMPARE(bytes.mid(0, 4), QByteArray::fromHex("5E920000"));  // created 37470
    QCOMPARE(bytes.mid(4, 4), QByteArray::fromHex("04930000"));  // saved 37636
    QCOMPARE(bytes.mid(8, 8), QByteArray::fromHex("300020000B000A00"));
    QCOMPARE(bytes.mid(0x40, 11), QByteArray("\x0aRound trip"));

    const ProjectHeader header = w.state->header;
    const EepromImage image = w.state->image;
    w.form->FileClose->trigger();
    w.fileNew();
    QVERIFY(w.state->header != header);
    w.fileOpen(file);
    QCOMPARE(w.state->header, header);
    QCOMPARE(w.state->image, image);
    QCOMPARE(w.state->header.CreatedDate(), 37470);
    QCOMPARE(w.state->header.ModifiedDate(), 37636);
    QVERIFY(!w.state->Modified);
    QVERIFY(!w.form->FileSave->isEnabled());
    QCOMPARE(WindowFixture::readAll(file), bytes);
}

void TestProject::badFilesChangeNothing_data() {
    QTest::addColumn<QByteArray>("bytes");  // empty: no file at all; "folder": a folder
    QTest::addColumn<QString>("message");   // %1 is the file's path
    QTest::newRow("missing") << QByteArray() << "%1 not found";
    QTest::newRow("a folder of that name") << QByteArray("folder") << "Error (1) reading %1";
    QTest::newRow("15 bytes") << projectBytes(48, 32, 15) << "Error (2) reading %1";
    QTest::newRow("TotalRecords 47") << projectBytes(47, 32, 768) << "Error (2) reading %1";
    QTest::newRow("HeaderRecords 0") << projectBytes(16, 0, 768) << "Error (2) reading %1";
    QTest::newRow("HeaderRecords 33") << projectBytes(49, 33, 1000) << "Error (2) reading %1";
    QTest::newRow("negative counts") << projectBytes(-1, -17, 768) << "Error (2) reading %1";
    QTest::newRow("header cut short") << projectBytes(48, 32, 300) << "Error (3) reading %1";
    QTest::newRow("600 bytes") << projectBytes(48, 32, 600) << "Error (4) reading %1";
    QTest::newRow("767 bytes") << projectBytes(48, 32, 767) << "Error (4) reading %1";
}

void TestProject::badFilesChangeNothing() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString good = savedProject(QStringLiteral("good.KEX"));
    w.state->image.setByte(0x20, 0x01);
    w.form->TableGrid->commitEdit(1, 2, QStringLiteral("1"));
    QVERIFY(w.state->Modified);

    const QString bad = w.path(QStringLiteral("bad.KEX"));
    if (bytes == "folder")
        QVERIFY(QDir().mkpath(bad));
    else if (!bytes.isEmpty())
        QVERIFY(WindowFixture::writeAll(bad, bytes));
    const ProjectHeader header = w.state->header;
    const EepromImage image = w.state->image;
    const QString title = w.form->windowTitle();
    // Not saved first: a file that cannot be read still leaves the project as it was.
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
    w.ui.expectOpenFile(bad);
    w.ui.expectError(message.arg(bad));
    w.form->FileOpen->trigger();
    // Compare With reads as Open does, into a scratch copy: the same message, nothing shown.
    w.ui.expectOpenFile(bad);
    w.ui.expectError(message.arg(bad));
    w.form->FileCompare->trigger();
    QVERIFY(!w.form->comparing());
    QCOMPARE(w.state->header, header);
    QCOMPARE(w.state->image, image);
    QCOMPARE(w.state->ProjectFileName, good);
    QCOMPARE(w.state->ProjectState, DocState::File);
    QVERIFY(w.state->Modified);
    QCOMPARE(w.form->windowTitle(), title);
}

void TestProject::oneHeaderRecordLoads() {
    w.fileNew([](TNewDialog& d) { d.ProjectNameEdit->setText(QStringLiteral("kept")); });
    const ProjectHeader before = w.state->header;
    QByteArray bytes = projectBytes(17, 1, 272, 0);
    for (int i = 0; i < kImageSize; ++i) bytes[16 + i] = char(i);
    bytes[16 + kModeByteOffset] = 0x01;
    const QString file = w.path(QStringLiteral("short.KEX"));
    QVERIFY(WindowFixture::writeAll(file, bytes));
    w.fileOpen(file);
    QCOMPARE(w.state->image.toByteArray(), bytes.mid(16));
    for (int i = 0; i < 16; ++i) QCOMPARE(int(w.state->header.byte(i)), int(uint8_t(bytes[i])));
    for (int i = 16; i < kHeaderSize; ++i) QCOMPARE(w.state->header.byte(i), before.byte(i));
    QCOMPARE(w.state->header.ProjectName(), QStringLiteral("kept"));
}

void TestProject::readOnlyFileOpensButIsNotOverwritten() {
    const QString file = savedProject(QStringLiteral("locked.KEX"));
    const QByteArray original = WindowFixture::readAll(file);
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    w.form->FileClose->trigger();

    w.fileOpen(file);
    QCOMPARE(w.state->ProjectState, DocState::File);
    w.form->TableGrid->commitEdit(1, 5, QStringLiteral("1"));
    QVERIFY(w.form->FileSave->isEnabled());
    // The write bit is checked by itself, so this holds for root too, whom the system would let
    // write the file.
    w.ui.expectError(QStringLiteral("File access denied"));
    w.form->FileSave->trigger();
    QCOMPARE(WindowFixture::readAll(file), original);
    QVERIFY(w.state->Modified);
    QVERIFY(w.form->FileSave->isEnabled());
    QCOMPARE(w.state->ProjectFileName, file);
}

void TestProject::failedWriteKeepsOldFileAndModified() {
    const QString file = savedProject(QStringLiteral("full.KEX"));
    const QByteArray original = WindowFixture::readAll(file);
    w.form->TableGrid->commitEdit(1, 5, QStringLiteral("1"));
    QVERIFY(w.state->Modified);
    const ProjectHeader header = w.state->header;
    {
        // Room for the header but not the image, like a disk that fills up during the save.
        FileSizeLimit limit(600);
        QVERIFY(limit.ok());
        w.ui.expectError(QStringLiteral("Error saving ") + file);
        w.form->FileSave->trigger();
    }
    QCOMPARE(WindowFixture::readAll(file), original);
    QVERIFY(w.state->Modified);
    QVERIFY(w.form->FileSave->isEnabled());
    QCOMPARE(w.state->header, header);
    QCOMPARE(QDir(w.dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("full.KEX")});
}

void TestProject::saveAsUsesTheNameAsTyped() {
    w.fileNew([](TNewDialog& d) { d.GroupRGrp->setItemIndex(2); });
    w.state->ProjectDir = w.state->AppDir;
    const QString file = w.path(QStringLiteral("no_extension"));
    w.fileSaveAs(file);
    QVERIFY(QFileInfo(file).isFile());
    QCOMPARE(QFileInfo(file).size(), qint64(kProjectFileSize));
    QCOMPARE(w.ui.lastFilter, QStringLiteral("*.KEX"));
    QCOMPARE(w.ui.lastFileName, QStringLiteral("*.KEX"));
    QCOMPARE(w.ui.lastDir, w.state->AppDir + QStringLiteral("Import/"));
    QCOMPARE(w.state->ProjectFileName, file);
}

void TestProject::saveAsCancelledOrFailedKeepsTheName() {
    const QString file = savedProject(QStringLiteral("first.KEX"));
    w.form->TableGrid->commitEdit(1, 5, QStringLiteral("1"));
    w.ui.expectSaveFile(QString());
    w.form->FileSaveAs->trigger();
    QCOMPARE(w.state->ProjectFileName, file);
    QVERIFY(w.state->Modified);

    const QString nowhere = w.path(QStringLiteral("missing/folder/second.KEX"));
    w.ui.expectSaveFile(nowhere);
    w.ui.expectError(QStringLiteral("Invalid filename"));
    w.form->FileSaveAs->trigger();
    QCOMPARE(w.state->ProjectFileName, file);
    QVERIFY(w.state->Modified);
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  ") + file);
}

void TestProject::openShowsTheGroup_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("folder");
    QTest::newRow("Ford") << 0 << "Ford"
                          << "Ford/";
    QTest::newRow("GM") << 1 << "GM"
                        << "GM/";
    QTest::newRow("Import") << 2 << "Import"
                            << "Import/";
    QTest::newRow("no such group") << 7 << ""
                                   << "";
}

void TestProject::openShowsTheGroup() {
    QFETCH(int, group);
    QFETCH(QString, label);
    QFETCH(QString, folder);
    const QString file = savedProject(QStringLiteral("group.KEX"));
    QByteArray bytes = WindowFixture::readAll(file);
    bytes[0x10] = char(group);
    QVERIFY(WindowFixture::writeAll(file, bytes));
    w.form->FileClose->trigger();
    QVERIFY(w.form->GroupLabel->text().isEmpty());
    w.fileOpen(file);
    QCOMPARE(w.form->GroupLabel->text(), label);
    QCOMPARE(w.state->ProjectDir, w.state->AppDir + folder);
    QCOMPARE(w.ui.lastDir, w.state->AppDir + QStringLiteral("Ford/"));
}

void TestProject::openLoadsTheControls() {
    const QString file = savedProject(QStringLiteral("controls.KEX"));
    QByteArray bytes = WindowFixture::readAll(file);
    bytes[kHeaderSize + kModeByteOffset] = char(0x12);  // frequency, inverted
    bytes[kHeaderSize + 0x43] = char(5);
    bytes[kHeaderSize + 0x44] = char(128);
    bytes[kHeaderSize + 0x45] = char(129);
    bytes[kHeaderSize + 0x46] = char(255);
    bytes[kHeaderSize + 0x48] = char(0x01);  // limit 347 words = 999 Hz
    bytes[kHeaderSize + 0x49] = char(0x5B);
    QVERIFY(WindowFixture::writeAll(file, bytes));
    w.fileOpen(file);
    QCOMPARE(w.form->OutputRGrp->itemIndex(), 1);
    QVERIFY(w.form->InvertCBox->isChecked());
    QCOMPARE(w.form->PotEdits[0]->text(), QStringLiteral("5"));
    QCOMPARE(w.form->PotEdits[1]->text(), QStringLiteral("128"));
    QCOMPARE(w.form->PotEdits[2]->text(), QStringLiteral("-127"));
    QCOMPARE(w.form->PotEdits[3]->text(), QStringLiteral("-1"));
    QCOMPARE(w.form->LimitEdit->text(), QStringLiteral("999"));
    QCOMPARE(w.form->LeftAxis->titleText(), QStringLiteral("F Out"));
    QCOMPARE(w.form->TableGrid->cell(1, 0), QStringLiteral("F Out"));
    QCOMPARE(w.state->image.toByteArray(), bytes.mid(kHeaderSize));
    QVERIFY(!w.state->Modified);
    QCOMPARE(w.form->VInLabel->text(), QStringLiteral("V In = (none)"));

    // Back to a voltage project: the selector and the limit follow the image.
    const QString other = w.path(QStringLiteral("volt.KEX"));
    bytes[kHeaderSize + kModeByteOffset] = char(0x01);
    QVERIFY(WindowFixture::writeAll(other, bytes));
    w.fileOpen(other);
    QCOMPARE(w.form->OutputRGrp->itemIndex(), 0);
    QVERIFY(!w.form->InvertCBox->isChecked());
    QCOMPARE(w.form->LimitEdit->text(), QStringLiteral("1.694"));
    QCOMPARE(w.state->image.toByteArray(), bytes.mid(kHeaderSize));
    QVERIFY(!w.state->Modified);
}

void TestProject::closeProject() {
    savedProject(QStringLiteral("close.KEX"));
    const ProjectHeader header = w.state->header;
    const EepromImage image = w.state->image;
    w.form->TableGrid->commitEdit(1, 3, QStringLiteral("2"));
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
    w.form->FileClose->trigger();
    QCOMPARE(w.state->ProjectState, DocState::None);
    QVERIFY(!w.state->Modified);
    QVERIFY(w.state->ProjectFileName.isEmpty());
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  "));
    QVERIFY(w.form->GroupLabel->text().isEmpty());
    QVERIFY(!w.form->FileSaveAs->isEnabled());
    QCOMPARE(w.state->header, header);
    QVERIFY(w.state->image != image);  // the edit stays in memory, unsaved
    // Nothing to save: closing asks nothing.
    QVERIFY(w.form->FormClose());
}

void TestProject::editProjectIsNotAnEdit() {
    const QString file = savedProject(QStringLiteral("edit.KEX"));
    w.ui.expectDialog(QStringLiteral("NewDialog"), [](QDialog& d) {
        auto& n = static_cast<TNewDialog&>(d);
        [&] {
            QCOMPARE(n.ProjectNameEdit->text(), QStringLiteral("(none)"));
            QCOMPARE(n.GroupRGrp->itemIndex(), 0);
        }();
        n.ProjectNameEdit->setText(QStringLiteral("Renamed"));
        n.GroupRGrp->setItemIndex(2);
        n.UnitsRGrp->setItemIndex(1);
        return int(QDialog::Accepted);
    });
    w.form->EditProject->trigger();
    QCOMPARE(w.state->header.ProjectName(), QStringLiteral("Renamed"));
    QCOMPARE(int(w.state->header.Group()), 2);
    QCOMPARE(int(w.state->header.Metric()), 1);
    QCOMPARE(w.form->GroupLabel->text(), QStringLiteral("Import"));
    QCOMPARE(w.state->ProjectDir, w.state->AppDir + QStringLiteral("Ford/"));
    QVERIFY(!w.state->Modified);
    QVERIFY(!w.form->FileSave->isEnabled());
    QVERIFY(w.form->FormClose());
    QCOMPARE(w.state->ProjectFileName, file);

    // The dialog is preset from the header; cancelling keeps it.
    w.ui.expectDialog(QStringLiteral("NewDialog"), [](QDialog& d) {
        auto& n = static_cast<TNewDialog&>(d);
        [&] {
            QCOMPARE(n.ProjectNameEdit->text(), QStringLiteral("Renamed"));
            QCOMPARE(n.GroupRGrp->itemIndex(), 2);
            QCOMPARE(n.UnitsRGrp->itemIndex(), 1);
        }();
        n.ProjectNameEdit->setText(QStringLiteral("Dropped"));
        return int(QDialog::Rejected);
    });
    w.form->EditProject->trigger();
    QCOMPARE(w.state->header.ProjectName(), QStringLiteral("Renamed"));
}

void TestProject::exitWithNeverSavedProject_data() {
    QTest::addColumn<QString>("name");  // empty: the save dialog is cancelled
    QTest::addColumn<bool>("readOnlyTarget");
    QTest::addColumn<bool>("closes");
    QTest::newRow("named") << "exit.KEX" << false << true;
    QTest::newRow("cancelled") << "" << false << false;
    QTest::newRow("save refused") << "exit.KEX" << true << false;
}

void TestProject::exitWithNeverSavedProject() {
    QFETCH(QString, name);
    QFETCH(bool, readOnlyTarget);
    QFETCH(bool, closes);
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(w.dir->path()));
    const QString file = name.isEmpty() ? QString() : w.path(name);
    const QByteArray old("an older file that must survive");
    if (readOnlyTarget) {
        QVERIFY(WindowFixture::writeAll(file, old));
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner));
    }
    w.fileNew();
    w.form->TableGrid->commitEdit(1, 3, QStringLiteral("2"));
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::Yes);
    w.ui.expectSaveFile(file);
    if (!file.isEmpty())
        readOnlyTarget ? w.ui.expectError(QStringLiteral("File access denied"))
                       : w.ui.expectInformation(file + QStringLiteral(" saved"));
    const bool closed = w.form->FormClose();
    QDir::setCurrent(cwd);
    QCOMPARE(closed, closes);
    QVERIFY(!QFileInfo::exists(w.path(QStringLiteral("(new)"))));
    if (readOnlyTarget) QCOMPARE(WindowFixture::readAll(file), old);
    if (closes) {
        QCOMPARE(QFileInfo(file).size(), qint64(kProjectFileSize));
        QCOMPARE(w.state->ProjectState, DocState::File);
    } else {
        QCOMPARE(w.state->ProjectState, DocState::New);
        QVERIFY(w.state->Modified);
        // Nothing was written, the settings file included.
        QVERIFY(!QFileInfo::exists(w.state->SettingsPath));
    }
}

void TestProject::exitSavesALoadedProjectInPlace() {
    const QString file = savedProject(QStringLiteral("inplace.KEX"));
    w.form->TableGrid->commitEdit(1, 14, QStringLiteral("2.5"));
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::Yes);
    w.ui.expectInformation(file + QStringLiteral(" saved"));
    QVERIFY(w.form->FormClose());
    const QByteArray bytes = WindowFixture::readAll(file);
    QCOMPARE(bytes.mid(kHeaderSize + 0x1A, 2), QByteArray::fromHex("0200"));
}

void TestProject::leavingAModifiedProjectAsks_data() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("answer");  // to "Save E2P file first ?"; -1: not modified
    QTest::newRow("New, Cancel keeps the project") << "new" << int(Answer::Cancel);
    QTest::newRow("New, No") << "new" << int(Answer::No);
    QTest::newRow("Open, Yes saves first") << "open" << int(Answer::Yes);
    QTest::newRow("Close, Cancel") << "close" << int(Answer::Cancel);
    QTest::newRow("Close, No") << "close" << int(Answer::No);
    // The save rewrites the recent list that the path comes from.
    QTest::newRow("Recent, Yes saves first") << "recent" << int(Answer::Yes);
    QTest::newRow("Open, not modified") << "open" << -1;
    QTest::newRow("Close, not modified") << "close" << -1;
}

void TestProject::leavingAModifiedProjectAsks() {
    QFETCH(QString, way);
    QFETCH(int, answer);
    const QString a = savedProject(QStringLiteral("a.KEX"));
    const QString b = savedProject(QStringLiteral("b.KEX"));  // open, a second in the list
    if (answer >= 0) w.form->TableGrid->commitEdit(1, 14, QStringLiteral("2.5"));
    if (answer >= 0) w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer(answer));
    if (answer == int(Answer::Yes)) w.ui.expectInformation(b + QStringLiteral(" saved"));
    const bool leaves = answer != int(Answer::Cancel);
    const bool opens = leaves && (way == QLatin1String("open") || way == QLatin1String("recent"));
    if (leaves && way == QLatin1String("new"))
        w.ui.expectDialog(QStringLiteral("NewDialog"), [](QDialog&) { return 1; });
    if (opens && way == QLatin1String("open")) w.ui.expectOpenFile(a);
    if (leaves && way != QLatin1String("close"))
        w.ui.expectError(QStringLiteral("Hardware not found"));
    if (opens) w.ui.expectInformation(a + QStringLiteral(" loaded"));
    (way == QLatin1String("new")      ? w.form->FileNew
     : way == QLatin1String("open")   ? w.form->FileOpen
     : way == QLatin1String("recent") ? w.form->FileRecent[1]
                                      : w.form->FileClose)
        ->trigger();
    VERIFY_UI(w.ui);
    QCOMPARE(w.state->ProjectFileName, !leaves                       ? b
                                       : opens                       ? a
                                       : way == QLatin1String("new") ? QStringLiteral("(new)")
                                                                     : QString());
    QCOMPARE(w.state->Modified, !leaves);
    // Only Yes writes the edit into the file.
    QCOMPARE(WindowFixture::readAll(b).mid(kHeaderSize + 0x1A, 2),
             QByteArray::fromHex(answer == int(Answer::Yes) ? "0200" : "01F3"));
}

void TestProject::undoDuringTheConnectOfAnotherProject() {
    // The Connect after New and Open waits for the box and lets other events run.
    w.make(true);
    w.form->FormActivate();
    const QString b = savedProject(QStringLiteral("b.KEX"));
    w.form->TableGrid->commitEdit(1, 21, QStringLiteral("4"));
    w.ui.expectInformation(b + QStringLiteral(" saved"));
    QVERIFY(w.form->SaveProject());
    const QByteArray bBytes = WindowFixture::readAll(b);
    for (const bool open : {true, false}) {
        // The project before, with a step of its own to undo, saved.
        savedProject(QStringLiteral("a.KEX"));
        w.form->TableGrid->commitEdit(1, 14, QStringLiteral("2.5"));
        w.ui.expectInformation(w.path(QStringLiteral("a.KEX")) + QStringLiteral(" saved"));
        QVERIFY(w.form->SaveProject());
        QTimer::singleShot(0, w.form.get(), [this] { w.form->EditUndo->trigger(); });
        open ? w.fileOpen(b) : w.fileNew();
        QVERIFY(!w.state->Modified && !w.form->EditUndo->isEnabled());
        QCOMPARE(w.state->image.toByteArray(), open ? bBytes.mid(kHeaderSize) : defaultImage());
    }
}

void TestProject::recentProjects() {
    w.make(true);
    w.form->FormActivate();
    QStringList files;
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g"})
        files << savedProject(QLatin1String(name) + QStringLiteral(".KEX"));
    // The six last opened or saved, most recent first.
    auto listed = [this] {
        QStringList names;
        for (QAction* a : w.form->FileRecent)
            if (a->isVisible()) names << a->text() + QLatin1Char(' ') + a->statusTip();
        return names;
    };
    auto expected = [&](const char* order) {
        QStringList names;
        for (int i = 0; order[i]; ++i)
            names << QStringLiteral("&%1 %2.KEX %3")
                         .arg(i + 1)
                         .arg(QLatin1Char(order[i]))
                         .arg(files[order[i] - 'a']);
        return names;
    };
    QCOMPARE(listed(), expected("gfedcb"));
    w.fileOpen(files[2]);
    QCOMPARE(listed(), expected("cgfedb"));
    // Chosen from the list while modified: the exit dialogue's question, then File > Open.
    w.form->TableGrid->commitEdit(1, 3, QStringLiteral("2"));
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::Cancel);
    w.form->FileRecent[3]->trigger();
    QCOMPARE(w.state->ProjectFileName, files[2]);
    w.ui.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
    w.ui.expectError(QStringLiteral("Hardware not found"));
    w.ui.expectInformation(files[4] + QStringLiteral(" loaded"));
    w.form->FileRecent[3]->trigger();
    QCOMPARE(w.state->ProjectFileName, files[4]);
    QCOMPARE(listed(), expected("ecgfdb"));
    // A project dropped on the window opens the same way, once the drop is over.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(files[3])});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(w.form.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(w.form.get(), &drop);
    w.ui.expectError(QStringLiteral("Hardware not found"));
    w.ui.expectInformation(files[3] + QStringLiteral(" loaded"));
    QTRY_COMPARE(w.state->ProjectFileName, files[3]);
    QCOMPARE(listed(), expected("decgfb"));
    QVERIFY(w.form->FormClose());
    QVERIFY(QFile::remove(files[6]));
    // A file that cannot be read gives the load's message and leaves the list.
    w.ui.expectError(files[6] + QStringLiteral(" not found"));
    w.form->FileRecent[3]->trigger();
    QCOMPARE(w.state->ProjectFileName, files[3]);
    QCOMPARE(listed(), expected("decfb"));
    // Written at close, the sixth key gone; read at the next start.
    QVERIFY(w.form->FormClose());
    QSettings ini(w.state->SettingsPath, QSettings::IniFormat);
    QCOMPARE(ini.childGroups(), QStringList({"Recent", "System", "User"}));
    ini.beginGroup(QStringLiteral("Recent"));
    QCOMPARE(ini.childKeys(), QStringList({"File1", "File2", "File3", "File4", "File5"}));
    QCOMPARE(ini.value(QStringLiteral("File1")).toString(), files[3]);
    QCOMPARE(ini.value(QStringLiteral("File5")).toString(), files[1]);
    QCOMPARE(LoadSettings(w.state->SettingsPath).Recent,
             QStringList({files[3], files[4], files[2], files[5], files[1]}));
}

QTEST_MAIN(TestProject)
#include "tst_project.moc"
