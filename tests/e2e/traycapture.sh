# The tray menu lists every item in order; "截图" freezes both monitors into
# snapshots equal to the screen, with the fixture window listed at its true
# frame. (The shortcut starts the same capture in every other script.)
. "$(dirname "$0")/lib.sh"

show_fixture 200 150 600 400
start_korvel

# Right click on the tray icon opens the menu.
xdotool mousemove --window "$icon" 5 5 click 3
wait_for 5 test -s "$diag/menu.txt"
expected="$(printf '%s\n' "截图  Ctrl+1" "设置截图快捷键…" "截图偏好…" "截图历史…" "-" \
  "开机启动" "自动检查更新" "检查更新…" "更新日志" "-" "退出Korvel")"
[ "$(cat "$diag/menu.txt")" = "$expected" ] || fail "menu: $(cat "$diag/menu.txt")"

check_capture() {
  wait_for 10 test -s "$diag/captures.txt"
  [ "$(cat "$diag/captures.txt")" = 2 ] || fail "expected two snapshots"
  # The frozen overlays cover the displays now; Escape ends the capture so the
  # live screen can be compared with what was frozen.
  wait_for 5 overlay_shown
  sleep 0.3
  xdotool key Escape
  expect_closed
  sleep 0.5
  "$tool" compare "$diag/snapshot-0.png" 0 0 >/dev/null || fail "display 0 differs from the screen"
  "$tool" compare "$diag/snapshot-1.png" 1920 0 >/dev/null || fail "display 1 differs from the screen"
  [ "$(head -1 "$diag/snapshot-0.txt")" = "0 0 1920 1080" ] || fail "frame 0: $(head -1 "$diag/snapshot-0.txt")"
  [ "$(head -1 "$diag/snapshot-1.txt")" = "1920 56 1280 1024" ] || fail "frame 1"

  # Display-local coordinates run up from the display's bottom edge.
  local_rect="$fx $((1080 - fy - fh)) $fw $fh"
  [ "$(tail -n +2 "$diag/snapshot-0.txt")" = "$local_rect" ] \
    || fail "windows on display 0: '$(tail -n +2 "$diag/snapshot-0.txt")', expected '$local_rect'"
  [ "$(tail -n +2 "$diag/snapshot-1.txt")" = "" ] || fail "windows on display 1"
  # The fixture's quadrants are in the frozen image where the window is.
  [ "$("$tool" pixel "$diag/snapshot-0.png" $((cx + 100)) $((cy + 100)))" = "#ff0000" ] || fail "red"
  [ "$("$tool" pixel "$diag/snapshot-0.png" $((cx + 500)) $((cy + 300)))" = "#ffff00" ] || fail "yellow"
  rm -f "$diag/captures.txt"
}

# Choose the first item, "截图".
sleep 0.3
xdotool key Down Return
check_capture
echo PASS
