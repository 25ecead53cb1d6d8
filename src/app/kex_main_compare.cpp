#include "app/kex_main.h"
#include "base/ui_services.h"
#include "base/widgets.h"
#include "image/table_view.h"

#include <QAction>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QPen>
#include <QValueAxis>

namespace varnel {

namespace {

const QString kProjectFilter = QStringLiteral("*.KEX");
// Wider than the output column: a difference may have a sign.
constexpr int kDiffColWidth = 56;

QString kindName(bool frequency) {
    return frequency ? QStringLiteral("frequency") : QStringLiteral("voltage");
}

}  // namespace

void TMainForm::wireCompare() {
    FileCompare = new QAction(QStringLiteral("Compare &With ..."), this);
    FileCompare->setObjectName(QStringLiteral("FileCompare"));
    FileCloseCompare = new QAction(QStringLiteral("Close Co&mpare"), this);
    FileCloseCompare->setObjectName(QStringLiteral("FileCloseCompare"));
    // Below Close, in a group of their own.
    FileMenu->insertActions(FileExportTable, {FileCompare, FileCloseCompare});
    FileMenu->insertSeparator(FileExportTable);
    connect(FileCompare, &QAction::triggered, this, &TMainForm::FileCompareClick);
    connect(FileCloseCompare, &QAction::triggered, this, &TMainForm::CloseCompare);

    ReferenceSeries = new QLineSeries;
    ReferenceSeries->setObjectName(QStringLiteral("ReferenceSeries"));
    ReferenceSeries->setName(QStringLiteral("Reference"));
    QPen pen(Qt::gray);
    pen.setWidth(2);
    pen.setStyle(Qt::DashLine);
    ReferenceSeries->setPen(pen);
    Chart1->chart()->addSeries(ReferenceSeries);
    ReferenceSeries->attachAxis(BottomAxis);
    ReferenceSeries->attachAxis(LeftAxis);
    ReferenceSeries->hide();

    ReferenceLabel = new QLabel(VOutLabel->parentWidget());
    ReferenceLabel->setObjectName(QStringLiteral("ReferenceLabel"));
    ReferenceLabel->setGeometry(VOutLabel->geometry().translated(0, VOutLabel->height()));
    ReferenceLabel->hide();

    // The differences are the reference's, not an entry to type into.
    TableGrid->canEdit = [](int col, int) { return col == 1; };
}

bool TMainForm::comparing() const {
    return reference_.has_value();
}

void TMainForm::FileCompareClick() {
    const QString path = ui_.openFileName(state_.ProjectDir, kProjectFilter, kProjectFilter);
    if (!path.isEmpty()) CompareWith(path);
}

bool TMainForm::CompareWith(const QString& path) {
    if (state_.ProjectState == DocState::None) return false;
    // The grid gains a column: a value being typed goes in first.
    FinishEdits();
    Reference read;
    if (!document().ReadProjectCopy(path, read.header, read.image)) return false;
    const bool frequency = OutputRGrp->itemIndex() == 1;
    if (read.image.isFrequencyOutput() != frequency) {
        ui_.warning(QStringLiteral("The reference holds a %1 table; the project a %2 table.")
                        .arg(kindName(read.image.isFrequencyOutput()), kindName(frequency)));
        return false;
    }
    read.path = path;
    reference_ = read;
    drawReference();
    rescaleTableChart();
    UpdateControls();
    return true;
}

void TMainForm::CloseCompare() {
    if (!reference_) return;
    FinishEdits();
    reference_.reset();
    drawReference();
    rescaleTableChart();
    UpdateControls();
}

void TMainForm::drawReference() {
    const bool frequency = OutputRGrp->itemIndex() == 1;
    // The output kind may change under a reference (a Retrieve, a match copy): one of the other
    // kind stays named but is neither drawn nor subtracted.
    const bool drawn = reference_ && reference_->image.isFrequencyOutput() == frequency;
    ReferenceSeries->replace(drawn ? TableChartPoints(reference_->image, frequency)
                                   : QList<QPointF>());
    ReferenceSeries->setVisible(drawn);

    if (reference_) {
        QString text = QStringLiteral("Reference = ") + QFileInfo(reference_->path).fileName();
        if (!drawn)
            text += QStringLiteral(" (a %1 table: not drawn)")
                        .arg(kindName(reference_->image.isFrequencyOutput()));
        ReferenceLabel->setText(text);
        ReferenceLabel->setToolTip(reference_->path);
    }
    const int cols = drawn ? 3 : 2;
    if (ReferenceLabel->isHidden() == bool(reference_) || TableGrid->colCount() != cols) {
        ReferenceLabel->setVisible(bool(reference_));
        if (TableGrid->colCount() != cols) {
            TableGrid->setColCount(cols);
            TableGrid->setCell(2, 0, QStringLiteral("Diff"));
            if (drawn) TableGrid->setColWidth(2, kDiffColWidth);
            TableGrid->resize(TableGrid->width() + (drawn ? kDiffColWidth : -kDiffColWidth),
                              TableGrid->height());
        }
        for (QLabel* l : {VInLabel, VOutLabel, ReferenceLabel})
            l->move(TableGrid->width() + 16, l->y());
        FormResize();
    }
    TableGrid->refresh();
}

}  // namespace varnel
