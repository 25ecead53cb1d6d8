#include "app/kex_main.h"
#include "app/settings.h"
#include "app/windows.h"
#include "base/widgets.h"
#include "image/eeprom_image.h"
#include "link/box_ops.h"
#include "link/kex_comm.h"
#include "link/kex_setp.h"
#include "support/in_process_box.h"
#include "support/scripted_ui.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include <memory>

using namespace varnel;
using varnel::test::InProcessBox;
using varnel::test::ScriptedUi;

// The main window's side of the link: the Connect/Monitor/Abort button, the status label, the
// terminal and port options menu items, the port settings.
class TestLinkWindow : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void connectTurnsTheButtonIntoMonitor();
    void failedConnectKeepsConnect();
    void statusLabelShowsTheCommand();
    void monitorDrawsTheAdjustedCurve();
    void failedMonitorKeepsThePreviousCurve();
    void potsLimitAndInvertSendNothing();
    void closeDuringAWait_data();
    void closeDuringAWait();
    void terminalIsModelessAndOnlyHidden();

    void portOptions_data();
    void portOptions();
    void deviceIsSavedButNotTheCommandLinePort();
    void missingPortReportedOnceThenHardwareNotFound();

  private:
    void make();
    void newProject();
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<InProcessBox> box_;
    ScriptedUi ui_;
    std::unique_ptr<TMainForm> form_;
};

void TestLinkWindow::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    state_ = std::make_unique<AppState>();
    state_->AppDir = dir_->filePath(QStringLiteral("prog")) + QLatin1Char('/');
    state_->SettingsPath = dir_->filePath(QStringLiteral("config/varnel/kex.ini"));
    box_ = std::make_unique<InProcessBox>(100);
}

void TestLinkWindow::cleanup() {
    VERIFY_UI(ui_);
    form_.reset();
    box_.reset();
}

void TestLinkWindow::make() {
    form_ = CreateWindows(*state_, box_->link, ui_);
    form_->FormActivate();
    box_->link.WaitQuiet(20);
    box_->transport->written.clear();
}

// A project as File > New leaves it, without the project code: an identity table, version 1.0.
void TestLinkWindow::newProject() {
    state_->ProjectState = DocState::New;
    state_->header.setHardwareVersion(10);
    for (int i = 0; i < 33; ++i) state_->image.setEntry(i, uint16_t(std::min(1023, i * 38)));
    form_->UpdateControls();
}

void TestLinkWindow::connectTurnsTheButtonIntoMonitor() {
    make();
    newProject();
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Connect"));
    form_->AbortBtn->click();
    QVERIFY(state_->Connected);
    QVERIFY(state_->MonitorMode);
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("Idle"));
    QCOMPARE(box_->transport->written, QByteArray("\rQ\r"));
}

void TestLinkWindow::failedConnectKeepsConnect() {
    make();
    newProject();
    box_->model->version = "1.1";
    ui_.expectError(QStringLiteral("Incorrect hardware version"));
    form_->AbortBtn->click();
    QVERIFY(!state_->Connected);
    QVERIFY(!state_->AbortFlag);
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Connect"));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("(not connected)"));
}

void TestLinkWindow::statusLabelShowsTheCommand() {
    make();
    newProject();
    QStringList seen;
    connect(&box_->link, &BoxLink::commandSent, [&] { seen << form_->SIOLabel->text(); });
    QVERIFY(form_->ConnectBox());
    QCOMPARE(seen, (QStringList{QString(), QStringLiteral("Q")}));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("Q"));
}

void TestLinkWindow::monitorDrawsTheAdjustedCurve() {
    make();
    newProject();
    box_->model->adjust = {100, -50, 30, -400};
    form_->AbortBtn->click();  // Connect
    QVERIFY(state_->MonitorMode);
    QCOMPARE(form_->Series2->count(), 0);
    form_->AbortBtn->click();  // Monitor
    QCOMPARE(form_->Series2->count(), 32);
    const auto expected = AdjustedCurve(state_->image, {100, -50, 30, -400}, false);
    for (int i = 0; i < 32; ++i) QCOMPARE(form_->Series2->at(i), expected[i]);
    QCOMPARE(form_->Series2->at(4).y(), (4 * 38 + 100) / 204.8);
    QCOMPARE(form_->Series2->at(0).y(), 0.0);
    QCOMPARE(form_->Series2->name(), QStringLiteral("Adjusted"));
    QCOMPARE(form_->Series2->color(), QColor(Qt::red));
    // The button stays "Monitor" and clicks draw again.
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    box_->model->adjust = {0, 0, 0, 0};
    form_->AbortBtn->click();
    QCOMPARE(form_->Series2->at(4).y(), 4 * 38 / 204.8);
}

