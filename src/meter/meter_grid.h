#pragma once

#include <QString>
#include <QTableView>
#include <QVector>

#include <functional>

class QLineEdit;

namespace varnel {

class MeterGridModel;

// The meter editor's grid: columns of text addressed as (column, row), row 0 being the heading
// row shown as the view's header. Its in-place editor is always open on the current cell and
// reports every change of its text, and every move to another cell asks first, so the editor
// can keep the table valid row by row. Changes made from code (setCell, setRowCount,
// deleteRow, setCurrentCell) run none of the callbacks.
class MeterGrid : public QTableView {
    Q_OBJECT
  public:
    MeterGrid(int colCount, QWidget* parent = nullptr);

    int colCount() const { return colCount_; }
    // Rows including the heading row.
    int rowCount() const { return int(cells_.size()); }
    void setRowCount(int rows);
    void deleteRow(int row);

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);

    int col() const { return col_; }
    int row() const { return row_; }
    void setCurrentCell(int col, int row);

    // A move to another cell as the user makes it: runs selectCell and moves only when it
    // agrees. Returns whether the grid moved.
    bool moveTo(int col, int row);

    // Moves data row from to row to, the rows between shifting by one; the current cell stays
    // on its row. Data rows only (1 to rowCount() - 2): the entry row stays last.
    void moveRow(int from, int to);
    // The end of a drag as the user makes it: the current row (the press on a row moves there
    // first) let go over data row to. Runs rowDragged, or moves the row when there is none.
    void dragCurrentRow(int to);

    QLineEdit* editor() const { return editor_; }

    // Every change of the edited cell's text, after the cell holds it.
    std::function<void(int col, int row, const QString& text)> setEditText;
    // Before a move to another cell; false refuses the move. The target row may be changed
    // (rows move or go while the current one is checked).
    std::function<bool(int col, int& row)> selectCell;
    // The focus left the grid for another control of the same window.
    std::function<void()> exitGrid;
    // A typed character; false discards it.
    std::function<bool(QChar ch)> keyPress;
    // A key pressed in the grid (Enter, Esc); the key goes no further.
    std::function<void(int key)> keyDown;
    // A data row the user dragged to another place, before it moves; the handler moves it
    // (moveRow) or leaves it where it was.
    std::function<void(int from, int to)> rowDragged;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyboardSearch(const QString&) override {}
    void updateEditorGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    friend class MeterGridModel;
    bool navigate(int key, Qt::KeyboardModifiers modifiers);
    bool inside(const QWidget* w) const;
    void editorTextEdited(const QString& text);
    void syncEditor();
    void placeEditor();
    // The row drag, in the viewport's coordinates; each returns whether it took the event.
    void dragPress();
    bool dragMove(const QPoint& pos, Qt::MouseButtons buttons);
    bool dragRelease();
    int dropRowAt(const QPoint& pos);

    int colCount_;
    QVector<QVector<QString>> cells_;  // [row][col]
    int col_ = 0;
    int row_ = 1;
    MeterGridModel* model_;
    QLineEdit* editor_ = nullptr;
    int dragFrom_ = 0;  // the data row pressed on, 0 when none
    int dropTo_ = 0;    // while a drag runs, the row it would move to; 0 when none runs
};

}  // namespace varnel
