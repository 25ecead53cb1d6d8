#include "kex_matd.h"

#include "base/app_state.h"
#include "base/ui_services.h"
#include "base/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace varnel {

namespace {

constexpr int kGridRows = kMatchCellCount + 1;

}  // namespace

TMatchDialog::TMatchDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent), state_(state), ui_(ui), session_(state, ui) {
    setObjectName(QStringLiteral("MatchDialog"));
    setWindowTitle(QStringLiteral("Meter Match Dialog"));
    // The layout was drawn for an 8-point (11-pixel) dialog font, like the main window's.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setFixedSize(372, 336);

    auto label = [this](const char* name, const QString& text, QRect geometry) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    auto combo = [this](const char* name, QRect geometry) {
        auto* c = new QComboBox(this);
        c->setObjectName(QLatin1String(name));
        c->setEditable(false);
        c->setGeometry(geometry);
        return c;
    };
    auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        // Enter must not copy into the project behind the user's back.
        b->setAutoDefault(false);
        return b;
    };

    Label1 = label("Label1", QStringLiteral("Meter to Use:"), QRect(8, 8, 160, 16));
    MeterUseCombo = combo("MeterUseCombo", QRect(8, 24, 160, 22));
    Label2 = label("Label2", QStringLiteral("Meter to Match:"), QRect(8, 56, 160, 16));
    MeterMatchCombo = combo("MeterMatchCombo", QRect(8, 72, 160, 22));
    FlowUnits = label("FlowUnits", QStringLiteral("Units"), QRect(8, 108, 160, 16));
    MatchBtn = button("MatchBtn", QStringLiteral("Match"), QRect(8, 136, 75, 25));
    CopyE2PBtn = button("CopyE2PBtn", QStringLiteral("Copy E2P"), QRect(8, 168, 75, 25));
    CloseBtn = button("CloseBtn", QStringLiteral("Close"), QRect(8, 200, 75, 25));

    MatchGrid = new StringGrid(3, kGridRows, 0, 1, this);
    MatchGrid->setObjectName(QStringLiteral("MatchGrid"));
    QFont gridFont = MatchGrid->font();
    gridFont.setPixelSize(11);
    MatchGrid->setFont(gridFont);
    MatchGrid->setDefaultColWidth(47);
    MatchGrid->setDefaultRowHeight(16);
    MatchGrid->setTextElideMode(Qt::ElideNone);
    MatchGrid->setGeometry(180, 8, 184, 320);
    // Typed text stays in the grid's own store; what is drawn is always the cells'.
    MatchGrid->drawCell = [this](int col, int row) { return MatchGridDrawCell(col, row); };
    showHeaders();

    connect(MeterUseCombo, &QComboBox::currentIndexChanged, this, &TMatchDialog::MeterComboChange);
    connect(MeterMatchCombo, &QComboBox::currentIndexChanged, this,
            &TMatchDialog::MeterComboChange);
    connect(MatchBtn, &QPushButton::clicked, this, &TMatchDialog::MatchBtnClick);
    connect(CopyE2PBtn, &QPushButton::clicked, this, &TMatchDialog::CopyE2PBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::reject);

    CopyE2PBtn->setEnabled(false);
    MeterComboChange();

    if (const QScreen* screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMatchDialog::FillMeterLists() {
    MeterUseCombo->clear();
    MeterMatchCombo->clear();
    const QStringList names = ListMeterFiles(state_.ProjectDir);
    if (names.isEmpty())
        ui_.error(QStringLiteral("No files found: ") + MeterFilePattern(state_.ProjectDir));
    MeterUseCombo->addItems(names);
    MeterMatchCombo->addItems(names);
    // Adding items selects the first; the meters of the last copy win when they are listed.
    const int use = MeterUseCombo->findText(state_.header.VInMeterName(),
                                            Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (use >= 0) MeterUseCombo->setCurrentIndex(use);
    const int match = MeterMatchCombo->findText(state_.header.VOutMeterName(),
                                                Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (match >= 0) MeterMatchCombo->setCurrentIndex(match);
}

void TMatchDialog::showEvent(QShowEvent* event) {
    // Only a show by the program activates; a message box closing over the dialog must not
    // empty the grid of the match the user is looking at.
    if (!event->spontaneous()) FormActivate();
    QDialog::showEvent(event);
}

void TMatchDialog::FormActivate() {
    session_.Reset();
    showHeaders();
    MatchGrid->refresh();
    CopyE2PBtn->setEnabled(false);
    MeterComboChange();
}

void TMatchDialog::MeterComboChange() {
    MatchBtn->setEnabled(MeterUseCombo->currentIndex() >= 0 &&
                         MeterMatchCombo->currentIndex() >= 0);
}

void TMatchDialog::MatchBtnClick() {
    const QString useName = MeterUseCombo->currentText();
    const QString matchName = MeterMatchCombo->currentText();
    const bool matched = session_.MatchFiles(state_.header.Group(), useName, matchName);
    FlowUnits->setText(session_.FlowUnits);
    showHeaders();
    if (matched)
        CopyE2PBtn->setEnabled(true);
    else if (!session_.Completed)
        CopyE2PBtn->setEnabled(false);
    MatchGrid->refresh();
}

void TMatchDialog::CopyE2PBtnClick() {
    if (session_.Completed && copyToProject) copyToProject(*session_.Completed);
}

QString TMatchDialog::MatchGridDrawCell(int col, int row) const {
    return session_.CellText(col, row);
}

void TMatchDialog::showHeaders() {
    for (int c = 0; c < 3; ++c) MatchGrid->setCell(c, 0, session_.Headers[size_t(c)]);
}

}  // namespace varnel
