#include "canvascommands.h"

#include "canvas.h"

namespace korvel {

AddMarkCommand::AddMarkCommand(Canvas& canvas, Mark mark)
    : QUndoCommand(QStringLiteral("添加标注"))
    , canvas_(canvas)
    , mark_(std::move(mark)) {}

void AddMarkCommand::redo() {
    canvas_.restore(mark_);
}
void AddMarkCommand::undo() {
    canvas_.removeLastMark();
}

ReplaceMarkCommand::ReplaceMarkCommand(Canvas& canvas, int index, Mark before, Mark after)
    : QUndoCommand(QStringLiteral("修改标注"))
    , canvas_(canvas)
    , index_(index)
    , before_(std::move(before))
    , after_(std::move(after)) {}

void ReplaceMarkCommand::redo() {
    canvas_.replaceMark(index_, after_);
}
void ReplaceMarkCommand::undo() {
    canvas_.replaceMark(index_, before_);
}

RemoveMarkCommand::RemoveMarkCommand(Canvas& canvas, int index, Mark mark)
    : QUndoCommand(QStringLiteral("删除标注"))
    , canvas_(canvas)
    , index_(index)
    , mark_(std::move(mark)) {}

void RemoveMarkCommand::redo() {
    canvas_.removeMark(index_);
}
void RemoveMarkCommand::undo() {
    canvas_.insertMark(index_, mark_);
}

} // namespace korvel
