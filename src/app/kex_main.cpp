#include "kex_main.h"

#include "app/kex_abot.h"
#include "app/settings.h"
#include "app/undo_history.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "link/box_link.h"
#include "link/box_transfer.h"

#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QValueAxis>

namespace varnel {

namespace {

constexpr int kTopPanelHeight = 81;
constexpr int kTableGridWidth = 112;

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    return l;
}

void setHelpContext(QWidget* w, int context) { w->setProperty("helpContext", context); }

}  // namespace

// The user as the main window reaches them. While an operation unwinds for a close, the user has
// left: a message goes nowhere (an error box would hold the close up and blame the box for an
// abort), a question is refused and a dialog cancelled, as the button that stops the action.
class UnwindingUi final : public UiServices {
  public:
    UnwindingUi(UiServices& ui, const bool& unwinding) : ui_(ui), unwinding_(unwinding) {}

    void error(const QString& text) override {
        if (!unwinding_) ui_.error(text);
    }
    void warning(const QString& text) override {
        if (!unwinding_) ui_.warning(text);
    }
    void information(const QString& text) override {
        if (!unwinding_) ui_.information(text);
    }
    Answer confirm(const QString& text, bool withCancel) override {
        if (unwinding_) return withCancel ? Answer::Cancel : Answer::No;
        return ui_.confirm(text, withCancel);
    }
    Answer warningQuestion(const QString& text) override {
        return unwinding_ ? Answer::No : ui_.warningQuestion(text);
    }
    QString openFileName(const QString& dir, const QString& filter,
                         const QString& fileName) override {
        return unwinding_ ? QString() : ui_.openFileName(dir, filter, fileName);
    }
    QString saveFileName(const QString& dir, const QString& filter,
                         const QString& fileName) override {
        return unwinding_ ? QString() : ui_.saveFileName(dir, filter, fileName);
    }
    int runModal(QDialog& dialog) override {
        return unwinding_ ? int(QDialog::Rejected) : ui_.runModal(dialog);
    }
    void helpContents() override {
        if (!unwinding_) ui_.helpContents();
    }
    void helpSearch() override {
        if (!unwinding_) ui_.helpSearch();
    }
    void helpTopic(int context) override {
        if (!unwinding_) ui_.helpTopic(context);
    }

  private:
    UiServices& ui_;
    const bool& unwinding_;
};

TMainForm::TMainForm(AppState& state, BoxLink& link, UiServices& ui, QWidget* parent)
    : QMainWindow(parent),
      state_(state),
      link_(link),
      unwindingUi_(std::make_unique<UnwindingUi>(ui, closeRequested_)),
      ui_(*unwindingUi_) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Kex Interface"));
    setHelpContext(this, kHelpWindow);
    // The layout was drawn for an 8-point (11-pixel) dialog font.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    central_ = new QWidget(this);
    setCentralWidget(central_);
    buildTopPanel(central_);
    buildClientArea(central_);
    buildMenus();
    wireLink();
    wireChart();
    wireCompare();
    wireRecent();

    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::WindowShortcut);
    connect(help, &QShortcut::activated, this, [this] {
        QWidget* over = QApplication::widgetAt(QCursor::pos());
        if (!over || over->window() != this) over = QApplication::focusWidget();
        ui_.helpTopic(helpContextOf(over ? over : this));
    });

    resize(587, 436);
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    FormCreate();
    // Wired after start-up's own selections, which must not run the handlers.
    wireProjectHandlers();
    wireTableHandlers();
    wireTransfer();
    wireTableTools();
    wireCorrect();
}

TMainForm::~TMainForm() {
    // The history's last signals must not reach the menu items being taken down.
    if (history_) history_->stack().disconnect();
    // The chart's viewport still sends events while the widgets below are taken down; its
    // filter reaches into this window, which is no longer whole by then.
    unwireChart();
    // So does a cell editor still open, which commits its text as it loses the focus.
    TableGrid->setEditText = nullptr;
    EEPROMGrid->setEditText = nullptr;
}

