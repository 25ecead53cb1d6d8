#include "compare_dialog.h"

#include "base/project_diff.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace varnel {

namespace {

QPushButton* button(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

}  // namespace

TCompareDialog::TCompareDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CompareDialog"));
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);

    IconLabel = new QLabel(this);
    IconLabel->setObjectName(QStringLiteral("IconLabel"));
    TextLabel = new QLabel(this);
    TextLabel->setObjectName(QStringLiteral("TextLabel"));
    TextLabel->setWordWrap(true);
    DiffList = new QTreeWidget(this);
    DiffList->setObjectName(QStringLiteral("DiffList"));
    DiffList->setColumnCount(3);
    DiffList->setRootIsDecorated(false);
    DiffList->setUniformRowHeights(true);
    DiffList->setSelectionMode(QAbstractItemView::NoSelection);
    DiffList->setFocusPolicy(Qt::NoFocus);
    DiffList->header()->setStretchLastSection(false);
    DiffList->header()->setSectionResizeMode(QHeaderView::Stretch);
    NoteLabel = new QLabel(this);
    NoteLabel->setObjectName(QStringLiteral("NoteLabel"));
    NoteLabel->setWordWrap(true);
    NoteLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    SaveBoxBtn = button("SaveBoxBtn", QStringLiteral("Save Box as Project ..."), this);
    CloseBtn = button("CloseBtn", QStringLiteral("Close"), this);
    YesBtn = button("YesBtn", QStringLiteral("Yes"), this);
    NoBtn = button("NoBtn", QStringLiteral("No"), this);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(YesBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(NoBtn, &QPushButton::clicked, this, &QDialog::reject);

    auto* top = new QHBoxLayout;
    top->addWidget(IconLabel, 0, Qt::AlignTop);
    top->addWidget(TextLabel, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SaveBoxBtn);
    buttons->addStretch(1);
    for (QPushButton* b : {CloseBtn, YesBtn, NoBtn}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(DiffList, 1);
    layout->addWidget(NoteLabel);
    layout->addLayout(buttons);
    resize(460, 340);
}

void TCompareDialog::fill(const ProjectDiff& diff, const QString& aTitle) {
    DiffList->clear();
    DiffList->setHeaderLabels({QString(), aTitle, QStringLiteral("Box")});
    for (int c = 1; c <= 2; ++c)
        DiffList->headerItem()->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    for (const DiffRow& r : DiffRows(diff)) {
        auto* item = new QTreeWidgetItem(DiffList, {r.what, r.a, r.b});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    DiffList->setVisible(!diff.equal());
}

void TCompareDialog::ShowComparison(const ProjectDiff& diff) {
    setWindowTitle(QStringLiteral("Compare with Box"));
    IconLabel->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
    TextLabel->setText(diff.equal() ? QStringLiteral("The box holds the project's data.")
                                    : QStringLiteral("%1 of the box's 80 bytes differ from the "
                                                     "project's:")
                                          .arg(diff.changed.size()));
    fill(diff, QStringLiteral("Project"));
    NoteLabel->hide();
    SaveBoxBtn->show();
    CloseBtn->show();
    CloseBtn->setDefault(true);
    YesBtn->hide();
    NoBtn->hide();
}

void TCompareDialog::ShowQuestion(const QString& question, const ProjectDiff& diff,
                                  const QString& aTitle, const QString& backupPath) {
    setWindowTitle(QStringLiteral("Confirm"));
    IconLabel->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    TextLabel->setText(question);
    fill(diff, aTitle);
    NoteLabel->setText(QStringLiteral("What the box holds now is kept in ") + backupPath);
    NoteLabel->show();
    SaveBoxBtn->hide();
    CloseBtn->hide();
    YesBtn->show();
    NoBtn->show();
    YesBtn->setDefault(true);
}

}  // namespace varnel
