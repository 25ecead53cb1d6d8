#pragma once

#include "base/project_diff.h"
#include "link/box_transfer.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace varnel {

// Where a write of the changes keeps what the box held before it writes.
struct BackupPlace {
    QString dir;
    QString stem;  // the name's start (BackupStem)
    QDateTime time;
};

struct ChangesOutcome {
    enum class End { ReadFailed, BackupFailed, Equal, Refused, Written, WriteFailed };
    End end = End::ReadFailed;
    TransferOutcome read;
    TransferOutcome write;  // counts the changed bytes
    QString backupPath;     // once saved
    ProjectDiff diff;       // the bytes to write (side a) against the box (side b), once read
    bool ok() const { return end == End::Equal || end == End::Written; }
};

struct ChangesSteps {
    TransferProgress reading;  // bytes of 80 read
    // The question before anything is written; true to write. The command line writes unasked.
    std::function<bool(const ProjectDiff& diff, const QString& backupPath)> ask;
    std::function<void(int count)> writing;  // the number of bytes about to be written
    TransferProgress written;                // bytes of that number done
    TransferProgress acknowledged;           // bytes of that number the box has taken so far
};

// "The box holds the project's data."
QString BoxHoldsProjectText();

// Writes into the box only what differs from source, after keeping what the box held:
// 1. reads the box's bytes 0..79 (ReadBoxBytes); a failure ends here with its message;
// 2. saves a backup, the open project's header and the box's bytes 0..79 over the open
//    project's image; a failed save ends here with its message;
// 3. when the box holds source's bytes 0..79 already, says so and ends; otherwise asks;
// 4. writes the bytes that differ, in ascending order, as the Update writes each byte.
// Nothing is written before step 4. The bytes written are source's as it was at the start.
// The open project (image, header, Modified) is not changed.
ChangesOutcome UpdateChanges(AppState& state, BoxLink& link, UiServices& ui, EepromImage source,
                             const BackupPlace& backup, const ChangesSteps& steps);

}  // namespace varnel