int TMainForm::helpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property("helpContext");
        if (v.isValid()) return v.toInt();
    }
    return kHelpWindow;
}

void TMainForm::buildTopPanel(QWidget* central) {
    TopPanel = new QFrame(central);
    TopPanel->setObjectName(QStringLiteral("TopPanel"));
    TopPanel->setFrameShape(QFrame::StyledPanel);
    TopPanel->setGeometry(0, 0, 587, kTopPanelHeight);

    GroupLabel = makeLabel(TopPanel, "GroupLabel", QString(), QRect(8, 6, 100, 26));
    QFont groupFont(QStringLiteral("DejaVu Serif"));
    groupFont.setStyleHint(QFont::Serif);
    groupFont.setPixelSize(16);
    groupFont.setBold(true);
    GroupLabel->setFont(groupFont);

    HelpBtn = new QPushButton(QStringLiteral("How Do I ..."), TopPanel);
    HelpBtn->setObjectName(QStringLiteral("HelpBtn"));
    HelpBtn->setGeometry(8, 44, 92, 26);
    HelpBtn->setToolTip(QStringLiteral("For help ..."));
    // The designed hint is switched off; an empty tool tip keeps it from showing.
    HelpBtn->setToolTip(QString());
    setHelpContext(HelpBtn, kHelpHowDoI);
    connect(HelpBtn, &QPushButton::clicked, this, &TMainForm::HelpContentClick);

    OutputRGrp = new RadioGroup(QStringLiteral("Output"),
                                {QStringLiteral("Voltage"), QStringLiteral("Frequency")}, TopPanel);
    OutputRGrp->setObjectName(QStringLiteral("OutputRGrp"));
    OutputRGrp->setGeometry(108, 2, 94, 74);
    setHelpContext(OutputRGrp, kHelpOutput);

    Label6 = makeLabel(TopPanel, "Label6", QStringLiteral("Adjusts"), QRect(210, 26, 48, 20));
    for (int k = 0; k < 4; ++k) {
        const int x = 262 + k * 58;
        PotLabels[k] = makeLabel(TopPanel, QStringLiteral("Label%1").arg(k + 1).toLatin1().constData(),
                                 QStringLiteral("Pot %1").arg(k + 1), QRect(x, 4, 50, 18));
        PotEdits[k] = new QLineEdit(QStringLiteral("0"), TopPanel);
        PotEdits[k]->setObjectName(QStringLiteral("Pot%1Edit").arg(k + 1));
        PotEdits[k]->setGeometry(x, 24, 36, 22);
        PotEdits[k]->setEnabled(false);
        setHelpContext(PotEdits[k], kHelpPots);
        PotSpins[k] = new SpinButton(TopPanel);
        PotSpins[k]->setObjectName(QStringLiteral("Pot%1Spin").arg(k + 1));
        PotSpins[k]->setGeometry(x + 36, 24, 16, 22);
        setHelpContext(PotSpins[k], kHelpPots);
    }
    Label5 = makeLabel(TopPanel, "Label5", QStringLiteral("Limit"), QRect(210, 54, 40, 20));
    LimitEdit = new QLineEdit(TopPanel);
    LimitEdit->setObjectName(QStringLiteral("LimitEdit"));
    LimitEdit->setGeometry(262, 52, 52, 22);
    setHelpContext(LimitEdit, kHelpLimit);

    InvertCBox = new QCheckBox(QStringLiteral("Invert Limit Output"), TopPanel);
    InvertCBox->setObjectName(QStringLiteral("InvertCBox"));
    InvertCBox->setGeometry(320, 53, 130, 20);
    ShowHexCBox = new QCheckBox(QStringLiteral("Show Hex"), TopPanel);
    ShowHexCBox->setObjectName(QStringLiteral("ShowHexCBox"));
    ShowHexCBox->setGeometry(436, 53, 74, 20);
    connect(ShowHexCBox, &QCheckBox::toggled, this, &TMainForm::ShowHexCBoxClick);

    SIOLabel = makeLabel(TopPanel, "SIOLabel", QString(), QRect(507, 4, 78, 18));
    AbortBtn = new QPushButton(QStringLiteral("Abort"), TopPanel);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(507, 24, 72, 26);
    LearnLabel = makeLabel(TopPanel, "LearnLabel", QString(), QRect(507, 56, 78, 18));
    // The status column is 80 pixels wide; "(not connected)" must fit in it.
    QFont status = SIOLabel->font();
    status.setPixelSize(10);
    status.setStretch(QFont::SemiCondensed);
    SIOLabel->setFont(status);
    LearnLabel->setFont(status);
}

