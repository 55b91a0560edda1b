#pragma once

namespace korvel {

// Ends the event loop on SIGTERM, SIGINT and SIGHUP (a kill, a logout), so
// that Korvel shuts down as from its menu: windows close, its socket is
// removed and history writes finish, instead of dying half way through one.
// Needs the application object; call once.
void quitOnTermination();

// Whether such a signal has been handled. The event loop it ended may have
// been a nested one run before the main loop started (a portal answer
// awaited at launch): the main loop must then not start at all.
bool terminationRequested();

} // namespace korvel
