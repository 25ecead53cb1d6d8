#include "widgets.h"

#include <QAbstractButton>
#include <QAbstractTableModel>
#include <QButtonGroup>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QStyleOptionHeader>
#include <QToolButton>
#include <QVBoxLayout>

namespace varnel {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setAutoExclusive(false);
        layout->addWidget(b);
        buttons_.push_back(b);
        connect(b, &QRadioButton::clicked, this, [this, i] {
            // A click on the checked item keeps it checked, as radio buttons do.
            buttons_[i]->setChecked(true);
            setItemIndex(i);
        });
    }
}

void RadioGroup::setItemIndex(int index) {
    if (index < -1 || index >= count()) index = -1;
    for (int i = 0; i < count(); ++i) buttons_[i]->setChecked(i == index);
    if (index == index_) return;
    index_ = index;
    emit changed(index_);
}

SpinButton::SpinButton(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(b);
    }
    connect(up_, &QToolButton::clicked, this, &SpinButton::upClick);
    connect(down_, &QToolButton::clicked, this, &SpinButton::downClick);
}

class StringGridModel : public QAbstractTableModel {
public:
    explicit StringGridModel(StringGrid* grid) : QAbstractTableModel(grid), g_(grid) {}

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : g_->rowCount_ - g_->fixedRows_;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : g_->colCount_ - g_->fixedCols_;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        const int col = index.column() + g_->fixedCols_;
        const int row = index.row() + g_->fixedRows_;
        if (role == Qt::DisplayRole) return g_->shownText(col, row);
        if (role == Qt::EditRole)
            return g_->getEditText ? g_->getEditText(col, row) : g_->cell(col, row);
        if (role == Qt::CheckStateRole && g_->checkCell) {
            const int state = g_->checkCell(col, row);
            if (state >= 0) return state > 0 ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        const int col = index.column() + g_->fixedCols_;
        const int row = index.row() + g_->fixedRows_;
        if (role == Qt::CheckStateRole) {
            if (!g_->checkCell || g_->checkCell(col, row) < 0 || !g_->setChecked) return false;
            g_->setChecked(col, row, value.toInt() == Qt::Checked);
            emit dataChanged(index, index);
            return true;
        }
        if (role != Qt::EditRole) return false;
        const QString text = value.toString();
        g_->cells_[row * g_->colCount_ + col] = text;
        if (g_->setEditText) g_->setEditText(col, row, text);
        emit dataChanged(index, index);
        return true;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (g_->editable_ && index.isValid() &&
            (!g_->canEdit ||
             g_->canEdit(index.column() + g_->fixedCols_, index.row() + g_->fixedRows_)))
            f |= Qt::ItemIsEditable;
        if (index.isValid() && g_->checkCell &&
            g_->checkCell(index.column() + g_->fixedCols_, index.row() + g_->fixedRows_) >= 0)
            f |= Qt::ItemIsUserCheckable;
        return f;
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        if (o == Qt::Horizontal && g_->fixedRows_ > 0)
            return g_->cell(section + g_->fixedCols_, 0);
        if (o == Qt::Vertical && g_->fixedCols_ > 0) return g_->cell(0, section + g_->fixedRows_);
        return {};
    }
    void reset() {
        beginResetModel();
        endResetModel();
    }
    void changedAll() {
        if (rowCount() > 0 && columnCount() > 0)
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Horizontal, 0, std::max(0, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, std::max(0, rowCount() - 1));
    }

private:
    StringGrid* g_;
};

StringGrid::StringGrid(int colCount, int rowCount, int fixedCols, int fixedRows, QWidget* parent)
    : QTableView(parent),
      colCount_(colCount),
      rowCount_(rowCount),
      fixedCols_(fixedCols),
      fixedRows_(fixedRows),
      cells_(colCount * rowCount),
      model_(new StringGridModel(this)) {
    setModel(model_);
    horizontalHeader()->setVisible(fixedRows_ > 0);
    verticalHeader()->setVisible(fixedCols_ > 0);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    // The corner cell is the grid's (0, 0) title: paint its stored text over the corner button.
    if (auto* corner = findChild<QAbstractButton*>()) corner->installEventFilter(this);
}

