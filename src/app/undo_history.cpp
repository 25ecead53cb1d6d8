#include "undo_history.h"

#include "base/project_document.h"

#include <QUndoCommand>

namespace varnel {

namespace {

class ContentsStep : public QUndoCommand {
  public:
    ContentsStep(UndoHistory& history, const QString& caption, const ProjectSnapshot& before,
                 const ProjectSnapshot& after, int mergeId)
        : QUndoCommand(caption), before(before), after(after), h_(history), id_(mergeId) {}

    void undo() override { h_.restore(before); }
    void redo() override {
        // The change itself has already been made when the step is pushed.
        if (std::exchange(pushed_, false)) return;
        h_.restore(after);
    }
    int id() const override { return id_; }
    bool mergeWith(const QUndoCommand* other) override {
        after = static_cast<const ContentsStep*>(other)->after;
        setText(other->text());
        // Typed and typed back: nothing is left to undo.
        setObsolete(before.sameContents(after) && before.modified == after.modified);
        return true;
    }

    ProjectSnapshot before;
    ProjectSnapshot after;

  private:
    UndoHistory& h_;
    int id_;
    bool pushed_ = true;
};

}  // namespace

bool ProjectSnapshot::sameContents(const ProjectSnapshot& other) const {
    return image == other.image && header.toByteArray() == other.header.toByteArray();
}

UndoHistory::UndoHistory(AppState& state, ProjectDocument& document, QObject* parent)
    : QObject(parent), s_(state), doc_(document) {}

ProjectSnapshot UndoHistory::snapshot() const {
    return {s_.image, s_.header, s_.Modified};
}

void UndoHistory::record(const QString& caption, const std::function<void()>& change, int mergeId) {
    if (busy()) {
        change();
        return;
    }
    const ProjectSnapshot before = snapshot();
    ++depth_;
    change();
    --depth_;
    push(caption, before, mergeId);
}

void UndoHistory::push(const QString& caption, const ProjectSnapshot& before, int mergeId) {
    if (busy()) return;
    const ProjectSnapshot after = snapshot();
    if (after.sameContents(before) && after.modified == before.modified) return;
    stack_.push(new ContentsStep(*this, caption, before, after, mergeId));
}

void UndoHistory::untracked(const std::function<void()>& change) {
    ++depth_;
    change();
    --depth_;
}

void UndoHistory::clear() {
    stack_.clear();
}

void UndoHistory::saved() {
    // A save stamps the header (its date and counts): the saved point holds what was written.
    const ProjectSnapshot now = snapshot();
    const int index = stack_.index();
    for (int i = 0; i < stack_.count(); ++i) {
        auto* step = static_cast<ContentsStep*>(const_cast<QUndoCommand*>(stack_.command(i)));
        // Step i leads from point i to point i + 1.
        step->before.modified = i != index;
        step->after.modified = i + 1 != index;
        if (i == index) step->before = now;
        if (i + 1 == index) step->after = now;
    }
    stack_.setClean();
}

void UndoHistory::restore(const ProjectSnapshot& snapshot) {
    ++depth_;
    doc_.RestoreContents(snapshot.image, snapshot.header, snapshot.modified);
    if (restored) restored();
    --depth_;
}

}  // namespace varnel
