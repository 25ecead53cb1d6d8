// Box > Update EEPROM and Box > Retrieve EEPROM on the main window: the questions, the Abort
// button, the progress bar and status line, the reload after a Retrieve, and what a transfer
// that stops part-way leaves behind.

#include "app/compare_dialog.h"
#include "app/kex_main.h"
#include "app/windows.h"
#include "base/widgets.h"
#include "image/table_view.h"
#include "link/box_transfer.h"
#include "support/box_hooks.h"
#include "support/in_process_box.h"
#include "support/scripted_ui.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace varnel;
using varnel::test::AttachHooks;
using varnel::test::BoxHooks;
using varnel::test::InProcessBox;
using varnel::test::ScriptedUi;
using Answer = UiServices::Answer;

namespace {

const QString kUpdateQuestion = QStringLiteral("Ok to update EEPROM data?");
const QString kRetrieveQuestion = QStringLiteral("Ok to retrive EEPROM data?");

// What the window showed at one moment of a transfer.
struct Seen {
    QString command;
    QString caption;
    bool abortEnabled = false;
    bool progressVisible = false;
    int progress = -1;
    QString status;
};

}  // namespace

class TestTransferWindow : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void refusedQuestionChangesNothing_data();
    void refusedQuestionChangesNothing();
    void updateShowsAbortProgressAndEachCommand();
    void abort_data();
    void abort();
    void abortSurvivesARefreshInsideTheTransfer();
    void failedUpdateSaysHowFarItGot_data();
    void failedUpdateSaysHowFarItGot();
    void retrieveReloadsTheControls_data();
    void retrieveReloadsTheControls();
    void retrieveReplyOfTwoCharactersKeepsTheByte();
    void failedRetrieveLeavesTheProject_data();
    void failedRetrieveLeavesTheProject();
    void compareUpdateChangesAndRestore();
    void closedDuringATransfer_data();
    void closedDuringATransfer();

  private:
    // A new project, connected to the box or not, with a pot stepped so that it is modified.
    void newProject(bool connected);
    void setFault(const char* fault);
    // Runs Update (or Retrieve) with Yes to its question; message is the error it must show.
    void run(bool update, const QString& message = QString());
    // Runs Update Changes, with Yes to its question when it comes to one.
    void runChanges(bool asked, const QString& message = QString());
    QString backups() const { return state_->AppDir + QStringLiteral("Ford/Backups/"); }
    QByteArray wire() const { return box_->transport->written; }

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<InProcessBox> box_;
    ScriptedUi ui_;
    std::unique_ptr<TMainForm> form_;
};

void TestTransferWindow::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    state_ = std::make_unique<AppState>();
    state_->AppDir = dir_->filePath(QStringLiteral("prog")) + QLatin1Char('/');
    state_->SettingsPath = dir_->filePath(QStringLiteral("config/varnel/kex.ini"));
    box_ = std::make_unique<InProcessBox>(100);
    form_ = CreateWindows(*state_, box_->link, ui_);
    form_->FormActivate();
    box_->link.WaitQuiet(20);
}

void TestTransferWindow::cleanup() {
    VERIFY_UI(ui_);
    form_.reset();
    box_.reset();
}

void TestTransferWindow::newProject(bool connected) {
    if (!connected) {
        box_->model->version = "1.1";
        ui_.expectError(QStringLiteral("Incorrect hardware version"));
    }
    form_->NewProject();
    box_->model->version = "1.0";
    QCOMPARE(state_->Connected, connected);
    form_->SetPot(1, +1);
    QVERIFY(state_->Modified);
    box_->transport->written.clear();
}

void TestTransferWindow::setFault(const char* fault) {
    std::string error;
    QVERIFY2(box_->model->faults.parse(fault, error), error.c_str());
}

void TestTransferWindow::run(bool update, const QString& message) {
    ui_.expectConfirm(update ? kUpdateQuestion : kRetrieveQuestion, Answer::Yes);
    if (!message.isEmpty()) ui_.expectError(message);
    (update ? form_->BoxUpdate : form_->BoxRetrieve)->trigger();
}

void TestTransferWindow::runChanges(bool asked, const QString& message) {
    if (asked) ui_.expectDialog(QStringLiteral("CompareDialog"), [](QDialog&) { return 1; });
    if (!message.isEmpty()) ui_.expectError(message);
    form_->BoxUpdateChanges->trigger();
}

