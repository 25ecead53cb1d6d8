#pragma once

#include "base/app_state.h"
#include "image/eeprom_image.h"
#include "image/table_ops.h"

#include <QDate>
#include <QString>

#include <array>
#include <functional>

namespace varnel {

class UiServices;

// The answers of the project setup dialog. The defaults are what File > New offers.
struct ProjectAnswers {
    QString name = QStringLiteral("(none)");
    QString description;
    int group = 0;
    bool metric = false;
};

// Name and description cut to 63 characters, group (unless -1) and units.
void ApplyProjectAnswers(ProjectHeader& header, const ProjectAnswers& answers);

// The folder the project and meter dialogs open in: the group's folder below appDir, or appDir
// itself for a group that has no folder (a file can hold any group number).
QString GroupDir(const QString& appDir, int group);

// The header of a new project before the setup dialog's answers go in.
void NewProjectHeader(ProjectHeader& header, uint8_t outputType, int32_t today);

// A new project's table: entry i (0..31) is the text of i / (16/3) volts, or of i / 2.88 hertz,
// stored as if typed; entry 32 is 1023. Under voltage this is the identity curve.
void WriteNewProjectTable(EepromImage& image, bool frequency);

// The main window's project controls, as the document sees them. A change made through the
// setters runs the document's handler for that control whenever the value differs from the one
// shown, exactly as a user's change would; the document relies on that.
class ProjectControls {
  public:
    virtual ~ProjectControls() = default;

    // The Output selector: 0 voltage, 1 frequency.
    virtual int outputIndex() const = 0;
    virtual void selectOutput(int index) = 0;
    virtual QString limitText() const = 0;
    virtual void setLimitText(const QString& text) = 0;
    virtual bool invertChecked() const = 0;
    virtual void setInvertChecked(bool on) = 0;
    // pot: 1..4.
    virtual void showPot(int pot, const QString& text) = 0;

    virtual void drawTableChart() = 0;
    virtual void updateChartPoint(int entry, const QString& text) = 0;
    virtual void updateControls() = 0;
    virtual void repaintTableGrid() = 0;
    virtual void repaintHexGrid() = 0;
    virtual bool connectBox() = 0;
};

// The project document: the steps of New, Open, Save and Close and of every edit of the image
// through the main window's controls, in the order the window runs them. The window and the
// command line both go through here, so a file edited either way comes out the same.
class ProjectDocument {
  public:
    ProjectDocument(AppState& state, UiServices& ui, ProjectControls& controls);

    // The date that New and Save write; tests fix it.
    std::function<QDate()> today = [] { return QDate::currentDate(); };

    // Runs when the project is about to be replaced by New, a load whose file was read, or
    // Close, before anything of it changes and before the Connect that follows a New or a load
    // lets other events run: whatever still refers to the old project ends here.
    std::function<void()> replacing;
    // Counts those replacements: an operation that waited through one has lost its project.
    int generation() const { return generation_; }

    void NewProject();
    // Reads path; on success it becomes ProjectFileName. A failed read changes nothing.
    bool LoadProject(const QString& path);
    // Reads path into header and image (copies of the project's, as a load starts from) exactly
    // as LoadProject reads it, with the same message for a file that cannot be read; the project
    // itself does not change. File > Compare With reads its reference this way.
    bool ReadProjectCopy(const QString& path, ProjectHeader& header, EepromImage& image);
    // Writes ProjectFileName. A failed save changes nothing and leaves the previous file intact.
    bool SaveProject();
    void CloseProject();

    // The handlers of the controls.
    void OutputKindChange(int index);
    void LimitChange(const QString& text);
    void InvertChange(bool ticked);
    void SetPot(int pot, int step);
    // A table row (1..33) or hexadecimal cell whose editing ended with text. A table text that
    // the store would not take keeps the entry, in both output kinds; TableEdit then returns
    // why ("'2,5' is not a number: entry 5 kept"), and an empty text otherwise.
    QString TableEdit(int row, const QString& text);
    void HexEdit(int col, int row, const QString& text);
    // A table entry (0..32) given a word of its own (a point dragged on the chart), with the
    // steps a typed cell takes, every entry's point following at once.
    void SetEntryWord(int entry, uint16_t word);

    // Types keys into the limit box over its selected text: each accepted key gives a new text,
    // which is stored as it appears; refused keys are dropped as the box drops them.
    void TypeLimit(const QString& keys);

    bool frequency() const { return controls_.outputIndex() == 1; }

    // A run of table rows changed at once, with the steps a cell edit takes for all of them:
    // the first change refreshes the window, the chart is redrawn and both grids repainted. A
    // refusal is reported and changes nothing.
    bool RangeOperation(const RangeOp& op);
    // The clipboard's text into the entries from firstEntry on (Edit > Paste): the number of
    // values pasted, 0 when refused.
    int PasteTable(int firstEntry, const QString& text);
    // File > Import Table: a CSV file's rows into the table.
    bool ImportTable(const QString& path);
    // File > Export Table: the table's CSV, written atomically; the project does not change.
    bool ExportTable(const QString& path);
    // Words computed elsewhere (the correction from a log) into the table, with the steps of a
    // range operation. False, with nothing changed, when every word is already there.
    bool SetTableWords(const std::array<uint16_t, kTableEntries>& words);

    // An earlier state of this project back again: image and header exactly as given, every
    // control set from them as a load sets them (without asking the box), and Modified as given.
    void RestoreContents(const EepromImage& image, const ProjectHeader& header, bool modified);

    // A Retrieve that read all its bytes: they replace the image's first bytes, the controls are
    // set from the image as a load sets them, and the project matches the box (not modified).
    void ApplyRetrieved(const TransferBytes& bytes);

  private:
    void replace();
    // The chart and the controls that mirror the image (output kind, invert, pots, limit).
    void reloadControls();
    void markModified();
    // The end of a change of many table words: as a cell edit ends, for all of them.
    void tableChanged();

    AppState& s_;
    UiServices& ui_;
    ProjectControls& controls_;
    int generation_ = 0;
};

// The project controls as plain values, for the command line: no window, no box.
class PlainProjectControls : public ProjectControls {
  public:
    void attach(ProjectDocument& document) { doc_ = &document; }

    int output = 0;
    QString limit;
    bool invert = false;
    std::array<QString, 4> pots{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"),
                                QStringLiteral("0")};

    int outputIndex() const override { return output; }
    void selectOutput(int index) override;
    QString limitText() const override { return limit; }
    void setLimitText(const QString& text) override;
    bool invertChecked() const override { return invert; }
    void setInvertChecked(bool on) override;
    void showPot(int pot, const QString& text) override { pots.at(size_t(pot - 1)) = text; }
    void drawTableChart() override {}
    void updateChartPoint(int, const QString&) override {}
    void updateControls() override {}
    void repaintTableGrid() override {}
    void repaintHexGrid() override {}
    bool connectBox() override { return false; }

  private:
    ProjectDocument* doc_ = nullptr;
};

}  // namespace varnel