void TMainForm::buildClientArea(QWidget* central) {
    VInLabel = makeLabel(central, "VInLabel", QString(),
                         QRect(kTableGridWidth + 16, kTopPanelHeight + 4, 400, 16));
    VOutLabel = makeLabel(central, "VOutLabel", QString(),
                          QRect(kTableGridWidth + 16, kTopPanelHeight + 20, 400, 16));
    // Below the resize rule's 60 pixels, which leave room for it under the table.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    StatusLine = new QLabel(statusBar());
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    statusBar()->addWidget(StatusLine, 1);

    TableGrid = new StringGrid(2, 34, 1, 1, central);
    TableGrid->setObjectName(QStringLiteral("TableGrid"));
    QFont gridFont = TableGrid->font();
    gridFont.setPixelSize(11);
    TableGrid->setFont(gridFont);
    TableGrid->horizontalHeader();
    TableGrid->setDefaultColWidth(44);
    TableGrid->setDefaultRowHeight(16);
    TableGrid->setGeometry(8, kTopPanelHeight + 4, kTableGridWidth, 295);

    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    Series1 = new QLineSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    Series1->setName(QStringLiteral("V Out"));
    Series1->setColor(Qt::blue);
    Series2 = new QLineSeries;
    Series2->setObjectName(QStringLiteral("Series2"));
    Series2->setName(QStringLiteral("Adjusted"));
    Series2->setColor(Qt::red);
    chart->addSeries(Series1);
    chart->addSeries(Series2);
    BottomAxis = new QValueAxis;
    BottomAxis->setTitleText(QStringLiteral("V In"));
    BottomAxis->setRange(0, 6);
    BottomAxis->setTickCount(7);
    BottomAxis->setLabelFormat(QStringLiteral("%.0f"));
    LeftAxis = new QValueAxis;
    LeftAxis->setTitleText(QStringLiteral("V Out"));
    LeftAxis->setRange(0, 5);
    LeftAxis->setTickCount(6);
    LeftAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(BottomAxis, Qt::AlignBottom);
    chart->addAxis(LeftAxis, Qt::AlignLeft);
    for (QLineSeries* s : {Series1, Series2}) {
        s->attachAxis(BottomAxis);
        s->attachAxis(LeftAxis);
    }
    Chart1 = new QChartView(chart, central);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setRenderHint(QPainter::Antialiasing);
    // The resize rule may leave it no height at all.
    Chart1->setMinimumSize(0, 0);
    setHelpContext(Chart1, kHelpChart);

    EEPROMGrid = new StringGrid(17, 17, 1, 1, central);
    EEPROMGrid->setObjectName(QStringLiteral("EEPROMGrid"));
    EEPROMGrid->setFont(gridFont);
    EEPROMGrid->setDefaultColWidth(24);
    EEPROMGrid->setDefaultRowHeight(16);
    setHelpContext(EEPROMGrid, kHelpEepromGrid);
}

