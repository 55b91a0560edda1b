#pragma once

namespace korvel {

// The process entry: runs a command-line mode, or the tray application.
int run(int argc, char** argv);

} // namespace korvel
