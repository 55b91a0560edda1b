#pragma once

#include <QStringList>

namespace korvel::selfcheck {

// Each check prints one line per result ("PASS: …" / "FAIL: …") to standard
// output and returns the process exit status. Each makes its own
// QApplication, on the offscreen platform when there is no display.

// "--long-live-check WIDTH VIEWPORT LENGTH STEP": 0 on success, 1 on
// failure, 2 for arguments it cannot use.
int longLiveCheck(const QStringList& arguments);
// "--region-check PID X Y": asks again every second and never returns.
int regionCheck(qint32 pid, double x, double y);
// "--mosaic-brush-check": always 0; the line tells.
int mosaicBrushCheck();
// "--self-test": every check, standard output unbuffered; 0 when all pass.
int selfTest();

} // namespace korvel::selfcheck