void TestTransferWindow::refusedQuestionChangesNothing_data() {
    QTest::addColumn<bool>("update");
    QTest::addColumn<int>("answer");
    QTest::newRow("update, No") << true << int(Answer::No);
    QTest::newRow("retrieve, No") << false << int(Answer::No);
}

void TestTransferWindow::refusedQuestionChangesNothing() {
    QFETCH(bool, update);
    QFETCH(int, answer);
    newProject(true);
    for (int n = 0; n < 80; ++n) box_->model->eeprom[size_t(n)] = uint8_t(n);
    form_->SIOLabel->setText(QStringLiteral("left as it was"));
    const EepromImage before = state_->image;
    ui_.expectConfirm(update ? kUpdateQuestion : kRetrieveQuestion, Answer(answer));
    (update ? form_->BoxUpdate : form_->BoxRetrieve)->trigger();
    QTest::qWait(20);
    QCOMPARE(wire(), QByteArray());
    QCOMPARE(state_->image, before);
    QVERIFY(state_->Modified);
    QVERIFY(state_->MonitorMode);
    // Not even the closing refresh runs.
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("left as it was"));
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QVERIFY(form_->TransferProgress->isHidden());
}

void TestTransferWindow::updateShowsAbortProgressAndEachCommand() {
    newProject(true);
    const EepromImage image = state_->image;
    QCOMPARE(form_->TransferProgress->objectName(), QStringLiteral("TransferProgress"));
    QVERIFY(form_->TransferProgress->isHidden());
    QList<Seen> seen;
    auto hooks = std::make_shared<BoxHooks>();
    hooks->onCommand = [&](const QByteArray& command) {
        seen.append({QString::fromLatin1(command), form_->AbortBtn->text(),
                     form_->AbortBtn->isEnabled(), form_->TransferProgress->isVisible(),
                     form_->TransferProgress->value(), form_->SIOLabel->text()});
    };
    AttachHooks(*box_, hooks);
    form_->show();
    run(true);

    QCOMPARE(seen.size(), 1 + 160);
    for (const Seen& s : seen) {
        QCOMPARE(s.caption, QStringLiteral("Abort"));
        QVERIFY(s.abortEnabled);
        QVERIFY(s.progressVisible);
        QCOMPARE(s.status, s.command);  // each command on the status line as it is sent
    }
    QCOMPARE(seen[0].command, QString());
    QCOMPARE(seen[0].progress, 0);
    // Byte n's commands go while n bytes are done.
    QCOMPARE(seen[1 + 2 * 10].command, WriteCommand(10, image.byte(10)));
    QCOMPARE(seen[1 + 2 * 10].progress, 10);
    QCOMPARE(seen[1 + 2 * 10 + 1].command, QStringLiteral("C0A*"));
    QCOMPARE(seen.last().command, QStringLiteral("C4F*"));
    QCOMPARE(seen.last().progress, 79);
    QCOMPARE(form_->TransferProgress->maximum(), 80);
    QCOMPARE(form_->TransferProgress->value(), 80);

    // The closing refresh: the button and the status line as before, the bar gone.
    QVERIFY(form_->TransferProgress->isHidden());
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("Idle"));
    QVERIFY(state_->MonitorMode);
    QVERIFY(!state_->AbortFlag);
    // The box holds the image; the project is as it was, still modified.
    for (int n = 0; n < kImageSize; ++n)
        QCOMPARE(box_->model->eeprom[size_t(n)], n < 80 ? image.byte(n) : uint8_t(0xFF));
    QCOMPARE(state_->image, image);
    QVERIFY(state_->Modified);
}

