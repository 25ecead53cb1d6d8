#include "app/compare_dialog.h"
#include "app/kex_main.h"
#include "app/undo_history.h"
#include "base/project_backup.h"
#include "base/project_diff.h"
#include "base/project_file.h"
#include "base/ui_services.h"
#include "link/box_changes.h"
#include "link/box_transfer.h"

#include <QAction>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace varnel {

namespace {

const QString kProjectFilter = QStringLiteral("*.KEX");

bool stoppedPartWay(TransferOutcome::End end) {
    using End = TransferOutcome::End;
    return end == End::NoAcknowledge || end == End::VerifyError || end == End::Aborted;
}

}  // namespace

void TMainForm::wireTransfer() {
    // Beside the Limit box, where the invert option (hidden from the first activation on) was
    // drawn: in view of the Abort button and the status line while a transfer runs.
    TransferProgress = new QProgressBar(TopPanel);
    TransferProgress->setObjectName(QStringLiteral("TransferProgress"));
    TransferProgress->setGeometry(320, 53, 112, 20);
    TransferProgress->setRange(0, kTransferBytes);
    TransferProgress->setValue(0);
    TransferProgress->setFormat(QStringLiteral("%v of %m bytes"));
    TransferProgress->setAlignment(Qt::AlignCenter);
    TransferProgress->hide();

    // "12 of 80 bytes written" is wider than the status column: it wraps onto a second line
    // above the button. One line sits where it always did (centred on the same middle).
    SIOLabel->setGeometry(SIOLabel->x(), SIOLabel->y() - 2, SIOLabel->width(),
                          SIOLabel->height() + 4);
    SIOLabel->setWordWrap(true);

    connect(BoxUpdate, &QAction::triggered, this, &TMainForm::BoxUpdateClick);
    connect(BoxRetrieve, &QAction::triggered, this, &TMainForm::BoxRetrieveClick);
    connect(BoxUpdateChanges, &QAction::triggered, this, &TMainForm::BoxUpdateChangesClick);
    connect(BoxCompare, &QAction::triggered, this, &TMainForm::BoxCompareClick);
    connect(BoxRestore, &QAction::triggered, this, &TMainForm::BoxRestoreClick);
}

void TMainForm::beginTransfer(int total) {
    ++transferDepth_;
    AbortBtn->setEnabled(true);
    AbortBtn->setText(QStringLiteral("Abort"));
    TransferProgress->setRange(0, total);
    TransferProgress->setValue(0);
    TransferProgress->show();
    TransferProgress->raise();
}

void TMainForm::endTransfer() {
    if (--transferDepth_ == 0) TransferProgress->hide();
}

std::optional<TMainForm::BoxWrite> TMainForm::beginBoxWrite(int total) {
    return std::exchange(boxWrite_, BoxWrite{0, total});
}

void TMainForm::boxWritten(int written) {
    if (boxWrite_) boxWrite_->written = written;
}

void TMainForm::endBoxWrite(const std::optional<BoxWrite>& outer, int written) {
    // A write stopped by a close is reported once the close comes through; one that ran inside
    // another's wait hands the question back to that one.
    if (boxWrite_ && boxWrite_->stopped)
        boxWrite_->written = written;
    else
        boxWrite_ = outer;
}

void TMainForm::BoxUpdateClick() {
    if (ui_.confirm(QStringLiteral("Ok to update EEPROM data?")) != UiServices::Answer::Yes) return;
    const Operation operation(*this);
    beginTransfer();
    const std::optional<BoxWrite> outer = beginBoxWrite(kTransferBytes);
    // The bytes of the moment the user said Yes: a project opened meanwhile must not go into
    // the box after the first bytes of this one.
    const EepromImage image = state_.image;
    std::vector<int> all(kTransferBytes);
    for (int n = 0; n < kTransferBytes; ++n) all[size_t(n)] = n;
    const TransferOutcome outcome = UpdateBytes(
        state_, link_, ui_, image, all, [this](int done) { TransferProgress->setValue(done); },
        [this](int written) { boxWritten(written); });
    endBoxWrite(outer, outcome.written);
    endTransfer();
    UpdateControls();
    // A write that stopped part-way has left the box with a mixture of new and old bytes; the
    // status line says how far it got until the next refresh.
    if (stoppedPartWay(outcome.end)) SIOLabel->setText(BytesWrittenText(outcome.written));
}

