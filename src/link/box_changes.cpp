#include "box_changes.h"

#include "base/app_state.h"
#include "base/project_backup.h"
#include "base/ui_services.h"

namespace varnel {

QString BoxHoldsProjectText() {
    return QStringLiteral("The box holds the project's data.");
}

ChangesOutcome UpdateChanges(AppState& state, BoxLink& link, UiServices& ui, EepromImage source,
                             const BackupPlace& backup, const ChangesSteps& steps) {
    using End = ChangesOutcome::End;
    ChangesOutcome o;
    TransferBytes bytes;
    bytes.fill(0xFF);
    o.read = ReadBoxBytes(state, link, ui, bytes, steps.reading);
    if (!o.read.ok()) return o;

    EepromImage box = state.image;
    for (int n = 0; n < kTransferBytes; ++n) box.setByte(n, bytes[size_t(n)]);
    if (!SaveBackup(ui, backup.dir, backup.stem, backup.time, state.header, box, o.backupPath)) {
        o.backupPath.clear();
        o.end = End::BackupFailed;
        return o;
    }

    o.diff = DiffBoxBytes(source, box);
    if (o.diff.equal()) {
        ui.information(BoxHoldsProjectText());
        o.end = End::Equal;
        return o;
    }
    if (steps.ask && !steps.ask(o.diff, o.backupPath)) {
        o.end = End::Refused;
        return o;
    }
    if (steps.writing) steps.writing(int(o.diff.changed.size()));
    o.write =
        UpdateBytes(state, link, ui, source, o.diff.changed, steps.written, steps.acknowledged);
    o.end = o.write.ok() ? End::Written : End::WriteFailed;
    return o;
}

}  // namespace varnel