void TestTransferWindow::abort_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("where");  // "write" / "read" prompt held, or "inside" a command
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("lastCommand");
    QTest::addColumn<QString>("status");
    QTest::newRow("update, prompt after the write")
        << "update" << true << "write" << QString() << "write"
        << "6 of 80 bytes written";
    QTest::newRow("update, prompt after the read-back")
        << "update" << true << "read" << QString() << "read"
        << "6 of 80 bytes written";
    QTest::newRow("update, inside the write command") << "update" << true << "inside"
                                                      << "Hardware did not acknowledge"
                                                      << "write"
                                                      << "5 of 80 bytes written";
    QTest::newRow("update, not connected: the click aborts, no Connect inside")
        << "update" << false << "read" << QString() << "read"
        << "6 of 80 bytes written";
    QTest::newRow("retrieve, prompt after the read")
        << "retrieve" << true << "read" << QString() << "read"
        << "Idle";
    QTest::newRow("retrieve, inside the read command") << "retrieve" << true << "inside"
                                                       << "Hardware did not acknowledge"
                                                       << "read"
                                                       << "Idle";
    QTest::newRow("retrieve, not connected") << "retrieve" << false << "read" << QString() << "read"
                                             << "(not connected)";
    // Every byte of the box differs from the project's, so the changes are all 80 bytes.
    QTest::newRow("changes, prompt after the write")
        << "changes" << true << "write" << QString() << "write"
        << "6 of 80 bytes written";
    QTest::newRow("changes, not connected, inside the write") << "changes" << false << "inside"
                                                              << "Hardware did not acknowledge"
                                                              << "write"
                                                              << "5 of 80 bytes written";
    // Byte 5's read of the box comes first: nothing is saved or written.
    QTest::newRow("changes, while reading the box")
        << "changes" << true << "read" << QString() << "read"
        << "Idle";
}

void TestTransferWindow::abort() {
    QFETCH(QString, op);
    const bool update = op == QLatin1String("update");
    const bool changes = op == QLatin1String("changes");
    QFETCH(bool, connected);
    QFETCH(QString, where);
    QFETCH(QString, message);
    QFETCH(QString, lastCommand);
    newProject(connected);
    for (int n = 0; n < 80; ++n) box_->model->eeprom[size_t(n)] = uint8_t(0x80 + n);
    const EepromImage image = state_->image;
    const QByteArray write = WriteCommand(5, image.byte(5)).toLatin1();
    const QByteArray read = ReadCommand(5).toLatin1();
    const QByteArray last = lastCommand == QLatin1String("write") ? write : read;

    auto hooks = std::make_shared<BoxHooks>();
    auto click = [this] { form_->AbortBtn->click(); };
    if (where == QLatin1String("inside")) {
        hooks->onCommand = [last, click](const QByteArray& command) {
            if (command == last) click();
        };
    } else {
        hooks->holdPromptOf = last;
        hooks->whileHeld = click;
    }
    AttachHooks(*box_, hooks);
    const bool writes = changes && where != QLatin1String("read");
    if (changes)
        runChanges(writes, message);
    else
        run(update, message);

    // Nothing after the byte the click fell in: no further command, no Connect.
    QVERIFY2(wire().endsWith(last + '\r'), wire().right(40).constData());
    QVERIFY(!wire().contains("Q\r"));
    QTest::qWait(50);  // the held prompt arrives and is dropped
    QVERIFY(wire().endsWith(last + '\r'));
    QTEST(form_->SIOLabel->text(), "status");
    QVERIFY(form_->TransferProgress->isHidden());
    QCOMPARE(form_->AbortBtn->text(),
             connected ? QStringLiteral("Monitor") : QStringLiteral("Connect"));
    QVERIFY(!state_->AbortFlag);
    QCOMPARE(state_->Connected, connected);
    if (update || writes) {
        for (int n = 0; n <= 5; ++n) QCOMPARE(box_->model->eeprom[size_t(n)], image.byte(n));
        QCOMPARE(box_->model->eeprom[6], uint8_t(0x86));
    }
    QCOMPARE(QDir(backups()).entryList(QDir::Files).size(), writes ? 1 : 0);
    if (changes && !writes) QCOMPARE(box_->model->eeprom[0], uint8_t(0x80));
    // A stopped Retrieve changes nothing in the project.
    QCOMPARE(state_->image, image);
    QVERIFY(state_->Modified);
    QCOMPARE(form_->PotEdits[0]->text(), QStringLiteral("1"));
}

