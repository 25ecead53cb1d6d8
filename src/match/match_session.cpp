#include "match_session.h"

#include "base/app_state.h"
#include "base/project_document.h"
#include "base/ui_services.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace varnel {

MeterRows MeterRowsOf(const TMeterRecord& record) {
    MeterRows rows;
    rows.metric = record.Metric() != 0;
    rows.frequency = record.Frequency() != 0;
    for (int k = 1; k <= record.usableRows(); ++k) {
        rows.signalTexts.append(record.SignalText(k));
        rows.flowTexts.append(record.FlowText(k));
    }
    return rows;
}

QString MeterFilePattern(const QString& folder) {
    return folder + QStringLiteral("*.maf");
}

namespace {

QStringList meterFilesOnDisk(const QString& folder) {
    // QDir matches name filters without regard to case unless told otherwise.
    return QDir(folder).entryList({QStringLiteral("*.maf")},
                                  QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QString listedName(const QString& fileName) {
    return fileName.toUpper().trimmed();
}

}  // namespace

QStringList ListMeterFiles(const QString& folder) {
    QStringList names;
    for (const QString& f : meterFilesOnDisk(folder)) names.append(listedName(f));
    names.sort();
    names.removeDuplicates();
    return names;
}

QString FindMeterFile(const QString& folder, const QString& name) {
    if (name.isEmpty()) return {};
    const QDir dir(folder);
    const QStringList files = meterFilesOnDisk(folder);
    if (files.contains(name)) return dir.filePath(name);
    for (const QString& f : files)
        if (listedName(f) == name) return dir.filePath(f);
    return {};
}

bool ReadMatchMeter(const QString& path, TMeterRecord& record, UiServices& ui) {
    const QFileInfo info(path);
    if (!info.exists() || info.isDir()) {
        ui.error(QStringLiteral("File ") + path + QStringLiteral(" not found"));
        return false;
    }
    TMeterRecord read;
    QString error;
    if (!ReadMeterFile(path, read, error)) {
        ui.error(error);
        return false;
    }
    record = read;
    return true;
}

int MatchCopySource::uncovered() const {
    return int(std::count_if(entries.begin(), entries.end(), [](int e) { return e < 0; }));
}

MeterMatchSession::MeterMatchSession(const AppState& state, UiServices& ui) : s_(state), ui_(ui) {
    Reset();
}

void MeterMatchSession::Reset() {
    Headers = {QStringLiteral("Flow"), QStringLiteral("V In"), QStringLiteral("V Out")};
    ResetCells(Cells);
    Completed.reset();
    resetPrecise();
}

void MeterMatchSession::resetPrecise() {
    CompletedPrecise.reset();
    PreciseRefusal.clear();
    ClassicError.reset();
    PreciseError.reset();
}

const MatchCopySource* MeterMatchSession::CopySource(MatchMethod method) const {
    const auto& source = method == MatchMethod::Precise ? CompletedPrecise : Completed;
    return source ? &*source : nullptr;
}

void MeterMatchSession::matchPrecisely(const MeterRows& use, const MeterRows& match) {
    resetPrecise();
    MatchCurve useCurve;
    MatchCurve matchCurve;
    if (!MatchCurveOf(use, useCurve, PreciseRefusal) ||
        !MatchCurveOf(match, matchCurve, PreciseRefusal))
        return;
    const TableWords words = PreciseMatchWords(useCurve, matchCurve);
    MatchCopySource precise = *Completed;
    std::copy_n(words.begin(), precise.entries.size(), precise.entries.begin());
    precise.entry32 = words[kTableEntries - 1];
    CompletedPrecise = precise;
    PreciseError = PredictMatchError(useCurve, matchCurve, words);
    ClassicError = PredictMatchError(useCurve, matchCurve, ClassicTableWords(Completed->entries));
}

bool MeterMatchSession::LoadMeter(MeterRole role, int group, TMeterRecord& record,
                                  const QString& fileName) {
    const QString folderName = GroupName(group);
    if (folderName.isEmpty()) {
        ui_.error(QStringLiteral("Invalid data path"));
        return false;
    }
    const QString folder = s_.AppDir + folderName + QLatin1Char('/');
    const QString found = FindMeterFile(folder, fileName);
    // The message names the file as the list shows it, even when the disk spells it otherwise.
    if (!ReadMatchMeter(found.isEmpty() ? folder + fileName : found, record, ui_)) return false;
    if (role == MeterRole::Use) {
        UseGroup = static_cast<uint8_t>(group);
        UseFile = fileName;
    } else {
        MatchGroup = static_cast<uint8_t>(group);
        MatchFile = fileName;
    }
    return true;
}

bool MeterMatchSession::MatchFiles(int group, const QString& useName, const QString& matchName) {
    if (!LoadMeter(MeterRole::Use, group, UseRecord, useName)) return false;
    if (!LoadMeter(MeterRole::Match, group, MatchRecord, matchName)) return false;
    return Match(UseRecord, MatchRecord);
}

bool MeterMatchSession::Match(const TMeterRecord& use, const TMeterRecord& match) {
    UseIsFrequency = use.Frequency() != 0;
    Headers[1] = UseIsFrequency ? QStringLiteral("F Use") : QStringLiteral("V Use");
    MatchIsFrequency = match.Frequency() != 0;
    Headers[2] = MatchIsFrequency ? QStringLiteral("F Out") : QStringLiteral("V Out");
    FlowUnits = FlowUnitsText(match.Metric() != 0);

    QString error;
    const MeterRows useRows = MeterRowsOf(use);
    const MeterRows matchRows = MeterRowsOf(match);
    if (!MatchMeters(useRows, matchRows, Cells, error)) {
        // The cells now hold part of this match over the last one: neither may be copied.
        Completed.reset();
        resetPrecise();
        ui_.error(error);
        return false;
    }
    // The copy records the meters this match was made from, even if a later Match loads other
    // files and then stops at a missing one.
    MatchCopySource done;
    done.useGroup = UseGroup;
    done.matchGroup = MatchGroup;
    done.useFile = UseFile;
    done.matchFile = MatchFile;
    done.matchIsFrequency = MatchIsFrequency;
    done.entries = MatchTableEntries(Cells, MatchIsFrequency);
    Completed = done;
    matchPrecisely(useRows, matchRows);
    return true;
}

QString MeterMatchSession::CellText(int col, int row) const {
    if (col < 0 || col > 2) return {};
    if (row == 0) return Headers[size_t(col)];
    if (row < 1 || row > kMatchCellCount) return {};
    return MatchCellText(Cells[size_t(row - 1)], col, UseIsFrequency, MatchIsFrequency);
}

QString UncoveredEntriesMessage(int uncovered) {
    return QStringLiteral(
               "The match gives no output for %1 of the 32 table entries; nothing was copied.")
        .arg(uncovered);
}

bool CopyMatchToProject(const MatchCopySource& source, AppState& state, ProjectControls& controls,
                        UiServices& ui) {
    // A negative word has no table form; writing the rest would leave a table that is part
    // match and part whatever was there before.
    if (const int missing = source.uncovered(); missing > 0) {
        ui.error(UncoveredEntriesMessage(missing));
        return false;
    }
    if (ui.confirm(QStringLiteral("Ok to save E2P data in main table?")) != UiServices::Answer::Yes)
        return false;

    ProjectHeader& h = state.header;
    h.setVInMeterGroup(source.useGroup);
    h.setVInMeterName(source.useFile.left(kMeterNameLength));
    h.setVOutMeterGroup(source.matchGroup);
    h.setVOutMeterName(source.matchFile.left(kMeterNameLength));
    for (int i = 0; i < 32; ++i)
        state.image.setEntry(i, static_cast<uint16_t>(source.entries[size_t(i)]));
    if (source.entry32 >= 0) state.image.setEntry(32, static_cast<uint16_t>(source.entry32));
    state.image.setOutputKind(source.matchIsFrequency);
    // The selector's own handler runs when its selection changes, as for a user's click.
    controls.selectOutput(source.matchIsFrequency ? 1 : 0);
    controls.drawTableChart();
    state.Modified = true;
    controls.updateControls();
    return true;
}

}  // namespace varnel