void TestLinkWindow::failedMonitorKeepsThePreviousCurve() {
    make();
    newProject();
    box_->model->adjust = {100, 0, 0, 0};
    form_->AbortBtn->click();
    form_->AbortBtn->click();
    const QList<QPointF> before = form_->Series2->points();
    QCOMPARE(before.size(), 32);
    box_->detach();
    ui_.expectError(QStringLiteral("Hardware not found"));
    form_->AbortBtn->click();
    QCOMPARE(form_->Series2->points(), before);
    QVERIFY(state_->Connected);
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
}

void TestLinkWindow::potsLimitAndInvertSendNothing() {
    make();
    newProject();
    form_->AbortBtn->click();
    QVERIFY(state_->Connected);
    box_->transport->written.clear();
    // The settings go into the image only; the box learns of them at the next Update.
    state_->image.setModeByte(kModeVoltage);
    form_->PotSpins[0]->upButton()->click();
    form_->PotSpins[3]->downButton()->click();
    form_->LimitEdit->setFocus();
    form_->LimitEdit->selectAll();
    QTest::keyClicks(form_->LimitEdit, QStringLiteral("2.5"));
    form_->InvertCBox->setChecked(true);
    QTest::qWait(30);
    QCOMPARE(box_->transport->written, QByteArray());
    QCOMPARE(int(state_->image.byte(kPotByteOffset)), 1);
    QCOMPARE(int(state_->image.entry(kLimitEntry)), 512);
    QCOMPARE(int(state_->image.modeByte()), 0x11);
    QVERIFY(state_->Modified);
}

void TestLinkWindow::closeDuringAWait_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("close");  // File > Exit, the title bar's button, the session's end
    QTest::addColumn<int>("answer");     // to "Save E2P file first ?"; -1: nothing modified
    using A = UiServices::Answer;
    QTest::newRow("Connect of File > New, File > Exit") << "connect"
                                                        << "exit" << -1;
    QTest::newRow("Monitor, close button") << "monitor"
                                           << "button" << -1;
    // A write stops only when the user says so.
    QTest::newRow("Update, session ends, Yes to stop, No") << "update"
                                                           << "quit" << int(A::No);
    QTest::newRow("Retrieve, File > Exit, Cancel keeps it") << "retrieve"
                                                            << "exit" << int(A::Cancel);
    QTest::newRow("Update Changes, close button, No") << "changes"
                                                      << "button" << int(A::No);
}

