#include "app/kex_abot.h"
#include "app/kex_main.h"
#include "app/settings.h"
#include "app/windows.h"
#include "base/project_document.h"
#include "base/project_file.h"
#include "base/widgets.h"
#include "link/box_link.h"
#include "link/byte_transport.h"
#include "link/kex_lrnd.h"
#include "meter/kex_maed.h"
#include "support/match_meters.h"
#include "support/scripted_ui.h"

#include <QAction>
#include <QChartView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QLineSeries>
#include <QValueAxis>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace varnel;
using varnel::test::ScriptedUi;
using Answer = UiServices::Answer;

namespace {

// A link whose port cannot be opened.
class FailingLink : public BoxLink {
public:
    int opens = 0;
    bool OpenLink(QString& error) override {
        ++opens;
        error = QStringLiteral("Specified device not found (/dev/ttyS1).");
        return false;
    }
};

}  // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void startUpMakesTheGroupFolders();
    void startUpStateNone();
    void menuCaptions_data();
    void menuCaptions();
    void controlNames();
    void dialogsAreCreatedWithTheirCaptions();
    void tableTitles();
    void diagnosticWord_data();
    void diagnosticWord();
    void firstActivationReadsSettings();
    void portFailureIsReportedOnce();
    void closeNotModifiedAsksNothing();
    void closeCancelKeepsWindowAndSettings();
    void closeNoWritesSettings();
    void closeReportsUnwritableSettings();
    void resize_data();
    void resize();
    void updateControlsByState();
    void meterLabelsAreCut_data();
    void meterLabelsAreCut();
    void helpRequests();
    void aboutShowsTheSameTextsTwice();
    void learnDialog();

private:
    void make(BoxLink* link = nullptr);
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<BoxLink> link_;
    ScriptedUi ui_;
    std::unique_ptr<TMainForm> form_;
};

void TestMainWindow::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    state_ = std::make_unique<AppState>();
    state_->AppDir = dir_->filePath(QStringLiteral("prog")) + QLatin1Char('/');
    state_->SettingsPath = dir_->filePath(QStringLiteral("config/varnel/kex.ini"));
}

void TestMainWindow::cleanup() {
    VERIFY_UI(ui_);
    form_.reset();
    link_.reset();
}

void TestMainWindow::make(BoxLink* link) {
    // No test here may reach a real serial port: the default link's line leads nowhere.
    link_.reset(link ? link : new BoxLink(new InProcessTransport));
    form_ = CreateWindows(*state_, *link_, ui_);
}

void TestMainWindow::startUpMakesTheGroupFolders() {
    make();
    for (const char* g : {"Ford", "GM", "Import"})
        QVERIFY2(QFileInfo(state_->AppDir + QLatin1String(g)).isDir(), g);
    QCOMPARE(state_->ProjectDir, state_->AppDir);
}

