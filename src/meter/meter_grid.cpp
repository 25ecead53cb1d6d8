#include "meter_grid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>

#include <algorithm>

namespace varnel {

class MeterGridModel : public QAbstractTableModel {
  public:
    explicit MeterGridModel(MeterGrid* grid) : QAbstractTableModel(grid), g_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : g_->rowCount() - 1;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : g_->colCount_;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole) return g_->cell(index.column(), index.row() + 1);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role == Qt::DisplayRole && o == Qt::Horizontal) return g_->cell(section, 0);
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex&) const override {
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    void insertTail(int first, int last) { beginInsertRows({}, first, last); }
    void insertDone() { endInsertRows(); }
    void removeRange(int first, int last) { beginRemoveRows({}, first, last); }
    void removeDone() { endRemoveRows(); }
    void cellChanged(int col, int row) {
        if (row == 0) {
            emit headerDataChanged(Qt::Horizontal, col, col);
        } else {
            const QModelIndex i = index(row - 1, col);
            emit dataChanged(i, i);
        }
    }

  private:
    MeterGrid* g_;
};

MeterGrid::MeterGrid(int colCount, QWidget* parent)
    : QTableView(parent), colCount_(colCount), model_(new MeterGridModel(this)) {
    cells_.resize(2);
    for (auto& r : cells_) r.resize(colCount_);
    setModel(model_);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabKeyNavigation(false);

    // The cell editor is the grid's own line edit laid over the current cell, so it stays open
    // while rows come and go around it.
    editor_ = new QLineEdit(viewport());
    editor_->setObjectName(QStringLiteral("InplaceEdit"));
    editor_->setFrame(false);
    editor_->installEventFilter(this);
    connect(editor_, &QLineEdit::textEdited, this, &MeterGrid::editorTextEdited);
    setFocusProxy(editor_);

    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        // Only a move to another control of this window leaves the grid; a message box or
        // another window taking the focus does not.
        if (exitGrid && inside(old) && now && !inside(now) && now->window() == window()) exitGrid();
    });
    setCurrentCell(0, 1);
}

bool MeterGrid::inside(const QWidget* w) const {
    return w && (w == this || isAncestorOf(w));
}

void MeterGrid::setRowCount(int rows) {
    rows = std::max(rows, 2);
    const int now = rowCount();
    if (rows > now) {
        model_->insertTail(now - 1, rows - 2);
        cells_.resize(rows);
        for (int r = now; r < rows; ++r) cells_[r].resize(colCount_);
        model_->insertDone();
    } else if (rows < now) {
        model_->removeRange(rows - 1, now - 2);
        cells_.resize(rows);
        model_->removeDone();
    }
    if (row_ > rows - 1) row_ = rows - 1;
    setCurrentCell(col_, row_);
}

void MeterGrid::deleteRow(int row) {
    if (row < 1 || row >= rowCount() || rowCount() <= 2) return;
    model_->removeRange(row - 1, row - 1);
    cells_.remove(row);
    model_->removeDone();
    // The current cell keeps its place: it now shows the row that moved up into it.
    setCurrentCell(col_, std::min(row_, rowCount() - 1));
}

QString MeterGrid::cell(int col, int row) const {
    if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount()) return {};
    return cells_[row][col];
}

void MeterGrid::setCell(int col, int row, const QString& text) {
    if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount()) return;
    cells_[row][col] = text;
    model_->cellChanged(col, row);
    if (col == col_ && row == row_ && editor_->text() != text) editor_->setText(text);
}

void MeterGrid::setCurrentCell(int col, int row) {
    col = std::clamp(col, 0, colCount_ - 1);
    row = std::clamp(row, 1, rowCount() - 1);
    // Staying on the same cell (rows added or removed below it) must not disturb typing.
    const bool moved = col != col_ || row != row_ || editor_->text() != cells_[row][col];
    col_ = col;
    row_ = row;
    const QModelIndex i = model_->index(row_ - 1, col_);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    if (moved) {
        editor_->setText(cells_[row_][col_]);
        editor_->selectAll();
    }
    placeEditor();
    scrollTo(i);
}

bool MeterGrid::moveTo(int col, int row) {
    if (col == col_ && row == row_) return true;
    int target = row;
    if (selectCell && !selectCell(col, target)) {
        syncEditor();
        return false;
    }
    setCurrentCell(col, target);
    return true;
}

void MeterGrid::editorTextEdited(const QString& text) {
    cells_[row_][col_] = text;
    model_->cellChanged(col_, row_);
    if (setEditText) setEditText(col_, row_, text);
    syncEditor();
}

void MeterGrid::syncEditor() {
    // The handlers may have changed the cell or removed its row.
    if (editor_->text() != cell(col_, row_)) {
        editor_->setText(cell(col_, row_));
        editor_->selectAll();
    }
    placeEditor();
}

void MeterGrid::placeEditor() {
    if (!editor_) return;
    const QRect r = visualRect(model_->index(row_ - 1, col_));
    if (r.isValid()) {
        editor_->setGeometry(r);
        editor_->show();
    } else {
        editor_->hide();
    }
}

void MeterGrid::updateEditorGeometries() {
    QTableView::updateEditorGeometries();
    placeEditor();
}

void MeterGrid::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    placeEditor();
}

bool MeterGrid::navigate(int key, Qt::KeyboardModifiers modifiers) {
    int c = col_;
    int r = row_;
    const int last = rowCount() - 1;
    if (key == Qt::Key_Backtab || (key == Qt::Key_Tab && (modifiers & Qt::ShiftModifier))) {
        if (--c < 0) {
            c = colCount_ - 1;
            if (--r < 1) r = last;
        }
    } else if (key == Qt::Key_Tab) {
        if (++c >= colCount_) {
            c = 0;
            if (++r > last) r = 1;
        }
    } else if (key == Qt::Key_Up) {
        if (r > 1) --r;
    } else if (key == Qt::Key_Down) {
        if (r < last) ++r;
    } else {
        return false;
    }
    moveTo(c, r);
    return true;
}

bool MeterGrid::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_ || event->type() != QEvent::KeyPress)
        return QTableView::eventFilter(watched, event);
    auto* k = static_cast<QKeyEvent*>(event);
    const int key = k->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        // Enter checks the row and Esc asks for help; neither may reach the dialog's buttons.
        if (keyDown) keyDown(key);
        return true;
    }
    if (!(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        navigate(key, k->modifiers()))
        return true;
    // A paste would bring in characters the key filter keeps out.
    if (k->matches(QKeySequence::Paste)) return true;
    if (!(k->modifiers() & Qt::ControlModifier) && !k->text().isEmpty() && keyPress &&
        !keyPress(k->text().at(0)))
        return true;
    return false;
}

void MeterGrid::mousePressEvent(QMouseEvent* event) {
    const QModelIndex i = indexAt(event->position().toPoint());
    editor_->setFocus(Qt::MouseFocusReason);
    if (i.isValid() && event->button() == Qt::LeftButton) moveTo(i.column(), i.row() + 1);
    event->accept();
}

void MeterGrid::keyPressEvent(QKeyEvent* event) {
    // Keys reach the view only when its editor lost them; they are handled as the editor would.
    if (!eventFilter(editor_, event)) event->ignore();
}

void MeterGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    editor_->setFocus(event->reason());
}

}  // namespace varnel
