# Many captures in a row (capture, select, draw, copy, which closes) must not make
# korvel grow: its resident memory, read every 50 captures, may not rise more than
# 20 MiB above the reading after the first 50. KORVEL_SOAK_CAPTURES: the count (200).
. "$(dirname "$0")/lib.sh"
show_fixture 200 150 600 400
start_korvel

poll=0.02 # wait_for's usual tenth of a second would make the waiting dominate
overlay_gone() { ! overlay_shown; }

baseline=""
for n in $(seq "${KORVEL_SOAK_CAPTURES:-200}"); do
    rm -f "$diag/captures.txt"
    xdotool key ctrl+1
    wait_for 10 test -s "$diag/captures.txt"
    wait_for 10 overlay_shown
    # Alternate the corners so crops and marks differ from one capture to the next.
    off=$(( (n % 7) * 10 ))
    xdotool mousemove $((300 + off)) $((250 + off)) mousedown 1 mousemove 500 400 \
        mousemove $((700 - off)) $((500 - off)) mouseup 1
    xdotool key shift+1
    xdotool mousemove 350 300 mousedown 1 mousemove 400 350 mousemove $((450 + off)) 380 mouseup 1
    xdotool key Return
    wait_for 10 overlay_gone
    [ $((n % 50)) = 0 ] || continue
    rss="$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$korvel_pid/status")"
    echo "captures $n: resident $((rss / 1024)) MiB"
    baseline="${baseline:-$rss}"
    [ $((rss - baseline)) -le $((20 * 1024)) ] || fail "grew by $(((rss - baseline) / 1024)) MiB after capture 50"
done
alive
echo PASS