void TMainForm::buildMenus() {
    auto add = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    FileNew = add(FileMenu, "FileNew", QStringLiteral("&New"));
    FileOpen = add(FileMenu, "FileOpen", QStringLiteral("&Open"));
    FileSave = add(FileMenu, "FileSave", QStringLiteral("&Save"));
    FileSaveAs = add(FileMenu, "FileSaveAs", QStringLiteral("Save &As"));
    FileClose = add(FileMenu, "FileClose", QStringLiteral("&Close"));
    FileMenu->addSeparator();
    FileExportTable = add(FileMenu, "FileExportTable", QStringLiteral("&Export Table ..."));
    FileImportTable = add(FileMenu, "FileImportTable", QStringLiteral("&Import Table ..."));
    FileMenu->addSeparator();
    FileExit = add(FileMenu, "FileExit", QStringLiteral("E&xit"));

    EditMenu = menuBar()->addMenu(QStringLiteral("&Edit"));
    EditMenu->setObjectName(QStringLiteral("EditMenu"));
    EditUndo = add(EditMenu, "EditUndo", QStringLiteral("Undo"));
    EditUndo->setShortcut(QKeySequence::Undo);
    EditRedo = add(EditMenu, "EditRedo", QStringLiteral("Redo"));
    EditRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    EditMenu->addSeparator();
    EditCopy = add(EditMenu, "EditCopy", QStringLiteral("&Copy"));
    EditCopy->setShortcut(QKeySequence::Copy);
    EditPaste = add(EditMenu, "EditPaste", QStringLiteral("&Paste"));
    EditPaste->setShortcut(QKeySequence::Paste);
    EditTableMenu = EditMenu->addMenu(QStringLiteral("&Table"));
    EditTableMenu->setObjectName(QStringLiteral("EditTableMenu"));
    TableSet = add(EditTableMenu, "TableSet", QStringLiteral("&Set Value ..."));
    TableAdd = add(EditTableMenu, "TableAdd", QStringLiteral("&Add ..."));
    TableScale = add(EditTableMenu, "TableScale", QStringLiteral("S&cale ..."));
    TableInterpolate = add(EditTableMenu, "TableInterpolate", QStringLiteral("&Interpolate"));
    TableSmooth = add(EditTableMenu, "TableSmooth", QStringLiteral("S&mooth"));
    EditMenu->addSeparator();
    EditProject = add(EditMenu, "EditProject", QStringLiteral("Project ..."));
    EditMatch = add(EditMenu, "EditMatch", QStringLiteral("&Match ..."));
    EditCorrect = add(EditMenu, "EditCorrect", QStringLiteral("Correct from L&og ..."));
    EditLearn = add(EditMenu, "EditLearn", QStringLiteral("&Learn ..."));
    EditLearn->setVisible(false);
    EditMenu->addSeparator();
    EditMeter = add(EditMenu, "EditMeter", QStringLiteral("M&eter ..."));

    BoxMenu = menuBar()->addMenu(QStringLiteral("&Box"));
    BoxMenu->setObjectName(QStringLiteral("BoxMenu"));
    BoxOptions = add(BoxMenu, "BoxOptions", QStringLiteral("&Options ..."));
    BoxMenu->addSeparator();
    BoxUpdate = add(BoxMenu, "BoxUpdate", QStringLiteral("&Update EEPROM ..."));
    BoxUpdateChanges = add(BoxMenu, "BoxUpdateChanges", QStringLiteral("Update &Changes ..."));
    BoxRetrieve = add(BoxMenu, "BoxRetrieve", QStringLiteral("&Retrieve EEPROM ..."));
    BoxCompare = add(BoxMenu, "BoxCompare", QStringLiteral("Co&mpare with Box ..."));
    BoxRestore = add(BoxMenu, "BoxRestore", QStringLiteral("Restore &Backup ..."));
    BoxMenu->addSeparator();
    BoxTerminal = add(BoxMenu, "BoxTerminal", QStringLiteral("&Terminal ..."));

    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));
    HelpContent = add(HelpMenu, "HelpContent", QStringLiteral("&Contents ..."));
    HelpTopicSearch = add(HelpMenu, "HelpTopicSearch", QStringLiteral("Topic Search ..."));
    HelpMenu->addSeparator();
    HelpAbout = add(HelpMenu, "HelpAbout", QStringLiteral("&About ..."));

    connect(FileExit, &QAction::triggered, this, &TMainForm::FileExitClick);
    connect(EditLearn, &QAction::triggered, this, &TMainForm::EditLearnClick);
    connect(HelpContent, &QAction::triggered, this, &TMainForm::HelpContentClick);
    connect(HelpTopicSearch, &QAction::triggered, this, &TMainForm::HelpTopicSearchClick);
    connect(HelpAbout, &QAction::triggered, this, &TMainForm::HelpAboutClick);
}

