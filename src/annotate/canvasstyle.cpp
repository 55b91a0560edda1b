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

} // namespace korvel