void TestTransferWindow::abortSurvivesARefreshInsideTheTransfer() {
    // A pot click inside the prompt wait refreshes the window: the button must still read
    // "Abort", and the Abort clicked just before must still stop the transfer.
    newProject(true);
    const QByteArray write = WriteCommand(5, state_->image.byte(5)).toLatin1();
    QString captionAfterRefresh;
    auto hooks = std::make_shared<BoxHooks>();
    hooks->holdPromptOf = write;
    hooks->whileHeld = [&] {
        form_->AbortBtn->click();
        form_->SetPot(2, +1);
        captionAfterRefresh = form_->AbortBtn->text();
    };
    AttachHooks(*box_, hooks);
    run(true);
    QCOMPARE(captionAfterRefresh, QStringLiteral("Abort"));
    QVERIFY(wire().endsWith(write + '\r'));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("6 of 80 bytes written"));
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QCOMPARE(form_->PotEdits[1]->text(), QStringLiteral("1"));
}

void TestTransferWindow::failedUpdateSaysHowFarItGot_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::newRow("write not acknowledged") << "no-ack=12"
                                            << "Hardware did not acknowledge"
                                            << "12 of 80 bytes written";
    QTest::newRow("read-back not acknowledged") << "no-read-ack=30"
                                                << "Hardware did not acknowledge"
                                                << "31 of 80 bytes written";
    QTest::newRow("verify error") << "bad-read=3"
                                  << "Verify error: 26 D9+"
                                  << "4 of 80 bytes written";
    QTest::newRow("no prompt: nothing written") << "no-reply"
                                                << "Hardware not found"
                                                << "Idle";
}

void TestTransferWindow::failedUpdateSaysHowFarItGot() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    newProject(true);
    QCOMPARE(state_->image.byte(3), uint8_t(0x26));  // entry 1 of the identity table is 38
    setFault(fault.toLatin1().constData());
    const EepromImage image = state_->image;
    run(true, message);
    // The closing refresh has run (the button is back, the flag clear), and the count stays.
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QVERIFY(!state_->AbortFlag);
    QTEST(form_->SIOLabel->text(), "status");
    QVERIFY(form_->TransferProgress->isHidden());
    QCOMPARE(state_->image, image);
    QVERIFY(state_->Modified);
}

void TestTransferWindow::retrieveReloadsTheControls_data() {
    QTest::addColumn<bool>("projectFrequency");
    QTest::addColumn<int>("mode");  // the box's byte 0x42
    QTest::addColumn<int>("output");
    QTest::addColumn<bool>("invert");
    QTest::addColumn<QString>("limit");
    QTest::newRow("frequency and invert into a voltage project")
        << false << 0x12 << 1 << true << "1440";
    QTest::newRow("voltage into a frequency project") << true << 0x01 << 0 << false << "2.441";
    QTest::newRow("mode 0 reads as voltage") << false << 0x00 << 0 << false << "2.441";
}