void StringGrid::setRowCount(int rows) {
    QVector<QString> cells(colCount_ * rows);
    for (int i = 0; i < std::min(cells.size(), cells_.size()); ++i) cells[i] = cells_[i];
    cells_ = cells;
    rowCount_ = rows;
    model_->reset();
}

void StringGrid::setColCount(int cols) {
    QVector<QString> cells(cols * rowCount_);
    for (int r = 0; r < rowCount_; ++r)
        for (int c = 0; c < std::min(cols, colCount_); ++c)
            cells[r * cols + c] = cells_[r * colCount_ + c];
    cells_ = cells;
    colCount_ = cols;
    model_->reset();
}

QString StringGrid::cell(int col, int row) const {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return {};
    return cells_[row * colCount_ + col];
}

void StringGrid::setCell(int col, int row, const QString& text) {
    if (col < 0 || row < 0 || col >= colCount_ || row >= rowCount_) return;
    cells_[row * colCount_ + col] = text;
    if (row < fixedRows_ || col < fixedCols_) {
        if (row < fixedRows_ && col >= fixedCols_)
            model_->headerDataChanged(Qt::Horizontal, col - fixedCols_, col - fixedCols_);
        else if (col < fixedCols_ && row >= fixedRows_)
            model_->headerDataChanged(Qt::Vertical, row - fixedRows_, row - fixedRows_);
        if (auto* corner = findChild<QAbstractButton*>()) corner->update();
    } else {
        const QModelIndex i = model_->index(row - fixedRows_, col - fixedCols_);
        emit model_->dataChanged(i, i);
    }
}

QString StringGrid::shownText(int col, int row) const {
    if (col >= fixedCols_ && row >= fixedRows_ && drawCell) {
        const QString drawn = drawCell(col, row);
        if (!drawn.isNull()) return drawn;
    }
    return cell(col, row);
}

void StringGrid::setDefaultColWidth(int width) {
    horizontalHeader()->setDefaultSectionSize(width);
    if (fixedCols_ > 0) verticalHeader()->setFixedWidth(width);
}

void StringGrid::setColWidth(int col, int width) {
    if (col < fixedCols_)
        verticalHeader()->setFixedWidth(width);
    else
        setColumnWidth(col - fixedCols_, width);
}

void StringGrid::setDefaultRowHeight(int height) {
    verticalHeader()->setMinimumSectionSize(height);
    verticalHeader()->setDefaultSectionSize(height);
    if (fixedRows_ > 0) horizontalHeader()->setFixedHeight(height + 2);
}

void StringGrid::setEditable(bool on) {
    editable_ = on;
    refresh();
}

void StringGrid::refresh() {
    model_->changedAll();
    viewport()->update();
}

void StringGrid::commitEdit(int col, int row, const QString& text) {
    model_->setData(model_->index(row - fixedRows_, col - fixedCols_), text, Qt::EditRole);
}

void StringGrid::commitOpenEditor() {
    if (state() != EditingState) return;
    QWidget* editor = indexWidget(currentIndex());
    if (!editor) return;
    // An editor opened and not typed into holds the cell's old text: taking it again would
    // count as a change of the project.
    const auto* line = qobject_cast<QLineEdit*>(editor);
    if (!line || line->isModified()) commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event) {
    auto* corner = qobject_cast<QAbstractButton*>(watched);
    if (corner && event->type() == QEvent::Paint && fixedRows_ > 0 && fixedCols_ > 0) {
        QStyleOptionHeader opt;
        opt.initFrom(corner);
        opt.rect = corner->rect();
        opt.position = QStyleOptionHeader::OnlyOneSection;
        opt.text = cell(0, 0);
        opt.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        QPainter painter(corner);
        corner->style()->drawControl(QStyle::CE_Header, &opt, &painter, corner);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

}  // namespace varnel
