#include "kex_matd.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "base/widgets.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QValueAxis>

#include <cmath>

namespace varnel {

namespace {

constexpr int kGridRows = kMatchCellCount + 1;
const QString kErrorTitle = QStringLiteral("Predicted flow error (%)");

QString legendText(const QString& method, const std::optional<PredictedError>& e) {
    if (!e || !e->worst) return method;
    return QStringLiteral("%1: worst %2, mean %3")
        .arg(method, ErrorPercentText(e->worst, true), ErrorPercentText(e->mean, false));
}

// The comparable entries of one method as chart points; the largest magnitude goes to limit.
void fillSeries(QLineSeries* series, const std::optional<PredictedError>& e, bool useIsFrequency,
                double& limit) {
    series->clear();
    if (!e) return;
    for (int i = 0; i < kTableEntries; ++i) {
        const std::optional<double>& v = e->entries[size_t(i)];
        if (!v) continue;
        series->append(EntryInput(i, useIsFrequency), *v);
        limit = std::max(limit, std::abs(*v));
    }
}

}  // namespace

TMatchDialog::TMatchDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent), state_(state), ui_(ui), session_(state, ui) {
    setObjectName(QStringLiteral("MatchDialog"));
    setWindowTitle(QStringLiteral("Meter Match Dialog"));
    // The layout was drawn for an 8-point (11-pixel) dialog font, like the main window's.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setFixedSize(708, 336);

    auto label = [this](const char* name, const QString& text, QRect geometry) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    auto combo = [this](const char* name, QRect geometry) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(false);
        c->setGeometry(geometry);
        return c;
    };
    auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        // Enter must not copy into the project behind the user's back.
        b->setAutoDefault(false);
        return b;
    };

    Label1 = label("Label1", QStringLiteral("Meter to Use:"), QRect(8, 8, 160, 16));
    MeterUseCombo = combo("MeterUseCombo", QRect(8, 24, 160, 22));
    Label2 = label("Label2", QStringLiteral("Meter to Match:"), QRect(8, 56, 160, 16));
    MeterMatchCombo = combo("MeterMatchCombo", QRect(8, 72, 160, 22));
    FlowUnits = label("FlowUnits", QStringLiteral("Units"), QRect(8, 108, 160, 16));
    MatchBtn = button("MatchBtn", QStringLiteral("Match"), QRect(8, 136, 75, 25));
    CopyE2PBtn = button("CopyE2PBtn", QStringLiteral("Copy E2P"), QRect(8, 168, 75, 25));
    CloseBtn = button("CloseBtn", QStringLiteral("Close"), QRect(8, 200, 75, 25));
    MethodRGrp = new RadioGroup(QStringLiteral("Method"),
                                {QStringLiteral("Classic"), QStringLiteral("Precise")}, this);
    MethodRGrp->setObjectName(QStringLiteral("MethodRGrp"));
    MethodRGrp->setGeometry(8, 236, 160, 60);
    MethodRGrp->setItemIndex(0);

    auto* chart = new QChart;
    chart->setTitle(kErrorTitle);
    // The legend's two long lines go one above the other below the plot, where a legend
    // attached to the chart would squeeze them side by side and cut them.
    chart->setMargins(QMargins(2, 2, 2, 48));
    chart->legend()->detachFromChart();
    chart->legend()->setAlignment(Qt::AlignTop);
    QFont chartFont = chart->titleFont();
    chartFont.setPixelSize(11);
    chart->setTitleFont(chartFont);
    chart->legend()->setFont(chartFont);
    ClassicSeries = new QLineSeries;
    ClassicSeries->setObjectName(QStringLiteral("ClassicSeries"));
    ClassicSeries->setColor(QColor(0xC0, 0x30, 0x30));
    PreciseSeries = new QLineSeries;
    PreciseSeries->setObjectName(QStringLiteral("PreciseSeries"));
    PreciseSeries->setColor(QColor(0x20, 0x60, 0xC0));
    InputAxis = new QValueAxis;
    InputAxis->setLabelFormat(QStringLiteral("%.1f"));
    ErrorAxis = new QValueAxis;
    ErrorAxis->setLabelFormat(QStringLiteral("%+.1f"));
    for (QValueAxis* axis : {InputAxis, ErrorAxis}) {
        axis->setLabelsFont(chartFont);
        axis->setTitleFont(chartFont);
    }
    chart->addAxis(InputAxis, Qt::AlignBottom);
    chart->addAxis(ErrorAxis, Qt::AlignLeft);
    for (QLineSeries* series : {ClassicSeries, PreciseSeries}) {
        series->setPointsVisible(true);
        chart->addSeries(series);
        series->attachAxis(InputAxis);
        series->attachAxis(ErrorAxis);
    }
    ErrorChart = new QChartView(chart, this);
    ErrorChart->setObjectName(QStringLiteral("ErrorChart"));
    ErrorChart->setRenderHint(QPainter::Antialiasing);
    ErrorChart->setGeometry(372, 8, 328, 320);

    MatchGrid = new StringGrid(3, kGridRows, 0, 1, this);
    MatchGrid->setObjectName(QStringLiteral("MatchGrid"));
    QFont gridFont = MatchGrid->font();
    gridFont.setPixelSize(11);
    MatchGrid->setFont(gridFont);
    MatchGrid->setDefaultColWidth(47);
    MatchGrid->setDefaultRowHeight(16);
    MatchGrid->setTextElideMode(Qt::ElideNone);
    MatchGrid->setGeometry(180, 8, 184, 320);
    // Typed text stays in the grid's own store; what is drawn is always the cells'.
    MatchGrid->drawCell = [this](int col, int row) { return MatchGridDrawCell(col, row); };
    showHeaders();

    connect(MeterUseCombo, &QComboBox::currentIndexChanged, this, &TMatchDialog::MeterComboChange);
    connect(MeterMatchCombo, &QComboBox::currentIndexChanged, this,
            &TMatchDialog::MeterComboChange);
    connect(MatchBtn, &QPushButton::clicked, this, &TMatchDialog::MatchBtnClick);
    connect(CopyE2PBtn, &QPushButton::clicked, this, &TMatchDialog::CopyE2PBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    CopyE2PBtn->setEnabled(false);
    MeterComboChange();

    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMatchDialog::FillMeterLists() {
    MeterUseCombo->clear();
    MeterMatchCombo->clear();
    const QStringList names = ListMeterFiles(state_.ProjectDir);
    if (names.isEmpty())
        ui_.error(QStringLiteral("No files found: ") + MeterFilePattern(state_.ProjectDir));
    MeterUseCombo->addItems(names);
    MeterMatchCombo->addItems(names);
    // Adding items selects the first; the meters of the last copy win when they are listed.
    const int use = MeterUseCombo->findText(state_.header.VInMeterName(),
                                            Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (use >= 0) MeterUseCombo->setCurrentIndex(use);
    const int match = MeterMatchCombo->findText(state_.header.VOutMeterName(),
                                                Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (match >= 0) MeterMatchCombo->setCurrentIndex(match);
}

void TMatchDialog::showEvent(QShowEvent* event) {
    // Only a show by the program activates; a message box closing over the dialog must not
    // empty the grid of the match the user is looking at.
    if (!event->spontaneous()) FormActivate();
    QDialog::showEvent(event);
}

void TMatchDialog::FormActivate() {
    session_.Reset();
    showHeaders();
    MatchGrid->refresh();
    DrawErrorChart();
    CopyE2PBtn->setEnabled(false);
    MeterComboChange();
}

void TMatchDialog::MeterComboChange() {
    MatchBtn->setEnabled(MeterUseCombo->currentIndex() >= 0 &&
                         MeterMatchCombo->currentIndex() >= 0);
}

void TMatchDialog::MatchBtnClick() {
    const QString useName = MeterUseCombo->currentText();
    const QString matchName = MeterMatchCombo->currentText();
    const bool matched = session_.MatchFiles(state_.header.Group(), useName, matchName);
    FlowUnits->setText(session_.FlowUnits);
    showHeaders();
    if (matched)
        CopyE2PBtn->setEnabled(true);
    else if (!session_.Completed)
        CopyE2PBtn->setEnabled(false);
    MatchGrid->refresh();
    DrawErrorChart();
    if (matched && method() == MatchMethod::Precise && !session_.CompletedPrecise)
        ui_.error(session_.PreciseRefusal);
}

void TMatchDialog::CopyE2PBtnClick() {
    const MatchCopySource* source = session_.CopySource(method());
    if (!source && session_.Completed) ui_.error(session_.PreciseRefusal);
    if (source && copyToProject) copyToProject(*source);
}

MatchMethod TMatchDialog::method() const {
    return MethodRGrp->itemIndex() == 1 ? MatchMethod::Precise : MatchMethod::Classic;
}

void TMatchDialog::DrawErrorChart() {
    double limit = 1;
    const bool frequencyIn = session_.UseIsFrequency;
    fillSeries(ClassicSeries, session_.ClassicError, frequencyIn, limit);
    fillSeries(PreciseSeries, session_.PreciseError, frequencyIn, limit);
    ClassicSeries->setName(legendText(QStringLiteral("Classic"), session_.ClassicError));
    PreciseSeries->setName(legendText(QStringLiteral("Precise"), session_.PreciseError));
    // A detached legend is laid out only when its geometry is set.
    ErrorChart->chart()->legend()->setGeometry(QRectF(8, 268, 312, 48));
    ErrorChart->chart()->legend()->update();
    ErrorChart->chart()->setTitle(session_.PreciseRefusal.isEmpty() ? kErrorTitle
                                                                    : session_.PreciseRefusal);
    InputAxis->setTitleText(frequencyIn ? QStringLiteral("F In (Hz)") : QStringLiteral("V In"));
    InputAxis->setRange(0, EntryInput(kTableEntries - 1, frequencyIn));
    ErrorAxis->setRange(-limit * 1.1, limit * 1.1);
    ErrorAxis->applyNiceNumbers();
}

QString TMatchDialog::MatchGridDrawCell(int col, int row) const {
    return session_.CellText(col, row);
}

void TMatchDialog::showHeaders() {
    for (int c = 0; c < 3; ++c) MatchGrid->setCell(c, 0, session_.Headers[size_t(c)]);
}

}  // namespace varnel
