# The tray shows Korvel's artwork on a light and a dark panel (dark ink in a
# light rim), also in a new tray. A double click with the mosaic brush keeps the
# capture. The save dialog speaks Chinese and opens in the pictures folder;
# "shot.jpg" is written as "shot.jpg.png", which the replace question names; a
# failed save says why. KORVEL_E2E_KEEP=DIR keeps shots of panels and dialog.
. "$(dirname "$0")/lib.sh"
pictures="$KORVEL_SESSION_DIR/pictures"
mkdir -p "$pictures" "${KORVEL_E2E_KEEP:-$pictures}"
echo "XDG_PICTURES_DIR=\"$pictures\"" >"$XDG_CONFIG_HOME/user-dirs.dirs"
tray_pid=""
trap 'kill $tray_pid 2>/dev/null || true; stop_korvel' EXIT
luma() { # x y: the brightness there, 0…255
  c="$("$tool" root-pixel "$1" "$2" | cut -c2-)"
  echo $(((3 * 0x${c%????} + 6 * 0x$(echo "$c" | cut -c3-4) + 0x${c#????}) / 10))
}
shown() { grep -qF "$1" "$diag/widgets.txt"; }
capture_region() {
  begin_capture
  drag 300 300 700 600
  sleep 0.3
}
save_as() {
  xdotool key ctrl+a type --delay 5 "$1"
  xdotool key Return
}

for panel in f0f0f0 202020; do
  kill $tray_pid 2>/dev/null || true
  trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 \
    --SetDockType true --expand false --transparent true --alpha 0 --tint 0x$panel >/dev/null 2>&1 &
  tray_pid=$!
  wait_for 10 "$tool" tray-ready
  [ -n "${korvel_pid:-}" ] || start_korvel
  wait_for 10 find_icon
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  s=$((WIDTH < HEIGHT ? WIDTH : HEIGHT)) x=$((X + (WIDTH - s) / 2)) y=$((Y + (HEIGHT - s) / 2))
  [ "$(luma $((x + s / 2)) $((y + s / 2)))" -lt 80 ] || fail "$panel: no shutter dot"
  gap=$(($(luma $((x + s / 2)) $((y + s / 9))) - $(luma $((X - 6)) $((Y + HEIGHT / 2)))))
  [ $gap -le 30 ] && [ $gap -ge -30 ] || fail "$panel: not the artwork between its corners"
  ink=255 rim=0 # across the arm of a corner
  for i in 0 1 2 3 4; do
    l=$(luma $((x + s / 4)) $((y + i)))
    [ "$l" -lt $ink ] && ink=$l
    [ "$l" -gt $rim ] && rim=$l
  done
  [ $ink -lt 80 ] && [ $rim -gt 180 ] || fail "$panel: ink $ink, rim $rim"
  [ -z "${KORVEL_E2E_KEEP:-}" ] || "$tool" snapshot-png "$KORVEL_E2E_KEEP/tray-$panel.png" 1700 0 220 32
done

capture_region
xdotool key shift+7 mousemove 400 400 click --repeat 2 --delay 40 1
sleep 0.5
overlay_shown || fail "a double click with the mosaic brush closed the capture"
xdotool key Escape

capture_region
xdotool key ctrl+s
wait_for 10 shown "查找范围："
! shown "Look in" && shown "文件类型：" || fail "the save dialog is not all Chinese"
if [ -n "${KORVEL_E2E_KEEP:-}" ]; then
  set -- $(grep "^window	保存截图	" "$diag/widgets.txt" | cut -f3)
  "$tool" snapshot-png "$KORVEL_E2E_KEEP/save-dialog.png" $(($1 - 20)) $(($2 - 20)) $(($3 + 40)) $(($4 + 40))
fi
save_as shot.jpg
wait_for 10 test -s "$pictures/shot.jpg.png"
file -b "$pictures/shot.jpg.png" | grep -q '^PNG image' && [ ! -e "$pictures/shot.jpg" ] || fail "not PNG"

capture_region
xdotool key ctrl+s
sleep 1
save_as shot.jpg
wait_for 5 shown "shot.jpg.png 已存在"
xdotool key Escape
save_as missing/x.png
wait_for 5 shown "保存失败：无法写入“x.png”，文件夹不存在。"
echo PASS
