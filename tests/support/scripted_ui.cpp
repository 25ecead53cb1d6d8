#include "scripted_ui.h"

namespace varnel::test {

namespace {

QString kindName(ScriptedUi::Kind k) {
    switch (k) {
        case ScriptedUi::Kind::Error: return QStringLiteral("Error");
        case ScriptedUi::Kind::Warning: return QStringLiteral("Warning");
        case ScriptedUi::Kind::Information: return QStringLiteral("Information");
        case ScriptedUi::Kind::Confirm: return QStringLiteral("Confirm");
        case ScriptedUi::Kind::OpenFile: return QStringLiteral("OpenFile");
        case ScriptedUi::Kind::SaveFile: return QStringLiteral("SaveFile");
        case ScriptedUi::Kind::Dialog: return QStringLiteral("Dialog");
        case ScriptedUi::Kind::Help: return QStringLiteral("Help");
    }
    return {};
}

}  // namespace

const ScriptedUi::Step* ScriptedUi::take(Kind kind, const QString& text) {
    const QString shown = kindName(kind) + QStringLiteral(": ") + text;
    log_.append(shown);
    if (steps_.isEmpty()) {
        problems_.append(QStringLiteral("unexpected ") + shown);
        return nullptr;
    }
    const Step next = steps_.takeFirst();
    const bool fileKind = kind == Kind::OpenFile || kind == Kind::SaveFile;
    if (next.kind != kind || (!fileKind && next.text != text)) {
        problems_.append(QStringLiteral("expected %1: \"%2\" but got %3")
                             .arg(kindName(next.kind), next.text, shown));
        return nullptr;
    }
    current_ = next;
    return &current_;
}

UiServices::Answer ScriptedUi::confirm(const QString& text, bool withCancel) {
    const Step* s = take(Kind::Confirm, text);
    if (whileAsking) whileAsking();
    if (!s) return withCancel ? Answer::Cancel : Answer::No;
    if (s->answer == Answer::Cancel && !withCancel)
        problems_.append(QStringLiteral("Cancel scripted for a Yes/No question: ") + text);
    return s->answer;
}

UiServices::Answer ScriptedUi::warningQuestion(const QString& text) {
    const Step* s = take(Kind::Warning, text);
    if (!s) return Answer::No;
    if (s->answer == Answer::Cancel)
        problems_.append(QStringLiteral("Cancel scripted for a Yes/No warning: ") + text);
    return s->answer;
}

QString ScriptedUi::openFileName(const QString& dir, const QString& filter, const QString& fileName) {
    lastDir = dir;
    lastFilter = filter;
    lastFileName = fileName;
    const Step* s = take(Kind::OpenFile, dir);
    return s ? s->fileResult : QString();
}

QString ScriptedUi::saveFileName(const QString& dir, const QString& filter, const QString& fileName) {
    lastDir = dir;
    lastFilter = filter;
    lastFileName = fileName;
    const Step* s = take(Kind::SaveFile, dir);
    return s ? s->fileResult : QString();
}

int ScriptedUi::runModal(QDialog& dialog) {
    const Step* s = take(Kind::Dialog, dialog.objectName());
    if (!s || !s->act) return QDialog::Rejected;
    // A prompt inside the dialog replaces current_, and with it the step's act: run a copy.
    const std::function<int(QDialog&)> act = s->act;
    // The dialog's own show-time work runs as it would when shown modally.
    dialog.show();
    const int result = act(dialog);
    dialog.hide();
    return result;
}

QStringList ScriptedUi::problems() {
    QStringList all = problems_;
    for (const Step& s : steps_)
        all.append(QStringLiteral("expected but never shown: %1: \"%2\"").arg(kindName(s.kind), s.text));
    problems_.clear();
    steps_.clear();
    return all;
}

}  // namespace varnel::test