void TMainForm::FormCreate() {
    if (state_.ProjectDir.isEmpty()) state_.ProjectDir = state_.AppDir;
    for (const char* group : GroupNames) EnsureFolder(state_.AppDir + QLatin1String(group));

    EEPROMGrid->hide();
    Chart1->show();
    OutputRGrp->setEnabled(false);
    OutputRGrp->setItemIndex(0);

    state_.ProjectState = DocState::None;
    state_.image.fill(0xFF);

    for (int c = 1; c <= 16; ++c)
        EEPROMGrid->setCell(c, 0, QStringLiteral(" %1 ").arg(c - 1, 1, 16).toUpper());
    for (int r = 1; r <= 16; ++r)
        EEPROMGrid->setCell(0, r, QStringLiteral(" %1 ").arg((r - 1) * 16, 2, 16, QLatin1Char('0')).toUpper());

    TableGrid->setCell(0, 0, QStringLiteral("V in"));
    TableGrid->setCell(1, 0, QStringLiteral("V Out"));
    for (int r = 1; r <= kTableEntries; ++r) TableGrid->setCell(0, r, InputVoltText(r - 1));

    OutputRGrp->setItemIndex(0);
    state_.Modified = false;
    UpdateControls();
    Activated = false;
}

void TMainForm::FormActivate() {
    if (!Activated) {
        InvertCBox->hide();
        InvertCBox->setChecked(false);
        ShowHexCBox->setVisible(state_.DiagnosticWord == QLatin1String(kDiagnosticWord));
        ShowHexCBox->setChecked(false);

        const KexSettings settings = LoadSettings(state_.SettingsPath);
        link_.PortNumber = settings.ComPort;
        link_.BaudRate = settings.BaudRate;
        if (link_.Device.isEmpty()) link_.Device = settings.Device;
        recent_ = settings.Recent;
        updateRecentMenu();

        // Activated is set before the link opens: the error box below re-activates this window,
        // and a port that cannot be opened is reported once, not at every activation.
        Activated = true;
        QString error;
        if (!link_.OpenLink(error)) ui_.error(error);
        UpdateControls();
        openStartFile();
    }
    Activated = true;
}

bool TMainForm::AskSaveFirst() {
    if (state_.Modified) {
        switch (ui_.confirm(QStringLiteral("Save E2P file first ?"), true)) {
            case UiServices::Answer::Yes:
                if (!SaveBeforeClose()) return false;
                break;
            case UiServices::Answer::No:
                break;
            case UiServices::Answer::Cancel:
                return false;
        }
    }
    return true;
}

bool TMainForm::LeaveProject() {
    FinishEdits();
    return AskSaveFirst();
}

bool TMainForm::FormClose() {
    if (!LeaveProject()) return false;
    // The recent list is read at the first activation: before it, there is none to write.
    const bool saved = Activated ? SaveSettings(state_.SettingsPath, link_.PortNumber,
                                                link_.BaudRate, link_.Device, recent_)
                                 : SaveSettings(state_.SettingsPath, link_.PortNumber,
                                                link_.BaudRate, link_.Device);
    if (!saved) {
        ui_.error(QStringLiteral("Unable to write to %1").arg(state_.SettingsPath));
        return false;
    }
    return true;
}

