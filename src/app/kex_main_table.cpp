#include "app/kex_main.h"
#include "app/undo_history.h"
#include "base/widgets.h"
#include "image/table_view.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>

namespace varnel {

namespace {

// Drops the characters the limit box does not take before the box sees them. Keys without a
// printable character (arrows, shortcuts such as copy and paste) pass.
class LimitKeyFilter : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            for (const QChar c : text)
                if (c.isPrint() && !TMainForm::LimitEditKeyPress(c)) return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void TMainForm::wireTableHandlers() {
    TableGrid->drawCell = [this](int col, int row) { return TableGridDrawCell(col, row); };
    TableGrid->setEditText = [this](int col, int row, const QString& text) {
        TableGridSetEditText(col, row, text);
    };
    connect(OutputRGrp, &RadioGroup::changed, this, &TMainForm::OutputRGrpClick);

    for (int k = 0; k < 4; ++k) {
        connect(PotSpins[k], &SpinButton::upClick, this, [this, k] { SetPot(k + 1, +1); });
        connect(PotSpins[k], &SpinButton::downClick, this, [this, k] { SetPot(k + 1, -1); });
    }
    LimitEdit->installEventFilter(new LimitKeyFilter(LimitEdit));
    connect(LimitEdit, &QLineEdit::textChanged, this, &TMainForm::LimitEditChange);
    connect(InvertCBox, &QCheckBox::toggled, this, &TMainForm::InvertCBoxClick);

    // " 4D " is about as wide as the narrow cells: clip its trailing blank rather than elide
    // the digits.
    EEPROMGrid->setTextElideMode(Qt::ElideNone);
    EEPROMGrid->drawCell = [this](int col, int row) { return EEPROMGridDrawCell(col, row); };
    EEPROMGrid->getEditText = [this](int col, int row) { return EEPROMGridGetEditText(col, row); };
    EEPROMGrid->setEditText = [this](int col, int row, const QString& text) {
        EEPROMGridSetEditText(col, row, text);
    };
}

QString TMainForm::TableGridDrawCell(int col, int row) const {
    if (col < 1 || row < 1 || row > kTableEntries) return {};
    const bool frequency = OutputRGrp->itemIndex() == 1;
    if (col == 2)
        return reference_ ? DiffText(state_.image, reference_->image, row - 1, frequency)
                          : QString();
    return EntryText(state_.image, row - 1, frequency);
}

void TMainForm::TableGridSetEditText(int, int row, const QString& text) {
    QString refused;
    history().record(QStringLiteral("Edit entry %1").arg(row - 1),
                     [&] { refused = document().TableEdit(row, text); });
    // Said where the eye goes next, without a box to dismiss; the next value typed replaces it.
    if (!text.isEmpty()) StatusLine->setText(refused);
}

void TMainForm::OutputRGrpClick(int index) {
    history().record(
        index == 1 ? QStringLiteral("Output Frequency") : QStringLiteral("Output Voltage"),
        [&] { document().OutputKindChange(index); });
}

void TMainForm::DrawTableChart() {
    const bool frequency = OutputRGrp->itemIndex() == 1;
    Series1->replace(TableChartPoints(state_.image, frequency));
    LeftAxis->setTitleText(OutputTitle(frequency));
    drawReference();
    rescaleTableChart();
}

void TMainForm::UpdateChartPoint(int entry, const QString& text) {
    float y = 0;
    if (!ChartPointValue(entry, text, y) || entry >= Series1->count()) return;
    Series1->replace(entry, QPointF(Series1->at(entry).x(), y));
    rescaleTableChart();
}

void TMainForm::rescaleTableChart() {
    // The output axis spans the kind's whole range, widened for points beyond it (an erased
    // image plots at 320 V), so the curve is always in view.
    const bool frequency = OutputRGrp->itemIndex() == 1;
    const double nominal = frequency ? 3000.0 : 5.0;
    double lo = 0;
    double hi = nominal;
    for (const QLineSeries* s : {Series1, Series2, ReferenceSeries})
        for (const QPointF& p : s->points()) {
            lo = std::min(lo, p.y());
            hi = std::max(hi, p.y());
        }
    LeftAxis->setRange(lo, hi);
    if (lo < 0 || hi > nominal)
        LeftAxis->applyNiceNumbers();
    else
        LeftAxis->setTickCount(frequency ? 7 : 6);
}

void TMainForm::RepaintTableGrid() {
    TableGrid->setCell(1, 0, OutputTitle(OutputRGrp->itemIndex() == 1));
    TableGrid->refresh();
}

void TMainForm::SetPot(int pot, int step) {
    history().record(QStringLiteral("Pot %1 %2")
                         .arg(pot)
                         .arg(step < 0 ? QStringLiteral("down") : QStringLiteral("up")),
                     [&] { document().SetPot(pot, step); });
}

bool TMainForm::LimitEditKeyPress(QChar key) {
    return LimitKeyAccepted(key);
}

void TMainForm::LimitEditChange(const QString& text) {
    // Every key typed stores its text; the keys typed one after another are one step.
    constexpr int kLimitTyping = 1;
    history().record(
        QStringLiteral("Limit ") + text, [&] { document().LimitChange(text); }, kLimitTyping);
}

void TMainForm::InvertCBoxClick(bool) {
    const bool on = InvertCBox->isChecked();
    history().record(on ? QStringLiteral("Invert on") : QStringLiteral("Invert off"),
                     [&] { document().InvertChange(on); });
}

QString TMainForm::EEPROMGridDrawCell(int col, int row) const {
    if (col < 1 || row < 1 || col > 16 || row > 16) return {};
    return HexByteText(state_.image.byte(HexCellIndex(col, row)));
}

QString TMainForm::EEPROMGridGetEditText(int col, int row) const {
    return EEPROMGridDrawCell(col, row);
}

void TMainForm::EEPROMGridSetEditText(int col, int row, const QString& text) {
    const QString byte = QStringLiteral("%1").arg(HexCellIndex(col, row), 2, 16, QLatin1Char('0'));
    history().record(QStringLiteral("Edit byte ") + byte.toUpper(),
                     [&] { document().HexEdit(col, row, text); });
}

}  // namespace varnel
