# Long captures of Chromium showing an article with a fixed header and footer and
# headings that stick under the header, light and dark, with and without a compositor:
# each long image equals the page rendered headless at full height, row for row.
. "$(dirname "$0")/lib.sh"
browser_pid=""

page_height=4476 # 44 header + 4400 + 32 footer
# article THEME FILE: an introduction and twelve sections of numbered lines.
article() {
    if [ "$1" = dark ]; then bg='#1d1f21' fg='#d8d8d8' bar='#2d5a88' head='#26292c'
    else bg='#ffffff' fg='#202020' bar='#3b82f6' head='#eef2f8'; fi
    {
        printf '<!DOCTYPE html><html><head><meta charset="utf-8"><style>'
        printf 'html,body{margin:0;background:%s;color:%s;font:14px/20px "Noto Sans CJK SC",sans-serif}' "$bg" "$fg"
        printf 'header,footer{position:fixed;left:0;right:0;background:%s;color:#fff;padding:0 16px}' "$bar"
        printf 'header{top:0;height:44px;line-height:44px;font-weight:bold}footer{bottom:0;height:32px;line-height:32px}'
        printf 'main{padding:44px 16px 32px;height:4400px}p{margin:0 0 16px}'
        printf 'h2{position:sticky;top:44px;margin:0;padding:8px 0;background:%s;font-size:20px;line-height:24px}' "$head"
        printf '</style></head><body><header>Korvel 长截图测试 · 固定页眉</header><main>\n'
        # No heading is stuck yet when the capture starts; each sticks on the way.
        printf '<p>'
        for l in $(seq 10); do printf '引言第 %s 行：introduction, before any heading sticks %s<br>' "$l" $((l * 37)); done
        printf '</p>\n'
        # Twelve sections of three paragraphs of four lines.
        for n in $(seq 144); do
            s=$(((n - 1) / 12 + 1))
            [ $((n % 12)) != 1 ] || printf '<section><h2>第 %s 节 · Section %s</h2>' "$s" "$s"
            [ $((n % 4)) != 1 ] || printf '<p>'
            printf '第 %s 行：line %s of section %s — 滚动内容 scrolling content %s<br>' "$n" "$n" "$s" $((n * 7919 % 1000))
            [ $((n % 4)) != 0 ] || printf '</p>\n'
            [ $((n % 12)) != 0 ] || printf '</section>\n'
        done
        printf '</main><footer>固定页脚 · footer</footer></body></html>\n'
    } >"$2"
}

chromium_flags="--no-sandbox --test-type --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --disable-default-apps --hide-scrollbars \
  --force-device-scale-factor=1 --password-store=basic"

# browse THEME [flags…]: the article in a 900 × 700 window at (100, 80); sets cx cy cw ch.
browse() {
    theme=$1; shift
    # The last page's window must be gone, or it lies under or passes for this one.
    [ -z "$browser_pid" ] || { kill $browser_pid && wait_for 30 sh -c "! xdotool search --onlyvisible --name '\.html'"; }
    # shellcheck disable=SC2086
    spawn chromium $chromium_flags "$@" --user-data-dir="$work/profile-$theme" --window-position=100,80 \
        --window-size=900,700 --app="file://$work/$theme.html" >/dev/null 2>&1
    browser_pid=$!
    wait_for 30 sh -c "xdotool search --onlyvisible --name '$theme.html'"
    sleep 2 # first paint of the page
    window_frame "$(xdotool search --onlyvisible --name "$theme.html" | head -1)"
}

# expect_page PNG THEME [whole]: the page's columns 40…839 from its first row (to its
# last with `whole`), with the fixed footer once at the end.
expect_page() {
    [ -z "${KORVEL_E2E_KEEP:-}" ] || { mkdir -p "$KORVEL_E2E_KEEP" && cp "$1" "$work/truth-$2.png" "$KORVEL_E2E_KEEP/"; }
    height=$(png_size "$1" | cut -dx -f2)
    "$tool" crop "$1" 0 0 800 $((height - 32)) "$work/body.png"
    "$tool" crop "$1" 0 $((height - 32)) 800 32 "$work/footer.png"
    { "$tool" inside "$work/body.png" "$work/truth-$2.png" 40 0 &&
        "$tool" inside "$work/footer.png" "$work/truth-$2.png" 40 $((page_height - 32)); } >/dev/null ||
        fail "$2: the long image ($(png_size "$1")) is not the page: $("$tool" rows "$1" "$work/truth-$2.png" 40 | head -6 | tr '\n' ' ')"
    [ "${3:-}" != whole ] || [ "$height" = "$page_height" ] ||
        fail "$2: the long image is $(png_size "$1"), not the whole page"
}

for theme in light dark; do
    article $theme "$work/$theme.html"
    # shellcheck disable=SC2086
    chromium $chromium_flags --headless --user-data-dir="$work/headless" --window-size=900,$page_height \
        --screenshot="$work/truth-$theme.png" "file://$work/$theme.html" >/dev/null 2>&1
    [ -s "$work/truth-$theme.png" ] || fail "no ground truth for $theme"
done
start_korvel

# Light, no compositor, smooth scrolling: slow then fast wheel by hand.
browse light
start_long_capture $((cx + 40)) "$cy" $((cx + 840)) $((cy + ch))
xdotool mousemove $((cx + 400)) $((cy + 300)) click --repeat 6 --delay 600 5
xdotool click --repeat 12 --delay 60 5 sleep 1.5 key Return
paste_long_png "$work/light-hand.png"
expect_page "$work/light-hand.png" light

# Dark, with a compositor, unsmoothed: automatic scrolling to the end at each speed,
# the pointer left where the user put it.
spawn xcompmgr >/dev/null 2>&1
browse dark --disable-smooth-scrolling
for speed in 快速 正常 慢速; do
    xdotool key Home sleep 0.5
    start_long_capture $((cx + 40)) "$cy" $((cx + 840)) $((cy + ch))
    xdotool mousemove 1500 900
    click_widget popup "正常"
    sleep 0.3
    case $speed in 快速) step=Down name=fast ;; 慢速) step=Up name=slow ;; *) step= name=normal ;; esac
    xdotool key --clearmodifiers $step Return
    click_widget button "自动滚动"
    started=$(date +%s%N)
    xdotool mousemove 1500 900
    expect_shown 120 "$stopped_text"
    elapsed=$((($(date +%s%N) - started) / 1000000))
    echo "automatic scrolling at $speed: $elapsed ms"
    eval "took_$name=$elapsed"
    [ "$(xdotool getmouselocation | sed 's/x:\([0-9]*\) y:\([0-9]*\).*/\1 \2/')" = "1500 900" ] ||
        fail "the pointer was not given back: $(xdotool getmouselocation)"
    click_widget button "复制 · Enter"
    paste_long_png "$work/dark-$speed.png"
    expect_page "$work/dark-$speed.png" dark whole
done
[ "$took_normal" -gt $((took_fast * 11 / 10)) ] && [ "$took_slow" -gt $((took_normal * 11 / 10)) ] ||
    fail "the speeds do not differ: fast $took_fast ms, normal $took_normal ms, slow $took_slow ms"
echo PASS
