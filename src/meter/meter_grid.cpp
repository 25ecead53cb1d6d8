#include "meter_grid.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

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
    void moveRange(int from, int before) { beginMoveRows({}, from, from, {}, before); }
    void moveDone() { endMoveRows(); }
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

void MeterGrid::moveRow(int from, int to) {
    const int last = rowCount() - 2;
    if (from < 1 || from > last || to < 1 || to > last || from == to) return;
    // The model's rows are the grid's rows less the heading row; a move down names the row
    // the moved one goes in front of.
    model_->moveRange(from - 1, to > from ? to : to - 1);
    cells_.move(from, to);
    model_->moveDone();
    int r = row_;
    if (r == from)
        r = to;
    else if (from < r && r <= to)
        --r;
    else if (to <= r && r < from)
        ++r;
    setCurrentCell(col_, r);
}

void MeterGrid::dragCurrentRow(int to) {
    const int from = row_;
    const int last = rowCount() - 2;
    if (from < 1 || from > last || to < 1 || to > last || from == to) return;
    if (rowDragged)
        rowDragged(from, to);
    else
        moveRow(from, to);
}

void MeterGrid::dragPress() {
    dropTo_ = 0;
    // Only a data row moves; the press has already made it the current row.
    dragFrom_ = row_ <= rowCount() - 2 ? row_ : 0;
}

int MeterGrid::dropRowAt(const QPoint& pos) {
    // Past the top or the bottom the grid scrolls a row at a time, under the pointer.
    if (pos.y() < 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() - 1);
    else if (pos.y() >= viewport()->height())
        verticalScrollBar()->setValue(verticalScrollBar()->value() + 1);
    const int y = std::clamp(pos.y(), 0, viewport()->height() - 1);
    const int modelRow = rowAt(y);
    const int last = rowCount() - 2;
    return modelRow < 0 ? last : std::clamp(modelRow + 1, 1, last);
}

bool MeterGrid::dragMove(const QPoint& pos, Qt::MouseButtons buttons) {
    if (dragFrom_ < 1 || !(buttons & Qt::LeftButton)) return false;
    const int to = dropRowAt(pos);
    // The drag begins once the pointer is over another row, so a drag along the row still
    // selects text in the cell editor.
    if (dropTo_ == 0 && to == dragFrom_) return false;
    if (to != dropTo_) {
        dropTo_ = to;
        viewport()->update();
    }
    return true;
}

bool MeterGrid::dragRelease() {
    const int to = dropTo_;
    dragFrom_ = 0;
    dropTo_ = 0;
    if (to == 0) return false;
    viewport()->update();
    dragCurrentRow(to);
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
    if (watched == editor_ &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove ||
         event->type() == QEvent::MouseButtonRelease)) {
        // The current row is dragged by its cell editor as well as by its other cells.
        auto* m = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress) {
            if (m->button() == Qt::LeftButton) dragPress();
            return false;
        }
        if (event->type() == QEvent::MouseMove)
            return dragMove(editor_->mapTo(viewport(), m->position().toPoint()), m->buttons());
        return m->button() == Qt::LeftButton && dragRelease();
    }
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
    dragFrom_ = 0;
    if (i.isValid() && event->button() == Qt::LeftButton && moveTo(i.column(), i.row() + 1))
        dragPress();
    event->accept();
}

void MeterGrid::mouseMoveEvent(QMouseEvent* event) {
    dragMove(event->position().toPoint(), event->buttons());
    event->accept();
}

void MeterGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragRelease();
    event->accept();
}

void MeterGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (dropTo_ < 1 || dropTo_ == dragFrom_) return;
    // Where the row will land: a line above the target row when it moves up, below it when
    // it moves down.
    const QRect r = visualRect(model_->index(dropTo_ - 1, 0))
                        .united(visualRect(model_->index(dropTo_ - 1, colCount_ - 1)));
    const int y = dropTo_ < dragFrom_ ? r.top() : r.bottom();
    QPainter p(viewport());
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawLine(r.left(), y, r.right(), y);
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
