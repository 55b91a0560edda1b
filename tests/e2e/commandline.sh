# The real binary without a display: the check modes answer on standard output
# (the self-checks off-screen, one PASS or FAIL line each); --help, --version, --recognize.
: "${KORVEL_UPDATE_ORIGIN:?the update feed check must not leave this machine}"
set -u
korvel="$KORVEL_BUILD/src/app/korvel"
fail() { echo "FAIL: $*" >&2; exit 1; }
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
# check STATUS PATTERN [VAR=value | -u VAR]… COMMAND…: without a display the command
# exits STATUS and prints what matches the shell PATTERN.
check() {
    want=$1 pattern=$2
    shift 2
    s=0
    out="$(env -u DISPLAY -u WAYLAND_DISPLAY "$@" 2>"$dir/err")" || s=$?
    case "$out" in $pattern) [ "$s" = "$want" ] ;; *) false ;; esac || fail "$*: exit $s, printed '$out'"
}

checks="stitcher regions effects export history update-feed ocr shortcut mosaic-brush long-capture"
pass="$(for c in $checks; do echo "PASS: $c"; done)"
# Every check passes on the platform asked for or picked for want of a display; the
# user's history and settings stay untouched.
for platform in offscreen ""; do
    check 0 "$pass" QT_QPA_PLATFORM=$platform XDG_DATA_HOME="$dir/data" XDG_CONFIG_HOME="$dir/config" \
        "$korvel" --self-test
done
[ ! -e "$dir/data/Dastra" ] && [ ! -e "$dir/config/Korvel" ] ||
    fail "--self-test wrote into the user's folders: $(find "$dir")"
# Each check fails when its input is broken (KORVEL_SELFCHECK_BREAK); one failure makes the status 1.
check 1 "$(for c in $checks; do echo "FAIL: $c: ?*"; done)" \
    KORVEL_SELFCHECK_BREAK="$(echo $checks | tr ' ' ,)" "$korvel" --self-test
check 1 "$(echo "$pass" | sed 's/^PASS: history$/FAIL: history: 2 entries instead of 3/')" \
    KORVEL_SELFCHECK_BREAK=history "$korvel" --self-test
# Missing language data fails the recognition check with the usual message.
mkdir "$dir/nodata"
nodata="FAIL: ocr: 缺少文字识别语言数据，请安装 tesseract-ocr-chi-sim 和 tesseract-ocr-eng"
check 1 "$(echo "$pass" | sed "s/^PASS: ocr\$/$nodata/")" TESSDATA_PREFIX="$dir/nodata" "$korvel" --self-test
# The mosaic brush check always exits 0; its line tells.
check 0 "PASS: mosaic-brush" "$korvel" --mosaic-brush-check
check 0 "FAIL: mosaic-brush: pixel * away from the brush changed" \
    KORVEL_SELFCHECK_BREAK=mosaic-brush "$korvel" --mosaic-brush-check
# The long capture check: WIDTH VIEWPORT LENGTH STEP, within bounds.
check 0 "PASS: long-capture" "$korvel" --long-live-check 240 200 3000 60
check 1 "FAIL: long-capture: pixel *" KORVEL_SELFCHECK_BREAK=long-capture "$korvel" --long-live-check 240 200 3000 60
check 2 "FAIL: long-capture: *" "$korvel" --long-live-check 240 200 3000 67
# Without a display nothing is found, but the region check asks until stopped (status 124).
check 124 "FAIL: region-check: this display offers no screen capture or window list" \
    timeout 3 "$korvel" --region-check 1 2 3
# The update feed's server is a closed loopback port here (KORVEL_UPDATE_ORIGIN): one line.
check 1 "FAIL: update feed: *" "$korvel" --check-update-feed
[ "$(printf '%s\n' "$out" | wc -l)" = 1 ] || fail "--check-update-feed printed '$out'"
# A build that names no update server never asks one.
if grep -q '^KORVEL_UPDATE_ORIGIN:STRING=$' "$KORVEL_BUILD/CMakeCache.txt"; then
    check 1 "FAIL: update feed: 网址无效。（本构建未配置更新服务器）" -u KORVEL_UPDATE_ORIGIN "$korvel" --check-update-feed
fi
# The accessibility query comes first, whatever the order of the options.
check 0 "Accessibility trusted: false" -u DBUS_SESSION_BUS_ADDRESS -u XDG_RUNTIME_DIR \
    "$korvel" --check-update-feed --version --accessibility-status
check 0 "Korvel $KORVEL_VERSION" "$korvel" --version
check 0 "*识别图片中的文字*" "$korvel" --help
for option in --capture --pin --edit --recognize --accessibility-status --check-update-feed \
    --self-test --mosaic-brush-check --long-live-check --region-check --help --version; do
    [ "$(printf '%s\n' "$out" | grep -c -- "^  $option ")" = 1 ] || fail "--help lacks $option"
done

# --- --recognize FILE… ------------------------------------------------------------
textimage="$KORVEL_BUILD/tests/korvel_textimage"
"$textimage" "$dir/a.png" "Hello Korvel 123"
"$textimage" "$dir/b.png" "Second image 456"
"$textimage" --huge "$dir/huge.png"
head -c 300 "$dir/a.png" >"$dir/truncated.png"
: >"$dir/empty.png"
echo "just words" >"$dir/notes.txt"
mkdir "$dir/folder"
mkfifo "$dir/fifo.png"
printf '<svg xmlns="http://www.w3.org/2000/svg"><text y="9">字</text></svg>' >"$dir/text.svg"
check 0 "Second image 456" "$korvel" --recognize - <"$dir/b.png"
check 2 "*" "$korvel" --recognize
grep -q -- "--recognize" "$dir/err" || fail "no message for a missing argument"
# Bad files between good ones; a FIFO would block a reader for ever, an SVG needs a display.
bad="missing.png folder truncated.png empty.png notes.txt huge.png fifo.png text.svg"
check 2 "$(printf 'Hello Korvel 123\n\nSecond image 456')" timeout 20 "$korvel" --recognize "$dir/a.png" \
    $(printf "$dir/%s " $bad) "$dir/b.png"
for f in $bad; do
    [ "$(grep -c "$dir/$f：" "$dir/err")" = 1 ] || fail "no message for $f: $(cat "$dir/err")"
done
grep -q "huge.png：图像过大" "$dir/err" || fail "huge image not refused by size"
# libpng adds its own line for the truncated file; ours are one per file.
[ "$(grep -c '^korvel: ' "$dir/err")" = 8 ] || fail "unexpected messages: $(cat "$dir/err")"
check 1 "*" TESSDATA_PREFIX="$dir/nodata" "$korvel" --recognize "$dir/a.png"
grep -q "tesseract-ocr-chi-sim" "$dir/err" || fail "missing data message: $(cat "$dir/err")"
echo PASS