void TMainForm::BoxRetrieveClick() {
    if (ui_.confirm(QStringLiteral("Ok to retrive EEPROM data?")) != UiServices::Answer::Yes)
        return;
    const Operation operation(*this);
    beginTransfer();
    const int generation = document().generation();
    // The box's bytes go into a scratch copy: a read that does not complete must leave the
    // project, its controls and its unsaved edits as they were, not a mixture of two
    // configurations that looks like a clean project.
    TransferBytes bytes;
    for (int i = 0; i < kTransferBytes; ++i) bytes[size_t(i)] = state_.image.byte(i);
    const TransferOutcome outcome = RetrieveEeprom(
        state_, link_, ui_, bytes, [this](int done) { TransferProgress->setValue(done); });
    endTransfer();
    // A project closed or replaced during the read is not the one the box was read for.
    if (outcome.ok() && document().generation() == generation) {
        FinishEdits();
        // ApplyRetrieved ends with UpdateControls.
        history().record(QStringLiteral("Retrieve EEPROM"),
                         [&] { document().ApplyRetrieved(bytes); });
    } else {
        UpdateControls();
    }
}

void TMainForm::writeChanges(const EepromImage& source, const QString& title) {
    const Operation operation(*this);
    beginTransfer();
    const int generation = document().generation();
    const auto progress = [this](int done) { TransferProgress->setValue(done); };
    // Counts the bytes to write from the question on: "0 of 4 bytes" while it waits.
    const auto writing = [this](int count) {
        TransferProgress->setRange(0, count);
        TransferProgress->setValue(0);
    };
    BackupPlace place;
    place.dir = BackupDir(state_.AppDir, state_.header.Group());
    place.stem = BackupStem(state_.ProjectFileName, state_.ProjectState);
    place.time = QDateTime::currentDateTime();
    ChangesSteps steps;
    steps.reading = progress;
    steps.ask = [&](const ProjectDiff& diff, const QString& backupPath) {
        // Another project came in during the read: these are not its changes.
        if (document().generation() != generation) return false;
        const int count = int(diff.changed.size());
        writing(count);
        TCompareDialog question(this);
        question.ShowQuestion(count == 1
                                  ? QStringLiteral("Ok to write 1 changed byte?")
                                  : QStringLiteral("Ok to write %1 changed bytes?").arg(count),
                              diff, title, backupPath);
        return ui_.runModal(question) == QDialog::Accepted;
    };
    bool wrote = false;
    std::optional<BoxWrite> outer;
    steps.writing = [&](int count) {
        writing(count);
        outer = beginBoxWrite(count);
        wrote = true;
    };
    steps.written = progress;
    steps.acknowledged = [this](int written) { boxWritten(written); };
    const ChangesOutcome outcome = UpdateChanges(state_, link_, ui_, source, place, steps);
    if (wrote) endBoxWrite(outer, outcome.write.written);
    endTransfer();
    UpdateControls();
    // As after an Update that stopped part-way, counted in the bytes this one had to write.
    if (outcome.end == ChangesOutcome::End::WriteFailed && stoppedPartWay(outcome.write.end))
        SIOLabel->setText(
            BytesWrittenText(outcome.write.written, int(outcome.diff.changed.size())));
}

void TMainForm::BoxUpdateChangesClick() {
    writeChanges(state_.image, QStringLiteral("Project"));
}

void TMainForm::BoxRestoreClick() {
    QString dir = BackupDir(state_.AppDir, state_.header.Group());
    if (!QDir(dir).exists()) dir = GroupDir(state_.AppDir, state_.header.Group());
    const QString path = ui_.openFileName(dir, kProjectFilter, kProjectFilter);
    if (path.isEmpty()) return;
    // Read as File > Open reads, into copies: the open project stays as it is.
    ProjectHeader header = state_.header;
    EepromImage image = state_.image;
    const ReadStatus status = ReadProjectFile(path, header, image);
    if (status != ReadStatus::Ok) {
        ui_.error(ReadErrorText(status, path));
        return;
    }
    writeChanges(image, QStringLiteral("Backup"));
}

void TMainForm::BoxCompareClick() {
    EepromImage box = state_.image;
    {
        const Operation operation(*this);
        beginTransfer();
        const int generation = document().generation();
        TransferBytes bytes;
        bytes.fill(0xFF);
        const TransferOutcome outcome = ReadBoxBytes(
            state_, link_, ui_, bytes, [this](int done) { TransferProgress->setValue(done); });
        endTransfer();
        UpdateControls();
        if (!outcome.ok() || document().generation() != generation) return;
        for (int n = 0; n < kTransferBytes; ++n) box.setByte(n, bytes[size_t(n)]);
    }
    TCompareDialog dialog(this);
    dialog.ShowComparison(DiffBoxBytes(state_.image, box));
    connect(dialog.SaveBoxBtn, &QPushButton::clicked, &dialog,
            [this, &box] { saveBoxAsProject(box); });
    ui_.runModal(dialog);
}

void TMainForm::saveBoxAsProject(const EepromImage& box) {
    // Save As's folder and dialog; the file gets the project's header over the box's bytes.
    state_.ProjectDir = GroupDir(state_.AppDir, state_.header.Group());
    const QString path = ui_.saveFileName(state_.ProjectDir, kProjectFilter, kProjectFilter);
    if (path.isEmpty()) return;
    SaveProjectCopy(ui_, path, state_.header, box, DayNumber(document().today()), true);
}

}  // namespace varnel
