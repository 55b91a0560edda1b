#pragma once

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

} // namespace korvel