void TestMainWindow::startUpStateNone() {
    make();
    form_->FormActivate();
    QCOMPARE(form_->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  "));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("(not connected)"));
    QCOMPARE(state_->ProjectState, DocState::None);
    QVERIFY(!state_->Modified);
    for (int i = 0; i < kImageSize; ++i) QCOMPARE(state_->image.byte(i), uint8_t(0xFF));

    const QStringList usable = {"FileNew",    "FileOpen",    "FileExit",        "EditMeter", "BoxOptions",
                                "BoxTerminal", "HelpContent", "HelpTopicSearch", "HelpAbout"};
    for (QAction* a : form_->findChildren<QAction*>()) {
        if (a->objectName().isEmpty()) continue;
        QVERIFY2(a->isEnabled() == usable.contains(a->objectName()), qPrintable(a->objectName()));
    }
    QVERIFY(!form_->AbortBtn->isEnabled());
    QVERIFY(form_->AbortBtn->isHidden());
    QVERIFY(!form_->TableGrid->isEnabled());
    QVERIFY(!form_->LimitEdit->isEnabled());
    QVERIFY(!form_->OutputRGrp->isEnabled());
    QCOMPARE(form_->OutputRGrp->itemIndex(), 0);
    QVERIFY(form_->EEPROMGrid->isHidden());
    QVERIFY(!form_->Chart1->isHidden());
    QVERIFY(form_->InvertCBox->isHidden());
    QVERIFY(!form_->EditLearn->isVisible());
    QVERIFY(form_->HelpBtn->isEnabled());
}

void TestMainWindow::menuCaptions_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const char* rows[][2] = {
        {"FileNew", "&New"},          {"FileOpen", "&Open"},
        {"FileSave", "&Save"},        {"FileSaveAs", "Save &As"},
        {"FileClose", "&Close"},      {"FileExit", "E&xit"},
        {"EditProject", "Project ..."}, {"EditMatch", "&Match ..."},
        {"EditCorrect", "Correct from L&og ..."},
        {"EditLearn", "&Learn ..."},  {"EditMeter", "M&eter ..."},
        {"BoxOptions", "&Options ..."}, {"BoxUpdate", "&Update EEPROM ..."},
        {"BoxRetrieve", "&Retrieve EEPROM ..."}, {"BoxTerminal", "&Terminal ..."},
        {"BoxUpdateChanges", "Update &Changes ..."}, {"BoxCompare", "Co&mpare with Box ..."},
        {"BoxRestore", "Restore &Backup ..."},
        {"HelpContent", "&Contents ..."}, {"HelpTopicSearch", "Topic Search ..."},
        {"HelpAbout", "&About ..."},
    };
    for (const auto& r : rows) QTest::newRow(r[0]) << QString::fromLatin1(r[0]) << QString::fromLatin1(r[1]);
}

void TestMainWindow::menuCaptions() {
    make();
    QFETCH(QString, name);
    auto* a = form_->findChild<QAction*>(name);
    QVERIFY(a);
    QTEST(a->text(), "caption");
}

void TestMainWindow::controlNames() {
    make();
    const QList<QPair<QString, QString>> captioned = {
        {"HelpBtn", "How Do I ..."}, {"AbortBtn", "Monitor"},
        {"InvertCBox", "Invert Limit Output"}, {"ShowHexCBox", "Show Hex"},
        {"Label1", "Pot 1"}, {"Label4", "Pot 4"}, {"Label5", "Limit"}, {"Label6", "Adjusts"}};
    for (const auto& [name, caption] : captioned) {
        QWidget* w = form_->findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QString text = w->property("text").toString();
        QCOMPARE(text, caption);
    }
    for (const char* name : {"TopPanel", "GroupLabel", "OutputRGrp", "Pot1Edit", "Pot4Edit",
                             "Pot1Spin", "Pot4Spin", "LimitEdit", "SIOLabel", "LearnLabel",
                             "VInLabel", "VOutLabel", "TableGrid", "Chart1", "EEPROMGrid"})
        QVERIFY2(form_->findChild<QWidget*>(QLatin1String(name)), name);
    QCOMPARE(form_->OutputRGrp->title(), QStringLiteral("Output"));
    QCOMPARE(form_->OutputRGrp->button(0)->text(), QStringLiteral("Voltage"));
    QCOMPARE(form_->OutputRGrp->button(1)->text(), QStringLiteral("Frequency"));
    QCOMPARE(form_->Series1->name(), QStringLiteral("V Out"));
    QCOMPARE(form_->Series2->name(), QStringLiteral("Adjusted"));
    QCOMPARE(form_->BottomAxis->titleText(), QStringLiteral("V In"));
}

