# One Korvel per session: a second start and "--capture" make the running one
# capture and leave at once, "--pin FILE" and "--edit FILE" hand it their file,
# and a socket left by a killed instance is taken over. Against hostile files,
# processes and users nothing decodes before the application exists or past an
# image's declared size, the interface keeps answering while a handed-over
# image is refused, and the socket talks only to its own user.
. "$(dirname "$0")/lib.sh"
windows() { xdotool search --onlyvisible --classname '^korvel$' 2>/dev/null | wc -l; }
show_fixture 200 150 600 400
sleep 0.5
# The fixture's four quadrants meet in this piece of the screen.
"$tool" snapshot-png "$work/in.png" 450 300 160 120
: >"$work/empty.png"
printf 'not an image' >"$work/text.png"
head -c 300 "$work/in.png" >"$work/truncated.png"
printf '<svg xmlns="http://www.w3.org/2000/svg" width="80" height="40"><text y="20">字</text></svg>' \
    >"$work/text.svg"
mkfifo "$work/fifo.png"
"$tool" png-bomb "$work/bomb.png" 100 100 4294967296
"$tool" png-blank "$work/large.png" 6000 6000
"$tool" png-blank "$work/small.png" 40 30

start_korvel
# --- Bad files are refused by the start that names them, at once, with the name --
refused() { # option file
    status=0
    timeout 5 "$korvel" "$1" "$2" 2>"$work/err" || status=$?
    [ $status = 2 ] || fail "$1 $2 exited $status ($(cat "$work/err"))"
    grep -qF "$2" "$work/err" || fail "the message does not name $2: $(cat "$work/err")"
}
for bad in missing.png . empty.png text.png truncated.png text.svg fifo.png bomb.png; do
    refused --pin "$work/$bad"
done
refused --edit "$work/truncated.png"

# 36 megapixels: above Qt's own default limit, within the promised 64.
timeout 20 "$korvel" --edit "$work/large.png" 2>"$work/err" || fail "--edit of 6000 × 6000 pixels: $(cat "$work/err")"
close_window '.*6000 × 6000.*'

# --- Past the client's own checks, straight to the socket: the image is refused
# as damaged while a capture request is still answered at once -----------------------
socket="$(ls "$XDG_RUNTIME_DIR"/korvel-*.socket)"
"$tool" hand-over "$socket" 2 "$work/bomb.png" >"$work/answer" &
sender=$!
sleep 0.1
start=$(date +%s%N)
timeout 5 "$korvel" --capture || fail "--capture did not hand over while a bomb was handed in"
elapsed=$((($(date +%s%N) - start) / 1000000))
[ $elapsed -lt 3000 ] || fail "--capture took $elapsed ms while a bomb was handed in"
expect_capture
wait "$sender"
[ "$(cat "$work/answer")" = 2 ] || fail "the bomb was answered '$(cat "$work/answer")'"

# A second start and "--capture" hand over, to a new korvel (the one before
# leaves in order).
stop_korvel
start_korvel
[ "$(windows)" = 1 ] || fail "expected one tray icon"
timeout 5 "$korvel" || fail "a second start did not hand over"
expect_capture
[ "$(windows)" = 1 ] || fail "a second tray icon appeared"
timeout 5 "$korvel" --capture || fail "--capture did not hand over"
expect_capture

# --- Killed without a chance to clean up, the socket file stays behind; started
# by "--capture", a new korvel takes it over and captures -------------------------------
kill -9 "$korvel_pid"
wait "$korvel_pid" 2>/dev/null || true
[ -S "$socket" ] || fail "no socket was left behind"
sleep 0.5
start_korvel --capture
expect_capture
timeout 5 "$korvel" --capture || fail "the new instance does not answer"
expect_capture
[ "$(windows)" = 1 ] || fail "expected one tray icon after the restart"

# --- A pin at 100 % shows the file's pixels exactly inside a thin border; the
# wheel zooms, Control-wheel fades, Control-C copies the file's bytes and Escape
# closes it ---------------------------------------------------------------------------
xdotool mousemove 300 300
timeout 5 "$korvel" --pin "$work/in.png" || fail "--pin did not hand over"
wait_for 5 test -s "$diag/pins.txt"
[ "$(wc -l <"$diag/pins.txt")" = 1 ] || fail "pins: $(cat "$diag/pins.txt")"
[ "$(windows)" = 2 ] || fail "expected the tray icon and one pin"
# Centred on the screen under the pointer (the first, 1920 × 1080).
[ "$(cat "$diag/pins.txt")" = "880 480 160 120" ] || fail "pin at $(cat "$diag/pins.txt")"
px=880 py=480
pin="$(named_window "Korvel · 贴图")"
sleep 0.5
# No compositor, no shadow: a one-pixel border, and inside the file's pixels.
"$tool" crop "$work/in.png" 1 1 158 118 "$work/inner.png"
"$tool" compare "$work/inner.png" $((px + 1)) $((py + 1)) || fail "the pin does not show the file's pixels"
for edge in "$px $((py + 60))" "$((px + 159)) $((py + 60))" "$((px + 80)) $py" "$((px + 80)) $((py + 119))"; do
    expect_pixel $edge "#3b82f6" "the pin's border"
