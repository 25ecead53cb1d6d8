#include "project_document.h"

#include "base/project_file.h"
#include "base/ui_services.h"
#include "image/table_view.h"

#include <QFile>
#include <QFileInfo>

namespace varnel {

void ApplyProjectAnswers(ProjectHeader& header, const ProjectAnswers& answers) {
    header.setProjectName(answers.name.left(63));
    header.setDescription(answers.description.left(63));
    // A group the dialog could not show (one read from a file) stays as it was.
    if (answers.group >= 0) header.setGroup(static_cast<uint8_t>(answers.group));
    header.setMetric(answers.metric ? 1 : 0);
}

QString GroupDir(const QString& appDir, int group) {
    const QString name = GroupName(group);
    return name.isEmpty() ? appDir : appDir + name + QLatin1Char('/');
}

void NewProjectHeader(ProjectHeader& header, uint8_t outputType, int32_t today) {
    header.clear();
    header.setCreatedDate(today);
    header.setModifiedDate(today);
    header.setTotalRecords(48);
    header.setHeaderRecords(32);
    header.setSoftwareVersion(11);
    header.setHardwareVersion(10);
    header.setVInMeterGroup(0xFF);
    header.setVOutMeterGroup(0xFF);
    header.setVInMeterName(QStringLiteral("(none)"));
    header.setVOutMeterName(QStringLiteral("(none)"));
    header.setOutputType(outputType);
}

void WriteNewProjectTable(EepromImage& image, bool frequency) {
    for (int i = 0; i < 32; ++i) {
        // The quotient goes through text, as if typed, so the table holds exactly what typing
        // these values would store.
        const long double q =
            frequency ? static_cast<long double>(i) / kFreqWordScale
                      : static_cast<long double>(i) / static_cast<long double>(kInputStepDivisor);
        const QString text = FormatFixed("%.15Lg", q);
        if (frequency)
            StoreFreqEntry(image, i, text);
        else
            StoreVoltEntry(image, i, text);
    }
    image.setEntry(32, 1023);
}

ProjectDocument::ProjectDocument(AppState& state, UiServices& ui, ProjectControls& controls)
    : s_(state), ui_(ui), controls_(controls) {}

void ProjectDocument::replace() {
    ++generation_;
    if (replacing) replacing();
}

void ProjectDocument::NewProject() {
    replace();
    const int32_t day = DayNumber(today());
    s_.ProjectState = DocState::New;
    s_.ProjectFileName = QStringLiteral("(new)");
    s_.image.fill(0xFF);
    NewProjectHeader(s_.header, static_cast<uint8_t>(std::max(0, controls_.outputIndex())), day);
    WriteNewProjectTable(s_.image, frequency());
    controls_.drawTableChart();

    controls_.selectOutput(0);
    for (int k = 1; k <= 4; ++k) controls_.showPot(k, QStringLiteral("0"));
    s_.PotValue.fill(0);
    s_.image.setModeByte(kModeVoltage);
    controls_.selectOutput(0);
    controls_.setInvertChecked(false);
    for (int k = 1; k <= 4; ++k) s_.image.setByte(kPotByteOffset + k - 1, 0);
    s_.image.setEntry(kLimitEntry, 1023);
    controls_.setLimitText(LimitText(s_.image, frequency()));

    s_.Modified = false;
    const int generation = generation_;
    controls_.connectBox();
    // A project opened or made during the Connect is the project now; its own steps ran.
    if (generation_ != generation) return;
    controls_.updateControls();
}

bool ProjectDocument::ReadProjectCopy(const QString& path, ProjectHeader& header,
                                      EepromImage& image) {
    header = s_.header;
    image = s_.image;
    const ReadStatus status = ReadProjectFile(path, header, image);
    if (status == ReadStatus::Ok) return true;
    ui_.error(ReadErrorText(status, path));
    return false;
}

bool ProjectDocument::LoadProject(const QString& path) {
    // Read into copies: a file that fails half-way must not leave a mix of two projects.
    ProjectHeader header;
    EepromImage image;
    if (!ReadProjectCopy(path, header, image)) return false;
    replace();
    s_.header = header;
    s_.image = image;
    s_.ProjectFileName = path;
    s_.ProjectState = DocState::File;
    reloadControls();
    s_.Modified = false;
    const int generation = generation_;
    controls_.connectBox();
    if (generation_ != generation) return true;
    controls_.updateControls();
    ui_.information(path + QStringLiteral(" loaded"));
    return true;
}

bool ProjectDocument::SaveProject() {
    const QString name = s_.ProjectFileName;
    ProjectHeader header = s_.header;
    StampHeaderForSave(header, DayNumber(today()));
    QString error;
    switch (WriteProjectFile(name, header, s_.image, error)) {
        case SaveStatus::Refused:
            ui_.error(error);
            return false;
        case SaveStatus::Incomplete:
            ui_.error(QStringLiteral("Error saving ") + name);
            return false;
        case SaveStatus::Saved:
            break;
    }
    s_.header = header;
    ui_.information(name + QStringLiteral(" saved"));
    s_.ProjectState = DocState::File;
    s_.Modified = false;
    controls_.updateControls();
    return true;
}

void ProjectDocument::CloseProject() {
    replace();
    s_.ProjectState = DocState::None;
    s_.Modified = false;
    controls_.updateControls();
}

void ProjectDocument::OutputKindChange(int index) {
    const bool freq = index == 1;
    s_.image.setOutputKind(freq);
    // The limit box re-reads its new text under the new kind, through its own change handler.
    controls_.setLimitText(LimitText(s_.image, freq));
    s_.header.setOutputType(static_cast<uint8_t>(std::max(0, index)));
    s_.Modified = true;
    controls_.drawTableChart();
    controls_.updateControls();
    controls_.repaintTableGrid();
    controls_.repaintHexGrid();
}

void ProjectDocument::LimitChange(const QString& text) {
    StoreLimitText(s_.image, text, frequency());
    s_.Modified = true;
    controls_.updateControls();
    controls_.repaintHexGrid();
}

void ProjectDocument::TypeLimit(const QString& keys) {
    QString text;
    for (const QChar c : keys) {
        if (!LimitKeyAccepted(c) || c.unicode() < u' ' || c.unicode() == 127) continue;
        text += c;
        controls_.setLimitText(text);
    }
}

void ProjectDocument::InvertChange(bool ticked) {
    s_.image.setInvertLimit(ticked);
    s_.Modified = true;
    controls_.updateControls();
    controls_.repaintHexGrid();
}

void ProjectDocument::SetPot(int pot, int step) {
    if (pot < 1 || pot > 4) return;
    const int offset = kPotByteOffset + pot - 1;
    uint8_t& value = s_.PotValue[size_t(pot - 1)];
    if (step != 0) {
        s_.Modified = true;
        // The step starts from what the box shows, not from the byte, which the hexadecimal grid
        // may have changed since.
        value = PotAfterStep(value, step);
        s_.image.setByte(offset, value);
        controls_.showPot(pot, PotSteppedText(value));
    } else {
        value = s_.image.byte(offset);
        controls_.showPot(pot, PotLoadedText(value));
    }
    controls_.updateControls();
    controls_.repaintHexGrid();
}

void ProjectDocument::reloadControls() {
    controls_.drawTableChart();
    // Each setter runs its control's handler where the shown value changes, as a user's change
    // would; the callers clear Modified afterwards.
    controls_.selectOutput(s_.image.isFrequencyOutput() ? 1 : 0);
    controls_.setInvertChecked(s_.image.invertLimit());
    for (int k = 1; k <= 4; ++k) SetPot(k, 0);
    controls_.setLimitText(LimitText(s_.image, frequency()));
}

void ProjectDocument::ApplyRetrieved(const TransferBytes& bytes) {
    for (int i = 0; i < kTransferBytes; ++i) s_.image.setByte(i, bytes[size_t(i)]);
    reloadControls();
    s_.Modified = false;
    controls_.updateControls();
}

void ProjectDocument::markModified() {
    // Only the first change refreshes the window: that is what enables File > Save.
    if (s_.Modified) return;
    s_.Modified = true;
    controls_.updateControls();
}

QString ProjectDocument::TableEdit(int row, const QString& text) {
    if (text.isEmpty() || row < 1 || row > kTableEntries) return {};
    markModified();
    const int entry = row - 1;
    // The frequency store would clear the entry for a text that is not a number: a typo, or a
    // decimal comma, must not wipe a value.
    const TextRefusal refusal = TableTextRefusal(text, frequency());
    const QString shown = refusal == TextRefusal::None
                              ? StoreEntryText(s_.image, entry, text, frequency())
                              : EntryText(s_.image, entry, frequency());
    controls_.updateChartPoint(entry, shown);
    controls_.repaintHexGrid();
    if (refusal == TextRefusal::None) return {};
    return QStringLiteral("'%1' is not %2: entry %3 kept")
        .arg(text,
             refusal == TextRefusal::NotANumber ? QStringLiteral("a number")
                                                : QStringLiteral("a valid value"),
             QString::number(entry));
}

void ProjectDocument::SetEntryWord(int entry, uint16_t word) {
    if (entry < 0 || entry >= kTableEntries || s_.image.entry(entry) == word) return;
    s_.image.setEntry(entry, word);
    tableChanged();
}

void ProjectDocument::tableChanged() {
    markModified();
    controls_.drawTableChart();
    controls_.repaintTableGrid();
    controls_.repaintHexGrid();
}

bool ProjectDocument::RangeOperation(const RangeOp& op) {
    QString error = RangeProblem(op.kind, op.first, op.last);
    if (error.isEmpty() && ApplyRangeOp(s_.image, op, frequency(), error)) {
        tableChanged();
        return true;
    }
    ui_.error(error);
    return false;
}

int ProjectDocument::PasteTable(int firstEntry, const QString& text) {
    QString error;
    int count = 0;
    if (firstEntry < 0 || firstEntry >= kTableEntries) return 0;
    if (!PasteTableText(s_.image, firstEntry, text, frequency(), error, count)) {
        ui_.error(error);
        return 0;
    }
    tableChanged();
    return count;
}

bool ProjectDocument::ImportTable(const QString& path) {
    // A table's CSV is about a kilobyte; anything far larger is not one, and is not read whole.
    constexpr qint64 kMaxCsvBytes = 1 << 20;
    QFile file(path);
    if (!QFileInfo::exists(path)) {
        ui_.error(path + QStringLiteral(" not found"));
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        ui_.error(QStringLiteral("Error reading ") + path);
        return false;
    }
    const QByteArray data = file.read(kMaxCsvBytes + 1);
    if (data.size() > kMaxCsvBytes) {
        ui_.error(path + QStringLiteral(" is too large to be a table"));
        return false;
    }
    QString error;
    int count = 0;
    if (!ImportTableCsvText(s_.image, QString::fromUtf8(data), frequency(), path, error, count)) {
        ui_.error(error);
        return false;
    }
    tableChanged();
    return true;
}

bool ProjectDocument::ExportTable(const QString& path) {
    QString error;
    switch (WriteFileBytes(path, TableCsvText(s_.image, frequency()).toUtf8(), error)) {
        case SaveStatus::Refused:
            ui_.error(error);
            return false;
        case SaveStatus::Incomplete:
            ui_.error(QStringLiteral("Error saving ") + path);
            return false;
        case SaveStatus::Saved:
            break;
    }
    ui_.information(path + QStringLiteral(" saved"));
    return true;
}

bool ProjectDocument::SetTableWords(const std::array<uint16_t, kTableEntries>& words) {
    bool changed = false;
    for (int i = 0; i < kTableEntries; ++i) {
        if (s_.image.entry(i) == words[size_t(i)]) continue;
        s_.image.setEntry(i, words[size_t(i)]);
        changed = true;
    }
    if (changed) tableChanged();
    return changed;
}

void ProjectDocument::RestoreContents(const EepromImage& image, const ProjectHeader& header,
                                      bool modified) {
    s_.image = image;
    s_.header = header;
    reloadControls();
    // The controls' handlers rewrite what they show (the output kind's bits, the limit, the
    // header's OutputType); the state being restored is what they showed then, so its bytes
    // go back exactly.
    s_.image = image;
    s_.header = header;
    s_.Modified = modified;
    controls_.updateControls();
    controls_.repaintTableGrid();
    controls_.repaintHexGrid();
}

void ProjectDocument::HexEdit(int col, int row, const QString& text) {
    if (text.isEmpty() || col < 1 || col > 16 || row < 1 || row > 16) return;
    markModified();
    const int value = LeadingHexValue(text);
    if (value > 0xFF) {
        ui_.error(QStringLiteral("Range check error"));
        return;
    }
    s_.image.setByte(HexCellIndex(col, row), static_cast<uint8_t>(value));
    controls_.repaintTableGrid();
}

void PlainProjectControls::selectOutput(int index) {
    if (index == output) return;
    output = index;
    if (doc_) doc_->OutputKindChange(index);
}

void PlainProjectControls::setLimitText(const QString& text) {
    if (text == limit) return;
    limit = text;
    if (doc_) doc_->LimitChange(text);
}

void PlainProjectControls::setInvertChecked(bool on) {
    if (on == invert) return;
    invert = on;
    if (doc_) doc_->InvertChange(on);
}

}  // namespace varnel