void TestTransferWindow::retrieveReloadsTheControls() {
    QFETCH(bool, projectFrequency);
    QFETCH(int, mode);
    QFETCH(int, output);
    QFETCH(bool, invert);
    newProject(true);
    if (projectFrequency) {
        form_->OutputRGrp->setItemIndex(1);
        form_->InvertCBox->setChecked(true);
    }
    form_->LimitEdit->setText(QStringLiteral("1"));
    for (int n = 80; n < kImageSize; ++n) state_->image.setByte(n, uint8_t(n));
    const EepromImage before = state_->image;

    // The box: a falling table, its own mode, pots 5, 99, 200 and 0, limit word 500.
    auto& e = box_->model->eeprom;
    for (int i = 0; i < 33; ++i) {
        const int w = 1000 - 25 * i;
        e[size_t(2 * i)] = uint8_t(w >> 8);
        e[size_t(2 * i + 1)] = uint8_t(w & 0xFF);
    }
    e[0x42] = uint8_t(mode);
    e[0x43] = 5;
    e[0x44] = 99;
    e[0x45] = 200;
    e[0x46] = 0;
    e[0x48] = 0x01;
    e[0x49] = 0xF4;
    e[0x4F] = 0x5A;
    for (int n = 80; n < kImageSize; ++n) e[size_t(n)] = 0x00;  // never read

    run(false);
    QCOMPARE(form_->OutputRGrp->itemIndex(), output);
    QCOMPARE(form_->InvertCBox->isChecked(), invert);
    QCOMPARE(form_->PotEdits[0]->text(), QStringLiteral("5"));
    QCOMPARE(form_->PotEdits[1]->text(), QStringLiteral("99"));
    QCOMPARE(form_->PotEdits[2]->text(), QStringLiteral("-56"));
    QCOMPARE(form_->PotEdits[3]->text(), QStringLiteral("0"));
    QCOMPARE(state_->PotValue, (std::array<uint8_t, 4>{5, 99, 200, 0}));
    QTEST(form_->LimitEdit->text(), "limit");
    QCOMPARE(state_->image.entry(kLimitEntry), uint16_t(500));

    // Bytes 0 to 79 are the box's (the mode as the Output selector writes it back), the rest
    // the project's.
    for (int n = 0; n < 80; ++n)
        if (n != 0x42) QCOMPARE(state_->image.byte(n), e[size_t(n)]);
    QCOMPARE(state_->image.isFrequencyOutput(), output == 1);
    QCOMPARE(state_->image.invertLimit(), invert);
    for (int n = 80; n < kImageSize; ++n) QCOMPARE(state_->image.byte(n), before.byte(n));
    QCOMPARE(int(state_->header.OutputType()), output);

    // The chart is redrawn from the new table, in the new unit.
    QCOMPARE(form_->Series1->count(), 32);
    const double word3 = 1000 - 75;
    QVERIFY(std::abs(form_->Series1->at(3).y() - (output == 1 ? word3 * 2.88 : word3 / 204.8)) <
            1e-6);
    QCOMPARE(form_->TableGridDrawCell(1, 4), EntryText(state_->image, 3, output == 1));

    // The project now matches the box.
    QVERIFY(!state_->Modified);
    QCOMPARE(state_->ProjectState, DocState::New);
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QVERIFY(form_->TransferProgress->isHidden());
    QCOMPARE(form_->TransferProgress->value(), 80);

    // One step: undone, the project is as before it, unsaved edits and all; redone, the box's.
    const EepromImage retrieved = state_->image;
    QCOMPARE(form_->EditUndo->text(), QStringLiteral("Undo Retrieve EEPROM"));
    form_->EditUndo->trigger();
    QCOMPARE(state_->image, before);
    QVERIFY(state_->Modified);
    QCOMPARE(form_->OutputRGrp->itemIndex(), projectFrequency ? 1 : 0);
    QCOMPARE(form_->InvertCBox->isChecked(), projectFrequency);
    form_->EditRedo->trigger();
    QCOMPARE(state_->image, retrieved);
    QVERIFY(!state_->Modified);
    QCOMPARE(form_->OutputRGrp->itemIndex(), output);
    QTEST(form_->LimitEdit->text(), "limit");
}

void TestTransferWindow::retrieveReplyOfTwoCharactersKeepsTheByte() {
    newProject(true);
    for (int n = 0; n < 80; ++n) box_->model->eeprom[size_t(n)] = state_->image.byte(n);
    box_->model->eeprom[9] = 0x3C;
    box_->model->eeprom[10] = 0x4D;
    setFault("short-read=9");
    const uint8_t kept = state_->image.byte(9);
    run(false);
    QCOMPARE(state_->image.byte(9), kept);
    QCOMPARE(state_->image.byte(10), uint8_t(0x4D));
    QVERIFY(!state_->Modified);
}

void TestTransferWindow::failedRetrieveLeavesTheProject_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("no prompt") << "no-reply"
                               << "Hardware not found";
    QTest::newRow("read 30 not acknowledged") << "no-read-ack=30"
                                              << "Hardware did not acknowledge";
    QTest::newRow("box falls silent") << "silent-after=300"
                                      << "Hardware did not acknowledge";
}

void TestTransferWindow::failedRetrieveLeavesTheProject() {
    QFETCH(QString, fault);
    QFETCH(QString, message);
    newProject(true);
    form_->LimitEdit->setText(QStringLiteral("3.5"));
    state_->image.setEntry(4, 700);
    form_->DrawTableChart();
    // A box of another configuration: frequency, inverted, other pots and table.
    for (int n = 0; n < 80; ++n) box_->model->eeprom[size_t(n)] = uint8_t(0x12 + n);
    box_->model->eeprom[0x42] = 0x12;
    setFault(fault.toLatin1().constData());
    const EepromImage image = state_->image;
    const QList<QPointF> chart = form_->Series1->points();
    run(false, message);
    QCOMPARE(state_->image, image);
    QVERIFY(state_->Modified);
    QCOMPARE(form_->OutputRGrp->itemIndex(), 0);
    QVERIFY(!form_->InvertCBox->isChecked());
    QCOMPARE(form_->PotEdits[0]->text(), QStringLiteral("1"));
    QCOMPARE(form_->LimitEdit->text(), QStringLiteral("3.5"));
    QCOMPARE(form_->Series1->points(), chart);
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("Idle"));
    QVERIFY(form_->TransferProgress->isHidden());
}

