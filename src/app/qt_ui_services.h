#pragma once

#include "app/ui_services.h"

#include <QString>

class QWidget;

namespace varnel {

// The real user interface: message boxes, file dialogs and modal dialogs of Qt.
class QtUiServices : public UiServices {
public:
    // helpFile: where the help system's file would be; the help requests name it.
    explicit QtUiServices(QString helpFile) : helpFile_(std::move(helpFile)) {}

    void error(const QString& text) override;
    void warning(const QString& text) override;
    void information(const QString& text) override;
    Answer confirm(const QString& text, bool withCancel) override;
    Answer warningQuestion(const QString& text) override;
    QString openFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    QString saveFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    int runModal(QDialog& dialog) override;
    void helpContents() override;
    void helpSearch() override;
    void helpTopic(int context) override;

private:
    void missingHelp();
    QString helpFile_;
};

}  // namespace varnel