void TestMainWindow::dialogsAreCreatedWithTheirCaptions() {
    make();
    const Dialogs& d = form_->dialogs();
    const QList<QPair<QWidget*, QString>> expected = {
        {reinterpret_cast<QWidget*>(d.LearnDialog), "Learn Dialog"},
        {reinterpret_cast<QWidget*>(d.MatchDialog), "Meter Match Dialog"},
        {reinterpret_cast<QWidget*>(d.CommForm), "Terminal"},
        {reinterpret_cast<QWidget*>(d.SetupDialog), "Setup"},
        {reinterpret_cast<QWidget*>(d.NewDialog), "Project Setup"},
        {reinterpret_cast<QWidget*>(d.AboutDialog), "About"},
        {reinterpret_cast<QWidget*>(d.MassAirEditorDialog), "Mass Air Meter Editor"}};
    // Children keep their creation order: the start-up order of the windows.
    QList<QDialog*> order;
    for (QObject* o : form_->children())
        if (auto* dlg = qobject_cast<QDialog*>(o)) order.append(dlg);
    QCOMPARE(order.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(static_cast<QWidget*>(order[i]), expected[i].first);
        QCOMPARE(order[i]->windowTitle(), expected[i].second);
        QVERIFY(order[i]->isHidden());
    }
}

void TestMainWindow::tableTitles() {
    make();
    StringGrid* g = form_->TableGrid;
    QCOMPARE(g->colCount(), 2);
    QCOMPARE(g->rowCount(), 34);
    QCOMPARE(g->cell(0, 0), QStringLiteral("V in"));
    QCOMPARE(g->cell(0, 1), QStringLiteral(" 0.000 "));
    QCOMPARE(g->cell(0, 2), QStringLiteral(" 0.187 "));
    QCOMPARE(g->cell(0, 33), QStringLiteral(" 6.000 "));
    StringGrid* e = form_->EEPROMGrid;
    QCOMPARE(e->cell(1, 0), QStringLiteral(" 0 "));
    QCOMPARE(e->cell(16, 0), QStringLiteral(" F "));
    QCOMPARE(e->cell(0, 1), QStringLiteral(" 00 "));
    QCOMPARE(e->cell(0, 16), QStringLiteral(" F0 "));
}

void TestMainWindow::diagnosticWord_data() {
    // The positional arguments (%p a project, %m a meter file, %x a project that is not there)
    // and what opens once the window has started.
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("opens");  // "", "project", "meter", "missing" or "refused"
    QTest::newRow("none") << QStringList() << false << "";
    QTest::newRow("lower case") << QStringList{"jovk"} << false << "";
    QTest::newRow("other") << QStringList{"JOVKX"} << false << "";
    QTest::newRow("exact") << QStringList{"JOVK"} << true << "";
    QTest::newRow("project") << QStringList{"%p"} << false << "project";
    QTest::newRow("word, project") << QStringList{"JOVK", "%p"} << true << "project";
    QTest::newRow("project, word") << QStringList{"%p", "JOVK"} << false << "project";
    QTest::newRow("meter") << QStringList{"%m"} << false << "meter";
    QTest::newRow("missing project") << QStringList{"%x"} << false << "missing";
    QTest::newRow("two files") << QStringList{"%p", "%m"} << false << "refused";
}

