#pragma once

namespace korvel {

// "--check-update-feed": fetches the live feed and prints either two PASS
// lines (the verdict for this copy and for a simulated 0.7.1) and returns
// 0, or one "FAIL: update feed: " line and returns 1. Needs no display.
int checkUpdateFeed(int argc, char** argv);

} // namespace korvel
