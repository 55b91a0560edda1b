#pragma once

#include "mark.h"

#include <QUndoCommand>

namespace korvel {

class Canvas;

// One command per kind of edit. Each performs the canvas operation on redo
// and its inverse on undo, so the stack gives redo for free.

// A new mark appended at the end (a finished drawing or a new text).
class AddMarkCommand final : public QUndoCommand {
public:
    AddMarkCommand(Canvas& canvas, Mark mark);
    void redo() override;
    void undo() override;

private:
    Canvas& canvas_;
    Mark mark_;
};

// A mark replaced by an edited copy: moved, resized, restyled or retyped.
class ReplaceMarkCommand final : public QUndoCommand {
public:
    ReplaceMarkCommand(Canvas& canvas, int index, Mark before, Mark after);
    void redo() override;
    void undo() override;

private:
    Canvas& canvas_;
    int index_;
    Mark before_;
    Mark after_;
};

// A mark deleted from its place in the stacking order.
class RemoveMarkCommand final : public QUndoCommand {
public:
    RemoveMarkCommand(Canvas& canvas, int index, Mark mark);
    void redo() override;
    void undo() override;

private:
    Canvas& canvas_;
    int index_;
    Mark mark_;
};

} // namespace korvel