void TestMainWindow::diagnosticWord() {
    QFETCH(QStringList, args);
    QFETCH(bool, shown);
    QFETCH(QString, opens);
    const QString project = dir_->filePath(QStringLiteral("p.KEX"));
    const QString meter = dir_->filePath(QStringLiteral("m.maf"));
    const QString missing = dir_->filePath(QStringLiteral("gone.KEX"));
    ProjectHeader header;
    NewProjectHeader(header, 0, 37470);
    QString error;
    QCOMPARE(WriteProjectFile(project, header, EepromImage(), error), SaveStatus::Saved);
    QVERIFY(test::writeMeter(meter, true, false, test::workedUseRows()));
    for (QString& a : args)
        a.replace(QLatin1String("%p"), project)
            .replace(QLatin1String("%m"), meter)
            .replace(QLatin1String("%x"), missing);
    QString problem;
    QCOMPARE(TakeStartArguments(args, *state_, problem), opens != QLatin1String("refused"));
    if (opens == QLatin1String("refused")) return;
    make();
    link_->TimeoutMs = 20;
    QString meterShown;
    if (opens == QLatin1String("project")) {
        ui_.expectError(QStringLiteral("Hardware not found"));
        ui_.expectInformation(project + QStringLiteral(" loaded"));
    } else if (opens == QLatin1String("missing")) {
        ui_.expectError(missing + QStringLiteral(" not found"));
    } else if (opens == QLatin1String("meter")) {
        ui_.expectDialog(QStringLiteral("MassAirEditorDialog"), [&](QDialog& d) {
            auto& editor = static_cast<TMassAirEditorDialog&>(d);
            if (QTest::qWaitFor([&] { return !editor.MeterFileName.isEmpty(); }, 2000))
                meterShown = editor.MeterFileName;
            return int(QDialog::Rejected);
        });
    }
    form_->show();
    form_->FormActivate();
    QCOMPARE(form_->ShowHexCBox->isVisible(), shown);
    QVERIFY(!form_->ShowHexCBox->isChecked());
    // The file opens after the first activation, with the link open.
    QCOMPARE(state_->ProjectState, DocState::None);
    QTest::qWait(50);
    VERIFY_UI(ui_);
    QCOMPARE(state_->ProjectState,
             opens == QLatin1String("project") ? DocState::File : DocState::None);
    QCOMPARE(state_->ProjectFileName, opens == QLatin1String("project") ? project : QString());
    QCOMPARE(meterShown, opens == QLatin1String("meter") ? meter : QString());
    if (!shown) return;
    const QRect chartRect = form_->Chart1->geometry();
    form_->ShowHexCBox->setChecked(true);
    QVERIFY(form_->EEPROMGrid->isVisible());
    QVERIFY(!form_->Chart1->isVisible());
    QCOMPARE(form_->EEPROMGrid->geometry(), chartRect);
    form_->ShowHexCBox->setChecked(false);
    QVERIFY(!form_->EEPROMGrid->isVisible());
    QVERIFY(form_->Chart1->isVisible());
}

void TestMainWindow::firstActivationReadsSettings() {
    QVERIFY(SaveSettings(state_->SettingsPath, 3, 19200));
    make();
    form_->FormActivate();
    QCOMPARE(link_->PortNumber, 3);
    QCOMPARE(link_->BaudRate, 19200);
    QVERIFY(form_->activated());
    // Later activations do not read the file again.
    QVERIFY(SaveSettings(state_->SettingsPath, 4, 9600));
    form_->FormActivate();
    QCOMPARE(link_->PortNumber, 3);
}

void TestMainWindow::portFailureIsReportedOnce() {
    auto* link = new FailingLink;
    make(link);
    ui_.expectError(QStringLiteral("Specified device not found (/dev/ttyS1)."));
    form_->FormActivate();
    form_->FormActivate();
    form_->FormActivate();
    QCOMPARE(link->opens, 1);
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("(not connected)"));
}

void TestMainWindow::closeNotModifiedAsksNothing() {
    make();
    QVERIFY(form_->FormClose());
    QVERIFY(QFileInfo::exists(state_->SettingsPath));
}

void TestMainWindow::closeCancelKeepsWindowAndSettings() {
    QFile::remove(state_->SettingsPath);
    QDir().mkpath(QFileInfo(state_->SettingsPath).path());
    QFile f(state_->SettingsPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("; hand-written\n[System]\nComPort=1\n");
    f.close();
    make();
    form_->show();
    state_->Modified = true;
    ui_.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::Cancel);
    QVERIFY(!form_->close());
    QVERIFY(form_->isVisible());
    QFile back(state_->SettingsPath);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), QByteArray("; hand-written\n[System]\nComPort=1\n"));
}

