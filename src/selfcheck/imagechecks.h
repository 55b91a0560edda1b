#pragma once

#include "checksupport.h"

namespace korvel::selfcheck {

// Off-screen checks of the image subsystems, each on input drawn in code.

// Frames of a scrolled long document with a sticky header and footer
// stitch back to the document, pixel for pixel.
Failure checkStitcher();
// The panels of a drawn window are found exactly, and the resolver offers
// the panel under a point first and the window last.
Failure checkRegions();
// Mosaic and blur change exactly their area, by the amounts expected.
Failure checkEffects();
// Opaque and translucent images survive PNG encoding and decoding.
Failure checkExport();

} // namespace korvel::selfcheck
