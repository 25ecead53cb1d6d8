#pragma once

#include "base/project_header.h"
#include "image/eeprom_image.h"

#include <QString>
#include <QStringList>

#include <array>

namespace varnel {

enum class DocState { New = 0, File = 1, None = 2 };

// Vehicle groups: both the group's name and its folder below AppDir.
inline const std::array<const char*, 3> GroupNames = {"Ford", "GM", "Import"};
inline QString GroupName(int group) {
    return group >= 0 && group < int(GroupNames.size()) ? QString::fromLatin1(GroupNames[group])
                                                        : QString();
}

// The program's shared state: one object, made by main (or by a test) and handed to every window.
struct AppState {
    EepromImage image;
    ProjectHeader header;
    DocState ProjectState = DocState::None;
    bool Modified = false;
    QString ProjectFileName;

    bool AbortFlag = false;
    bool Connected = false;
    bool MonitorMode = false;
    bool Learning = false;
    bool LearnPaused = false;

    // Folders end with '/'.
    QString AppDir;
    QString ProjectDir;

    // The value each pot's box shows; the spin buttons step it, not the image byte.
    std::array<uint8_t, 4> PotValue{};

    // Where kex.ini lives, and the first positional command-line argument.
    QString SettingsPath;
    QString DiagnosticWord;
    // A project or meter file named on the command line, opened after the first activation.
    QString StartFile;
};

// The command-line word that shows the hexadecimal grid, as the first argument.
inline const char* const kDiagnosticWord = "JOVK";

// The positional command-line arguments into DiagnosticWord and StartFile (made absolute). A
// file is any argument but a leading diagnostic word that ends in .KEX or .maf (in any case)
// or names an existing file; other words are ignored, as a wrong diagnostic word always was.
// False, with the reason, for more than one file.
bool TakeStartArguments(const QStringList& args, AppState& state, QString& problem);

// True for a meter file's name (.maf in any case); any other file is read as a project.
bool IsMeterFileName(const QString& path);

// The program folder when it can be written and is not an installed program's folder, else the
// user's data folder ($XDG_DATA_HOME/varnel, normally ~/.local/share/varnel, on Linux).
QString DefaultAppDir(const QString& programDir);

// True for the bin/ folder of an installed copy: share/varnel lies beside it.
bool IsInstalledProgramDir(const QString& programDir);

// Creates the folder and any missing parents when no folder of that name exists.
void EnsureFolder(const QString& path);

// For the first start of an installed program: each of the group folders Ford (a new project's
// group, so Edit > Match lists the samples at once) and Import that does not exist yet is made
// and given the sample meters (*.maf) and the sample datalog (*.csv) of samplesDir. A folder
// that exists already gets nothing, and no file is ever copied over one that is there.
void PlaceSamples(const QString& appDir, const QString& samplesDir);

}  // namespace varnel
