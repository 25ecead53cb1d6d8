#include "qt_ui_services.h"

#include "app/help_window.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace varnel {

QtUiServices::QtUiServices() = default;

QtUiServices::~QtUiServices() = default;

namespace {

QWidget* owner() {
    return QApplication::activeWindow();
}

void box(QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox m(icon, title, text, QMessageBox::Ok, owner());
    m.exec();
}

QString startPath(const QString& dir, const QString& fileName) {
    // A wildcard as the name only seeds the filter; the dialog opens in dir.
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('*'))) return dir;
    return QDir(dir).filePath(fileName);
}

}  // namespace

void QtUiServices::error(const QString& text) {
    box(QMessageBox::Critical, QStringLiteral("Error"), text);
}

void QtUiServices::warning(const QString& text) {
    box(QMessageBox::Warning, QStringLiteral("Warning"), text);
}

void QtUiServices::information(const QString& text) {
    box(QMessageBox::Information, QStringLiteral("Information"), text);
}

UiServices::Answer QtUiServices::confirm(const QString& text, bool withCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    QMessageBox m(QMessageBox::Question, QStringLiteral("Confirm"), text, buttons, owner());
    switch (m.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return withCancel ? Answer::Cancel : Answer::No;
    }
}

UiServices::Answer QtUiServices::warningQuestion(const QString& text) {
    QMessageBox m(QMessageBox::Warning, QStringLiteral("Warning"), text,
                  QMessageBox::Yes | QMessageBox::No, owner());
    return m.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

QString QtUiServices::openFileName(const QString& dir, const QString& filter,
                                   const QString& fileName) {
    return QFileDialog::getOpenFileName(owner(), QString(), startPath(dir, fileName), filter);
}

QString QtUiServices::saveFileName(const QString& dir, const QString& filter,
                                   const QString& fileName) {
    QFileDialog d(owner(), QString(), startPath(dir, fileName), filter);
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setFileMode(QFileDialog::AnyFile);
    // The name is used exactly as typed: no extension is added.
    d.setDefaultSuffix(QString());
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
    return d.selectedFiles().constFirst();
}

int QtUiServices::runModal(QDialog& dialog) {
    return dialog.exec();
}

HelpWindow& QtUiServices::help() {
    // One window for the whole run, so Back keeps working across requests.
    if (!help_) help_ = std::make_unique<HelpWindow>();
    return *help_;
}

void QtUiServices::helpContents() {
    help().showContents();
}

void QtUiServices::helpSearch() {
    help().openSearch();
}

void QtUiServices::helpTopic(int context) {
    help().showTopic(context);
}

}  // namespace varnel
