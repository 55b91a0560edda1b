#pragma once

#include "checksupport.h"

#include <QStringList>

#include <variant>

namespace korvel {
struct Platform;
}

namespace korvel::selfcheck {

// "--long-live-check WIDTH VIEWPORT LENGTH STEP", all in pixels: a fixture
// window WIDTH wide and VIEWPORT high shows a document LENGTH rows long
// (with a sticky header and footer) and scrolls it by STEP rows at a time.
struct LongLiveParameters {
    int width = 420;
    int viewport = 300;
    int length = 2400;
    int step = 90;
};

// The parameters, or what is wrong with the arguments.
std::variant<LongLiveParameters, QString> parseLongLiveArguments(const QStringList& arguments);

// Opens the fixture window, streams it through LongFrameStream while it
// scrolls, stitches the frames with ScrollStitcher and compares the long
// image with the document. The platform's live window stream is used where
// there is one (X11); elsewhere (offscreen) the fixture's own grabs are fed
// through a stand-in stream. Needs a QApplication.
Failure checkLongCapture(Platform& platform, const LongLiveParameters& parameters);

} // namespace korvel::selfcheck