void TestMainWindow::closeNoWritesSettings() {
    make();
    form_->FormActivate();
    link_->PortNumber = 4;
    state_->Modified = true;
    ui_.expectConfirm(QStringLiteral("Save E2P file first ?"), Answer::No);
    QVERIFY(form_->FormClose());
    QSettings s(state_->SettingsPath, QSettings::IniFormat);
    QCOMPARE(s.value("System/ComPort").toString(), QStringLiteral("4"));
    QCOMPARE(s.value("System/BaudRate").toString(), QStringLiteral("9600"));
    QCOMPARE(s.value("User/EEResume").toString(), QStringLiteral("0000"));
    QCOMPARE(s.value("User/EEStart").toString(), QStringLiteral("0000"));
    QCOMPARE(s.value("User/EEStop").toString(), QStringLiteral("0000"));
}

void TestMainWindow::closeReportsUnwritableSettings() {
    QVERIFY(QDir().mkpath(state_->SettingsPath));  // a folder in the file's place
    make();
    ui_.expectError(QStringLiteral("Unable to write to ") + state_->SettingsPath);
    QVERIFY(!form_->FormClose());
}

void TestMainWindow::resize_data() {
    QTest::addColumn<int>("W");
    QTest::addColumn<int>("H");
    QTest::newRow("designed") << 587 << 436;
    QTest::newRow("larger") << 900 << 700;
    QTest::newRow("h just positive") << 600 << 142;
    QTest::newRow("h zero") << 600 << 141;
    QTest::newRow("h negative") << 600 << 100;
}

void TestMainWindow::resize() {
    QFETCH(int, W);
    QFETCH(int, H);
    make();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->resize(587, 436);
    QCoreApplication::processEvents();
    const int tableH = form_->TableGrid->height();
    const int chartH = form_->Chart1->height();
    const int gridH = form_->EEPROMGrid->height();

    form_->setMinimumSize(1, 1);
    form_->resize(W, H);
    QCoreApplication::processEvents();
    QCOMPARE(form_->width(), W);
    QCOMPARE(form_->height(), H);
    const int h = H - 81 - 60;
    const int tableW = form_->TableGrid->width();
    if (h > 0) {
        QCOMPARE(form_->TableGrid->height(), h);
        // Below 40 the rule asks for no height at all; Qt keeps a shown chart a few pixels high.
        if (h > 120) {
            QCOMPARE(form_->Chart1->height(), h - 40);
            QCOMPARE(form_->EEPROMGrid->height(), h - 40);
        }
    } else {
        QCOMPARE(form_->TableGrid->height(), tableH);
        QCOMPARE(form_->Chart1->height(), chartH);
        QCOMPARE(form_->EEPROMGrid->height(), gridH);
    }
    const int t = form_->VOutLabel->geometry().bottom() + 1 + 8;
    QCOMPARE(form_->Chart1->y(), t);
    QCOMPARE(form_->EEPROMGrid->y(), t);
    QCOMPARE(form_->Chart1->x(), tableW + 16);
    QCOMPARE(form_->EEPROMGrid->x(), tableW + 16);
    QCOMPARE(form_->Chart1->width(), W - tableW - 32);
    QCOMPARE(form_->AbortBtn->x(), form_->TopPanel->width() - 80);
    QCOMPARE(form_->SIOLabel->x(), form_->TopPanel->width() - 80);
    QCOMPARE(form_->LearnLabel->x(), form_->TopPanel->width() - 80);
}

