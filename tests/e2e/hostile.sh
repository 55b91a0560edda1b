# Hostile files, processes and users against the real korvel: nothing decodes
# before the application exists or past an image's declared size, the
# interface keeps answering while a handed-over image is refused, and the
# single-instance socket talks only to its own user.
. "$(dirname "$0")/lib.sh"
work="$KORVEL_SESSION_DIR/hostile"
mkdir -p "$work"
trap 'stop_korvel; [ -z "${listener:-}" ] || kill "$listener" 2>/dev/null || true
  [ -z "${shared:-}" ] || rm -rf "$shared"' EXIT

# Exit status of korvel ARGS… within SECONDS; "timeout" when it took longer.
status_of() {
  seconds=$1; shift
  set +e
  timeout "$seconds" "$korvel" "$@" 2>"$work/err"
  s=$?
  set -e
  [ $s = 124 ] && echo timeout || echo $s
}

printf '<svg xmlns="http://www.w3.org/2000/svg" width="80" height="40"><text y="20">字</text></svg>' \
  >"$work/text.svg"
mkfifo "$work/fifo.png"
"$tool" png-bomb "$work/bomb.png" 100 100 4294967296
"$tool" png-blank "$work/large.png" 6000 6000

start_korvel
# Refused by the process that names them, at once, with the file's name.
for bad in text.svg fifo.png bomb.png; do
  s="$(status_of 3 --pin "$work/$bad")"
  [ "$s" = 2 ] || fail "--pin $bad: $s ($(cat "$work/err"))"
  grep -qF "$work/$bad" "$work/err" || fail "--pin $bad does not name the file: $(cat "$work/err")"
done
# 36 megapixels: above Qt's own default limit, within the promised 64.
s="$(status_of 20 --edit "$work/large.png")"
[ "$s" = 0 ] || fail "--edit of 6000 × 6000 pixels: $s ($(cat "$work/err"))"
wait_for 10 sh -c "xdotool search --onlyvisible --name '6000 × 6000'"
xdotool key --window "$(xdotool search --onlyvisible --name '6000 × 6000' | head -1)" Escape

# Past the client's own checks, straight to the socket: the image is refused
# as damaged while a capture request is still answered at once.
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

# A kill or logout: an orderly exit that removes the socket, also with a
# pin open (a pin refuses to close on request; quitting must not ask it).
"$tool" png-blank "$work/small.png" 40 30
timeout 5 "$korvel" --pin "$work/small.png" || fail "no pin before SIGTERM"
kill -TERM "$korvel_pid"
set +e
timeout 5 sh -c "while kill -0 $korvel_pid 2>/dev/null; do sleep 0.1; done"
wait "$korvel_pid"
s=$?
set -e
[ "$s" = 0 ] || fail "SIGTERM: exit status $s"
[ ! -e "$socket" ] || fail "SIGTERM left the socket behind"

# Without a runtime folder the socket's folder lies in the shared temporary
# folder, where another user may have made it first, open to all, with a
# listener inside: korvel refuses that folder and sends nothing there.
if [ "$(id -u)" = 0 ]; then
  id korvel-mallory >/dev/null 2>&1 || useradd --system --no-create-home korvel-mallory
  shared="$(mktemp -d /tmp/korvel-shared.XXXXXX)"
  mkdir -p "$shared/korvel-0"
  chmod 1777 "$shared"
  chmod 0777 "$shared/korvel-0"
  chown korvel-mallory "$shared/korvel-0"
  cp "$tool" "$shared/listener"
  chmod 755 "$shared/listener"
  display="$(echo "$DISPLAY" | sed 's/\.[0-9]*$//; s/[^A-Za-z0-9_-]/_/g')"
  setpriv --reuid=korvel-mallory --regid=korvel-mallory --clear-groups \
    "$shared/listener" listen "$shared/korvel-0/korvel-$display.socket" "$shared/received" &
  listener=$!
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