void TestTransferWindow::compareUpdateChangesAndRestore() {
    newProject(true);
    for (int n = 0; n < kImageSize; ++n) box_->model->eeprom[size_t(n)] = state_->image.byte(n);
    const auto old = box_->model->eeprom;
    form_->TableGridSetEditText(1, 6, QStringLiteral("2.5"));
    form_->TableGridSetEditText(1, 21, QStringLiteral("4.1"));
    const EepromImage image = state_->image;
    // What each dialog showed: its title, text, column title of the project's side, rows, note.
    QStringList seen;
    const auto look = [&](QDialog& dialog, int result) {
        auto& d = static_cast<TCompareDialog&>(dialog);
        seen = QStringList{d.windowTitle(), d.TextLabel->text(), d.DiffList->headerItem()->text(1)};
        for (int i = 0; i < d.DiffList->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = d.DiffList->topLevelItem(i);
            seen << item->text(0) + " = " + item->text(1) + " / " + item->text(2);
        }
        seen << (d.NoteLabel->isHidden() ? QString() : d.NoteLabel->text());
        return result;
    };
    const QStringList rows = {"Entry 5 (0.937 V in) = 2.500 V (512) / 0.937 V (192)",
                              "Entry 20 (3.750 V in) = 4.102 V (840) / 3.750 V (768)"};

    // Compare, then Save Box as Project: the box's bytes under the project's header.
    const QString saved = dir_->filePath(QStringLiteral("box.KEX"));
    ui_.expectDialog(QStringLiteral("CompareDialog"), [&](QDialog& dialog) {
        ui_.expectSaveFile(saved).expectInformation(saved + QStringLiteral(" saved"));
        static_cast<TCompareDialog&>(dialog).SaveBoxBtn->click();
        return look(dialog, 0);
    });
    form_->BoxCompare->trigger();
    QCOMPARE(seen, (QStringList{"Compare with Box",
                                "3 of the box's 80 bytes differ from the project's:", "Project"} +
                    rows + QStringList{QString()}));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.mid(512, 80), QByteArray(reinterpret_cast<const char*>(old.data()), 80));
    QCOMPARE(bytes.mid(0x40, 64), state_->header.toByteArray().mid(0x40, 64));
    QCOMPARE(state_->image, image);

    // Update Changes: the backup of the box, then the question listing the same changes.
    QString progress;
    ui_.expectDialog(QStringLiteral("CompareDialog"), [&](QDialog& dialog) {
        progress = form_->TransferProgress->text();
        return look(dialog, 1);
    });
    form_->BoxUpdateChanges->trigger();
    const QStringList files = QDir(backups()).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    const QString backup = backups() + files.first();
    QVERIFY(QRegularExpression(QStringLiteral("^new-\\d{8}-\\d{6}\\.KEX$"))
                .match(files.first())
                .hasMatch());
    QCOMPARE(seen, (QStringList{"Confirm", "Ok to write 3 changed bytes?", "Project"} + rows +
                    QStringList{QStringLiteral("What the box holds now is kept in ") + backup}));
    QCOMPARE(progress, QStringLiteral("0 of 3 bytes"));
    for (int n = 0; n < 80; ++n) QCOMPARE(box_->model->eeprom[size_t(n)], image.byte(n));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("Idle"));
    QVERIFY(state_->Modified);

    // Restore Backup: an unreadable file changes nothing; the backup goes back, itself backed up.
    const QString bad = dir_->filePath(QStringLiteral("bad.KEX"));
    QVERIFY(file.copy(bad) && QFile::resize(bad, 10));
    ui_.expectOpenFile(bad).expectError(QStringLiteral("Error (2) reading ") + bad);
    form_->BoxRestore->trigger();
    QCOMPARE(ui_.lastDir, backups());
    QCOMPARE(box_->model->eeprom[10], image.byte(10));
    ui_.expectOpenFile(backup).expectDialog(QStringLiteral("CompareDialog"),
                                            [&](QDialog& dialog) { return look(dialog, 1); });
    form_->BoxRestore->trigger();
    QCOMPARE(seen.mid(1, 2), (QStringList{"Ok to write 3 changed bytes?", "Backup"}));
    QCOMPARE(box_->model->eeprom, old);
    QCOMPARE(QDir(backups()).entryList(QDir::Files).size(), 2);
    QCOMPARE(state_->image, image);
    QVERIFY(state_->Modified);
}