void TestLinkWindow::closeDuringAWait() {
    QFETCH(QString, operation);
    QFETCH(QString, close);
    QFETCH(int, answer);
    box_->link.TimeoutMs = 1000;
    make();
    form_->show();
    const bool update = operation == QLatin1String("update");
    const bool changes = operation == QLatin1String("changes");
    const bool transfer = update || changes || operation == QLatin1String("retrieve");
    if (operation != QLatin1String("connect")) {
        newProject();
        form_->AbortBtn->click();  // Connect
    }
    if (answer >= 0) form_->SetPot(1, +1);
    // The box falls silent at once, or some 18 bytes into a transfer.
    std::string error;
    if (transfer)
        QVERIFY(box_->model->faults.parse("silent-after=200", error));
    else
        box_->detach();
    qsizetype sent = -1;
    QElapsedTimer clock;
    // An Update is closed once the box has fallen silent, its 18 bytes written.
    QTimer::singleShot(update ? 500 : 150, form_.get(), [&] {
        sent = box_->transport->written.size();
        clock.start();
        QEvent quit(QEvent::Quit);  // what the session manager's end of the session sends
        if (close == QLatin1String("exit"))
            form_->FileExit->trigger();
        else if (close == QLatin1String("button"))
            form_->windowHandle()->close();
        else
            QCoreApplication::sendEvent(qApp, &quit);
    });
    if (operation == QLatin1String("connect"))
        ui_.expectDialog(QStringLiteral("NewDialog"), [](QDialog&) { return 1; });
    if (transfer && !changes)
        ui_.expectConfirm(update ? QStringLiteral("Ok to update EEPROM data?")
                                 : QStringLiteral("Ok to retrive EEPROM data?"),
                          UiServices::Answer::Yes);
    if (update)
        ui_.expectConfirm(
            QStringLiteral("The box is being written: 18 of 80 bytes so far. Stop and close?"),
            UiServices::Answer::Yes);
    if (operation == QLatin1String("connect"))
        form_->FileNew->trigger();
    else if (!transfer)
        form_->AbortBtn->click();
    else
        (changes  ? form_->BoxUpdateChanges
         : update ? form_->BoxUpdate
                  : form_->BoxRetrieve)
            ->trigger();
    // Unwound silently, not a byte more, no time-out waited out; the window still there.
    QVERIFY2(sent >= 0 && clock.elapsed() < 400, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(box_->transport->written.size(), sent);
    VERIFY_UI(ui_);
    QVERIFY(form_->isVisible());
    // Then the ordinary close, with its question, after what a stopped write left in the box.
    if (update) ui_.expectWarning(QStringLiteral("Writing stopped: 18 of 80 bytes written."));
    if (answer >= 0)
        ui_.expectConfirm(QStringLiteral("Save E2P file first ?"), UiServices::Answer(answer));
    QCoreApplication::processEvents();
    const bool closes = answer != int(UiServices::Answer::Cancel);
    QCOMPARE(form_->isVisible(), !closes);
    QCOMPARE(QFileInfo::exists(state_->SettingsPath), closes);
    if (!closes) {  // and the link works again
        box_->model->faults = {};
        form_->AbortBtn->click();
        QCOMPARE(form_->Series2->count(), 32);
    }
}

void TestLinkWindow::terminalIsModelessAndOnlyHidden() {
    make();
    TCommForm* comm = form_->dialogs().CommForm;
    QVERIFY(comm->isHidden());
    form_->BoxTerminal->trigger();
    QVERIFY(comm->isVisible());
    QVERIFY(!comm->isModal());
    QCOMPARE(comm->parentWidget(), form_.get());
    for (const char c : QByteArray("kept")) box_->link.StoreRxByte(uint8_t(c));
    QTRY_VERIFY(comm->screenText().startsWith(QStringLiteral("kept")));
    comm->close();
    QVERIFY(comm->isHidden());
    QCOMPARE(form_->dialogs().CommForm, comm);
    form_->BoxTerminal->trigger();
    QVERIFY(comm->screenText().startsWith(QStringLiteral("kept")));
}

void TestLinkWindow::portOptions_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("shown");      // selected item when the dialog opens
    QTest::addColumn<int>("click");      // item the user clicks, -1 none
    QTest::addColumn<QString>("typed");  // device path typed, null: none
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("newPort");
    QTest::addColumn<QString>("newDevice");
    QTest::newRow("COM 2 shown, OK unchanged")
        << 2 << "" << 1 << -1 << QString() << true << 2 << "";
    QTest::newRow("COM 3 chosen") << 2 << "" << 1 << 2 << QString() << true << 3 << "";
    QTest::newRow("cancel after change") << 2 << "" << 1 << 2 << QString() << false << 2 << "";
    QTest::newRow("above 4 shows COM 4") << 7 << "" << 3 << -1 << QString() << true << 4 << "";
    QTest::newRow("0 selects nothing") << 0 << "" << -1 << -1 << QString() << true << 0 << "";
    QTest::newRow("device typed") << 2 << "" << 1 << -1 << "/dev/ttyUSB0" << true << 2
                                  << "/dev/ttyUSB0";
    QTest::newRow("COM choice clears the device")
        << 2 << "/dev/ttyUSB0" << 1 << 0 << QString() << true << 1 << "";
    QTest::newRow("device cancelled") << 2 << "" << 1 << -1 << "/dev/ttyUSB0" << false << 2 << "";
}

