#include "selfchecks.h"

#include <cstdio>

namespace korvel::selfcheck {
namespace {

// Never a fake PASS: a check whose subsystem is missing reports so.
int notAvailable() {
    std::fputs("FAIL: not available\n", stdout);
    std::fflush(stdout);
    return 1;
}

} // namespace

int longLiveCheck(const QStringList&) {
    return notAvailable();
}
int regionCheck(qint32, double, double) {
    return notAvailable();
}
int mosaicBrushCheck() {
    return notAvailable();
}

int selfTest() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return notAvailable();
}

} // namespace korvel::selfcheck
