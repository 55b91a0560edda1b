# Helpers of the tests that drive a running korvel; sourced after lib.sh.
diag="$KORVEL_SESSION_DIR/diagnostics"
korvel_pid=""
mkdir -p "$diag"

# The tray icon: the one visible window of korvel's class while no alert,
# capture or pin is open. xdotool can trip over windows that vanish while it
# lists them, so the answer must be unique and non-empty.
find_icon() {
  icon="$(xdotool search --onlyvisible --classname '^korvel$' 2>/dev/null)" || return 1
  [ -n "$icon" ] && [ "$(echo "$icon" | wc -l)" = 1 ]
}

# Starts korvel with diagnostics and waits for its tray icon.
start_korvel() {
  KORVEL_DIAGNOSTICS_DIR="$diag" "$korvel" "$@" &
  korvel_pid=$!
  wait_for 10 find_icon
}

stop_korvel() {
  kill "$korvel_pid" 2>/dev/null || true
  wait "$korvel_pid" 2>/dev/null || true
}

# Waits for a capture's overlays and ends the capture with Escape.
expect_capture() {
  wait_for 10 test -s "$diag/captures.txt"
  wait_for 10 sh -c "xdotool search --onlyvisible --name '^Korvel\$'"
  sleep 0.3
  xdotool key Escape
  wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"
  rm -f "$diag/captures.txt"
  sleep 0.3
}

expect_no_capture() {
  sleep 1.5
  [ ! -e "$diag/captures.txt" ] || fail "$1"
}

# Opens the tray menu and checks its first item.
expect_capture_item() {
  rm -f "$diag/menu.txt"
  xdotool mousemove --window "$icon" 5 5 click 3
  wait_for 5 test -s "$diag/menu.txt"
  [ "$(head -1 "$diag/menu.txt")" = "$1" ] || fail "capture item: $(head -1 "$diag/menu.txt")"
  sleep 0.3
  xdotool key Escape
  sleep 0.3
}

# Chooses the tray menu's item number $1 (1 is "截图").
choose_menu_item() {
  rm -f "$diag/menu.txt"
  xdotool mousemove --window "$icon" 5 5 click 3
  wait_for 5 test -s "$diag/menu.txt"
  sleep 0.3
  i=0
  while [ $i -lt "$1" ]; do xdotool key Down; i=$((i + 1)); done
  xdotool key Return
}

# Waits until alerts.txt holds the line $1.
expect_alert() {
  wait_for 10 grep -qxF "$1" "$diag/alerts.txt"
}

overlay_shown() { xdotool search --onlyvisible --name '^Korvel$' >/dev/null 2>&1; }

# Starts a capture with the shortcut and waits for its overlays.
capture() {
  rm -f "$diag/captures.txt"
  xdotool key ctrl+1
  wait_for 10 test -s "$diag/captures.txt"
  wait_for 5 overlay_shown
  sleep 0.3
}

# Waits until the capture's overlays are gone.
expect_closed() {
  wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"
}

expect_pixel() { # x y colour what
  got="$("$tool" root-pixel "$1" "$2")"
  [ "$got" = "$3" ] || fail "$4: $got at $1,$2, expected $3"
}
png_size() { file -b "$1" | sed -n 's/.* \([0-9]*\) x \([0-9]*\),.*/\1x\2/p'; }

# The first visible window named $1, once there is one.
named_window() {
  wait_for 10 sh -c "xdotool search --onlyvisible --name '^$1\$'"
  xdotool search --onlyvisible --name "^$1\$" | head -1
}

# The outer frame and client origin of window $1: sets fx fy fw fh cx cy.
window_frame() {
  set -- $("$tool" frame "$1")
  fx=$1 fy=$2 fw=$3 fh=$4 cx=$5 cy=$6
}
