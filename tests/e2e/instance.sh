# One Korvel per session: a second start, "--capture", "--pin FILE" and "--edit FILE"
# hand over and leave; a killed instance's socket is taken over. Hostile files decode
# neither early nor past their size, the interface answers while a handed-over image
# is refused, and the socket talks only to its own user.
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

# --- A bomb straight to the socket is refused while a capture is answered at once ----
socket="$(ls "$XDG_RUNTIME_DIR"/korvel-*.socket)"
# A pin request (kind 2) after its 64-bit length; prints korvel's one-byte answer.
python3 -c '
import socket, struct, sys
body = b"\x02" + open(sys.argv[2], "rb").read()
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall(struct.pack(">Q", len(body)) + body)
print(s.recv(1).decode() or "none")' "$socket" "$work/bomb.png" >"$work/answer" &
sender=$!
sleep 0.1
start=$(date +%s%N)
timeout 5 "$korvel" --capture || fail "--capture did not hand over while a bomb was handed in"
elapsed=$((($(date +%s%N) - start) / 1000000))
[ $elapsed -lt 3000 ] || fail "--capture took $elapsed ms while a bomb was handed in"
expect_capture
wait "$sender"
expect_eq "$(cat "$work/answer")" 2 "the answer to the bomb"
# A second start hands over too, and adds no tray icon.
timeout 5 "$korvel" || fail "a second start did not hand over"
expect_capture
expect_eq "$(windows)" 1 "tray icons after a second start"

# --- A killed korvel leaves its socket; "--capture" starts one that takes it over ---
kill -9 "$korvel_pid"
wait "$korvel_pid" 2>/dev/null || true
[ -S "$socket" ] || fail "no socket was left behind"
sleep 0.5
start_korvel --capture
expect_capture
timeout 5 "$korvel" --capture || fail "the new instance does not answer"
expect_capture
expect_eq "$(windows)" 1 "tray icons after the restart"

# --- A pin, centred on the pointer's screen, shows the file's pixels inside a border;
# the wheel zooms, a double click restores, Control-C copies the file, Escape closes --
xdotool mousemove 300 300
timeout 5 "$korvel" --pin "$work/in.png" || fail "--pin did not hand over"
wait_for 5 test -s "$diag/pins.txt"
expect_eq "$(cat "$diag/pins.txt")" "880 480 160 120" "pins"
pin="$(named_window "Korvel · 贴图")" # listed as it is asked for, shown once mapped
expect_eq "$(windows)" 2 "the tray icon and the pin"
px=880 py=480
sleep 0.5
# No compositor, no shadow: a one-pixel border, and inside the file's pixels.
"$tool" snapshot-png "$work/inner.png" $((px + 1)) $((py + 1)) 158 118
"$tool" inside "$work/inner.png" "$work/in.png" 1 1 || fail "the pin does not show the file's pixels"
for edge in "$px $((py + 60))" "$((px + 159)) $((py + 60))" "$((px + 80)) $py" "$((px + 80)) $((py + 119))"; do
    expect_pixel $edge "#3b82f6" "the pin's border"
done
xprop -id "$pin" _NET_WM_DESKTOP | grep -q '= 4294967295$' || fail "the pin is not on every desktop"
xdotool mousemove $((px + 40)) $((py + 30)) click 4 sleep 0.5
window_frame "$pin"
[ "$cw" -gt 160 ] && [ "$ch" -gt 120 ] || fail "no zoom: $cw × $ch"
xdotool click --repeat 2 --delay 80 1 sleep 0.5
window_frame "$pin"
expect_eq "$cw $ch" "160 120" "size after a double click"
xdotool key ctrl+c sleep 0.5
paste_png "$work/out.png"
cmp -s "$work/in.png" "$work/out.png" || fail "copied bytes differ"
xdotool key Escape
wait_for 5 sh -c "[ ! -s '$diag/pins.txt' ]"
wait_for 5 window_gone "Korvel · 贴图"

# "--edit FILE" opens one result window on the file in the same instance.
timeout 5 "$korvel" --edit "$work/in.png" || fail "--edit did not hand over"
named_window "Korvel · in.png 160 × 120 px" >/dev/null
expect_eq "$(xdotool search --onlyvisible --name '^Korvel · in.png' | wc -l)" 1 "result windows"

# --- SIGTERM removes the socket, also with a pin open (pins refuse to close on request)
timeout 5 "$korvel" --pin "$work/in.png" || fail "no pin before SIGTERM"
expect_term SIGTERM
[ ! -e "$socket" ] || fail "SIGTERM left the socket behind"

# --- Without a runtime folder the socket's folder is in /tmp, where another user may
# have made it first with a listener inside: korvel refuses it and sends nothing ----
if [ "$(id -u)" = 0 ]; then
    id korvel-mallory >/dev/null 2>&1 || useradd --system --no-create-home korvel-mallory
    shared="$(mktemp -d /tmp/korvel-shared.XXXXXX)"
    on_exit="rm -rf $shared"
    chmod 1777 "$shared"
    install -d -m 0777 -o korvel-mallory "$shared/korvel-0"
    display="$(echo "$DISPLAY" | sed 's/\.[0-9]*$//; s/[^A-Za-z0-9_-]/_/g')"
    # It answers nothing and notes the size of each request.
    spawn setpriv --reuid=korvel-mallory --regid=korvel-mallory --clear-groups /usr/bin/python3 -c '
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.bind(sys.argv[1])
s.listen()
while True:
    peer = s.accept()[0]
    n = sum(iter(lambda: len(peer.recv(65536)), 0))
    open(sys.argv[2], "a").write(f"{n}\n")' "$shared/korvel-0/korvel-$display.socket" "$shared/received"
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
