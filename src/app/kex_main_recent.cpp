#include "app/kex_main.h"
#include "app/settings.h"
#include "base/ui_services.h"
#include "meter/kex_maed.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace varnel {

namespace {

// The one local project or meter file a drag carries, or nothing.
QString droppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
    const QUrl url = mime->urls().first();
    if (!url.isLocalFile()) return {};
    const QString path = url.toLocalFile();
    return path.endsWith(QLatin1String(".kex"), Qt::CaseInsensitive) || IsMeterFileName(path)
               ? path
               : QString();
}

}  // namespace

void TMainForm::wireRecent() {
    for (size_t i = 0; i < FileRecent.size(); ++i) {
        QAction* a = new QAction(this);
        a->setObjectName(QStringLiteral("FileRecent%1").arg(i + 1));
        // OpenProjectFile takes the path by value: the save it may run first rewrites the list.
        connect(a, &QAction::triggered, this, [this, i] {
            if (i < size_t(recent_.size())) OpenProjectFile(recent_[qsizetype(i)]);
        });
        FileRecent[i] = a;
        FileMenu->insertAction(FileExit, a);
    }
    recentSeparator_ = FileMenu->insertSeparator(FileExit);
    setAcceptDrops(true);
    updateRecentMenu();
}

void TMainForm::updateRecentMenu() {
    for (size_t i = 0; i < FileRecent.size(); ++i) {
        QAction* a = FileRecent[i];
        const bool used = i < size_t(recent_.size());
        a->setVisible(used);
        a->setEnabled(used);
        if (!used) continue;
        const QString path = recent_[qsizetype(i)];
        QString name = QFileInfo(path).fileName();
        a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(
            name.replace(QLatin1Char('&'), QStringLiteral("&&"))));
        a->setStatusTip(path);
    }
    recentSeparator_->setVisible(!recent_.isEmpty());
}

void TMainForm::rememberRecent(const QString& path) {
    recent_ = RecentAfterUse(recent_, path);
    updateRecentMenu();
}

void TMainForm::forgetRecent(const QString& path) {
    const QString canonical = QFileInfo(path).absoluteFilePath();
    recent_.removeIf(
        [&](const QString& p) { return QFileInfo(p).absoluteFilePath() == canonical; });
    updateRecentMenu();
}

bool TMainForm::OpenProjectFile(QString path) {
    // The exit dialogue's question first, as File > Open asks it.
    if (!LeaveProject()) return false;
    if (OpenProject(path)) return true;
    forgetRecent(path);
    return false;
}

void TMainForm::OpenMeterFile(const QString& path) {
    TMassAirEditorDialog* editor = dialogs_.MassAirEditorDialog;
    if (!editor) return;
    editor->openOnShow(path);
    EditMeterClick();
}

void TMainForm::openStartFile() {
    const QString path = std::exchange(state_.StartFile, QString());
    if (path.isEmpty()) return;
    // After the activation has run its course: the load talks to the box and shows its
    // messages, which must not run inside the activation's event.
    QTimer::singleShot(0, this, [this, path] { openNamedFile(path); });
}

void TMainForm::openNamedFile(const QString& path) {
    if (IsMeterFileName(path))
        OpenMeterFile(path);
    else
        OpenProjectFile(path);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* e) {
    if (droppedFile(e->mimeData()).isEmpty()) return;
    e->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* e) {
    const QString path = droppedFile(e->mimeData());
    if (path.isEmpty()) return;
    e->acceptProposedAction();
    // The drag's source waits for the drop to end: the load, its messages and the meter
    // editor come after.
    QTimer::singleShot(0, this, [this, path] { openNamedFile(path); });
}

}  // namespace varnel
