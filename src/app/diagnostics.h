#pragma once

#include "capture/screensnapshot.h"

class QMenu;
class QMessageBox;
class QObject;
class QRect;

namespace korvel {

// With KORVEL_DIAGNOSTICS_DIR set, the program writes what it shows and what
// it captured into that folder so that end-to-end tests can check it against
// the display: "menu.txt" (one menu title per line, "-" for separators) and,
// per capture, "snapshot-N.png" with "snapshot-N.txt" (frame, then one window
// rectangle per line) and a line in "capturelog.txt", "alerts.txt" (one line per alert shown: its
// text, "|", its informative text) and "pins.txt" (the window geometry of every open pin, one per
// line). Without the variable nothing is written.
void writeMenuDiagnostics(const QMenu& menu);
// While `owner` lives: every 100 ms "widgets.txt" lists the exposed windows,
// buttons, pop-ups and labels ("window", "button", "popup" or "label", a tab,
// the name or text, a tab, global x y w h; buttons and pop-ups then a tab
// and 1 when enabled), rewritten when it changes, so panels that take no
// focus can be found and clicked; "labels.txt" gains every label text when
// it is first painted, so a short-lived status line is not missed.
void startWidgetDiagnostics(QObject* owner);
void writeAlertDiagnostics(const QMessageBox& box);
void writePinDiagnostics(const std::vector<QRect>& pins);
void writeSnapshotDiagnostics(const std::vector<ScreenSnapshot>& snapshots);

} // namespace korvel
