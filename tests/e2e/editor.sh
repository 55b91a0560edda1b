# The editor and its save dialog on the real program: a quick double click
# with the mosaic brush paints and keeps the capture open; the save dialog
# speaks Chinese and first opens in the pictures folder; a name typed with
# another extension is written as PNG under "….png", and the question before
# a file is replaced names that file; a failed save says why in Chinese.
# With KORVEL_E2E_KEEP naming a folder, a screenshot of the dialog lands there.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/session.sh"

work="$KORVEL_SESSION_DIR/editor"
pictures="$KORVEL_SESSION_DIR/pictures"
mkdir -p "$work" "$pictures"
echo "XDG_PICTURES_DIR=\"$pictures\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
trap 'stop_korvel' EXIT

overlay_shown() { xdotool search --onlyvisible --name '^Korvel$' >/dev/null 2>&1; }
shown() { grep -qF "$1" "$diag/widgets.txt"; }
capture_region() { # x0 y0 x1 y1
  rm -f "$diag/captures.txt"
  xdotool key ctrl+1
  wait_for 10 test -s "$diag/captures.txt"
  wait_for 5 overlay_shown
  sleep 0.3
  xdotool mousemove "$1" "$2" mousedown 1 mousemove $((($1 + $3) / 2)) $((($2 + $4) / 2))
  xdotool mousemove "$3" "$4"
  sleep 0.1
  xdotool mouseup 1
  sleep 0.3
}
save_dialog() {
  xdotool key ctrl+s
  wait_for 10 sh -c "xdotool search --onlyvisible --name '^保存截图\$'"
  sleep 0.5
}
save_as() {
  xdotool key ctrl+a
  xdotool type --delay 5 "$1"
  xdotool key Return
}

start_korvel

# --- Mosaic brush: a double click is two dabs, not the copy gesture ---------
capture_region 300 300 700 600
xdotool key shift+7
xdotool mousemove 400 400 click --repeat 2 --delay 40 1
sleep 0.5
overlay_shown || fail "a double click with the mosaic brush closed the capture"
if xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png; then
  fail "a double click with the mosaic brush copied the capture"
fi
xdotool key Escape
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"

# --- The save dialog: Chinese, the pictures folder, PNG names ---------------
capture_region 300 300 700 600
save_dialog
wait_for 5 shown "查找范围："
shown "文件类型：" || fail "the file type label is not Chinese"
! shown "Look in" || fail "the save dialog speaks English"
if [ -n "${KORVEL_E2E_KEEP:-}" ]; then
  set -- $(grep "^window	保存截图	" "$diag/widgets.txt" | cut -f3)
  mkdir -p "$KORVEL_E2E_KEEP"
  "$tool" snapshot-png "$KORVEL_E2E_KEEP/save-dialog.png" $(($1 - 20)) $(($2 - 20)) $(($3 + 40)) $(($4 + 40))
fi
save_as shot.jpg
wait_for 10 test -s "$pictures/shot.jpg.png"
[ ! -e "$pictures/shot.jpg" ] || fail "PNG bytes were written under .jpg"
file -b "$pictures/shot.jpg.png" | grep -q '^PNG image' || fail "shot.jpg.png is no PNG"
wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"

# The same name again: the question is about the file that would be written.
capture_region 300 300 700 600
save_dialog
save_as shot.jpg
wait_for 5 shown "shot.jpg.png 已存在"
xdotool key Escape
sleep 0.3
save_as missing/x.png
wait_for 5 shown "保存失败：无法写入“x.png”，文件夹不存在。"
xdotool key Return
wait_for 5 overlay_shown
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