void TestMainWindow::updateControlsByState() {
    make();
    state_->header.setVInMeterName(QStringLiteral("(none)"));
    state_->header.setVOutMeterName(QStringLiteral("(none)"));

    state_->ProjectState = DocState::New;
    state_->Modified = true;
    state_->AbortFlag = true;
    state_->Learning = true;
    form_->UpdateControls();
    QCOMPARE(form_->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  (new)"));
    QCOMPARE(form_->VInLabel->text(), QStringLiteral("V In Meter: (none)"));
    QCOMPARE(form_->VOutLabel->text(), QStringLiteral("V Out Meter: (none)"));
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Connect"));
    QVERIFY(!form_->FileSave->isEnabled());
    QVERIFY(form_->FileSaveAs->isEnabled());
    QVERIFY(form_->BoxUpdate->isEnabled());
    for (QAction* a : {form_->BoxUpdateChanges, form_->BoxCompare, form_->BoxRestore})
        QVERIFY(a->isEnabled());
    QVERIFY(form_->TableGrid->isEnabled());
    QVERIFY(!form_->OutputRGrp->isEnabled());
    QVERIFY(!state_->AbortFlag);
    QVERIFY(!state_->Learning);
    QVERIFY(!state_->MonitorMode);

    state_->ProjectState = DocState::File;
    state_->ProjectFileName = QStringLiteral("/tmp/car.KEX");
    state_->Connected = true;
    state_->Modified = false;
    form_->UpdateControls();
    QCOMPARE(form_->windowTitle(), QStringLiteral("Varnel, V1.1 8/2/2002  /tmp/car.KEX"));
    QCOMPARE(form_->VInLabel->text(), QStringLiteral("V In = (none)"));
    QCOMPARE(form_->VOutLabel->text(), QStringLiteral("V Out = (none)"));
    QCOMPARE(form_->AbortBtn->text(), QStringLiteral("Monitor"));
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("Idle"));
    QVERIFY(state_->MonitorMode);
    QVERIFY(!form_->FileSave->isEnabled());
    state_->Modified = true;
    form_->UpdateControls();
    QVERIFY(form_->FileSave->isEnabled());

    form_->GroupLabel->setText(QStringLiteral("Ford"));
    state_->ProjectState = DocState::None;
    form_->UpdateControls();
    QVERIFY(!state_->Connected);
    QVERIFY(state_->ProjectFileName.isEmpty());
    QVERIFY(form_->GroupLabel->text().isEmpty());
    QVERIFY(form_->VInLabel->text().isEmpty());
    QVERIFY(form_->VOutLabel->text().isEmpty());
    QVERIFY(form_->AbortBtn->isHidden());
    QCOMPARE(form_->SIOLabel->text(), QStringLiteral("(not connected)"));
}

void TestMainWindow::meterLabelsAreCut_data() {
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("new project") << int(DocState::New) << "V In Meter: "
                                 << "V Out Meter: ";
    QTest::newRow("loaded project") << int(DocState::File) << "V In = "
                                    << "V Out = ";
}

void TestMainWindow::meterLabelsAreCut() {
    QFETCH(int, state);
    QFETCH(QString, in);
    QFETCH(QString, out);
    make();
    // A name longer than the header holds is cut to its 31 characters; each label's own limit
    // leaves room for all of them, in both of its forms.
    const QString use = QString(31, QLatin1Char('u')) + QStringLiteral("-beyond");
    const QString match = QString(31, QLatin1Char('m')) + QStringLiteral("-beyond");
    state_->header.setVInMeterName(use);
    state_->header.setVOutMeterName(match);
    state_->ProjectState = DocState(state);
    form_->UpdateControls();
    QCOMPARE(state_->header.VInMeterName(), use.left(31));
    QCOMPARE(state_->header.VOutMeterName(), match.left(31));
    QCOMPARE(form_->VInLabel->text(), in + use.left(31));
    QCOMPARE(form_->VOutLabel->text(), out + match.left(31));
}

