# The tray shows Korvel's own artwork, readable on a light and on a dark
# panel: dark ink (the shutter dot, the corners) inside a light rim, and the
# panel itself between the corners. When the tray is replaced, the icon docks
# into the new one. With KORVEL_E2E_KEEP naming a folder, both panels land
# there as PNG.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/session.sh"

tray_pid=""
trap 'kill $tray_pid 2>/dev/null || true; stop_korvel' EXIT
xsetroot -solid '#808080'

start_tray() { # tint as 0xRRGGBB
  trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 28 \
    --SetDockType true --expand false --transparent true --alpha 0 --tint "$1" >/dev/null 2>&1 &
  tray_pid=$!
  wait_for 10 "$tool" tray-ready
}
luma() { # x y: the root window's brightness there, 0…255
  c="$("$tool" root-pixel "$1" "$2")"
  echo $(((3 * 0x$(echo "$c" | cut -c2-3) + 6 * 0x$(echo "$c" | cut -c4-5) + 0x$(echo "$c" | cut -c6-7)) / 10))
}
expect_artwork() { # panel name
  wait_for 10 find_icon
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  side=$((WIDTH < HEIGHT ? WIDTH : HEIGHT))
  ox=$((X + (WIDTH - side) / 2)) oy=$((Y + (HEIGHT - side) / 2))
  [ "$(luma $((ox + side / 2)) $((oy + side / 2)))" -lt 80 ] || fail "$1 panel: no shutter dot"
  panel="$(luma $((X - 6)) $((Y + HEIGHT / 2)))"
  gap="$(luma $((ox + side / 2)) $((oy + side / 9)))"
  [ $((gap - panel)) -le 30 ] && [ $((panel - gap)) -le 30 ] \
    || fail "$1 panel: not the artwork between its corners ($gap on $panel)"
  # Across the top-left corner's arm: ink and rim.
  ink=255 rim=0 i=0
  while [ $i -le $((side * 4 / 18)) ]; do
    l="$(luma $((ox + side / 4)) $((oy + i)))"
    [ "$l" -lt "$ink" ] && ink=$l
    [ "$l" -gt "$rim" ] && rim=$l
    i=$((i + 1))
  done
  [ "$ink" -lt 80 ] || fail "$1 panel: no dark ink ($ink)"
  [ "$rim" -gt 180 ] || fail "$1 panel: no light rim ($rim)"
  if [ -n "${KORVEL_E2E_KEEP:-}" ]; then
    mkdir -p "$KORVEL_E2E_KEEP"
    "$tool" snapshot-png "$KORVEL_E2E_KEEP/tray-$1.png" $((X - 90)) 0 $((WIDTH + 100)) 32
  fi
}

start_tray 0xf0f0f0
start_korvel
expect_artwork light
kill "$tray_pid"
wait "$tray_pid" 2>/dev/null || true
start_tray 0x202020
expect_artwork dark
echo PASS
