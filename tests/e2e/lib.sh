# Shared by the end-to-end scripts; they run inside scripts/xsession.
set -eu
korvel="$KORVEL_BUILD/src/app/korvel"
tool="$KORVEL_BUILD/tests/e2e/korvel_e2etool"
fixture="$KORVEL_BUILD/tests/e2e/korvel_fixturewindow"

fail() { echo "FAIL: $*" >&2; exit 1; }

wait_for() { # seconds, then a command that must succeed
  limit=$(( $1 * 10 )); shift
  i=0
  until "$@" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -lt $limit ] || fail "timed out waiting for: $*"
    sleep 0.1
  done
}

# The first visible window whose instance name is exactly $1.
visible_window() { xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -1; }

# widget_at KIND NAME: the centre of the first visible, enabled widget of that
# kind ("button", "popup", "window") and name in widgets.txt.
widget_at() {
    awk -F'\t' -v k="$1" -v n="$2" '$1 == k && $2 == n && $4 != "0" {
        split($3, g, " "); printf "%d %d\n", g[1] + g[3] / 2, g[2] + g[4] / 2; found = 1; exit }
        END { exit !found }' "$diag/widgets.txt" 2>/dev/null
}
has_widget() { widget_at "$1" "$2" >/dev/null; }
click_widget() {
    wait_for 10 has_widget "$1" "$2"
    click_at $(widget_at "$1" "$2")
}

# Pointer, keys and the clipboard; wllib.sh has the same for Wayland.
click_at() { xdotool mousemove "$1" "$2" sleep 0.1 click "${3:-1}"; }
drag() { # x0 y0 x1 y1
    xdotool mousemove "$1" "$2" mousedown 1 mousemove $(($1 + 40)) $(($2 + 40)) \
        mousemove "$3" "$4" sleep 0.1 mouseup 1
}
key() { xdotool key "$1"; }
paste_png() { xclip -selection clipboard -t image/png -o >"$1" || fail "no PNG on the clipboard"; }
png_size() { file -b "$1" | sed -n 's/.* \([0-9]*\) x \([0-9]*\),.*/\1x\2/p'; }
overlay_shown() { xdotool search --onlyvisible --name '^Korvel$' >/dev/null 2>&1; }
# A capture by the shortcut; returns once its overlays show.
begin_capture() {
    rm -f "$diag/captures.txt"
    xdotool key ctrl+1
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 5 overlay_shown
    sleep 0.3
}

# A running korvel, its tray icon, menu and captures.
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
  [ -n "$korvel_pid" ] || return 0
  kill "$korvel_pid" 2>/dev/null || true
  wait "$korvel_pid" 2>/dev/null || true
}

# What a script started goes with it; $on_exit names more to do.
fixture_pid=""
trap 'kill $fixture_pid 2>/dev/null || true; stop_korvel; ${on_exit:-:}' EXIT
# show_fixture X Y W H [shadow]: the four-colour fixture window at that frame;
# sets fixture_window and its frame (window_frame), once it shows.
show_fixture() {
  "$fixture" "$@" &
  fixture_pid="${fixture_pid:+$fixture_pid }$!"
  fixture_window="$(named_window korvel-fixture)"
  window_frame "$fixture_window"
}

# Waits for a capture's overlays and ends the capture with Escape.
expect_capture() {
  wait_for 10 test -s "$diag/captures.txt"
  wait_for 10 overlay_shown
  sleep 0.3
  xdotool key Escape
  expect_closed
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



# Waits until the capture's overlays are gone.
expect_closed() {
  wait_for 5 sh -c "! xdotool search --onlyvisible --name '^Korvel\$'"
}

expect_pixel() { # x y colour what
  got="$("$tool" root-pixel "$1" "$2")"
  [ "$got" = "$3" ] || fail "$4: $got at $1,$2, expected $3"
}

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
