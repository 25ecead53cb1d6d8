#pragma once

#include <QString>

class QDialog;

namespace varnel {

// Every modal interaction with the user goes through here, so that tests can state exactly which
// messages a user sees and answer them, and the command-line tool can print them instead.
class UiServices {
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~UiServices() = default;

    // Boxes titled "Error", "Warning", "Information" with an OK button.
    virtual void error(const QString& text) = 0;
    virtual void warning(const QString& text) = 0;
    virtual void information(const QString& text) = 0;
    // Box titled "Confirm" with Yes and No, or Yes, No and Cancel.
    virtual Answer confirm(const QString& text, bool withCancel = false) = 0;
    // Box titled "Warning" with Yes and No. Front ends without a warning question of their own
    // ask it as a confirmation.
    virtual Answer warningQuestion(const QString& text) { return confirm(text, false); }

    // File dialogs: an empty result means the user cancelled. The save dialog asks before
    // overwriting an existing file.
    virtual QString openFileName(const QString& dir, const QString& filter,
                                 const QString& fileName) = 0;
    virtual QString saveFileName(const QString& dir, const QString& filter,
                                 const QString& fileName) = 0;

    // Shows the dialog modally and returns its result code.
    virtual int runModal(QDialog& dialog) = 0;

    // The three help requests.
    virtual void helpContents() = 0;
    virtual void helpSearch() = 0;
    virtual void helpTopic(int context) = 0;
};

}  // namespace varnel
