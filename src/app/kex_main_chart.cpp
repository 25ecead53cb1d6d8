#include "app/kex_main.h"
#include "app/undo_history.h"
#include "base/widgets.h"
#include "image/table_view.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineSeries>
#include <QMouseEvent>
#include <QToolTip>

#include <cmath>

namespace varnel {

namespace {

// How near the pointer must come to a point for the point to count as under it.
constexpr double kReach = 10.0;

}  // namespace

// The chart's mouse: tooltips for every curve, and the drag of a point of the table curve. The
// drag is one step of the history from press to release; Esc puts the entry back. It watches the
// whole application while a drag runs, because the chart takes no focus and Esc goes wherever
// the focus is.
class TMainForm::ChartEditor : public QObject {
  public:
    explicit ChartEditor(TMainForm& form) : QObject(&form), f_(form) {}

    bool dragging() const { return entry_ >= 0; }

    // Lets go of a held point as the button's release does.
    void letGo() {
        if (dragging()) finish();
    }

    // The point of a curve nearest pos within reach, on a tie the table's curve before the
    // adjusted curve and the reference; with tableOnly, of the table's curve alone.
    bool pointAt(const QPoint& pos, QLineSeries*& series, int& entry,
                 bool tableOnly = false) const {
        double best = kReach;
        series = nullptr;
        for (QLineSeries* s : {f_.Series1, f_.Series2, f_.ReferenceSeries}) {
            if (!s->isVisible() || (tableOnly && s != f_.Series1)) continue;
            const int n = std::min<int>(int(s->count()), kChartPoints);
            for (int i = 0; i < n; ++i) {
                const QPointF at =
                    f_.Chart1->mapFromScene(f_.Chart1->chart()->mapToPosition(s->at(i), s));
                const double d = std::hypot(at.x() - pos.x(), at.y() - pos.y());
                if (d <= best && !(series && d == best)) {
                    best = d;
                    series = s;
                    entry = i;
                }
            }
        }
        return series != nullptr;
    }

    QString tipAt(const QPoint& pos) const {
        QLineSeries* s = nullptr;
        int entry = 0;
        if (f_.state().ProjectState == DocState::None || !pointAt(pos, s, entry)) return {};
        const bool frequency = f_.OutputRGrp->itemIndex() == 1;
        if (s == f_.Series1) return ChartPointTip(entry, f_.state().image.entry(entry), frequency);
        // Those curves were drawn from words: the point's word is the one the grid would show.
        const uint16_t word = ChartValueWord(s->at(entry).y(), frequency);
        return ChartPointTip(
            entry, word, frequency,
            s == f_.Series2 ? QStringLiteral("adjusted") : QStringLiteral("reference"));
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (dragging() && event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            cancel();
            return true;
        }
        if (watched != f_.Chart1->viewport()) return false;
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                auto* m = static_cast<QMouseEvent*>(event);
                return m->button() == Qt::LeftButton && begin(m->position().toPoint());
            }
            case QEvent::MouseMove: {
                auto* m = static_cast<QMouseEvent*>(event);
                if (dragging()) {
                    moveTo(m->position().toPoint(), m->globalPosition().toPoint());
                    return true;
                }
                QLineSeries* s = nullptr;
                int entry = 0;
                if (editable() && pointAt(m->position().toPoint(), s, entry, true))
                    f_.Chart1->viewport()->setCursor(Qt::SizeVerCursor);
                else
                    f_.Chart1->viewport()->unsetCursor();
                return false;
            }
            case QEvent::MouseButtonRelease:
                if (!dragging() || static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton)
                    return false;
                finish();
                return true;
            case QEvent::ToolTip: {
                if (dragging()) return true;
                auto* h = static_cast<QHelpEvent*>(event);
                const QString tip = tipAt(h->pos());
                if (tip.isEmpty())
                    QToolTip::hideText();
                else
                    QToolTip::showText(h->globalPos(), tip, f_.Chart1->viewport());
                return true;
            }
            default:
                return false;
        }
    }

  private:
    bool editable() const {
        return f_.state().ProjectState != DocState::None && f_.Chart1->isEnabled() &&
               !f_.history().busy();
    }

    bool begin(const QPoint& pos) {
        QLineSeries* s = nullptr;
        int entry = 0;
        if (!editable() || !pointAt(pos, s, entry, true)) return false;
        before_ = f_.history().snapshot();
        entry_ = entry;
        qApp->installEventFilter(this);
        // An undo now would be overtaken by the drag's own step, which starts from before it.
        f_.updateUndoActions();
        return true;
    }

    void moveTo(const QPoint& pos, const QPoint& globalPos) {
        QChart* chart = f_.Chart1->chart();
        const bool frequency = f_.OutputRGrp->itemIndex() == 1;
        const double value = chart->mapToValue(f_.Chart1->mapToScene(pos), f_.Series1).y();
        f_.document().SetEntryWord(entry_, ChartValueWord(value, frequency));
        QToolTip::showText(globalPos,
                           ChartPointTip(entry_, f_.state().image.entry(entry_), frequency),
                           f_.Chart1->viewport());
    }

    void finish() {
        const int entry = end();
        f_.history().push(QStringLiteral("Drag entry %1").arg(entry), before_);
    }

    void cancel() {
        end();
        // Back to the bytes, the Modified flag and the controls of the moment the drag began,
        // also after a drag back to the word it started from.
        const ProjectSnapshot now = f_.history().snapshot();
        if (!now.sameContents(before_) || now.modified != before_.modified)
            f_.history().restore(before_);
        QToolTip::hideText();
    }

    int end() {
        qApp->removeEventFilter(this);
        const int entry = std::exchange(entry_, -1);
        f_.updateUndoActions();
        return entry;
    }

    TMainForm& f_;
    int entry_ = -1;
    ProjectSnapshot before_;
};

void TMainForm::unwireChart() {
    delete chartEditor_;
    chartEditor_ = nullptr;
}

void TMainForm::wireChart() {
    chartEditor_ = new ChartEditor(*this);
    Chart1->viewport()->setMouseTracking(true);
    Chart1->viewport()->installEventFilter(chartEditor_);
    // Files dropped on the chart go to the window (QGraphicsView takes drops by default).
    Chart1->setAcceptDrops(false);
    Chart1->viewport()->setAcceptDrops(false);
}

QString TMainForm::ChartTipAt(const QPoint& pos) const {
    return chartEditor_ ? chartEditor_->tipAt(pos) : QString();
}

bool TMainForm::chartDragging() const {
    return chartEditor_ && chartEditor_->dragging();
}

void TMainForm::FinishEdits() {
    TableGrid->commitOpenEditor();
    EEPROMGrid->commitOpenEditor();
    if (chartEditor_) chartEditor_->letGo();
}

}  // namespace varnel
