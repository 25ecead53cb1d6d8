#pragma once

#include "base/ui_services.h"
#include "cli/cli.h"

#include <QStringList>

namespace varnel::cli {

// The command line's side of the user interface: every message goes to standard error as the
// window would word it, and nothing is asked (commands are told what to do by their options).
class CliUi : public UiServices {
public:
    QStringList messages;  // everything reported, in order

    void error(const QString& text) override { report(text); }
    void warning(const QString& text) override { report(text); }
    void information(const QString& text) override { messages.append(text); }
    Answer confirm(const QString&, bool) override { return Answer::Yes; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    int runModal(QDialog&) override { return 0; }
    void helpContents() override {}
    void helpSearch() override {}
    void helpTopic(int) override {}

    bool failed() const { return failures_ > 0; }

private:
    void report(const QString& text) {
        messages.append(text);
        ++failures_;
        err(text);
    }
    int failures_ = 0;
};

}  // namespace varnel::cli
