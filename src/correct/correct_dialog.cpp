#include "correct_dialog.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "correct/datalog.h"
#include "image/table_ops.h"
#include "match/match_session.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QProgressBar>
#include <QPromise>
#include <QPushButton>
#include <QScreen>
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

// The first column whose name holds one of the words, from index from on; -1 when none does.
int columnLike(const QStringList& columns, std::initializer_list<const char*> words, int from = 0) {
    for (int i = from; i < columns.size(); ++i)
        for (const char* w : words)
            if (columns[i].contains(QLatin1String(w), Qt::CaseInsensitive)) return i;
    return -1;
}

}  // namespace

TCorrectDialog::TCorrectDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent), state_(state), ui_(ui) {
    setObjectName(QStringLiteral("CorrectDialog"));
    setWindowTitle(QStringLiteral("Correct from Log"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setFixedSize(780, 560);

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

    label(QStringLiteral("Log:"), QRect(8, 8, 200, 16));
    LogEdit = edit("LogEdit", QString(), QRect(8, 24, 226, 22));
    LogEdit->setReadOnly(true);
    OpenBtn = button("OpenBtn", QStringLiteral("Open ..."), QRect(240, 24, 64, 22));
    MeterLabel = label(QString(), QRect(8, 54, 226, 16), "MeterLabel");
    MeterBtn = button("MeterBtn", QStringLiteral("Meter ..."), QRect(240, 50, 64, 22));

    label(QStringLiteral("Signal:"), QRect(8, 86, 70, 16));
    SignalCombo = combo("SignalCombo", QRect(84, 82, 220, 22));
    label(QStringLiteral("Trim:"), QRect(8, 112, 70, 16));
    Trim1Combo = combo("Trim1Combo", QRect(84, 108, 220, 22));
    label(QStringLiteral("Second trim:"), QRect(8, 138, 76, 16));
    Trim2Combo = combo("Trim2Combo", QRect(84, 134, 220, 22));
    for (int k = 0; k < 2; ++k) {
        const int y = 166 + 26 * k;
        label(QStringLiteral("Filter %1:").arg(k + 1), QRect(8, y + 4, 70, 16));
        FilterCombos[k] = combo(k == 0 ? "Filter1Combo" : "Filter2Combo", QRect(84, y, 112, 22));
        FilterMinEdits[k] = edit(k == 0 ? "Filter1MinEdit" : "Filter2MinEdit",
                                 QStringLiteral("min"), QRect(200, y, 50, 22));
        FilterMaxEdits[k] = edit(k == 0 ? "Filter1MaxEdit" : "Filter2MaxEdit",
                                 QStringLiteral("max"), QRect(254, y, 50, 22));
    }
    label(QStringLiteral("Min samples:"), QRect(8, 226, 76, 16));
    MinSamplesSpin = new QSpinBox(this);
    MinSamplesSpin->setObjectName(QStringLiteral("MinSamplesSpin"));
    MinSamplesSpin->setRange(1, 1000000);
    MinSamplesSpin->setValue(10);
    MinSamplesSpin->setGeometry(84, 222, 76, 22);
    label(QStringLiteral("Strength:"), QRect(174, 226, 56, 16));
    StrengthSpin = new QSpinBox(this);
    StrengthSpin->setObjectName(QStringLiteral("StrengthSpin"));
    StrengthSpin->setRange(0, 100);
    StrengthSpin->setValue(100);
    StrengthSpin->setSuffix(QStringLiteral(" %"));
    StrengthSpin->setGeometry(234, 222, 70, 22);

    ComputeBtn = button("ComputeBtn", QStringLiteral("Compute"), QRect(8, 256, 75, 25));
    ApplyBtn = button("ApplyBtn", QStringLiteral("Apply"), QRect(89, 256, 75, 25));
    CloseBtn = button("CloseBtn", QStringLiteral("Close"), QRect(229, 256, 75, 25));
    Progress = new QProgressBar(this);
    Progress->setObjectName(QStringLiteral("Progress"));
    Progress->setRange(0, kProgressSteps);
    Progress->setGeometry(8, 292, 215, 22);
    CancelBtn = button("CancelBtn", QStringLiteral("Cancel"), QRect(229, 290, 75, 25));
    CountsLabel = label(QString(), QRect(8, 324, 296, 96), "CountsLabel");
    CountsLabel->setWordWrap(true);
    CountsLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

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
    Chart->setGeometry(312, 8, 460, 250);

    ResultGrid = new StringGrid(6, kTableEntries + 1, 0, 1, this);
    ResultGrid->setObjectName(QStringLiteral("ResultGrid"));
    QFont gridFont = ResultGrid->font();
    gridFont.setPixelSize(11);
    ResultGrid->setFont(gridFont);
    ResultGrid->setDefaultColWidth(72);
    ResultGrid->setDefaultRowHeight(16);
    ResultGrid->setEditable(false);
    ResultGrid->setGeometry(312, 266, 460, 286);
    const QStringList titles = {"Entry", "V in", "Now", "Samples", "Trim %", "Proposed"};
    for (int c = 0; c < titles.size(); ++c) ResultGrid->setCell(c, 0, titles[c]);
    ResultGrid->drawCell = [this](int col, int row) { return gridText(col, row); };

    connect(OpenBtn, &QPushButton::clicked, this, &TCorrectDialog::OpenBtnClick);
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
    for (QComboBox* c : {SignalCombo, Trim1Combo, Trim2Combo, FilterCombos[0], FilterCombos[1]})
        connect(c, &QComboBox::currentIndexChanged, this, stale);
    for (QLineEdit* e :
         {FilterMinEdits[0], FilterMinEdits[1], FilterMaxEdits[0], FilterMaxEdits[1]})
        connect(e, &QLineEdit::textChanged, this, stale);
    for (QSpinBox* s : {MinSamplesSpin, StrengthSpin})
        connect(s, &QSpinBox::valueChanged, this, stale);

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
    const QString folder = GroupName(state_.header.VOutMeterGroup());
    meterPath_ = folder.isEmpty() ? QString()
                                  : FindMeterFile(state_.AppDir + folder + QLatin1Char('/'),
                                                  state_.header.VOutMeterName());
    showMeter();
    report_.reset();
    showResult();
}

bool TCorrectDialog::openLog(const QString& path) {
    DatalogReader log;
    QString error;
    if (!log.open(path, error)) {
        ui_.error(error);
        return false;
    }
    // The choices made for the last log stay where this one has the same columns.
    const QStringList columns = log.columns();
    auto keep = [&](QComboBox* c, int guess, bool optional) {
        const QString was = c->currentText();
        c->clear();
        if (optional) c->addItem(kNone);
        c->addItems(columns);
        const int same = was.isEmpty() || was == kNone ? -1 : c->findText(was);
        c->setCurrentIndex(same >= 0 ? same : guess + (optional ? 1 : 0));
    };
    const int signal = std::max(0, columnLike(columns, {"maf", "volt", "hz"}));
    const int trim1 = columnLike(columns, {"trim", "stft", "ltft"});
    const int trim2 = trim1 < 0 ? -1 : columnLike(columns, {"trim", "stft", "ltft"}, trim1 + 1);
    keep(SignalCombo, signal, false);
    keep(Trim1Combo, std::max(0, trim1), false);
    keep(Trim2Combo, trim2, true);
    for (QComboBox* c : FilterCombos) keep(c, -1, true);
    logPath_ = path;
    LogEdit->setText(QFileInfo(path).fileName());
    LogEdit->setToolTip(path);
    report_.reset();
    showResult();
    return true;
}

void TCorrectDialog::OpenBtnClick() {
    const QString path = ui_.openFileName(state_.ProjectDir, kLogFilter, QString());
    if (!path.isEmpty()) openLog(path);
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
    settings.signal = SignalCombo->currentText();
    settings.trims = {Trim1Combo->currentText()};
    if (Trim2Combo->currentIndex() > 0) settings.trims.append(Trim2Combo->currentText());
    for (int k = 0; k < 2; ++k) {
        if (FilterCombos[k]->currentIndex() <= 0) continue;
        LogFilter f;
        f.column = FilterCombos[k]->currentText();
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
    settings.minSamples = MinSamplesSpin->value();
    settings.strength = StrengthSpin->value();
    return true;
}

std::array<uint16_t, kTableEntries> TCorrectDialog::words() const {
    std::array<uint16_t, kTableEntries> w{};
    for (int i = 0; i < kTableEntries; ++i) w[size_t(i)] = state_.image.entry(i);
    return w;
}

void TCorrectDialog::ComputeBtnClick() {
    if (computing() || logPath_.isEmpty()) return;
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
    input.logPath = logPath_;
    input.words = words();
    input.frequency = frequency_;
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
            return FormatMeterNumber("%.1f", e.samples);
        case 4:
            return e.samples > 0 ? FormatMeterNumber("%+.2f", e.meanTrim()) : QStringLiteral("---");
        case 5:
            return e.corrected ? outputText(e.proposedWord) : QStringLiteral("kept");
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
                .arg(r.changedEntries()));
    } else {
        CountsLabel->clear();
    }
    ResultGrid->refresh();
    updateButtons();
}

void TCorrectDialog::updateButtons() {
    const bool busy = computing();
    Progress->setVisible(busy);
    CancelBtn->setVisible(busy);
    ComputeBtn->setEnabled(!busy && !logPath_.isEmpty() && SignalCombo->count() > 0);
    ApplyBtn->setEnabled(!busy && report_ && report_->changedEntries() > 0);
    // What the worker was given must stay what the dialog shows.
    for (QWidget* w : std::initializer_list<QWidget*>{
             OpenBtn, MeterBtn, SignalCombo, Trim1Combo, Trim2Combo, FilterCombos[0],
             FilterCombos[1], FilterMinEdits[0], FilterMinEdits[1], FilterMaxEdits[0],
             FilterMaxEdits[1], MinSamplesSpin, StrengthSpin})
        w->setEnabled(!busy);
}

}  // namespace varnel
