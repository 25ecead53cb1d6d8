#include "kex_maed.h"

#include "base/app_state.h"
#include "base/widgets.h"
#include "meter/meter_fit_dialog.h"
#include "meter/meter_grid.h"
#include "meter/meter_import.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <QValueAxis>

#include <algorithm>

namespace varnel {

namespace {

const QString kTitle = QStringLiteral("Mass Air Meter Editor");
const QString kMeterFilter = QStringLiteral("MAF files (*.maf)");
const QString kTextFilter = QStringLiteral("Text files (*.txt)");
constexpr double kPoundsToKilograms = 0.4535925;
// A text file bigger than this is no meter table; the rest of it is not read.
constexpr qint64 kMaxTextFileSize = 64LL * 1024 * 1024;

// A name typed without an extension means a file with the dialog's default extension.
QString withDefaultSuffix(const QString& name, const QString& suffix) {
    if (!QFileInfo(name).suffix().isEmpty()) return name;
    return name + QLatin1Char('.') + suffix;
}

}  // namespace

TMassAirEditorDialog::TMassAirEditorDialog(AppState& state, UiServices& ui, QWidget* parent)
    : QDialog(parent), state_(state), ui_(ui) {
    setObjectName(QStringLiteral("MassAirEditorDialog"));
    setWindowTitle(kTitle);
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setFixedSize(505, 331);

    auto button = [this](const char* name, const QString& caption, QRect geometry) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    NewButton = button("NewButton", QStringLiteral("New"), QRect(8, 8, 75, 25));
    OpenButton = button("OpenButton", QStringLiteral("Open"), QRect(88, 8, 75, 25));
    SaveButton = button("SaveButton", QStringLiteral("Save"), QRect(168, 8, 75, 25));
    SaveAsButton = button("SaveAsButton", QStringLiteral("Copy"), QRect(248, 8, 75, 25));
    ImportButton = button("ImportButton", QStringLiteral("Convert"), QRect(328, 8, 75, 25));
    FitCurveButton =
        button("FitCurveButton", QStringLiteral("Fit Curve ..."), QRect(408, 8, 89, 25));
    FitDialog = new MeterFitDialog(this);

    PartNumberLabel = new QLabel(QStringLiteral("Part Number:"), this);
    PartNumberLabel->setObjectName(QStringLiteral("PartNumberLabel"));
    PartNumberLabel->setGeometry(8, 44, 76, 20);
    PartNumberEdit = new QLineEdit(this);
    PartNumberEdit->setObjectName(QStringLiteral("PartNumberEdit"));
    PartNumberEdit->setGeometry(88, 42, 200, 22);
    PartNumberEdit->setMaxLength(30);
    PartNumberLabel->setBuddy(PartNumberEdit);

    DescriptionLabel = new QLabel(QStringLiteral("Description:"), this);
    DescriptionLabel->setObjectName(QStringLiteral("DescriptionLabel"));
    DescriptionLabel->setGeometry(8, 72, 76, 20);
    DescriptionMemo = new QPlainTextEdit(this);
    DescriptionMemo->setObjectName(QStringLiteral("DescriptionMemo"));
    DescriptionMemo->setGeometry(88, 70, 280, 36);
    // Each line of the box is one description line of the file: no wrapping.
    DescriptionMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    DescriptionMemo->setTabChangesFocus(true);
    DescriptionLabel->setBuddy(DescriptionMemo);

    UnitsRGrp = new RadioGroup(QStringLiteral("Units"),
                               {QStringLiteral("English "), QStringLiteral("Metric")}, this);
    UnitsRGrp->setObjectName(QStringLiteral("UnitsRGrp"));
    UnitsRGrp->setGeometry(380, 36, 84, 52);
    UnitsRGrp->setItemIndex(1);
    FrequencyCheckBox = new QCheckBox(QStringLiteral("Frequency"), this);
    FrequencyCheckBox->setObjectName(QStringLiteral("FrequencyCheckBox"));
    FrequencyCheckBox->setGeometry(384, 90, 100, 18);

    DataTableGroupBox = new QGroupBox(QStringLiteral("Data Table (kg/hr)"), this);
    DataTableGroupBox->setObjectName(QStringLiteral("DataTableGroupBox"));
    DataTableGroupBox->setGeometry(8, 112, 170, 211);
    StringGrid = new MeterGrid(2, DataTableGroupBox);
    StringGrid->setObjectName(QStringLiteral("StringGrid"));
    StringGrid->setGeometry(8, 18, 154, 185);
    StringGrid->horizontalHeader()->setDefaultSectionSize(62);
    StringGrid->verticalHeader()->setDefaultSectionSize(18);
    StringGrid->horizontalHeader()->setFixedHeight(20);

    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Meter Response"));
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    Series1 = new QLineSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    Series1->setColor(Qt::red);
    Series1->setPointsVisible(false);
    chart->addSeries(Series1);
    FlowAxis = new QValueAxis;
    FlowAxis->setLabelFormat(QStringLiteral("%.0f"));
    SignalAxis = new QValueAxis;
    SignalAxis->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(FlowAxis, Qt::AlignBottom);
    chart->addAxis(SignalAxis, Qt::AlignLeft);
    Series1->attachAxis(FlowAxis);
    Series1->attachAxis(SignalAxis);
    MeterChart = new QChartView(chart, this);
    MeterChart->setObjectName(QStringLiteral("MeterChart"));
    MeterChart->setRenderHint(QPainter::Antialiasing);
    MeterChart->setGeometry(186, 112, 311, 180);

    CloseButton = button("CloseButton", QStringLiteral("Close"), QRect(340, 298, 75, 25));
    CloseButton->setDefault(true);
    HelpButton = button("HelpButton", QStringLiteral("Help"), QRect(422, 298, 75, 25));

    QWidget* order[] = {NewButton,         OpenButton,           SaveButton,
                        SaveAsButton,      ImportButton,         FitCurveButton,
                        PartNumberEdit,    UnitsRGrp->button(0), UnitsRGrp->button(1),
                        FrequencyCheckBox, StringGrid,           MeterChart,
                        CloseButton,       HelpButton,           DescriptionMemo};
    for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    SetStringGridHeaders();
    UpdateGraph();

    connect(NewButton, &QPushButton::clicked, this, &TMassAirEditorDialog::NewButtonClick);
    connect(OpenButton, &QPushButton::clicked, this, &TMassAirEditorDialog::OpenButtonClick);
    connect(SaveButton, &QPushButton::clicked, this, &TMassAirEditorDialog::SaveButtonClick);
    connect(SaveAsButton, &QPushButton::clicked, this, &TMassAirEditorDialog::SaveAsButtonClick);
    connect(ImportButton, &QPushButton::clicked, this, &TMassAirEditorDialog::ImportButtonClick);
    connect(FitCurveButton, &QPushButton::clicked, this,
            &TMassAirEditorDialog::FitCurveButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &TMassAirEditorDialog::CloseButtonClick);
    connect(HelpButton, &QPushButton::clicked, this, &TMassAirEditorDialog::HelpButtonClick);
    connect(PartNumberEdit, &QLineEdit::textChanged, this, &TMassAirEditorDialog::Change);
    connect(UnitsRGrp, &RadioGroup::changed, this, &TMassAirEditorDialog::UnitsRGrpClick);
    connect(FrequencyCheckBox, &QCheckBox::toggled, this,
            &TMassAirEditorDialog::FrequencyCheckBoxClick);

    StringGrid->setEditText = [this](int c, int r, const QString& t) {
        StringGridSetEditText(c, r, t);
    };
    StringGrid->selectCell = [this](int c, int& r) { return StringGridSelectCell(c, r); };
    StringGrid->exitGrid = [this] { StringGridExit(); };
    StringGrid->keyPress = [this](QChar ch) { return StringGridKeyPress(ch); };
    StringGrid->keyDown = [this](int key) { StringGridKeyDown(key); };
    StringGrid->rowDragged = [this](int from, int to) { StringGridRowDragged(from, to); };
}

// ---- Record and file ----

QVector<MeterPoint> TMassAirEditorDialog::gridRows() const {
    QVector<MeterPoint> rows;
    for (int r = 1; r <= StringGrid->rowCount() - 2; ++r)
        rows.append({StringGrid->cell(0, r), StringGrid->cell(1, r)});
    return rows;
}

MeterForm TMassAirEditorDialog::form() const {
    MeterForm f;
    f.description = DescriptionMemo->toPlainText();
    f.partNumber = PartNumberEdit->text();
    f.metric = UnitsRGrp->itemIndex() == 1;
    f.frequency = FrequencyCheckBox->isChecked();
    f.rows = gridRows();
    return f;
}

bool TMassAirEditorDialog::FormToRecord() {
    QString bad;
    switch (MeterFormToRecord(form(), MeterRecord, bad)) {
        case MeterFormError::None:
            return true;
        case MeterFormError::Description:
            ui_.error(QStringLiteral("Please enter a valid description."));
            DescriptionMemo->setFocus();
            return false;
        case MeterFormError::PartNumber:
            ui_.error(QStringLiteral("Please enter a valid part number."));
            PartNumberEdit->setFocus();
            return false;
        case MeterFormError::NotANumber:
            ui_.error(NotANumberMessage(bad));
            StringGrid->setFocus();
            return false;
    }
    return false;
}

void TMassAirEditorDialog::RecordToForm() {
    const MeterForm f = MeterRecordToForm(MeterRecord);
    DescriptionMemo->setPlainText(f.description);
    DescriptionMemo->moveCursor(QTextCursor::Start);
    PartNumberEdit->setText(f.partNumber);
    UnitsRGrp->setItemIndex(f.metric ? 1 : 0);
    FrequencyCheckBox->setChecked(f.frequency);
    for (const MeterPoint& p : f.rows) {
        const int entry = StringGrid->rowCount() - 1;
        StringGrid->setCell(0, entry, p.signal);
        StringGrid->setCell(1, entry, p.flow);
        StringGrid->setRowCount(entry + 2);
    }
}

void TMassAirEditorDialog::setTitle() {
    setWindowTitle(MeterFileName.isEmpty() ? kTitle
                                           : kTitle + QStringLiteral(" - ") + MeterFileName);
}

bool TMassAirEditorDialog::groupValid() {
    if (state_.header.Group() <= 2) return true;
    ui_.error(QStringLiteral("Invalid mode"));
    return false;
}

UiServices::Answer TMassAirEditorDialog::QuerySave() {
    if (!MeterModified) return UiServices::Answer::Yes;
    const UiServices::Answer a = ui_.confirm(QStringLiteral("Save current meter data?"), true);
    if (a == UiServices::Answer::Yes) SaveFile(false);
    return a;
}

void TMassAirEditorDialog::OpenButtonClick() {
    if (QuerySave() == UiServices::Answer::Cancel) return;
    if (!groupValid()) return;
    const QString name = ui_.openFileName(state_.ProjectDir, kMeterFilter, QStringLiteral("*.maf"));
    if (!name.isEmpty()) readFile(name);
}

void TMassAirEditorDialog::OpenFile(const QString& path) {
    if (QuerySave() == UiServices::Answer::Cancel) return;
    if (groupValid()) readFile(path);
}

void TMassAirEditorDialog::openOnShow(const QString& path) {
    pendingOpen_ = path;
}

void TMassAirEditorDialog::readFile(QString name) {
    if (!QFileInfo::exists(name) &&
        QFileInfo::exists(withDefaultSuffix(name, QStringLiteral("maf"))))
        name = withDefaultSuffix(name, QStringLiteral("maf"));
    if (!QFileInfo::exists(name)) {
        ui_.error(QStringLiteral("The specified file was not found."));
        return;
    }
    // Read into a copy: a file that cannot be read or used leaves the editor as it was.
    TMeterRecord read = MeterRecord;
    read.setDescription1(QString());
    read.setDescription2(QString());
    QString error;
    if (!ReadMeterFile(name, read, error) || !CheckMeterTexts(read, name, error)) {
        ui_.error(error);
        return;
    }
    MeterRecord = read;
    ClearForm();
    RecordToForm();
    MeterFileName = name;
    setTitle();
    BubbleSort();
    UpdateGraph();
    MeterModified = false;
}

void TMassAirEditorDialog::SaveFile(bool SaveAs) {
    if (!groupValid()) return;
    // A rejected form leaves the changes unsaved, so the next Close still asks.
    if (!FormToRecord()) return;
    if (SaveAs || MeterFileName.isEmpty()) {
        const QString picked =
            ui_.saveFileName(state_.ProjectDir, kMeterFilter, QStringLiteral("*.maf"));
        if (picked.isEmpty()) return;
        const QString name = withDefaultSuffix(picked, QStringLiteral("maf"));
        // The dialog asked about the name as typed; the added extension may name another file.
        if (name != picked && QFileInfo::exists(name) &&
            ui_.confirm(
                QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(name)) !=
                UiServices::Answer::Yes)
            return;
        MeterFileName = name;
    }
    QString error;
    if (!WriteMeterFile(MeterFileName, MeterRecord, error)) {
        ui_.error(error);
        return;
    }
    setTitle();
    MeterModified = false;
}

void TMassAirEditorDialog::SaveButtonClick() {
    if (ValidateGrid()) SaveFile(false);
}

void TMassAirEditorDialog::SaveAsButtonClick() {
    SaveFile(true);
}

// ---- The dialog ----

void TMassAirEditorDialog::showEvent(QShowEvent* event) {
    // Only a show by the program activates: message boxes of this dialog re-activate it, and
    // the units switch must not run again behind the user's back each time one closes.
    if (!event->spontaneous()) FormActivate();
    QDialog::showEvent(event);
    // A meter named from outside (the command line, a drop) opens as Open would open it once
    // the dialog is up: its questions and messages then belong to the dialog.
    if (!pendingOpen_.isEmpty())
        QTimer::singleShot(
            0, this, [this, path = std::exchange(pendingOpen_, QString())] { OpenFile(path); });
}

void TMassAirEditorDialog::keyPressEvent(QKeyEvent* event) {
    // Esc is the Help button's key; the title bar's close control still closes.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        HelpButtonClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TMassAirEditorDialog::FormActivate() {
    MaxFlow = 9999.99f;
    MaxSignal = 6.0f;
    SetStringGridHeaders();
    UnitsRGrp->setItemIndex(1);
    DataTableGroupBox->setTitle(QStringLiteral("Data Table (kg/hr)"));
    FlowFormat = kFlowFormat;
    SignalFormat = kSignalFormat;
    InitStringGrid();
}

void TMassAirEditorDialog::InitStringGrid() {
    StringGrid->setShowGrid(true);
    StringGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid->setCurrentCell(StringGrid->col(), StringGrid->row());
}

void TMassAirEditorDialog::NewButtonClick() {
    if (QuerySave() != UiServices::Answer::Cancel) ClearForm();
}

void TMassAirEditorDialog::ClearForm() {
    DescriptionMemo->clear();
    PartNumberEdit->clear();
    UnitsRGrp->setItemIndex(1);
    FrequencyCheckBox->setChecked(false);
    for (int r = 1; r < StringGrid->rowCount(); ++r)
        for (int c = 0; c < StringGrid->colCount(); ++c) StringGrid->setCell(c, r, QString());
    StringGrid->setRowCount(2);
    StringGrid->setCurrentCell(0, 1);
    MeterFileName.clear();
    setTitle();
    Series1->clear();
}

void TMassAirEditorDialog::HelpButtonClick() {
    ui_.information(QStringLiteral("No help file is available at this time."));
}

void TMassAirEditorDialog::CloseButtonClick() {
    if (QuerySave() != UiServices::Answer::Cancel) done(QDialog::Accepted);
}

void TMassAirEditorDialog::Change() {
    MeterModified = true;
}

void TMassAirEditorDialog::SetStringGridHeaders() {
    StringGrid->setCell(
        0, 0, FrequencyCheckBox->isChecked() ? QStringLiteral("Freq") : QStringLiteral("Volts"));
    StringGrid->setCell(1, 0, QStringLiteral("Flow"));
}

void TMassAirEditorDialog::FrequencyCheckBoxClick() {
    SetStringGridHeaders();
    MeterModified = true;
}

void TMassAirEditorDialog::UnitsRGrpClick() {
    MetricUnits = UnitsRGrp->itemIndex() == 1;
    DataTableGroupBox->setTitle(MetricUnits ? QStringLiteral("Data Table (kg/hr)")
                                            : QStringLiteral("Data Table (lb/hr)"));
    ConvertValues();
    UpdateGraph();
    MeterModified = true;
}

void TMassAirEditorDialog::ConvertValues() {
    for (int r = 1; r <= StringGrid->rowCount() - 2; ++r) {
        double v = 0;
        if (!MeterTextToNumber(StringGrid->cell(1, r), v)) continue;
        v = MetricUnits ? v * kPoundsToKilograms : v / kPoundsToKilograms;
        StringGrid->setCell(1, r, FormatMeterNumber(kFlowFormat, v));
    }
}

// ---- Grid rules ----

bool TMassAirEditorDialog::StringGridKeyPress(QChar ch) {
    const char16_t u = ch.unicode();
    return (u >= '0' && u <= '9') || u == '.' || u == 8 || u == 13 || u == 127;
}

void TMassAirEditorDialog::StringGridKeyDown(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        ValidateGrid();
    else if (key == Qt::Key_Escape)
        HelpButtonClick();
}

bool TMassAirEditorDialog::refuseRow(int col, int row) {
    // The entry row is about to become a data row; a meter file has room for 62.
    if (row - 1 < kMeterRows) return false;
    StringGrid->setCell(col, row, QString());
    ui_.information(QStringLiteral("A meter holds at most %1 points.").arg(kMeterRows));
    return true;
}

void TMassAirEditorDialog::StringGridSetEditText(int col, int row, const QString&) {
    MeterModified = true;
    auto filled = [this](int c, int r) { return !StringGrid->cell(c, r).isEmpty(); };
    if (filled(0, row) && filled(1, row) && row == StringGrid->rowCount() - 1 &&
        !refuseRow(col, row))
        StringGrid->setRowCount(StringGrid->rowCount() + 1);
    if (col == 1 && !filled(1, row)) {
        bool restEmpty = true;
        for (int r = row + 1; r < StringGrid->rowCount(); ++r)
            if (filled(0, r) || filled(1, r)) restEmpty = false;
        if (restEmpty) StringGrid->setRowCount(row + 1);
    }
    if (!filled(0, row) && !filled(1, row) && row != StringGrid->rowCount() - 1)
        StringGrid->deleteRow(row);
    UpdateGraph();
}

bool TMassAirEditorDialog::ValidateGrid() {
    const int r = StringGrid->row();
    const int c = StringGrid->col();
    auto rewrite = [&](int col, float limit, const char* format) {
        const QString text = StringGrid->cell(col, r);
        if (text.isEmpty()) return;
        // Only the cell being left is held to its limit.
        StringGrid->setCell(col, r, LeftCellText(text, format, c == col, limit));
    };
    rewrite(0, MaxSignal, SignalFormat);
    rewrite(1, MaxFlow, FlowFormat);

    const bool empty = StringGrid->cell(0, r).isEmpty() || StringGrid->cell(1, r).isEmpty();
    if (empty && r < StringGrid->rowCount() - 1) {
        if (ui_.warningQuestion(QStringLiteral("This cell must not be empty.  Delete row?")) ==
            UiServices::Answer::Yes) {
            StringGrid->deleteRow(r);
            return true;
        }
        return false;
    }
    const QString flow = StringGrid->cell(1, r);
    if (flow.isEmpty()) return true;
    for (int i = 1; i <= StringGrid->rowCount() - 2; ++i) {
        if (i != r && StringGrid->cell(1, i) == flow) {
            ui_.information(QStringLiteral("The value entered already exists."));
            return false;
        }
    }
    return true;
}

bool TMassAirEditorDialog::StringGridSelectCell(int col, int& row) {
    Q_UNUSED(col);
    const int from = StringGrid->row();
    const int rowsBefore = StringGrid->rowCount();
    const bool ok = ValidateGrid();
    if (ok) {
        // The cell the user chose keeps its row while rows above it go or are sorted.
        if (StringGrid->rowCount() < rowsBefore && row > from) --row;
        if (!StringGrid->cell(0, StringGrid->row()).isEmpty()) {
            const QVector<int> moved = sortGrid();
            if (row >= 1 && row <= moved.size()) row = moved[row - 1] + 1;
        }
    }
    UpdateGraph();
    return ok;
}

void TMassAirEditorDialog::StringGridExit() {
    if (!ValidateGrid()) return;
    BubbleSort();
    UpdateGraph();
}

void TMassAirEditorDialog::StringGridRowDragged(int from, int to) {
    // The drag leaves the row as a move to another cell would: the row is checked first (a row
    // the check keeps or deletes does not move), and after the move the rows are sorted, so a
    // drag changes the order of rows with equal signals only.
    const int rows = StringGrid->rowCount();
    if (!ValidateGrid() || StringGrid->rowCount() != rows) {
        UpdateGraph();
        return;
    }
    const QVector<MeterPoint> before = gridRows();
    StringGrid->moveRow(from, to);
    sortGrid();
    if (gridRows() != before) MeterModified = true;
    UpdateGraph();
}

QVector<int> TMassAirEditorDialog::sortGrid() {
    QVector<MeterPoint> rows = gridRows();
    const QVector<int> moved = SortMeterRows(rows);
    for (int i = 0; i < rows.size(); ++i) {
        StringGrid->setCell(0, i + 1, rows[i].signal);
        StringGrid->setCell(1, i + 1, rows[i].flow);
    }
    // The current row goes where its row went (the entry row stays last). Following the row
    // itself rather than the first row with its signal text keeps it right for equal signals.
    const int current = StringGrid->row();
    if (current >= 1 && current <= moved.size())
        StringGrid->setCurrentCell(StringGrid->col(), moved[current - 1] + 1);
    return moved;
}

void TMassAirEditorDialog::BubbleSort() {
    sortGrid();
}

void TMassAirEditorDialog::UpdateGraph() {
    QList<QPointF> points;
    for (int r = 1; r < StringGrid->rowCount(); ++r) {
        double signal = 0;
        double flow = 0;
        // Rows still being typed (an empty cell, a lone '.') are left out.
        if (!MeterTextToNumber(StringGrid->cell(0, r), signal) ||
            !MeterTextToNumber(StringGrid->cell(1, r), flow))
            continue;
        points.append(QPointF(flow, signal));
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    Series1->replace(points);

    double x0 = 0, x1 = 100, y0 = 0, y1 = 6;
    if (!points.isEmpty()) {
        x1 = y1 = std::numeric_limits<double>::lowest();
        for (const QPointF& p : points) {
            x0 = std::min(x0, p.x());
            x1 = std::max(x1, p.x());
            y0 = std::min(y0, p.y());
            y1 = std::max(y1, p.y());
        }
        if (x1 <= x0) x1 = x0 + 1;
        if (y1 <= y0) y1 = y0 + 1;
    }
    FlowAxis->setRange(x0, x1);
    SignalAxis->setRange(y0, y1);
    FlowAxis->applyNiceNumbers();
    SignalAxis->applyNiceNumbers();
}

// ---- Text import ----

void TMassAirEditorDialog::ImportButtonClick() {
    if (QuerySave() == UiServices::Answer::Cancel) return;
    QString name = ui_.openFileName(state_.AppDir, kTextFilter, QStringLiteral("*.txt"));
    if (name.isEmpty()) return;
    if (!QFileInfo::exists(name) &&
        QFileInfo::exists(withDefaultSuffix(name, QStringLiteral("txt"))))
        name = withDefaultSuffix(name, QStringLiteral("txt"));
    QByteArray data;
    QString error;
    if (!ReadFileStart(name, kMaxTextFileSize, data, error)) {
        ui_.error(error);
        return;
    }
    const MeterImportResult result = ImportMeterText(data, MeterRecord);
    ClearForm();
    RecordToForm();
    BubbleSort();
    UpdateGraph();
    if (result.points == 0) ui_.information(NoPointsMessage(name));
    if (result.leftOut > 0) ui_.information(LeftOutMessage(result.leftOut));
}

void TMassAirEditorDialog::FitCurveButtonClick() {
    if (QuerySave() == UiServices::Answer::Cancel) return;
    const QString name = ui_.openFileName(
        state_.AppDir, QStringLiteral("Curve files (*.txt *.csv);;All files (*)"), QString());
    if (name.isEmpty()) return;
    FitDialog->preset(QFileInfo(name).completeBaseName(), UnitsRGrp->itemIndex() == 1,
                      FrequencyCheckBox->isChecked());
    if (ui_.runModal(*FitDialog) != QDialog::Accepted) return;
    const MeterFitOptions options = FitDialog->options();
    QByteArray data;
    QString error;
    std::vector<CurvePoint> curve;
    MeterFitResult fit;
    if (!ReadFileStart(name, kMaxTextFileSize, data, error) || !ReadCurveText(data, curve, error) ||
        !FitMeterCurve(curve, options, fit, error)) {
        ui_.error(error);
        return;
    }
    FillFittedRecord(fit, options, FitDialog->partNumber(), QFileInfo(name).fileName(),
                     MeterRecord);
    ClearForm();
    RecordToForm();
    BubbleSort();
    UpdateGraph();
    // As after Convert: nothing is on disk until the user saves.
    MeterModified = true;
    ui_.information(FitSummary(fit));
}

}  // namespace varnel
