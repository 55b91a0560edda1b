# Long captures of the scrolling fixture on headless sway: ten wheel notches
# by hand give 600 new rows; automatic scrolling, interrupted by the user's
# wheel and started again, runs to the document's end and stops by itself;
# both again on an output of scale 2; a region on the smaller part of a
# window across two outputs. Return in the clicked panel copies, and
# every copy is the document's pixels, exactly.
. "$KORVEL_TESTS/wllib.sh"
on_exit=cleanup_wayland
# The fixture has the keyboard, and sway raises it above the panel where
# they meet; a click on the control panel's corner beside it gives both
# back. Both panels bear the same title: the control panel is the one that
# holds the copy button.
focus_panel() {
    set -- $(awk -F'\t' '$1 == "window" && $2 == "Korvel · 长截图" { w[++n] = $3 }
        $1 == "button" && $2 == "复制 · Enter" { split($3, b, " ") }
        END { for (i = 1; i <= n; i++) { split(w[i], g, " ")
            if (b[1] >= g[1] && b[1] < g[1] + g[3] && b[2] >= g[2] && b[2] < g[2] + g[4]) { print w[i]; exit } } }' \
        "$diag/widgets.txt")
    [ $# = 4 ] || fail "no control panel in the widget list"
    click_at $(($1 + 4)) $(($2 + 4))
    sleep 0.5
}
# grown_to ROWS: the long image has at least that many rows.
grown_to() {
    awk -F'\t' -v n="$1" '$1 == "label" && $2 ~ /^560 × [0-9]+ px$/ {
        split($2, d, " "); if (d[3] >= n) found = 1 } END { exit !found }' "$diag/widgets.txt"
}
quiet_start

start_usual_capture
wheel 10 5
wait_for 10 dimensions_are "560 × 1000 px"
shown "已拼接。继续滚动，或直接复制、保存。" || fail "no stitch reported"
focus_panel
key Return
paste_long_png "$work/manual.png"
expect_document_part "$work/manual.png" 560 1000 40 40

kill "$fixture_pid"
wait "$fixture_pid" 2>/dev/null || true
start_fixture --window 200,100,640,600 --length 2400 --step 60
start_usual_region
click_widget button "自动滚动"
expect_shown 5 "自动向下滚动中；空格停止，Enter 复制。"
# The user's own wheel, seen only in the frames: far more rows than the
# steps posted. Automatic scrolling stops and, started again, goes on.
wait_for 20 grown_to 640
wheel 5 5
expect_shown 5 "已切换手动滚动。"
click_widget button "自动滚动"
expect_shown 40 "画面未变化，自动滚动已停止。可手动继续，或直接复制。"
wait_for 2 has_widget button "自动滚动"
# At the end the viewport shows rows 1840…2399; the region's last row is 2279.
focus_panel
key Return
paste_long_png "$work/automatic.png"
expect_document_part "$work/automatic.png" 560 2240 40 40

# At output scale 2 the frames hold the output's own pixels, each document
# pixel a 2 × 2 block: by hand, then automatically to the end.
fixture_at_scale_2
start_usual_region
wheel 10 5
wait_for 10 dimensions_are "1120 × 2000 px"
click_widget button "自动滚动"
expect_shown 40 "画面未变化，自动滚动已停止。可手动继续，或直接复制。"
focus_panel
key Return
paste_long_png "$work/scaled.png"
expect_document_part "$work/scaled.png" 1120 4480 80 80

# Across both outputs, most of the window on the first: a region on its part
# on the second streams from the second, and the wheel over the part on the
# first stays there while the panels, on the second, are kept above it.
swaymsg -q output HEADLESS-1 mode 1920x1080 scale 1
start_fixture --window 200,100,640,600 --length 2400 --step 60
place_window '^korvel-scroll$' 1520 100
cx=1520
start_long_capture $((cx + 420)) $((cy + 80)) $((cx + 620)) $((cy + 480))
wheel 10 5
wait_for 10 dimensions_are "200 × 1000 px"
focus_panel
key Return
paste_long_png "$work/across.png"
expect_document_part "$work/across.png" 200 1000 420 40
kill -0 "$korvel_pid" || fail "korvel exited"
echo PASS
