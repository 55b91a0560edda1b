# Korvel's capture on one 3840×2160 output of headless sway beside grim
# writing the same output to PNG, in the same run; then the frames per second
# of a long capture's region stream. Run inside scripts/waylandsession:
#   scripts/waylandsession --outputs 3840x2160+0+0 -- sh bench/wayland-capture.sh
# (as root, give the copied script: sh -c '. "$KORVEL_TESTS/../bench/wayland-capture.sh"').
# Prints medians over RUNS (default 10) in milliseconds.
. "$KORVEL_TESTS/wllib.sh"
runs="${RUNS:-10}"
work="$KORVEL_SESSION_DIR/bench"
mkdir -p "$work"
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] / 1000000 }'; }

# Without diagnostics: writing the frozen images as PNG is the tests' cost.
quiet_start
"$korvel" &
korvel_pid=$!
wait_for 10 sh -c "ls '$XDG_RUNTIME_DIR'/korvel-*.socket"
sleep 1
# sway lists a window once it is mapped: drawn and shown.
korvel_windows() { swaymsg -t get_tree | grep -c '"name": "Korvel"' || true; }
before="$(korvel_windows)"
overlay_mapped() { [ "$(korvel_windows)" -gt "$before" ]; }
pointer "move 3000 2000"
: >"$work/korvel" && : >"$work/grim"
run=0
while [ $run -lt "$runs" ]; do
    # From the request to the overlay mapped, i.e. drawn once with its frozen image.
    t0=$(now)
    "$korvel" --capture
    until overlay_mapped; do :; done
    echo $(($(now) - t0)) >>"$work/korvel"
    sleep 0.5
    pointer "move 3000 2001"
    key Escape
    wait_for 5 capture_closed
    sleep 0.3
    t0=$(now)
    grim -o HEADLESS-1 "$work/grim.png"
    echo $(($(now) - t0)) >>"$work/grim"
    run=$((run + 1))
done
echo "korvel --capture to overlay shown: $(median <"$work/korvel") ms"
echo "grim to PNG: $(median <"$work/grim") ms"
