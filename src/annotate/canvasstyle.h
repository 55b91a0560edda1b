#pragma once

#include <functional>

namespace korvel {

class AnnotationToolbar;
class Canvas;

// Every host of a canvas and a toolbar keeps the two in step the same way.

// The toolbar shows the canvas's ink, width and font size, and the controls of
// the selected mark's tool (or of the tool in use when nothing is selected).
void showCanvasStyle(AnnotationToolbar& toolbar, const Canvas& canvas);

// The remembered style ("annotationColor", …) seeds the canvas.
void loadCanvasStyle(Canvas& canvas);

// The canvas's style becomes the remembered one.
void rememberCanvasStyle(const Canvas& canvas);

// The toolbar's colour, width, font size and mosaic mode go to the canvas;
// `selectTool` switches tools as the host does, and `remember` runs after a
// style change. Both outlive neither the toolbar nor the canvas.
void connectStyleControls(AnnotationToolbar& toolbar, Canvas& canvas,
                          const std::function<void(int)>& selectTool,
                          const std::function<void()>& remember);

} // namespace korvel