done
xprop -id "$pin" _NET_WM_DESKTOP | grep -q '= 4294967295$' || fail "the pin is not on every desktop"
# The wheel zooms about the pointer; a double click restores the size.
xdotool mousemove $((px + 40)) $((py + 30)) click 4
sleep 0.5
window_frame "$pin"
[ "$cw" -gt 160 ] && [ "$ch" -gt 120 ] || fail "no zoom: $cw × $ch"
xdotool mousemove $((px + 40)) $((py + 30)) click --repeat 2 --delay 80 1
sleep 0.5
window_frame "$pin"
[ "$cw $ch" = "160 120" ] || fail "double click left $cw × $ch"
xdotool mousemove $((px + 40)) $((py + 30)) keydown ctrl click 5 keyup ctrl
sleep 0.5
opacity="$(xprop -id "$pin" _NET_WM_WINDOW_OPACITY | sed -n 's/.* = //p')"
[ -n "$opacity" ] && [ "$opacity" -lt 4294967295 ] || fail "no opacity change: '$opacity'"
xdotool key ctrl+c
sleep 0.5
paste_png "$work/out.png"
cmp -s "$work/in.png" "$work/out.png" || fail "copied bytes differ"
xdotool key Escape
wait_for 5 sh -c "[ ! -s '$diag/pins.txt' ]"
wait_for 5 window_gone "Korvel · 贴图"

# "--edit FILE" opens one result window on the file in the same instance.
timeout 5 "$korvel" --edit "$work/in.png" || fail "--edit did not hand over"
named_window "Korvel · in.png 160 × 120 px" >/dev/null
[ "$(xdotool search --onlyvisible --name '^Korvel · in.png' | wc -l)" = 1 ] || fail "more than one result window"

# --- A kill or logout: an orderly exit that removes the socket, also with a pin
# open (a pin refuses to close on request; quitting must not ask it) ------------------
timeout 5 "$korvel" --pin "$work/small.png" || fail "no pin before SIGTERM"
kill -TERM "$korvel_pid"
status=0
timeout 5 sh -c "while kill -0 $korvel_pid 2>/dev/null; do sleep 0.1; done" || true
wait "$korvel_pid" || status=$?
korvel_pid=""
[ "$status" = 0 ] || fail "SIGTERM: exit status $status"
[ ! -e "$socket" ] || fail "SIGTERM left the socket behind"

# --- Without a runtime folder the socket's folder lies in the shared temporary
# folder, where another user may have made it first, open to all, with a listener
# inside: korvel refuses that folder and sends nothing there ---------------------------
if [ "$(id -u)" = 0 ]; then
    id korvel-mallory >/dev/null 2>&1 || useradd --system --no-create-home korvel-mallory
    shared="$(mktemp -d /tmp/korvel-shared.XXXXXX)"
    on_exit="rm -rf $shared"
    mkdir -p "$shared/korvel-0"
    chmod 1777 "$shared"
    chmod 0777 "$shared/korvel-0"
    chown korvel-mallory "$shared/korvel-0"
    cp "$tool" "$shared/listener"
    chmod 755 "$shared/listener"
    display="$(echo "$DISPLAY" | sed 's/\.[0-9]*$//; s/[^A-Za-z0-9_-]/_/g')"
    spawn setpriv --reuid=korvel-mallory --regid=korvel-mallory --clear-groups \
        "$shared/listener" listen "$shared/korvel-0/korvel-$display.socket" "$shared/received"
    wait_for 5 test -S "$shared/korvel-0/korvel-$display.socket"
    xdotool mousemove 300 300
    rm -f "$diag/pins.txt"
    env -u XDG_RUNTIME_DIR TMPDIR="$shared" KORVEL_DIAGNOSTICS_DIR="$diag" \
        "$korvel" --pin "$work/large.png" 2>"$work/err" &
    korvel_pid=$!
    wait_for 10 test -s "$diag/pins.txt"
    grep -q "korvel-0 belongs to another user" "$work/err" || fail "no word of the folder: $(cat "$work/err")"
    [ ! -s "$shared/received" ] || fail "the image went to another user: $(cat "$shared/received")"
fi
echo PASS