void TestLinkWindow::portOptions() {
    QFETCH(int, port);
    QFETCH(QString, device);
    QFETCH(int, shown);
    QFETCH(int, click);
    QFETCH(QString, typed);
    QFETCH(bool, ok);
    make();
    const QString opened = box_->transport->openedDevice;
    box_->link.PortNumber = port;
    box_->link.Device = device;
    ui_.expectDialog(QStringLiteral("SetupDialog"), [&](QDialog& d) {
        auto& setup = static_cast<TSetupDialog&>(d);
        [&] {
            QCOMPARE(setup.windowTitle(), QStringLiteral("Setup"));
            QCOMPARE(setup.ComPortRGrp->title(), QStringLiteral("Com Port"));
            QCOMPARE(setup.ComPortRGrp->button(0)->text(), QStringLiteral("COM 1"));
            QCOMPARE(setup.ComPortRGrp->button(3)->text(), QStringLiteral("COM 4"));
            QCOMPARE(setup.ComPortRGrp->itemIndex(), shown);
            QCOMPARE(setup.DeviceEdit->text(), device);
            QVERIFY(setup.OKBtn->isDefault());
        }();
        if (click >= 0) setup.ComPortRGrp->button(click)->click();
        if (!typed.isNull()) setup.DeviceEdit->setText(typed);
        return ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    if (ok)
        ui_.expectInformation(
            QStringLiteral("Changes will be effective at next program execution"));
    form_->BoxOptions->trigger();
    QTEST(box_->link.PortNumber, "newPort");
    QTEST(box_->link.Device, "newDevice");
    // The running link is not reopened.
    QCOMPARE(box_->transport->openedDevice, opened);
    QVERIFY(box_->link.isOpen());
}

void TestLinkWindow::deviceIsSavedButNotTheCommandLinePort() {
    QDir().mkpath(QFileInfo(state_->SettingsPath).path());
    QVERIFY(SaveSettings(state_->SettingsPath, 2, 9600, QStringLiteral("/dev/ttyUSB3")));
    box_->link.PortOverride = QStringLiteral("/dev/pts/9");
    make();
    QCOMPARE(box_->transport->openedDevice, QStringLiteral("/dev/pts/9"));
    QCOMPARE(box_->link.Device, QStringLiteral("/dev/ttyUSB3"));
    QVERIFY(form_->FormClose());
    {
        QSettings s(state_->SettingsPath, QSettings::IniFormat);
        QCOMPARE(s.value("System/Device").toString(), QStringLiteral("/dev/ttyUSB3"));
    }
    // Back to a COM port: the device key goes.
    box_->link.Device.clear();
    box_->link.PortNumber = 3;
    QVERIFY(form_->FormClose());
    QSettings s(state_->SettingsPath, QSettings::IniFormat);
    QVERIFY(!s.contains("System/Device"));
    QCOMPARE(s.value("System/ComPort").toString(), QStringLiteral("3"));
    QCOMPARE(LoadSettings(state_->SettingsPath).Device, QString());
}

void TestLinkWindow::missingPortReportedOnceThenHardwareNotFound() {
    const QString missing = dir_->filePath(QStringLiteral("ttyGone"));
    BoxLink link;  // a real serial port
    link.PortOverride = missing;
    form_ = CreateWindows(*state_, link, ui_);
    ui_.expectError(QStringLiteral("Specified device not found (%1).").arg(missing));
    form_->show();
    form_->FormActivate();
    form_->FormActivate();
    VERIFY_UI(ui_);
    state_->ProjectState = DocState::New;
    state_->header.setHardwareVersion(10);
    form_->UpdateControls();
    ui_.expectError(QStringLiteral("Hardware not found"));
    QElapsedTimer clock;
    clock.start();
    form_->AbortBtn->click();
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Connect"));
    form_.reset();
}

QTEST_MAIN(TestLinkWindow)
#include "tst_linkwindow.moc"