void TMainForm::FormResize() {
    const int W = width();
    const int H = height();
    TopPanel->setGeometry(0, 0, central_->width(), kTopPanelHeight);
    const int h = H - TopPanel->height() - 60;
    // The reference's line below the meter labels moves the chart down by its height.
    const int below = ReferenceLabel->isHidden() ? 0 : ReferenceLabel->height();
    const int t = VOutLabel->geometry().top() + VOutLabel->height() + 8 + below;
    if (h > 0) {
        TableGrid->resize(TableGrid->width(), h);
        EEPROMGrid->resize(EEPROMGrid->width(), std::max(0, h - 40 - below));
        Chart1->resize(Chart1->width(), std::max(0, h - 40 - below));
    }
    const int left = TableGrid->width() + 16;
    EEPROMGrid->move(left, t);
    Chart1->move(left, t);
    const int w = W - TableGrid->width() - 32;
    if (w > 0) {
        EEPROMGrid->resize(w, EEPROMGrid->height());
        Chart1->resize(w, Chart1->height());
    }
    const int right = TopPanel->width() - 80;
    for (QWidget* c : {static_cast<QWidget*>(AbortBtn), static_cast<QWidget*>(SIOLabel),
                       static_cast<QWidget*>(LearnLabel)})
        c->move(right, c->y());
}

void TMainForm::UpdateControls() {
    AppState& s = state_;
    // A refresh run by a handler inside a transfer's wait (a pot click) must not swallow an
    // Abort the transfer has yet to see.
    if (!transferRunning()) s.AbortFlag = false;

    const bool open = s.ProjectState != DocState::None;
    switch (s.ProjectState) {
        case DocState::None:
            s.Connected = false;
            s.MonitorMode = false;
            s.ProjectFileName.clear();
            GroupLabel->clear();
            AbortBtn->setText(QStringLiteral("Monitor"));
            VInLabel->clear();
            VOutLabel->clear();
            break;
        case DocState::New:
            s.MonitorMode = s.Connected;
            s.ProjectFileName = QStringLiteral("(new)");
            AbortBtn->setText(s.Connected ? QStringLiteral("Monitor") : QStringLiteral("Connect"));
            VInLabel->setText((QStringLiteral("V In Meter: ") + s.header.VInMeterName()).left(43));
            VOutLabel->setText((QStringLiteral("V Out Meter: ") + s.header.VOutMeterName()).left(44));
            break;
        case DocState::File:
            s.MonitorMode = s.Connected;
            AbortBtn->setText(s.Connected ? QStringLiteral("Monitor") : QStringLiteral("Connect"));
            VInLabel->setText((QStringLiteral("V In = ") + s.header.VInMeterName()).left(38));
            VOutLabel->setText((QStringLiteral("V Out = ") + s.header.VOutMeterName()).left(39));
            break;
    }
    AbortBtn->setEnabled(open);
    AbortBtn->setVisible(open);
    FileNew->setEnabled(true);
    FileOpen->setEnabled(true);
    FileSave->setEnabled(s.ProjectState == DocState::File && s.Modified);
    for (QAction* a :
         {FileSaveAs, FileClose, EditProject, EditMatch, EditCorrect, BoxUpdate, BoxRetrieve})
        a->setEnabled(open);
    for (QAction* a : {BoxUpdateChanges, BoxCompare, BoxRestore}) a->setEnabled(open);
    FileCompare->setEnabled(open);
    FileCloseCompare->setEnabled(open && comparing());
    EditLearn->setEnabled(false);
    for (int k = 0; k < 4; ++k) {
        PotEdits[k]->setEnabled(open);
        PotSpins[k]->setEnabled(open);
    }
    for (QWidget* w : {static_cast<QWidget*>(LimitEdit), static_cast<QWidget*>(ShowHexCBox),
                       static_cast<QWidget*>(TableGrid), static_cast<QWidget*>(EEPROMGrid),
                       static_cast<QWidget*>(Chart1)})
        w->setEnabled(open);

    setWindowTitle(QLatin1String(kCaptionStem) + s.ProjectFileName);
    SIOLabel->setText(s.Connected ? QStringLiteral("Idle") : QStringLiteral("(not connected)"));
    LearnLabel->clear();
    s.Learning = false;
    TableGrid->refresh();
    EEPROMGrid->refresh();
    updateTableActions();
    // ... nor take away the button that stops it.
    if (transferRunning()) {
        s.MonitorMode = false;
        AbortBtn->setEnabled(true);
        AbortBtn->setText(QStringLiteral("Abort"));
    }
}

