#include "app/kex_main.h"
#include "app/table_value_dialog.h"
#include "app/undo_history.h"
#include "base/ui_services.h"
#include "base/widgets.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>

namespace varnel {

namespace {

const QString kCsvFilter = QStringLiteral("*.csv");

// + and - on the table grid step the selected entries by one word, or ten with Shift. They
// reach the grid only while no cell is being edited: an open editor takes its own keys.
class StepKeyFilter : public QObject {
  public:
    explicit StepKeyFilter(TMainForm& form) : QObject(form.TableGrid), f_(form) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        int sign = 0;
        switch (key->key()) {
            // '=' is the unshifted '+' key on many keyboards.
            case Qt::Key_Plus:
            case Qt::Key_Equal:
                sign = +1;
                break;
            case Qt::Key_Minus:
            case Qt::Key_Underscore:
                sign = -1;
                break;
            default:
                return QObject::eventFilter(watched, event);
        }
        int first = 0;
        int last = 0;
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier) ||
            !f_.selectedEntries(first, last))
            return QObject::eventFilter(watched, event);
        f_.TableStepKeys(sign * (key->modifiers() & Qt::ShiftModifier ? 10 : 1));
        return true;
    }

  private:
    TMainForm& f_;
};

QString escapedMnemonics(QString text) {
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace

UndoHistory& TMainForm::history() {
    if (!history_) {
        history_ = std::make_unique<UndoHistory>(state_, document());
        // The group label mirrors the header's group once a project is open (Edit > Project).
        history_->restored = [this] {
            if (state_.ProjectState != DocState::None)
                GroupLabel->setText(GroupName(state_.header.Group()));
        };
    }
    return *history_;
}

TTableValueDialog* TMainForm::tableValueDialog() {
    if (!tableValueDialog_) tableValueDialog_ = new TTableValueDialog(this);
    return tableValueDialog_;
}

void TMainForm::wireTableTools() {
    QUndoStack& stack = history().stack();
    EditUndo->setEnabled(false);
    EditRedo->setEnabled(false);
    // A value being typed is a step of its own before the history moves.
    connect(EditUndo, &QAction::triggered, this, [this, &stack] {
        if (chartDragging()) return;
        FinishEdits();
        stack.undo();
    });
    connect(EditRedo, &QAction::triggered, this, [this, &stack] {
        if (chartDragging()) return;
        FinishEdits();
        stack.redo();
    });
    connect(&stack, &QUndoStack::canUndoChanged, this, &TMainForm::updateUndoActions);
    connect(&stack, &QUndoStack::canRedoChanged, this, &TMainForm::updateUndoActions);
    connect(&stack, &QUndoStack::undoTextChanged, this, [this](const QString& caption) {
        EditUndo->setText(
            QStringLiteral("Undo") +
            (caption.isEmpty() ? QString() : QLatin1Char(' ') + escapedMnemonics(caption)));
    });
    connect(&stack, &QUndoStack::redoTextChanged, this, [this](const QString& caption) {
        EditRedo->setText(
            QStringLiteral("Redo") +
            (caption.isEmpty() ? QString() : QLatin1Char(' ') + escapedMnemonics(caption)));
    });

    connect(EditCopy, &QAction::triggered, this, &TMainForm::EditCopyClick);
    connect(EditPaste, &QAction::triggered, this, &TMainForm::EditPasteClick);
    connect(FileExportTable, &QAction::triggered, this, &TMainForm::FileExportTableClick);
    connect(FileImportTable, &QAction::triggered, this, &TMainForm::FileImportTableClick);
    const std::pair<QAction*, RangeKind> ops[] = {{TableSet, RangeKind::Set},
                                                  {TableAdd, RangeKind::Add},
                                                  {TableScale, RangeKind::Scale},
                                                  {TableInterpolate, RangeKind::Interpolate},
                                                  {TableSmooth, RangeKind::Smooth}};
    for (const auto& [action, kind] : ops)
        connect(action, &QAction::triggered, this,
                [this, kind = kind] { TableOperationClick(kind); });

    TableGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    TableGrid->installEventFilter(new StepKeyFilter(*this));
    TableGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* separator = new QAction(TableGrid);
    separator->setSeparator(true);
    TableGrid->addActions({EditCopy, EditPaste, separator, TableSet, TableAdd, TableScale,
                           TableInterpolate, TableSmooth});
    connect(TableGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TMainForm::updateTableActions);
    updateTableActions();
}

void TMainForm::updateUndoActions() {
    const bool held = chartDragging();
    EditUndo->setEnabled(!held && history().stack().canUndo());
    EditRedo->setEnabled(!held && history().stack().canRedo());
}

void TMainForm::updateTableActions() {
    const bool open = state_.ProjectState != DocState::None;
    int first = 0;
    int last = 0;
    const bool selected = open && selectedEntries(first, last);
    for (QAction* a : {EditCopy, EditPaste, TableSet, TableAdd, TableScale})
        a->setEnabled(selected);
    for (QAction* a : {TableInterpolate, TableSmooth})
        a->setEnabled(selected && RangeProblem(RangeKind::Smooth, first, last).isEmpty());
    FileExportTable->setEnabled(open);
    FileImportTable->setEnabled(open);
}

bool TMainForm::selectedEntries(int& first, int& last) const {
    const QModelIndexList selected = TableGrid->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return false;
    first = kTableEntries - 1;
    last = 0;
    // The grid's model rows are the entries (its title row is the header).
    for (const QModelIndex& i : selected) {
        first = std::min(first, i.row());
        last = std::max(last, i.row());
    }
    return true;
}

void TMainForm::selectEntries(int first, int last) {
    QAbstractItemModel* m = TableGrid->model();
    TableGrid->selectionModel()->select(QItemSelection(m->index(first, 0), m->index(last, 0)),
                                        QItemSelectionModel::ClearAndSelect);
    TableGrid->selectionModel()->setCurrentIndex(m->index(first, 0), QItemSelectionModel::NoUpdate);
}

bool TMainForm::TableOperationClick(RangeKind kind) {
    RangeOp op;
    op.kind = kind;
    if (!selectedEntries(op.first, op.last)) return false;
    const bool frequency = OutputRGrp->itemIndex() == 1;
    const QString unit = frequency ? QStringLiteral("Hz") : QStringLiteral("V");
    const QString entries = EntriesText(op.first, op.last);
    if (kind == RangeKind::Set || kind == RangeKind::Add || kind == RangeKind::Scale) {
        TTableValueDialog* d = tableValueDialog();
        if (kind == RangeKind::Set)
            d->prepare(QStringLiteral("Set Value"),
                       QStringLiteral("Value for %1 (%2):").arg(entries, unit));
        else if (kind == RangeKind::Add)
            d->prepare(QStringLiteral("Add"), QStringLiteral("Add to %1 (%2):").arg(entries, unit));
        else
            d->prepare(QStringLiteral("Scale"), QStringLiteral("Scale %1 by (%):").arg(entries));
        if (ui_.runModal(*d) != QDialog::Accepted) return false;
        const QString value = d->value();
        if (value.isEmpty() || !ParseNumber(value, op.number)) return false;
        op.text = value;
    }
    history().record(RangeOpCaption(op, frequency), [&] { document().RangeOperation(op); });
    return true;
}

void TMainForm::TableStepKeys(int words) {
    RangeOp op;
    op.kind = RangeKind::AddWords;
    op.number = words;
    if (!selectedEntries(op.first, op.last)) return;
    history().record(RangeOpCaption(op, OutputRGrp->itemIndex() == 1),
                     [&] { document().RangeOperation(op); });
}

void TMainForm::EditCopyClick() {
    int first = 0;
    int last = 0;
    if (!selectedEntries(first, last)) return;
    QGuiApplication::clipboard()->setText(
        TableCopyText(state_.image, first, last, OutputRGrp->itemIndex() == 1));
}

void TMainForm::EditPasteClick() {
    int first = 0;
    int last = 0;
    if (!selectedEntries(first, last)) return;
    const ProjectSnapshot before = history().snapshot();
    const int count = document().PasteTable(first, QGuiApplication::clipboard()->text());
    if (count == 0) return;
    history().push(QStringLiteral("Paste %1 %2 into %3")
                       .arg(count)
                       .arg(count == 1 ? QStringLiteral("value") : QStringLiteral("values"),
                            EntriesText(first, first + count - 1)),
                   before);
}

void TMainForm::FileExportTableClick() {
    const QString path = ui_.saveFileName(state_.ProjectDir, kCsvFilter, kCsvFilter);
    if (!path.isEmpty()) document().ExportTable(path);
}

void TMainForm::FileImportTableClick() {
    const QString path = ui_.openFileName(state_.ProjectDir, kCsvFilter, kCsvFilter);
    if (path.isEmpty()) return;
    history().record(QStringLiteral("Import table ") + QFileInfo(path).fileName(),
                     [&] { document().ImportTable(path); });
}

}  // namespace varnel
