#pragma once

#include "match/meter_match.h"
#include "match/precise_match.h"
#include "meter/meter_file.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

namespace varnel {

struct AppState;
class ProjectControls;
class UiServices;

inline constexpr int kMeterNameLength = 31;  // the header's meter names

enum class MeterRole { Use = 1, Match = 2 };

// What the match needs of a meter record: its units, signal kind and the texts of rows 1 to N,
// N held to 0..62 (a larger count only comes from a damaged file).
MeterRows MeterRowsOf(const TMeterRecord& record);

// The pattern the match dialog lists: the folder (ending in '/') followed by "*.maf".
QString MeterFilePattern(const QString& folder);

// The meter files of a folder as the match dialog lists them: names upper-cased and trimmed,
// sorted, each name once. Extensions match in any case, hidden files included.
QStringList ListMeterFiles(const QString& folder);

// The file in folder whose upper-cased, trimmed name is name (a name from ListMeterFiles), the
// file of exactly that name first; empty when there is none. File names are case-sensitive on
// some systems, and the list shows them upper-cased.
QString FindMeterFile(const QString& folder, const QString& name);

// Reads a meter file for a match: "File " + path + " not found" when there is no such file, the
// system's message when it cannot be read. The unread tail of a short file reads as zero.
bool ReadMatchMeter(const QString& path, TMeterRecord& record, UiServices& ui);

// What a copy takes from a match that reached its end: the two meters it was made from, the
// match meter's kind and the 32 table words (-1 where the match gave the cell no output).
struct MatchCopySource {
    uint8_t useGroup = 0;
    uint8_t matchGroup = 0;
    QString useFile;
    QString matchFile;
    bool matchIsFrequency = false;
    std::array<int, 32> entries{};
    // Entry 32, which only the precise method writes; -1 leaves it as it is.
    int entry32 = -1;

    // How many of the 32 entries the match leaves without a word.
    int uncovered() const;
};

// The match dialog's state and steps without its widgets: the 256 cells, the meters of the last
// match and the grid's headers. The dialog and varnel-cli run the same steps through here.
class MeterMatchSession {
  public:
    MeterMatchSession(const AppState& state, UiServices& ui);

    MatchCells Cells;
    TMeterRecord UseRecord;
    TMeterRecord MatchRecord;
    bool UseIsFrequency = false;
    bool MatchIsFrequency = false;
    uint8_t UseGroup = 0;
    uint8_t MatchGroup = 0;
    QString UseFile;
    QString MatchFile;
    // The grid's column headers and the flow unit label.
    std::array<QString, 3> Headers;
    QString FlowUnits = QStringLiteral("Units");

    // The last match that reached its end since the dialog was shown; what a copy writes.
    std::optional<MatchCopySource> Completed;
    // The same match by the precise method, when both meters rise; otherwise why not.
    std::optional<MatchCopySource> CompletedPrecise;
    QString PreciseRefusal;
    // The predicted error of each method's table, when both meters rise.
    std::optional<PredictedError> ClassicError;
    std::optional<PredictedError> PreciseError;

    // What a copy by the method writes; null when that method has nothing to copy.
    const MatchCopySource* CopySource(MatchMethod method) const;

    // The dialog's show: headers back to their first texts, every cell empty, nothing to copy.
    void Reset();

    // Reads fileName of group's folder into record; on success the role's group and file name
    // become the meter's. Reports "Invalid data path" for a group without a folder.
    bool LoadMeter(MeterRole role, int group, TMeterRecord& record, const QString& fileName);

    // The Match button: both meters of the project's group, then the match. False when a file
    // could not be loaded (nothing else changed) or a text is not a number (reported; the cells
    // keep what was written so far, and there is nothing to copy any more).
    bool MatchFiles(int group, const QString& useName, const QString& matchName);

    // The match of two loaded records, after the headers and the flow unit are set from them.
    bool Match(const TMeterRecord& use, const TMeterRecord& match);

    // The grid's text for row 1..256 and column 0..2; row 0 shows the headers.
    QString CellText(int col, int row) const;

  private:
    void resetPrecise();
    void matchPrecisely(const MeterRows& use, const MeterRows& match);

    const AppState& s_;
    UiServices& ui_;
};

// Copy E2P: the meters into the header, entries 0 to 31, the output kind, the chart, Modified,
// and the window refreshed, each through the controls the user would see change. A match that
// leaves any of the 32 entries without a word is refused whole. True when the project changed.
bool CopyMatchToProject(const MatchCopySource& source, AppState& state, ProjectControls& controls,
                        UiServices& ui);

// The refusal of a copy that would leave entries without a word.
QString UncoveredEntriesMessage(int uncovered);

}  // namespace varnel
