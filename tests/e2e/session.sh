# Helpers of the shortcut, instance and pin tests; sourced after lib.sh.
diag="$KORVEL_SESSION_DIR/diagnostics"
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
  wait_for 5 sh -c "xdotool search --onlyvisible --name '^Korvel\$'"
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