void TestTransferWindow::closedDuringATransfer_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<bool>("window");  // the window closed, or File > Close
    QTest::addColumn<int>("answer");   // to the question before a write is stopped; -1: none
    QTest::addColumn<QString>("question");
    const QString asked =
        QStringLiteral("The box is being written: %1 bytes so far. Stop and close?");
    QTest::newRow("update, Yes stops and closes")
        << "update" << true << int(Answer::Yes) << asked.arg("7 of 80");
    QTest::newRow("update, No writes on")
        << "update" << true << int(Answer::No) << asked.arg("7 of 80");
    // Ten bytes differ, 3 to 12: byte 7 is the fifth.
    QTest::newRow("changes, Yes") << "changes" << true << int(Answer::Yes) << asked.arg("4 of 10");
    // The read goes on to its end; what it read belongs to no project any more.
    QTest::newRow("retrieve, project closed") << "retrieve" << false << -1 << "";
    QTest::newRow("compare, project closed") << "compare" << false << -1 << "";
}

void TestTransferWindow::closedDuringATransfer() {
    QFETCH(QString, op);
    QFETCH(bool, window);
    QFETCH(int, answer);
    QFETCH(QString, question);
    const bool changes = op == QLatin1String("changes");
    newProject(true);
    const EepromImage image = state_->image;
    for (int n = 0; n < 80; ++n)
        box_->model->eeprom[size_t(n)] = changes && (n < 3 || n > 12) ? image.byte(n) : 0x80;
    const auto old = box_->model->eeprom;
    form_->show();
    // Closed while the box's answer to the write (or the read) of byte 7 is on its way. For the
    // window, it comes after the question, which is up for longer than the box is given.
    auto hooks = std::make_shared<BoxHooks>();
    hooks->holdPromptOf =
        (changes || op == QLatin1String("update") ? WriteCommand(7, image.byte(7)) : ReadCommand(7))
            .toLatin1();
    hooks->holdReply = window;
    hooks->holdMs = window ? 240 : 30;
    const bool closes = answer != int(Answer::No);
    hooks->whileHeld = [&] {
        if (answer >= 0) ui_.expectConfirm(question, Answer(answer));
        if (answer == int(Answer::Yes))
            ui_.expectWarning(QStringLiteral("Writing stopped: %1 bytes written.")
                                  .arg(changes ? "4 of 10" : "7 of 80"));
        if (closes) ui_.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
        ui_.whileAsking = [] { QTest::qWait(100); };
        if (window)
            form_->close();
        else
            form_->FileClose->trigger();
        ui_.whileAsking = nullptr;
    };
    AttachHooks(*box_, hooks);
    if (changes)
        runChanges(true);
    else if (op == QLatin1String("compare"))
        form_->BoxCompare->trigger();
    else
        run(op == QLatin1String("update"));
    QCoreApplication::processEvents();
    QCOMPARE(form_->isVisible(), !(closes && window));
    if (!window) {
        QVERIFY(wire().endsWith(ReadCommand(79).toLatin1() + '\r'));
        QVERIFY(state_->ProjectState == DocState::None && state_->image == image);
        QVERIFY(!state_->Modified && !form_->EditUndo->isEnabled());
    }
    // The box holds the bytes written up to the close (the last one taken but not yet
    // acknowledged), or all of them.
    const int last = answer == int(Answer::No)                  ? 79
                     : changes || op == QLatin1String("update") ? 7
                                                                : -1;
    for (int n = 0; n < 80; ++n)
        QCOMPARE(box_->model->eeprom[size_t(n)], n <= last ? image.byte(n) : old[size_t(n)]);
}

QTEST_MAIN(TestTransferWindow)
#include "tst_transfer_window.moc"
