#pragma once

#include <QGroupBox>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QVector>
#include <QWidget>

#include <functional>

class QButtonGroup;
class QRadioButton;
class QToolButton;

namespace varnel {

// A captioned group of radio buttons with an item index, -1 for none. Like the toolkit the
// program's behaviour was written for, a change of the selection made from code emits
// changed() exactly as a click does; several handlers rely on that.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int itemIndex() const { return index_; }
    void setItemIndex(int index);
    int count() const { return int(buttons_.size()); }
    QRadioButton* button(int i) const { return buttons_.at(i); }

signals:
    void changed(int index);

private:
    QVector<QRadioButton*> buttons_;
    int index_ = -1;
};

// A pair of up/down arrow buttons beside an edit box.
class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent = nullptr);
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

signals:
    void upClick();
    void downClick();

private:
    QToolButton* up_;
    QToolButton* down_;
};

class StringGridModel;

// A text grid addressed as (column, row) with up to one fixed (title) row and column, shown as
// the view's headers so they stay in place while the cells scroll. Cells hold stored texts;
// drawCell, when set, supplies the painted text of a normal cell, so views that mirror the
// image never keep a copy of it. setEditText is called once, when editing of a cell ends.
class StringGrid : public QTableView {
    Q_OBJECT
public:
    StringGrid(int colCount, int rowCount, int fixedCols, int fixedRows, QWidget* parent = nullptr);

    int colCount() const { return colCount_; }
    int rowCount() const { return rowCount_; }
    int fixedCols() const { return fixedCols_; }
    int fixedRows() const { return fixedRows_; }
    void setRowCount(int rows);
    // Adds columns at the right or takes them away from there; the other cells keep their texts.
    void setColCount(int cols);

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString& text);
    // The text the grid shows in a cell: drawCell's for a normal cell when set, else the stored.
    QString shownText(int col, int row) const;

    void setDefaultColWidth(int width);
    void setColWidth(int col, int width);
    void setDefaultRowHeight(int height);
    void setEditable(bool on);
    bool editable() const { return editable_; }

    // Repaints every cell from its sources.
    void refresh();
    // Ends an edit of a normal cell with the given text, as the in-place editor does.
    void commitEdit(int col, int row, const QString& text);
    // Ends the edit of the cell whose editor is open, with the text typed into it, as leaving
    // the cell does; an editor not typed into is only closed.
    void commitOpenEditor();

    std::function<QString(int col, int row)> drawCell;
    std::function<QString(int col, int row)> getEditText;
    std::function<void(int col, int row, const QString& text)> setEditText;
    // When set, a normal cell it refuses cannot be edited.
    std::function<bool(int col, int row)> canEdit;
    // When set, a normal cell for which it gives 0 or 1 shows a check box in that state; a
    // click on it calls setChecked. -1: no check box.
    std::function<int(int col, int row)> checkCell;
    std::function<void(int col, int row, bool on)> setChecked;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class StringGridModel;
    int colCount_, rowCount_, fixedCols_, fixedRows_;
    bool editable_ = true;
    QVector<QString> cells_;
    StringGridModel* model_;
};

}  // namespace varnel
