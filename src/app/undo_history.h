#pragma once

#include "base/app_state.h"

#include <QObject>
#include <QString>
#include <QUndoStack>

#include <functional>

namespace varnel {

class ProjectDocument;

// What a step of the history keeps: the project's contents at one point.
struct ProjectSnapshot {
    EepromImage image;
    ProjectHeader header;
    bool modified = false;

    bool sameContents(const ProjectSnapshot& other) const;
};

// The main window's history of changes to the project, behind Edit > Undo and Edit > Redo.
//
// A step holds the image bytes, the header bytes and Modified before and after one change, and
// puts either back through ProjectDocument::RestoreContents, so every control that mirrors the
// project (output kind, invert, pots, limit, chart, grids) refreshes as after a load; nothing is
// sent to the box. To make a change one step, run it inside record():
//
//     history.record(QStringLiteral("Scale entries 5 to 10 by 5 %"),
//                    [&] { document.RangeOperation(op); });
//
// A change that spans several events (a chart point dragged from press to release) takes the
// snapshot at its start and pushes the step at its end:
//
//     before_ = history.snapshot();                             // press
//     ... edits through the document ...                        // moves
//     history.push(QStringLiteral("Drag entry 13"), before_);   // release
//
// The caption is the action's name; the menu reads "Undo " + caption. A change that leaves the
// contents as they were makes no step. While a step is recorded or restored, the changes made
// inside it (the handlers that the controls' setters run) belong to it and make no step of their
// own. Steps recorded with the same mergeId one after another become one (typing into the limit
// box), unless the project was saved in between. New, Open and Close call clear(), a save calls
// saved().
class UndoHistory : public QObject {
    Q_OBJECT
  public:
    UndoHistory(AppState& state, ProjectDocument& document, QObject* parent = nullptr);

    QUndoStack& stack() { return stack_; }

    ProjectSnapshot snapshot() const;
    // Runs change; when it changed the contents, pushes it as one step.
    void record(const QString& caption, const std::function<void()>& change, int mergeId = -1);
    // The change from before to now, as one step.
    void push(const QString& caption, const ProjectSnapshot& before, int mergeId = -1);
    // Runs change as part of no step (New, Open, Close); the caller then clears the history.
    void untracked(const std::function<void()>& change);

    // True while a step is recorded or restored: changes made now are part of it.
    bool busy() const { return depth_ > 0; }

    // An empty history, clean at its start.
    void clear();
    // The project was just saved: this point is the saved one, and every other point differs
    // from the file (its Modified is true).
    void saved();

    // Runs after a step has been put back, for what the window shows beyond the document's
    // controls.
    std::function<void()> restored;

    // Puts a snapshot back (the steps' undo and redo).
    void restore(const ProjectSnapshot& snapshot);

  private:
    AppState& s_;
    ProjectDocument& doc_;
    QUndoStack stack_;
    int depth_ = 0;
};

}  // namespace varnel
