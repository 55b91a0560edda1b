#include "annotationtextview.h"

#include <QKeyEvent>

namespace korvel {

AnnotationTextView::AnnotationTextView(QWidget* parent)
    : QPlainTextEdit(parent) {
    setFrameStyle(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    document()->setDocumentMargin(0);
    setToolTip(QStringLiteral("回车换行，Ctrl+Return 确认，Esc 取消"));
    // Transparent, so the text appears where the mark will be drawn.
    setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
}

void AnnotationTextView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        if (onCancel)
            onCancel();
        return;
    }
    const bool ret = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (ret && (event->modifiers() & Qt::ControlModifier)) {
        if (onFinish)
            onFinish();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace korvel
