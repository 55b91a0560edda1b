#include "canvasstyle.h"

#include "annotationpreferences.h"
#include "annotationtoolbar.h"
#include "canvas.h"

#include <QSettings>

namespace korvel {

void showCanvasStyle(AnnotationToolbar& toolbar, const Canvas& canvas) {
    toolbar.updateStyle(canvas.ink, canvas.strokeWidth);
    toolbar.setFontSizeText(QString::number(int(canvas.fontSize)));
    std::optional<Tool> selectedTool;
    std::optional<MosaicMode> mode = canvas.mosaicMode;
    if (const auto index = canvas.selectedMarkIndex()) {
        const Mark& mark = canvas.marks()[*index];
        selectedTool = mark.tool;
        if (mark.tool == Tool::mosaic)
            mode = mark.mosaicBrush ? MosaicMode::brush : MosaicMode::rectangle;
    }
    toolbar.updateContext(selectedTool, mode);
}

void loadCanvasStyle(Canvas& canvas) {
    const AnnotationPreferences style = AnnotationPreferences::load(QSettings());
    canvas.ink = style.color;
    canvas.strokeWidth = style.width;
    canvas.fontSize = style.fontSize;
    canvas.mosaicMode = style.mosaicMode;
}

void rememberCanvasStyle(const Canvas& canvas) {
    QSettings settings;
    AnnotationPreferences{canvas.ink, canvas.strokeWidth, canvas.fontSize, canvas.mosaicMode}.save(
        settings);
}

void connectStyleControls(AnnotationToolbar& toolbar, Canvas& canvas,
                          const std::function<void(int)>& selectTool,
                          const std::function<void()>& remember) {
    toolbar.onTool = selectTool;
    toolbar.onColor = [&canvas, remember](const QColor& c) {
        canvas.applyStyle(c, std::nullopt);
        remember();
    };
    toolbar.onWidth = [&canvas, remember](double w) {
        canvas.applyStyle(std::nullopt, w);
        remember();
    };
    toolbar.onFontSize = [&canvas, remember](double size) {
        canvas.applyFontSize(size);
        remember();
    };
    // The mode belongs to the mosaic tool: choosing it selects that tool.
    toolbar.onMosaicMode = [&toolbar, &canvas, selectTool](MosaicMode mode) {
        toolbar.selectTool(7);
        selectTool(7);
        canvas.mosaicMode = mode;
        canvas.selectMark(std::nullopt); // also sets the cursor for the mode
    };
}

} // namespace korvel
