# Automatic scrolling through the RemoteDesktop portal, on a stand-in portal
# that passes Screenshot and ScreenCast on to xdg-desktop-portal-wlr: the
# long capture offers it, asks for a pointer and the screen of the same
# session, posts its wheel steps at the region down to the document's end,
# and copies exactly the document's pixels. Refused, the panel says why.
. "$KORVEL_TESTS/wllib.sh"
. "$KORVEL_TESTS/longsession.sh"
portal_log="$KORVEL_SESSION_DIR/remoteportal.log"
portal_pid=""
stop_portal() { cleanup_wayland; [ -z "$portal_pid" ] || kill "$portal_pid" 2>/dev/null || true; }
on_exit=stop_portal
remote() { # MODE: a fresh stand-in granting or refusing the remote pointer
    [ -z "$portal_pid" ] || { kill "$portal_pid"; wait "$portal_pid" 2>/dev/null || true; }
    rm -f "$portal_log"
    /usr/bin/python3 "$KORVEL_TESTS/testportal.py" remote "$1" "$portal_log" \
        "$KORVEL_BUILD/tests/e2e/korvel_wlpointer" &
    portal_pid=$!
    wait_for 10 grep -qx ready "$portal_log"
}
# The centre of a button of the long capture's panel, from the corner of
# the panel window that Qt has it in.
panel_offset() {
    awk -F'\t' -v n="$1" '$1 == "window" && $2 == "Korvel · 长截图" { w[++k] = $3 }
        $1 == "button" && $2 == n && $4 != "0" { split($3, b, " ") }
        END { for (i = 1; i <= k; i++) { split(w[i], r, " ")
                  if (b[3] && b[1] >= r[1] && b[1] < r[1] + r[3] && b[2] >= r[2] && b[2] < r[2] + r[4]) {
                      printf "%d %d\n", b[1] - r[1] + b[3] / 2, b[2] - r[2] + b[4] / 2; exit } }
              exit 1 }' "$diag/widgets.txt"
}
# click_panel NAME LABEL: clicks that button until LABEL shows. Korvel cannot
# place its panel here: the click goes where sway shows it (the first window
# of its title, the preview the second), by an offset read until steady.
click_panel() {
    for try in 1 2 3; do
        wait_for 10 panel_offset "$1"
        offset="" i=0
        while [ "$(panel_offset "$1")" != "$offset" ] && [ $i -lt 20 ]; do
            offset="$(panel_offset "$1")" i=$((i + 1))
            sleep 0.3
        done
        set -- "$1" "$2" $offset $(sway_window '^Korvel · 长截图$')
        click_at $(($3 + $5)) $(($4 + $6))
        i=0
        while ! shown "$2" && [ $i -lt 30 ]; do sleep 0.1; i=$((i + 1)); done
        shown "$2" && return
        set -- "$1" "$2"
    done
    fail "the panel's $1 did not take the click"
}
"$scrollfixture" --write "$document" --window 1100,100,640,600 --length 2400 --step 60 &
fixture_pid=$!
# Clear of the left half of the screen, where sway tiles Korvel's panel:
# floating, it would lie over the panel's buttons.
place_window '^korvel-scroll$' 1100 100
cx=1100 cy=100
remote grant
quiet_start
KORVEL_PLATFORM=portal start_korvel
start_usual_region
click_panel "自动滚动" "自动向下滚动中；空格停止，Enter 复制。"
expect_shown 40 "画面未变化，自动滚动已停止。可手动继续，或直接复制。"
grep -qx "devices types=2" "$portal_log" || fail "no pointer asked for"
grep -qx "sources types=1" "$portal_log" || fail "no screen asked for in the same session"
# Steps at the region's middle (x 1140…1700, y 180…580), on the shared output.
grep -qx "motion 44 1420 380" "$portal_log" || fail "steps not at the region: $(grep motion "$portal_log" | head -1)"
grep -qx "axis 0 1" "$portal_log" || fail "no wheel steps down"
grep -qx "axis finish=True" "$portal_log" || fail "scrolls not ended"
swaymsg -q '[title="^Korvel · 长截图$"] focus'
sleep 0.5
key Return
paste_long_png "$work/auto.png"
expect_document_part "$work/auto.png" 560 2240 40 40
wait_for 5 grep -qx "closed session" "$portal_log"

# --- Refused: no steps, and the panel says why -------------------------------
remote refuse
forget_shown
start_usual_region
click_panel "自动滚动" "滚动原窗口。桌面拒绝了远程控制，无法自动滚动。空格停止，Enter 复制，Esc 关闭。"
has_widget button "自动滚动" && fail "automatic scrolling still offered after a refusal"
grep -q "^axis" "$portal_log" && fail "steps posted though refused"
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