void TMainForm::ShowHexCBoxClick() {
    const bool hex = ShowHexCBox->isChecked();
    EEPROMGrid->setVisible(hex);
    Chart1->setVisible(!hex);
}

void TMainForm::HelpContentClick() { ui_.helpContents(); }

void TMainForm::HelpTopicSearchClick() { ui_.helpSearch(); }

void TMainForm::HelpAboutClick() {
    if (dialogs_.AboutDialog) ui_.runModal(*dialogs_.AboutDialog);
}

void TMainForm::FileExitClick() { close(); }

void TMainForm::EditLearnClick() { UpdateControls(); }

bool TMainForm::event(QEvent* e) {
    // Without a window manager (a bare X server, a kiosk) a window may never be activated, so
    // the first show also counts as the first activation.
    if (e->type() == QEvent::WindowActivate ||
        (e->type() == QEvent::Show && !Activated))
        FormActivate();
    return QMainWindow::event(e);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (operationDepth_ > 0) {
        // Closed from inside an operation's wait (the close button, File > Exit, the session's
        // end). Closing here would leave the operation waiting on a window that is gone, and
        // once the application quits its waits could never run out: stop it as Abort does,
        // with every wait ending at once, and close when it has unwound. A write into the box
        // is stopped only when the user says so.
        e->ignore();
        if (!closeRequested_ && askToStopWriting()) {
            closeRequested_ = true;
            state_.AbortFlag = true;
            link_.CancelWaits();
        }
        return;
    }
    if (closeRequested_) {
        closeRequested_ = false;
        link_.ResumeWaits();
    }
    if (boxWrite_ && boxWrite_->stopped) {
        const BoxWrite stopped = *std::exchange(boxWrite_, std::nullopt);
        ui_.warning(QStringLiteral("Writing stopped: %1.")
                        .arg(BytesWrittenText(stopped.written, stopped.total)));
    }
    if (FormClose())
        e->accept();
    else
        e->ignore();
}

TMainForm::Operation::Operation(TMainForm& form) : form_(form) {
    ++form_.operationDepth_;
}

TMainForm::Operation::~Operation() {
    // Queued: the handler that ran the operation finishes first (nothing in it waits any more).
    if (--form_.operationDepth_ == 0 && form_.closeRequested_)
        QTimer::singleShot(0, &form_, &TMainForm::closeAfterUnwinding);
}

bool TMainForm::askToStopWriting() {
    // A read or a Connect stops at once, as the Abort button would stop it.
    if (!boxWrite_) return true;
    if (boxWrite_->asking) return false;
    boxWrite_->asking = true;
    // The write waits below this question, and the box's answers that come meanwhile still
    // count: the time the user takes is not the box's.
    link_.HoldClock();
    const UiServices::Answer answer = ui_.confirm(
        QStringLiteral("The box is being written: %1 of %2 bytes so far. Stop and close?")
            .arg(boxWrite_->written)
            .arg(boxWrite_->total));
    link_.ReleaseClock();
    if (!boxWrite_) return false;
    boxWrite_->asking = false;
    boxWrite_->stopped = answer == UiServices::Answer::Yes;
    return boxWrite_->stopped;
}

void TMainForm::closeAfterUnwinding() {
    // The ordinary close, with its question; a Cancel there keeps the window and a working link.
    if (operationDepth_ == 0 && closeRequested_) close();
}

void TMainForm::resizeEvent(QResizeEvent* e) {
    QMainWindow::resizeEvent(e);
    FormResize();
}

}  // namespace varnel
