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
# A capture by the shortcut; returns once its overlays show.
begin_capture() {
    rm -f "$diag/captures.txt"
    xdotool key ctrl+1
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 5 sh -c "xdotool search --onlyvisible --name '^Korvel\$'"
    sleep 0.3
}
