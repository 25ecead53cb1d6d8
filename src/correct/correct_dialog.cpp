#include "correct_dialog.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "image/table_ops.h"
#include "log/log_reader.h"
#include "log/log_text.h"
#include "match/match_session.h"

#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QPainter>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QValueAxis>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>

namespace varnel {

namespace {

const QString kNone = QStringLiteral("(none)");
const QString kLogFilter = QStringLiteral("Log files (*.csv *.txt *.log);;All files (*)");
const QString kMeterFilter = QStringLiteral("MAF files (*.maf)");
constexpr int kProgressSteps = 1000;
constexpr int kLockColumn = 8;

QString escaped(const QString& text) {
    return text.toHtmlEscaped();
}

// What the run turned into what, and each log's rows when there were several.
QString countNotes(const CorrectionReport& r) {
    QString notes;
    if (r.mapping.signalKind == SignalKind::MassFlow)
        notes += QStringLiteral("\nSignal from the air mass flow through the meter.");
    if (r.mapping.trimsAsFactors) notes += QStringLiteral("\nTrims read as factors.");
    if (r.heldRising > 0)
        notes += QStringLiteral("\n%1 held to keep the table rising.").arg(r.heldRising);
    if (r.limitedEntries() > 0)
        notes += QStringLiteral("\n%1 held within the largest change.").arg(r.limitedEntries());
    if (r.logs.size() > 1)
        for (const LogRows& l : r.logs)
            notes += QStringLiteral("\n%1: %2 rows read, %3 used")
                         .arg(QFileInfo(l.path).fileName())
                         .arg(l.rowsRead)
                         .arg(l.rowsUsed);
    return notes;
}

}  // namespace

TCorrectDialog::TCorrectDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent), state_(state), ui_(ui) {
    setObjectName(QStringLiteral("CorrectDialog"));
    setWindowTitle(QStringLiteral("Correct from Log"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setFixedSize(1020, 680);

    auto label = [this](const QString& text, QRect geometry, const char* name = nullptr) {
        auto* l = new QLabel(text, this);
        if (name) l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    auto combo = [this](const char* name, QRect geometry) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setGeometry(geometry);
        return c;
    };
    auto edit = [this](const char* name, const QString& hint, QRect geometry) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setPlaceholderText(hint);
        e->setGeometry(geometry);
        return e;
    };
    auto spin = [this](const char* name, int low, int high, int value, QRect geometry) {
        auto* s = new QSpinBox(this);
        s->setObjectName(QLatin1String(name));
        s->setRange(low, high);
        s->setValue(value);
        s->setGeometry(geometry);
        return s;
    };

    label(QStringLiteral("Logs:"), QRect(8, 8, 200, 16));
    LogEdit = edit("LogEdit", QString(), QRect(8, 24, 190, 22));
    LogEdit->setReadOnly(true);
    OpenBtn = button("OpenBtn", QStringLiteral("Open ..."), QRect(202, 24, 62, 22));
    AddBtn = button("AddBtn", QStringLiteral("Add ..."), QRect(268, 24, 62, 22));
    MeterLabel = label(QString(), QRect(8, 54, 252, 16), "MeterLabel");
    MeterBtn = button("MeterBtn", QStringLiteral("Meter ..."), QRect(268, 50, 62, 22));
    label(QStringLiteral("Decimal mark:"), QRect(8, 80, 84, 16));
    DecimalCombo = combo("DecimalCombo", QRect(96, 76, 234, 22));
    DecimalCombo->addItems({QStringLiteral("as found in the log"), QStringLiteral("point (1.5)"),
                            QStringLiteral("comma (1,5)")});
    FoundLabel = label(QString(), QRect(8, 104, 322, 176), "FoundLabel");
    FoundLabel->setWordWrap(true);
    FoundLabel->setTextFormat(Qt::RichText);
    FoundLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    FoundLabel->setFrameShape(QFrame::StyledPanel);
    FoundLabel->setMargin(3);

    const std::pair<QString, const char*> columns[] = {
        {QStringLiteral("Signal:"), "SignalCombo"},
        {QStringLiteral("Trim:"), "Trim1Combo"},
        {QStringLiteral("Second trim:"), "Trim2Combo"},
        {QStringLiteral("Wideband:"), "WidebandCombo"},
        {QStringLiteral("Commanded:"), "CommandedCombo"},
        {QStringLiteral("Loop status:"), "LoopCombo"}};
    QComboBox* picked[6];
    for (int k = 0; k < 6; ++k) {
        const int y = 288 + 26 * k;
        label(columns[k].first, QRect(8, y + 4, 76, 16));
        picked[k] = combo(columns[k].second, QRect(84, y, 246, 22));
    }
    SignalCombo = picked[0];
    Trim1Combo = picked[1];
    Trim2Combo = picked[2];
    WidebandCombo = picked[3];
    CommandedCombo = picked[4];
    LoopCombo = picked[5];
    WidebandCombo->setToolTip(QStringLiteral("The wideband's measured AFR or lambda"));
    CommandedCombo->setToolTip(QStringLiteral("The AFR or lambda the engine computer commanded"));
    for (int k = 0; k < 2; ++k) {
        const int y = 446 + 26 * k;
        label(QStringLiteral("Filter %1:").arg(k + 1), QRect(8, y + 4, 70, 16));
        FilterCombos[k] = combo(k == 0 ? "Filter1Combo" : "Filter2Combo", QRect(84, y, 134, 22));
        FilterMinEdits[k] = edit(k == 0 ? "Filter1MinEdit" : "Filter2MinEdit",
                                 QStringLiteral("min"), QRect(222, y, 52, 22));
        FilterMaxEdits[k] = edit(k == 0 ? "Filter1MaxEdit" : "Filter2MaxEdit",
                                 QStringLiteral("max"), QRect(278, y, 52, 22));
        FilterPatternEdits[k] = edit(k == 0 ? "Filter1PatternEdit" : "Filter2PatternEdit",
                                     QStringLiteral("= text, e.g. CL*"), QRect(222, y, 108, 22));
        FilterPatternEdits[k]->hide();
    }

    label(QStringLiteral("Rows:"), QRect(8, 504, 76, 16));
    ModeCombo = combo("ModeCombo", QRect(84, 500, 140, 22));
    ModeCombo->addItems(
        {QStringLiteral("both loops"), QStringLiteral("closed loop"), QStringLiteral("open loop")});
    label(QStringLiteral("Stoich:"), QRect(232, 504, 40, 16));
    StoichSpin = new QDoubleSpinBox(this);
    StoichSpin->setObjectName(QStringLiteral("StoichSpin"));
    StoichSpin->setRange(5, 25);
    StoichSpin->setDecimals(2);
    StoichSpin->setSingleStep(0.1);
    StoichSpin->setValue(14.7);
    StoichSpin->setToolTip(QStringLiteral("The fuel's stoichiometric AFR"));
    StoichSpin->setGeometry(272, 500, 58, 22);
    label(QStringLiteral("Lag:"), QRect(8, 530, 76, 16));
    LagSpin = spin("LagSpin", 0, 10000, 0, QRect(84, 526, 80, 22));
    LagSpin->setSuffix(QStringLiteral(" ms"));
    LagSpin->setSpecialValueText(QStringLiteral("off"));
    LagSpin->setSingleStep(50);
    LagSpin->setToolTip(
        QStringLiteral("Take each row's wideband value from the row this much later"));
    label(QStringLiteral("Max rate:"), QRect(176, 530, 56, 16));
    MaxRateSpin = new QDoubleSpinBox(this);
    MaxRateSpin->setObjectName(QStringLiteral("MaxRateSpin"));
    MaxRateSpin->setRange(0, 100000);
    MaxRateSpin->setDecimals(1);
    MaxRateSpin->setSpecialValueText(QStringLiteral("off"));
    MaxRateSpin->setToolTip(
        QStringLiteral("Leave out rows where the signal moves faster than this a second"));
    MaxRateSpin->setGeometry(236, 526, 94, 22);
    label(QStringLiteral("Min samples:"), QRect(8, 556, 76, 16));
    MinSamplesSpin = spin("MinSamplesSpin", 1, 1000000, 10, QRect(84, 552, 80, 22));
    label(QStringLiteral("Strength:"), QRect(176, 556, 56, 16));
    StrengthSpin = spin("StrengthSpin", 0, 100, 100, QRect(236, 552, 94, 22));
    StrengthSpin->setSuffix(QStringLiteral(" %"));
    label(QStringLiteral("Max change:"), QRect(8, 582, 76, 16));
    MaxChangeSpin = spin("MaxChangeSpin", 0, 100, 0, QRect(84, 578, 80, 22));
    MaxChangeSpin->setSuffix(QStringLiteral(" %"));
    MaxChangeSpin->setSpecialValueText(QStringLiteral("no limit"));
    MaxChangeSpin->setToolTip(
        QStringLiteral("The largest change of any entry, as the expected meter's flow"));
    OpenLoopLtftCheck = new QCheckBox(QStringLiteral("LTFT in open loop"), this);
    OpenLoopLtftCheck->setObjectName(QStringLiteral("OpenLoopLtftCheck"));
    OpenLoopLtftCheck->setChecked(true);
    OpenLoopLtftCheck->setToolTip(
        QStringLiteral("The engine computer keeps applying its long-term trim in open loop"));
    OpenLoopLtftCheck->setGeometry(176, 578, 154, 22);

    ComputeBtn = button("ComputeBtn", QStringLiteral("Compute"), QRect(8, 612, 75, 25));
    ApplyBtn = button("ApplyBtn", QStringLiteral("Apply"), QRect(89, 612, 75, 25));
    CloseBtn = button("CloseBtn", QStringLiteral("Close"), QRect(255, 612, 75, 25));
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setRange(0, kProgressSteps);
    Progress->setGeometry(8, 646, 241, 22);
    CancelBtn = button("CancelBtn", QStringLiteral("Cancel"), QRect(255, 644, 75, 25));
    CountsLabel = label(QString(), QRect(838, 306, 174, 366), "CountsLabel");
    CountsLabel->setWordWrap(true);
    CountsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // The scatter view.
    auto* scatter = new QChart;
    scatter->setMargins(QMargins(2, 2, 2, 2));
    scatter->legend()->setAlignment(Qt::AlignTop);
    // Point series: a QScatterSeries makes a graphics item of every point (20,000 points took
    // 1.4 s to show); a line series without its line, its points drawn as one small picture
    // each, paints them all at once (0.15 s).
    auto points = [scatter](const char* name, const QString& title) {
        auto* s = new QLineSeries;
        s->setObjectName(QLatin1String(name));
        s->setName(title);
        s->setPointsVisible(true);
        s->setMarkerSize(5);
        scatter->addSeries(s);
        return s;
    };
    OutlierPoints = points("OutlierPoints", QStringLiteral("Outliers"));
    ClosedPoints = points("ClosedPoints", QStringLiteral("Closed loop"));
    OpenPoints = points("OpenPoints", QStringLiteral("Open loop"));
    EstimateSeries = new QLineSeries;
    EstimateSeries->setObjectName(QStringLiteral("EstimateSeries"));
    EstimateSeries->setName(QStringLiteral("Entry estimate"));
    EstimateSeries->setPointsVisible(true);
    scatter->addSeries(EstimateSeries);
    // The chart's theme colours each series as it is added: the colours are set after. The rows'
    // colours are part clear, so that where they crowd the colour deepens.
    for (const auto& [s, color] : {std::pair{OutlierPoints, QColor(160, 160, 160)},
                                   std::pair{ClosedPoints, QColor(40, 100, 210, 140)},
                                   std::pair{OpenPoints, QColor(235, 120, 20, 160)}}) {
        QImage dot(5, 5, QImage::Format_ARGB32_Premultiplied);
        dot.fill(Qt::transparent);
        QPainter paint(&dot);
        paint.setRenderHint(QPainter::Antialiasing);
        paint.setPen(Qt::NoPen);
        paint.setBrush(color);
        paint.drawEllipse(QRectF(0.5, 0.5, 4, 4));
        s->setPen(Qt::NoPen);
        s->setColor(color);
        s->setLightMarker(dot);
    }
    EstimateSeries->setPen(QPen(Qt::black, 2));
    signalAxis_ = new QValueAxis;
    signalAxis_->setTickCount(6);
    signalAxis_->setLabelFormat(QStringLiteral("%.1f"));
    signalAxis_->setGridLineVisible(false);
    correctionAxis_ = new QValueAxis;
    correctionAxis_->setTitleText(QStringLiteral("Correction %"));
    correctionAxis_->setTickCount(7);
    correctionAxis_->setLabelFormat(QStringLiteral("%.0f"));
    // Each entry's output as a light vertical line: the rows between two lines share out
    // between those two entries.
    EntryAxis = new QCategoryAxis;
    EntryAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    EntryAxis->setLabelsVisible(false);
    EntryAxis->setLineVisible(false);
    EntryAxis->setGridLinePen(QPen(QColor(195, 195, 195), 1));
    scatter->addAxis(signalAxis_, Qt::AlignBottom);
    scatter->addAxis(EntryAxis, Qt::AlignTop);
    scatter->addAxis(correctionAxis_, Qt::AlignLeft);
    for (QXYSeries* s : std::initializer_list<QXYSeries*>{OutlierPoints, ClosedPoints, OpenPoints,
                                                          EstimateSeries}) {
        s->attachAxis(signalAxis_);
        s->attachAxis(EntryAxis);
        s->attachAxis(correctionAxis_);
    }
    ScatterChart = new QChartView(scatter, this);
    ScatterChart->setObjectName(QStringLiteral("ScatterChart"));
    ScatterChart->setRenderHint(QPainter::Antialiasing);
    ScatterChart->setGeometry(338, 8, 398, 292);

    auto* chart = new QChart;
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->legend()->setAlignment(Qt::AlignTop);
    NowSeries = new QLineSeries;
    NowSeries->setObjectName(QStringLiteral("NowSeries"));
    NowSeries->setName(QStringLiteral("Now"));
    NowSeries->setColor(Qt::blue);
    ProposedSeries = new QLineSeries;
    ProposedSeries->setObjectName(QStringLiteral("ProposedSeries"));
    ProposedSeries->setName(QStringLiteral("Proposed"));
    ProposedSeries->setColor(Qt::red);
    ChangeSeries = new QLineSeries;
    ChangeSeries->setObjectName(QStringLiteral("ChangeSeries"));
    ChangeSeries->setName(QStringLiteral("Change"));
    ChangeSeries->setColor(QColor(0, 140, 0));
    ChangeSeries->setPointsVisible(true);
    chart->addSeries(NowSeries);
    chart->addSeries(ProposedSeries);
    chart->addSeries(ChangeSeries);
    auto* inAxis = new QValueAxis;
    inAxis->setTitleText(QStringLiteral("V In"));
    inAxis->setRange(0, 6);
    inAxis->setTickCount(7);
    inAxis->setLabelFormat(QStringLiteral("%.0f"));
    outAxis_ = new QValueAxis;
    outAxis_->setTickCount(6);
    outAxis_->setLabelFormat(QStringLiteral("%.0f"));
    changeAxis_ = new QValueAxis;
    changeAxis_->setTickCount(5);
    changeAxis_->setLabelFormat(QStringLiteral("%.0f"));
    changeAxis_->setLabelsColor(ChangeSeries->color());
    chart->addAxis(inAxis, Qt::AlignBottom);
    chart->addAxis(outAxis_, Qt::AlignLeft);
    chart->addAxis(changeAxis_, Qt::AlignRight);
    for (QLineSeries* s : {NowSeries, ProposedSeries, ChangeSeries}) {
        s->attachAxis(inAxis);
        s->attachAxis(s == ChangeSeries ? changeAxis_ : outAxis_);
    }
    Chart = new QChartView(chart, this);
    Chart->setObjectName(QStringLiteral("Chart"));
    Chart->setRenderHint(QPainter::Antialiasing);
    Chart->setGeometry(740, 8, 272, 292);

    const QStringList titles = {"Entry",  "V in",     "Now",      "Closed", "Open",
                                "Trim %", "Spread %", "Proposed", "Lock",   "Note"};
    ResultGrid = new StringGrid(int(titles.size()), kTableEntries + 1, 0, 1, this);
    ResultGrid->setObjectName(QStringLiteral("ResultGrid"));
    QFont gridFont = ResultGrid->font();
    gridFont.setPixelSize(11);
    ResultGrid->setFont(gridFont);
    ResultGrid->setDefaultRowHeight(16);
    ResultGrid->setEditable(false);
    ResultGrid->setGeometry(338, 306, 494, 366);
    const int widths[] = {36, 40, 40, 46, 46, 46, 54, 56, 34, 74};
    for (int c = 0; c < titles.size(); ++c) {
        ResultGrid->setCell(c, 0, titles[c]);
        ResultGrid->setColWidth(c, widths[c]);
    }
    ResultGrid->drawCell = [this](int col, int row) { return gridText(col, row); };
    ResultGrid->checkCell = [this](int col, int row) {
        return col == kLockColumn && row >= 1 && row <= kTableEntries
                   ? int(locked_[size_t(row - 1)])
                   : -1;
    };
    ResultGrid->setChecked = [this](int, int row, bool on) { setLocked(row - 1, on); };

    connect(OpenBtn, &QPushButton::clicked, this, &TCorrectDialog::OpenBtnClick);
    connect(AddBtn, &QPushButton::clicked, this, &TCorrectDialog::AddBtnClick);
    connect(MeterBtn, &QPushButton::clicked, this, &TCorrectDialog::MeterBtnClick);
    connect(ComputeBtn, &QPushButton::clicked, this, &TCorrectDialog::ComputeBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TCorrectDialog::CancelBtnClick);
    connect(ApplyBtn, &QPushButton::clicked, this, &TCorrectDialog::ApplyBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(&watcher_, &QFutureWatcher<CorrectionResult>::progressValueChanged, Progress,
            &QProgressBar::setValue);
    connect(&watcher_, &QFutureWatcher<CorrectionResult>::finished, this,
            &TCorrectDialog::computed);
    // Anything that changes what Compute would give makes the shown result stale.
    auto stale = [this] {
        if (report_) {
            report_.reset();
            showResult();
        }
    };
    for (QComboBox* c : {SignalCombo, Trim1Combo, Trim2Combo, WidebandCombo, CommandedCombo,
                         LoopCombo, FilterCombos[0], FilterCombos[1]}) {
        connect(c, &QComboBox::currentIndexChanged, this, stale);
        connect(c, &QComboBox::currentIndexChanged, this, &TCorrectDialog::showFound);
    }
    connect(ModeCombo, &QComboBox::currentIndexChanged, this, stale);
    for (QDoubleSpinBox* s : {StoichSpin, MaxRateSpin})
        connect(s, &QDoubleSpinBox::valueChanged, this, stale);
    connect(LagSpin, &QSpinBox::valueChanged, this, stale);
    connect(OpenLoopLtftCheck, &QCheckBox::toggled, this, stale);
    // These only reshape the proposal from the estimates.
    for (QSpinBox* s : {MinSamplesSpin, MaxChangeSpin})
        connect(s, &QSpinBox::valueChanged, this, &TCorrectDialog::propose);
    for (QComboBox* c : FilterCombos)
        connect(c, &QComboBox::currentIndexChanged, this, &TCorrectDialog::showFilterKinds);
    for (QLineEdit* e : {FilterMinEdits[0], FilterMinEdits[1], FilterMaxEdits[0], FilterMaxEdits[1],
                         FilterPatternEdits[0], FilterPatternEdits[1]})
        connect(e, &QLineEdit::textChanged, this, stale);
    // Another decimal mark reads the logs again: the columns' values and roles may change.
    connect(DecimalCombo, &QComboBox::currentIndexChanged, this, [this] {
        if (!logPaths_.isEmpty()) readLogs(logPaths_);
    });
    connect(StrengthSpin, &QSpinBox::valueChanged, this, stale);

    showFound();
    showResult();
    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TCorrectDialog::~TCorrectDialog() {
    // The worker holds only its own copies, but must not outlive the watcher it reports to.
    watcher_.cancel();
    watcher_.waitForFinished();
}

void TCorrectDialog::prepare(bool frequency) {
    frequency_ = frequency;
    outAxis_->setTitleText(frequency ? QStringLiteral("F Out") : QStringLiteral("V Out"));
    outAxis_->setRange(0, frequency ? 3000 : 5);
    changeAxis_->setTitleText(frequency ? QStringLiteral("Change (Hz)")
                                        : QStringLiteral("Change (mV)"));
    signalAxis_->setTitleText(frequency ? QStringLiteral("Signal (Hz)")
                                        : QStringLiteral("Signal (V)"));
    signalAxis_->setLabelFormat(frequency ? QStringLiteral("%.0f") : QStringLiteral("%.1f"));
    MaxRateSpin->setSuffix(frequency ? QStringLiteral(" Hz/s") : QStringLiteral(" V/s"));
    // Locks belong to one project's table.
    locked_.fill(false);
    const QString folder = GroupName(state_.header.VOutMeterGroup());
    meterPath_ = folder.isEmpty() ? QString()
                                  : FindMeterFile(state_.AppDir + folder + QLatin1Char('/'),
                                                  state_.header.VOutMeterName());
    showMeter();
    report_.reset();
    showResult();
}

LogOptions TCorrectDialog::logOptions() const {
    LogOptions o;
    o.decimal = DecimalCombo->currentIndex() == 1   ? DecimalMark::Point
                : DecimalCombo->currentIndex() == 2 ? DecimalMark::Comma
                                                    : DecimalMark::Auto;
    return o;
}

bool TCorrectDialog::openLog(const QString& path) {
    return readLogs({path});
}

bool TCorrectDialog::addLog(const QString& path) {
    if (logPaths_.contains(path)) return true;
    return readLogs(logPaths_ + QStringList{path});
}

bool TCorrectDialog::readLogs(const QStringList& paths) {
    // Each log is read through once to count its rows; the first one's layout fills the choices.
    std::optional<LogLayout> first;
    QList<qint64> rows;
    for (const QString& path : paths) {
        LogReader log;
        LogScan scan;
        QString error;
        if (!log.open(path, logOptions(), error) || !ScanLog(log, path, scan, error)) {
            ui_.error(error);
            return false;
        }
        if (!first) first = log.layout();
        rows.append(scan.rows);
    }
    logPaths_ = paths;
    layout_ = first;
    logRows_ = rows;
    // The picks of the last log stay where this one has columns of their names.
    fillColumns();
    QStringList names;
    for (const QString& p : paths) names.append(QFileInfo(p).fileName());
    LogEdit->setText(names.join(QStringLiteral(", ")));
    LogEdit->setToolTip(paths.join(QLatin1Char('\n')));
    report_.reset();
    showFound();
    showResult();
    return true;
}

void TCorrectDialog::fillColumns() {
    const LogLayout& layout = *layout_;
    // The columns the roles give: what a log the user has not seen before shows first.
    LogMapping roles;
    QString error;
    const bool mapped = MapLogColumns(layout, CorrectionSettings(), frequency_, roles, error);
    rolesError_ = error;
    const int signal = mapped ? roles.signal.index : -1;
    const int trim1 = mapped ? roles.trims.value(0).index : -1;
    const int trim2 = mapped && roles.trims.size() > 1 ? roles.trims[1].index : -1;
    // The open loop's columns are found whether or not the signal and trims were.
    LogMapping loop;
    MapLogColumns(layout, CorrectionSettings(), frequency_, loop, error);
    if (!mapped) {
        // Without a signal or a trim the mapping stops early: look at the loop's roles alone.
        loop.wideband.index = layout.firstWithRole(LogRole::Afr);
        if (loop.wideband.index < 0) loop.wideband.index = layout.firstWithRole(LogRole::Lambda);
        loop.commanded.index = layout.firstWithRole(LogRole::AfrTarget);
        if (loop.commanded.index < 0)
            loop.commanded.index = layout.firstWithRole(LogRole::LambdaTarget);
        loop.loop.index = layout.firstWithRole(LogRole::Loop);
    }
    // The choices made for the last log stay where this one has a column of the same name.
    auto keep = [&](QComboBox* c, int guess, bool optional) {
        const QString was = c->currentText();
        const QSignalBlocker quiet(c);
        c->clear();
        if (optional) c->addItem(kNone, -1);
        for (int i = 0; i < layout.columnCount(); ++i) {
            c->addItem(ColumnReference(layout, i), i);
            const LogColumn& col = layout.columns[i];
            c->setItemData(
                c->count() - 1,
                col.role == LogRole::None
                    ? col.note
                    : RoleName(col.role) +
                          (col.note.isEmpty() ? QString() : QStringLiteral(": ") + col.note),
                Qt::ToolTipRole);
        }
        const int same = was.isEmpty() || was == kNone ? -1 : c->findText(was);
        c->setCurrentIndex(same >= 0 ? same : std::max(0, c->findData(guess)));
    };
    keep(SignalCombo, std::max(0, signal), false);
    keep(Trim1Combo, std::max(0, trim1), false);
    keep(Trim2Combo, trim2, true);
    keep(WidebandCombo, loop.wideband.index, true);
    keep(CommandedCombo, loop.commanded.index, true);
    keep(LoopCombo, loop.loop.index, true);
    for (QComboBox* c : FilterCombos) keep(c, -1, true);
    showFilterKinds();
    // Both loops where the log can tell the open loop's mixture, else the closed loop alone.
    const QSignalBlocker quiet(ModeCombo);
    ModeCombo->setCurrentIndex(
        WidebandCombo->currentIndex() > 0 && CommandedCombo->currentIndex() > 0 ? 0 : 1);
}

void TCorrectDialog::showFilterKinds() {
    for (int k = 0; k < 2; ++k) {
        const int i = FilterCombos[k]->currentData().toInt();
        const bool text = layout_ && i >= 0 && i < layout_->columnCount() &&
                          !layout_->columns[i].numeric && layout_->columns[i].sample.texts > 0;
        FilterPatternEdits[k]->setVisible(text);
        FilterMinEdits[k]->setVisible(!text);
        FilterMaxEdits[k]->setVisible(!text);
    }
}

void TCorrectDialog::showFound() {
    if (!layout_) {
        FoundLabel->setText(QStringLiteral("Open a log: what is found in it shows here."));
        return;
    }
    const LogLayout& l = *layout_;
    QString html =
        QStringLiteral("<b>%1</b>: ").arg(escaped(QFileInfo(logPaths_.front()).fileName()));
    html += l.headerLine > 0 ? QStringLiteral("names on line %1").arg(l.headerLine)
                             : QStringLiteral("no names");
    html += l.unitsLine > 0 ? QStringLiteral(", units on line %1").arg(l.unitsLine)
                            : QStringLiteral(", units from the names");
    html += QStringLiteral("; separator %1, decimal mark '%2'%3; %4; %5 rows")
                .arg(l.separator == '\t' ? QStringLiteral("tab")
                                         : QStringLiteral("'%1'").arg(QLatin1Char(l.separator)))
                .arg(QLatin1Char(l.decimal))
                .arg(l.decimalFound ? QString() : QStringLiteral(" (as set)"))
                .arg(l.latin1 ? QStringLiteral("Latin-1") : QStringLiteral("UTF-8"))
                .arg(GroupedCount(logRows_.value(0)));
    if (l.skippedLines > 0) html += QStringLiteral(", %1 lines before them").arg(l.skippedLines);
    html += QLatin1Char('.');
    if (l.narrow)
        html += QStringLiteral(" One reading a row (%1), pivoted by time.")
                    .arg(escaped(l.readingColumns.join(QStringLiteral(", "))));
    for (qsizetype k = 1; k < logPaths_.size(); ++k)
        html +=
            QStringLiteral("<br>and %1: %2 rows")
                .arg(escaped(QFileInfo(logPaths_[k]).fileName()), GroupedCount(logRows_.value(k)));
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"1\">");
    QStringList notes;
    auto row = [&](const QString& what, const QComboBox* c) {
        const int i = c->currentData().toInt();
        if (i < 0 || i >= l.columnCount()) return;
        const LogColumn& col = l.columns[i];
        html += QStringLiteral(
                    "<tr><td>%1&nbsp;</td><td><b>%2</b>&nbsp;</td><td>%3&nbsp;</td>"
                    "<td>%4</td></tr>")
                    .arg(what, escaped(col.name),
                         escaped(col.unit.isEmpty() ? QStringLiteral("-") : col.unit),
                         escaped(col.sample.examples.join(QStringLiteral(" \u00B7 "))));
        if (!col.note.isEmpty()) notes.append(escaped(col.name + QStringLiteral(": ") + col.note));
    };
    row(QStringLiteral("Signal"), SignalCombo);
    row(QStringLiteral("Trim"), Trim1Combo);
    row(QStringLiteral("Trim 2"), Trim2Combo);
    row(QStringLiteral("Wideband"), WidebandCombo);
    row(QStringLiteral("Commanded"), CommandedCombo);
    row(QStringLiteral("Loop"), LoopCombo);
    row(QStringLiteral("Filter 1"), FilterCombos[0]);
    row(QStringLiteral("Filter 2"), FilterCombos[1]);
    html += QStringLiteral("</table>");
    const int signal = SignalCombo->currentData().toInt();
    if (signal >= 0 && signal < l.columnCount() && l.columns[signal].role == LogRole::MassFlow)
        html +=
            QStringLiteral("The signal is the air mass flow, turned into %1 through the meter.<br>")
                .arg(frequency_ ? QStringLiteral("hertz") : QStringLiteral("volts"));
    if (!rolesError_.isEmpty())
        notes.prepend(escaped(rolesError_) + QStringLiteral(" Pick the columns yourself."));
    if (!notes.isEmpty())
        html += QStringLiteral("<i>") + notes.join(QStringLiteral("<br>")) + QStringLiteral("</i>");
    FoundLabel->setText(html);
}

void TCorrectDialog::OpenBtnClick() {
    const QString path = ui_.openFileName(state_.ProjectDir, kLogFilter, QString());
    if (!path.isEmpty()) openLog(path);
}

void TCorrectDialog::AddBtnClick() {
    const QString path = ui_.openFileName(state_.ProjectDir, kLogFilter, QString());
    if (!path.isEmpty()) addLog(path);
}

void TCorrectDialog::MeterBtnClick() {
    const QString path = ui_.openFileName(state_.ProjectDir, kMeterFilter, QStringLiteral("*.maf"));
    if (path.isEmpty()) return;
    meterPath_ = path;
    showMeter();
    report_.reset();
    showResult();
}

bool TCorrectDialog::readSettings(CorrectionSettings& settings) {
    // By position, with the name that position had: a log of the same columns read again (or
    // another log added) takes the same column even where two have one name.
    // A log added after the first that has no column of the name takes the one of the same role.
    auto ref = [this](const QComboBox* c) {
        const int i = c->currentData().toInt();
        const LogRole role = layout_ && i >= 0 && i < layout_->columnCount()
                                 ? layout_->columns[i].role
                                 : LogRole::None;
        return ColumnRef(c->currentText(), i, role);
    };
    settings.signal = ref(SignalCombo);
    settings.trims = {ref(Trim1Combo)};
    if (Trim2Combo->currentIndex() > 0) settings.trims.append(ref(Trim2Combo));
    for (int k = 0; k < 2; ++k) {
        if (FilterCombos[k]->currentIndex() <= 0) continue;
        LogFilter f;
        f.column = ref(FilterCombos[k]);
        if (FilterPatternEdits[k]->isVisibleTo(this)) {
            f.text = true;
            f.pattern = FilterPatternEdits[k]->text().trimmed();
            settings.filters.append(f);
            continue;
        }
        for (const auto& [edit, value] :
             {std::pair{FilterMinEdits[k], &f.min}, std::pair{FilterMaxEdits[k], &f.max}}) {
            if (!ParseNumber(edit->text(), *value)) {
                ui_.error(NotANumberMessage(edit->text()));
                edit->setFocus();
                return false;
            }
        }
        settings.filters.append(f);
    }
    auto optional = [&](const QComboBox* c) {
        if (c->currentIndex() <= 0) return ColumnRef::None();
        ColumnRef r = ref(c);
        r.optional = true;
        return r;
    };
    settings.wideband = optional(WidebandCombo);
    settings.commanded = optional(CommandedCombo);
    settings.loop = optional(LoopCombo);
    settings.mode = ModeCombo->currentIndex() == 2   ? LoopMode::Open
                    : ModeCombo->currentIndex() == 1 ? LoopMode::Closed
                                                     : LoopMode::Both;
    settings.stoich = StoichSpin->value();
    settings.openLoopLtft = OpenLoopLtftCheck->isChecked();
    settings.lagMs = LagSpin->value();
    settings.maxRate = MaxRateSpin->value();
    settings.minSamples = MinSamplesSpin->value();
    settings.strength = StrengthSpin->value();
    settings.maxChange = MaxChangeSpin->value();
    settings.locked = locked_;
    settings.log = logOptions();
    return true;
}

std::array<uint16_t, kTableEntries> TCorrectDialog::words() const {
    std::array<uint16_t, kTableEntries> w{};
    for (int i = 0; i < kTableEntries; ++i) w[size_t(i)] = state_.image.entry(i);
    return w;
}

void TCorrectDialog::ComputeBtnClick() {
    if (computing() || logPaths_.isEmpty()) return;
    CorrectionInput input;
    if (!readSettings(input.settings)) return;
    if (meterPath_.isEmpty()) {
        // The header names no meter that is on disk: the user says which one the engine
        // computer expects.
        meterPath_ = ui_.openFileName(state_.ProjectDir, kMeterFilter, QStringLiteral("*.maf"));
        showMeter();
        if (meterPath_.isEmpty()) return;
    }
    TMeterRecord meter;
    if (!ReadMatchMeter(meterPath_, meter, ui_)) return;
    QString error;
    if (!MeterCurveOf(meter, meterPath_, frequency_, input.meter, error)) {
        ui_.error(error);
        return;
    }
    input.logPaths = logPaths_;
    input.words = words();
    input.frequency = frequency_;
    input.keepPoints = true;
    meter_ = input.meter;
    report_.reset();
    showResult();
    Progress->setValue(0);
    busy_ = true;
    watcher_.setFuture(QtConcurrent::run([input](QPromise<CorrectionResult>& promise) {
        promise.setProgressRange(0, kProgressSteps);
        const CorrectionResult r = CorrectFromLog(input, [&promise](qint64 done, qint64 total) {
            promise.setProgressValue(total > 0 ? int(done * kProgressSteps / total) : 0);
            return !promise.isCanceled();
        });
        promise.addResult(r);
    }));
    updateButtons();
}

void TCorrectDialog::CancelBtnClick() {
    if (computing()) watcher_.cancel();
}

void TCorrectDialog::computed() {
    busy_ = false;
    const QFuture<CorrectionResult> f = watcher_.future();
    if (!f.isCanceled() && f.resultCount() > 0) {
        const CorrectionResult r = f.result();
        if (r.ok)
            report_ = r.report;
        else if (!r.cancelled)
            ui_.error(r.error);
    }
    showResult();
}

void TCorrectDialog::setLocked(int entry, bool on) {
    if (entry < 0 || entry >= kTableEntries || computing()) return;
    locked_[size_t(entry)] = on;
    propose();
}

void TCorrectDialog::propose() {
    if (report_ && !computing()) {
        ProposalLimits limits;
        limits.minSamples = MinSamplesSpin->value();
        limits.maxChange = MaxChangeSpin->value();
        limits.locked = locked_;
        ProposeWords(meter_, frequency_, limits, *report_);
    }
    showResult();
}

void TCorrectDialog::ApplyBtnClick() {
    if (!report_ || computing() || !applyToProject) return;
    if (applyToProject(report_->proposedWords())) accept();
}

void TCorrectDialog::done(int result) {
    // A read in progress is of no use once the dialog has gone.
    if (computing()) {
        watcher_.cancel();
        watcher_.waitForFinished();
        busy_ = false;
        showResult();
    }
    QDialog::done(result);
}

void TCorrectDialog::showMeter() {
    MeterLabel->setText(QStringLiteral("Meter to Match: ") +
                        (meterPath_.isEmpty() ? QStringLiteral("(asked at Compute)")
                                              : QFileInfo(meterPath_).fileName()));
    MeterLabel->setToolTip(meterPath_);
}

QString TCorrectDialog::outputText(uint16_t word) const {
    return (frequency_ ? FreqWordToText(word) : VoltWordToText(word)).trimmed();
}

QString TCorrectDialog::gridText(int col, int row) const {
    const int i = row - 1;
    if (i < 0 || i >= kTableEntries) return {};
    switch (col) {
        case 0:
            return QString::number(i);
        case 1:
            return InputVoltText(i).trimmed();
        case 2:
            return outputText(state_.image.entry(i));
        default:
            break;
    }
    if (!report_) return {};
    const EntryCorrection& e = report_->entries[size_t(i)];
    switch (col) {
        case 3:
            return FormatMeterNumber("%.1f", e.samplesClosed);
        case 4:
            return FormatMeterNumber("%.1f", e.samplesOpen());
        case 5:
            return e.samples > 0 ? FormatMeterNumber("%+.2f", e.meanTrim()) : QStringLiteral("---");
        case 6:
            return e.samples > 0 ? FormatMeterNumber("%.1f", e.spread) : QStringLiteral("---");
        case 7:
            return e.locked      ? QStringLiteral("locked")
                   : e.corrected ? outputText(e.proposedWord)
                                 : QStringLiteral("kept");
        case 9: {
            QStringList notes;
            if (e.held) notes << QStringLiteral("held rising");
            if (e.limited) notes << QStringLiteral("limited");
            return notes.join(QStringLiteral(", "));
        }
        default:
            return {};
    }
}

void TCorrectDialog::showResult() {
    const auto now = words();
    QList<QPointF> current;
    QList<QPointF> proposed;
    QList<QPointF> change;
    const double scale = frequency_ ? 2.88 : 1 / 204.8;
    double largest = 0;
    for (int i = 0; i < kTableEntries; ++i) {
        const double x = i / double(kInputStepDivisor);
        current.append({x, now[size_t(i)] * scale});
        if (!report_) continue;
        const EntryCorrection& e = report_->entries[size_t(i)];
        proposed.append({x, e.proposedWord * scale});
        if (!e.corrected) continue;
        const double moved = (int(e.proposedWord) - int(e.word)) * scale * (frequency_ ? 1 : 1000);
        change.append({x, moved});
        largest = std::max(largest, std::abs(moved));
    }
    NowSeries->replace(current);
    ProposedSeries->replace(proposed);
    ChangeSeries->replace(change);
    const double span = std::max(10.0, std::ceil(largest * 1.2 / 10) * 10);
    changeAxis_->setRange(-span, span);
    if (report_) {
        const CorrectionReport& r = *report_;
        CountsLabel->setText(
            QStringLiteral("Rows read: %1, used: %2.\nSkipped: %3 not a number, %4 filtered, "
                           "%5 outside the meter, %6 outside the table.\n%7 of 33 entries change.")
                .arg(r.rowsRead)
                .arg(r.rowsUsed)
                .arg(r.notANumber)
                .arg(r.filtered)
                .arg(r.outsideMeter)
                .arg(r.outsideTable)
                .arg(r.changedEntries()) +
            QStringLiteral("\nUsed in closed loop: %1, in open loop: %2.\nSkipped as well: %3 "
                           "wideband out of range, %4 transients, %5 outliers.")
                .arg(r.rowsUsedClosed)
                .arg(r.rowsUsedOpen)
                .arg(r.widebandOutOfRange)
                .arg(r.transient)
                .arg(r.outlier) +
            countNotes(r));
    } else {
        CountsLabel->clear();
    }
    showScatter();
    ResultGrid->refresh();
    updateButtons();
}

void TCorrectDialog::showScatter() {
    QList<QPointF> closed;
    QList<QPointF> open;
    QList<QPointF> outliers;
    QList<QPointF> estimates;
    double low = HUGE_VAL;
    double high = -HUGE_VAL;
    double bottom = -5;
    double top = 5;
    if (report_) {
        for (const ScatterPoint& p : report_->points) {
            (p.outlier ? outliers : p.open ? open : closed).append({p.signal, p.correction});
            low = std::min(low, double(p.signal));
            high = std::max(high, double(p.signal));
            if (!p.outlier) {
                bottom = std::min(bottom, double(p.correction));
                top = std::max(top, double(p.correction));
            }
        }
        for (int i = 0; i < kTableEntries; ++i) {
            const EntryCorrection& e = report_->entries[size_t(i)];
            if (e.samples > 0 && e.samples >= MinSamplesSpin->value() - 1e-9)
                estimates.append({report_->outputs[size_t(i)], e.meanTrim()});
        }
    }
    if (!(high > low)) {
        low = 0;
        high = frequency_ ? 3000 : 5;
    }
    const double pad = (high - low) * 0.03;
    low -= pad;
    high += pad;
    // Whole steps of 5 % (10 % for a wide spread), the outliers beyond them left at the edge.
    const double step = top - bottom > 40 ? 10 : 5;
    bottom = std::max(-50.0, std::floor(bottom / step) * step);
    top = std::min(50.0, std::ceil(top / step) * step);
    ClosedPoints->replace(closed);
    OpenPoints->replace(open);
    OutlierPoints->replace(outliers);
    EstimateSeries->replace(estimates);
    signalAxis_->setRange(low, high);
    signalAxis_->applyNiceNumbers();
    low = signalAxis_->min();
    high = signalAxis_->max();
    correctionAxis_->setRange(bottom, top);
    correctionAxis_->setTickCount(int(std::lround((top - bottom) / step)) + 1);
    for (const QString& c : EntryAxis->categoriesLabels()) EntryAxis->remove(c);
    EntryAxis->setStartValue(low);
    double last = low;
    if (report_)
        for (int i = 0; i < kTableEntries; ++i) {
            const double x = report_->outputs[size_t(i)];
            if (x <= last || x >= high) continue;
            EntryAxis->append(QString::number(i), x);
            last = x;
        }
    EntryAxis->setRange(low, high);
}

void TCorrectDialog::updateButtons() {
    const bool busy = computing();
    Progress->setVisible(busy);
    CancelBtn->setVisible(busy);
    ComputeBtn->setEnabled(!busy && !logPaths_.isEmpty() && SignalCombo->count() > 0);
    ApplyBtn->setEnabled(!busy && report_ && report_->changedEntries() > 0);
    // What the worker was given must stay what the dialog shows.
    for (QWidget* w : std::initializer_list<QWidget*>{OpenBtn,
                                                      AddBtn,
                                                      MeterBtn,
                                                      DecimalCombo,
                                                      SignalCombo,
                                                      Trim1Combo,
                                                      Trim2Combo,
                                                      WidebandCombo,
                                                      CommandedCombo,
                                                      LoopCombo,
                                                      FilterCombos[0],
                                                      FilterCombos[1],
                                                      FilterMinEdits[0],
                                                      FilterMinEdits[1],
                                                      FilterMaxEdits[0],
                                                      FilterMaxEdits[1],
                                                      FilterPatternEdits[0],
                                                      FilterPatternEdits[1],
                                                      ModeCombo,
                                                      StoichSpin,
                                                      LagSpin,
                                                      MaxRateSpin,
                                                      OpenLoopLtftCheck,
                                                      MinSamplesSpin,
                                                      StrengthSpin,
                                                      MaxChangeSpin,
                                                      ResultGrid})
        w->setEnabled(!busy);
}

}  // namespace varnel
