#include "app/kex_main.h"
#include "app/undo_history.h"
#include "base/ui_services.h"
#include "link/box_transfer.h"

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace varnel {

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
}

void TMainForm::beginTransfer() {
    ++transferDepth_;
    AbortBtn->setEnabled(true);
    AbortBtn->setText(QStringLiteral("Abort"));
    TransferProgress->setValue(0);
    TransferProgress->show();
    TransferProgress->raise();
}

void TMainForm::endTransfer() {
    if (--transferDepth_ == 0) TransferProgress->hide();
}

void TMainForm::BoxUpdateClick() {
    if (ui_.confirm(QStringLiteral("Ok to update EEPROM data?")) != UiServices::Answer::Yes) return;
    const Operation operation(*this);
    beginTransfer();
    const TransferOutcome outcome =
        UpdateEeprom(state_, link_, ui_, [this](int done) { TransferProgress->setValue(done); });
    endTransfer();
    UpdateControls();
    // A write that stopped part-way has left the box with a mixture of new and old bytes; the
    // status line says how far it got until the next refresh.
    using End = TransferOutcome::End;
    if (outcome.end == End::NoAcknowledge || outcome.end == End::VerifyError ||
        outcome.end == End::Aborted)
        SIOLabel->setText(BytesWrittenText(outcome.written));
}

void TMainForm::BoxRetrieveClick() {
    if (ui_.confirm(QStringLiteral("Ok to retrive EEPROM data?")) != UiServices::Answer::Yes)
        return;
    const Operation operation(*this);
    beginTransfer();
    // The box's bytes go into a scratch copy: a read that does not complete must leave the
    // project, its controls and its unsaved edits as they were, not a mixture of two
    // configurations that looks like a clean project.
    TransferBytes bytes;
    for (int i = 0; i < kTransferBytes; ++i) bytes[size_t(i)] = state_.image.byte(i);
    const TransferOutcome outcome = RetrieveEeprom(
        state_, link_, ui_, bytes, [this](int done) { TransferProgress->setValue(done); });
    endTransfer();
    if (outcome.ok())  // ApplyRetrieved ends with UpdateControls
        history().record(QStringLiteral("Retrieve EEPROM"),
                         [&] { document().ApplyRetrieved(bytes); });
    else
        UpdateControls();
}

}  // namespace varnel
