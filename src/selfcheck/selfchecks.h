#pragma once

#include <QStringList>

namespace korvel::selfcheck {

// Each check prints one line per result ("PASS: …" / "FAIL: …") to standard
// output and returns the process exit status.
int longLiveCheck(const QStringList& arguments);
int regionCheck(qint32 pid, double x, double y);
int mosaicBrushCheck();
int selfTest();

} // namespace korvel::selfcheck
