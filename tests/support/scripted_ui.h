#pragma once

#include "base/ui_services.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace varnel::test {

// A UiServices that answers from a script. Every prompt must have been expected, in order, with
// its exact text; problems() lists every prompt that was not expected and every expected one
// that never came.
class ScriptedUi : public UiServices {
public:
    enum class Kind { Error, Warning, Information, Confirm, OpenFile, SaveFile, Dialog, Help };

    ScriptedUi& expectError(const QString& text) { return push(step(Kind::Error, text)); }
    ScriptedUi& expectWarning(const QString& text) { return push(step(Kind::Warning, text)); }
    ScriptedUi& expectInformation(const QString& text) { return push(step(Kind::Information, text)); }
    // A warning box with Yes and No.
    ScriptedUi& expectWarning(const QString& text, Answer answer) {
        Step s = step(Kind::Warning, text);
        s.answer = answer;
        return push(s);
    }
    ScriptedUi& expectConfirm(const QString& text, Answer answer) {
        Step s = step(Kind::Confirm, text);
        s.answer = answer;
        return push(s);
    }
    // The file the user picks; an empty text is a cancelled dialog.
    ScriptedUi& expectOpenFile(const QString& result) { return file(Kind::OpenFile, result); }
    ScriptedUi& expectSaveFile(const QString& result) { return file(Kind::SaveFile, result); }
    // A modal dialog by objectName; act plays the user's part and returns the result code.
    ScriptedUi& expectDialog(const QString& objectName, std::function<int(QDialog&)> act) {
        Step s = step(Kind::Dialog, objectName);
        s.act = std::move(act);
        return push(s);
    }
    // "contents", "search" or "topic N".
    ScriptedUi& expectHelp(const QString& what) { return push(step(Kind::Help, what)); }

    void error(const QString& text) override { take(Kind::Error, text); }
    void warning(const QString& text) override { take(Kind::Warning, text); }
    void information(const QString& text) override { take(Kind::Information, text); }
    Answer confirm(const QString& text, bool withCancel) override;
    Answer warningQuestion(const QString& text) override;
    QString openFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    QString saveFileName(const QString& dir, const QString& filter, const QString& fileName) override;
    int runModal(QDialog& dialog) override;
    void helpContents() override { take(Kind::Help, QStringLiteral("contents")); }
    void helpSearch() override { take(Kind::Help, QStringLiteral("search")); }
    void helpTopic(int context) override { take(Kind::Help, QStringLiteral("topic %1").arg(context)); }

    // Unexpected prompts and expectations not met; clears both.
    QStringList problems();
    // Everything shown so far, as "Kind: text".
    const QStringList& log() const { return log_; }
    // The arguments of the last file dialog.
    QString lastDir, lastFilter, lastFileName;
    // Runs while a question is up, before its answer: a user who takes their time. It may run
    // the event loop, as a modal box does.
    std::function<void()> whileAsking;

private:
    struct Step {
        Kind kind = Kind::Error;
        QString text;
        Answer answer = Answer::No;
        QString fileResult;
        std::function<int(QDialog&)> act;
    };
    static Step step(Kind kind, const QString& text) {
        Step s;
        s.kind = kind;
        s.text = text;
        return s;
    }
    ScriptedUi& push(const Step& s) {
        steps_.append(s);
        return *this;
    }
    ScriptedUi& file(Kind kind, const QString& result) {
        Step s = step(kind, QString());
        s.fileResult = result;
        return push(s);
    }
    // The expected step matching this prompt, or nullptr (and a problem) when it was not expected.
    const Step* take(Kind kind, const QString& text);

    QList<Step> steps_;
    Step current_;
    QStringList problems_;
    QStringList log_;
};

}  // namespace varnel::test

// Fails the running test with every prompt mismatch of the script.
#define VERIFY_UI(ui)                                                         \
    do {                                                                      \
        const QStringList _p = (ui).problems();                               \
        QVERIFY2(_p.isEmpty(), qPrintable(_p.join(QStringLiteral("\n"))));    \
    } while (0)
