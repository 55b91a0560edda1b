#pragma once

#include "checksupport.h"

namespace korvel::selfcheck {

// A mosaic brush stroke drawn with mouse events on an off-screen annotation
// canvas (2 pixels per point) changes every pixel well under the brush path
// and none away from it in the exported PNG. Needs a QApplication.
Failure checkMosaicBrush();

} // namespace korvel::selfcheck
