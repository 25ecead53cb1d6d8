#pragma once

#include "base/ui_services.h"

#include <QString>

#include <memory>

class QWidget;

namespace varnel {

class HelpWindow;

// The real user interface: message boxes, file dialogs and modal dialogs of Qt, and the help
// window with the user guide compiled into the program.
class QtUiServices : public UiServices {
  public:
    QtUiServices();
    ~QtUiServices() override;

    void error(const QString& text) override;
    void warning(const QString& text) override;
    void information(const QString& text) override;
    Answer confirm(const QString& text, bool withCancel) override;
    Answer warningQuestion(const QString& text) override;
    QString openFileName(const QString& dir, const QString& filter,
                         const QString& fileName) override;
    QString saveFileName(const QString& dir, const QString& filter,
                         const QString& fileName) override;
    int runModal(QDialog& dialog) override;
    void helpContents() override;
    void helpSearch() override;
    void helpTopic(int context) override;

    // The help window; made at the first help request, nullptr before it.
    HelpWindow* helpWindow() const { return help_.get(); }

  private:
    HelpWindow& help();
    std::unique_ptr<HelpWindow> help_;
};

}  // namespace varnel
