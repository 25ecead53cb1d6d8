#pragma once

#include "base/project_header.h"
#include "image/eeprom_image.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace varnel {

// How the box bytes (0..79) of two projects differ, grouped as a user reads them: the table
// entries, the mode byte (output kind, invert), the pots, the limit, then any other byte by its
// address. Side a is the project (or the first of two files), side b the box (or the second
// file). Each side's texts are in its own output kind, as its own grid shows them. The window's
// comparison, the question before a write of the changes and varnel-cli's diff all print this.
struct ProjectDiff {
    struct Entry {
        int entry = 0;  // 0..32
        QString input;  // the row title, trimmed: "2.438"
        QString a, b;   // as the grid shows them, trimmed
        int aWord = 0, bWord = 0;
    };
    struct Mode {
        uint8_t a = 0, b = 0;
        bool outputDiffers = false;
        bool invertDiffers = false;
        // Bits that neither the output kind nor the invert option shows differ too.
        bool otherBitsDiffer = false;
    };
    struct Pot {
        int pot = 0;  // 1..4
        QString a, b;
    };
    struct Limit {
        QString a, b;
        int aWord = 0, bWord = 0;
    };
    struct Byte {
        int address = 0;
        uint8_t a = 0, b = 0;
    };
    // A named header field of two project files: its text as show prints it, its JSON value.
    struct HeaderField {
        QString name;  // "ProjectName"
        QString a, b;
        QJsonValue aValue, bValue;
    };

    bool aFrequency = false;
    bool bFrequency = false;
    QList<Entry> entries;
    std::optional<Mode> mode;
    QList<Pot> pots;
    std::optional<Limit> limit;
    QList<Byte> bytes;          // 0x47 and 0x4A..0x4F, which nothing in the window shows
    QList<HeaderField> header;  // two files only: the box has no header
    // Every box byte that differs, ascending: what a write of the changes sends.
    std::vector<int> changed;

    bool equal() const { return changed.empty(); }
};

ProjectDiff DiffBoxBytes(const EepromImage& a, const EepromImage& b);

// Two project files: their box bytes as above, then the named header fields that differ, in
// the header's order. Only the box bytes decide equal().
ProjectDiff DiffProjects(const ProjectHeader& headerA, const EepromImage& a,
                         const ProjectHeader& headerB, const EepromImage& b);

// A header's named fields, each with its text as show prints it ("37470 (2002-08-02)",
// "0 (Ford)") in a and its JSON value in aValue.
QList<ProjectDiff::HeaderField> HeaderFields(const ProjectHeader& header);

// One row per difference in the order above: what differs, side a's value, side b's value.
// "Entry 13 (2.438 V in)", "2.500 V (512)", "2.600 V (532)"; "Output", "Voltage", "Frequency";
// "Invert", "off", "on"; "Pot 1", "0", "7"; "Limit", "4.995 V (1023)", ...; "Byte 4A", "FF", "00";
// then the header fields: "ProjectName", "Stock", "Tuned".
struct DiffRow {
    QString what, a, b;
};
QList<DiffRow> DiffRows(const ProjectDiff& diff);

// The rows as text, one line each: "what: a | b".
QStringList DiffLines(const ProjectDiff& diff);

// {"equal", "entries": [{"entry", "input", "a", "b", "aWord", "bWord"}], "mode": null or
// {"a": {"byte", "output", "invert"}, "b": {...}}, "pots": [{"pot", "a", "b"}], "limit": null or
// {"a", "b", "aWord", "bWord"}, "bytes": [{"address", "a", "b"}], "header": {"ProjectName":
// {"a", "b"}, ...}}. The box has no header; a comparison of two files lists the header fields
// that differ there.
QJsonObject DiffJson(const ProjectDiff& diff);

}  // namespace varnel