void TestMainWindow::helpRequests() {
    make();
    ui_.expectHelp(QStringLiteral("contents"))
        .expectHelp(QStringLiteral("contents"))
        .expectHelp(QStringLiteral("search"));
    form_->HelpContent->trigger();
    form_->HelpBtn->click();
    form_->HelpTopicSearch->trigger();
    QCOMPARE(TMainForm::helpContextOf(form_.get()), 1000);
    QCOMPARE(TMainForm::helpContextOf(form_->HelpBtn), 1001);
    QCOMPARE(TMainForm::helpContextOf(form_->OutputRGrp->button(1)), 1010);
    QCOMPARE(TMainForm::helpContextOf(form_->PotEdits[2]), 1020);
    QCOMPARE(TMainForm::helpContextOf(form_->LimitEdit), 1030);
    QCOMPARE(TMainForm::helpContextOf(form_->EEPROMGrid->viewport()), 1200);
    QCOMPARE(TMainForm::helpContextOf(form_->Chart1), 1300);
    QCOMPARE(TMainForm::helpContextOf(form_->TableGrid), 1000);
}

void TestMainWindow::aboutShowsTheSameTextsTwice() {
    make();
    for (int i = 0; i < 2; ++i) {
        ui_.expectDialog(QStringLiteral("AboutDialog"), [](QDialog& d) {
            auto& about = static_cast<TAboutDialog&>(d);
            [&] {
                QCOMPARE(about.windowTitle(), QStringLiteral("About"));
                QCOMPARE(about.ProductNameLabel->text(), QStringLiteral("Varnel"));
                QCOMPARE(about.VersionLabel->text(), QStringLiteral("V1.1 8/2/2002 "));
                QVERIFY(!about.CopyrightLabel->text().isEmpty());
                QVERIFY(about.CopyrightLabel->text() != QStringLiteral("Copyright"));
                QVERIFY(about.CommentsLabel->text().isEmpty());
            }();
            return int(QDialog::Accepted);
        });
        form_->HelpAbout->trigger();
        QVERIFY(!QTest::currentTestFailed());
    }
}

void TestMainWindow::learnDialog() {
    make();
    TLearnDialog* d = form_->dialogs().LearnDialog;
    QCOMPARE(d->LearnGrid->cell(0, 0), QStringLiteral("Base V"));
    QCOMPARE(d->LearnGrid->cell(1, 0), QStringLiteral("#"));
    QCOMPARE(d->LearnGrid->cell(2, 0), QString());
    QCOMPARE(d->LearnGrid->cell(3, 0), QStringLiteral("E2P"));
    QCOMPARE(d->LearnGrid->cell(4, 0), QStringLiteral("Flow"));
    QCOMPARE(d->LearnGrid->rowCount(), 257);

    d->show();
    ui_.expectConfirm(QStringLiteral("Ok to close Learn dialog and open Meter Dialog?"), Answer::No);
    d->CreateMeterBtn->click();
    QVERIFY(d->isVisible());
    ui_.expectConfirm(QStringLiteral("Ok to close Learn dialog and open Meter Dialog?"), Answer::Yes);
    d->CreateMeterBtn->click();
    QVERIFY(!d->isVisible());
    QCOMPARE(d->result(), TLearnDialog::ResultYes);

    state_->Learning = true;
    d->show();
    d->StopBtn->click();
    QVERIFY(!state_->Learning);
    QVERIFY(d->ClearBtn->isEnabled() && d->GetLearnBtn->isEnabled() && d->InterpBtn->isEnabled());
    QVERIFY(!d->CopyE2PBtn->isEnabled() && !d->CreateMeterBtn->isEnabled());
    QVERIFY(d->CloseBtn->isEnabled());
    QVERIFY(d->StopBtn->isHidden() && !d->StopBtn->isEnabled());

    QVERIFY(!state_->LearnPaused);
    QTest::keyClick(d, Qt::Key_Space);
    QVERIFY(state_->LearnPaused);
    QTest::keyClick(d, Qt::Key_A);
    QVERIFY(state_->LearnPaused);

    d->CloseBtn->setEnabled(true);
    d->CloseBtn->click();
    QCOMPARE(d->result(), int(QDialog::Accepted));
    QVERIFY(!form_->EditLearn->isVisible());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
