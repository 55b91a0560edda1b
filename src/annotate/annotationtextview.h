#pragma once

#include <QPlainTextEdit>

#include <functional>

namespace korvel {

// The in-place editor of a text mark: Esc cancels, Ctrl+Return finishes, a
// plain Return is a line break. Input methods work as in any text field.
class AnnotationTextView final : public QPlainTextEdit {
public:
    explicit AnnotationTextView(QWidget* parent = nullptr);

    std::function<void()> onFinish;
    std::function<void()> onCancel;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace korvel
