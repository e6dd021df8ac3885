#!/usr/bin/env bash
# The crosses of the last examination with 5, 12 and 48 crosses, under Xvfb at 1920 x 1080: for
# each count the registry's SliceVisualNumber is set, zor_manager starts, the "load last
# tomosynthesis" button is clicked with a real mouse event, and once the volume is loaded the
# "Following" button at the right end of the cross strip is clicked once; then a screenshot.
# Usage: scripts/check-crosses.sh <build dir> <demo folder> [output folder, default docs/images]
# The demo folder must hold an examination (scripts/examination.sh); without a volume one is run
# first. Writes <output>/crosses-{5,12,48}.png. Ends every process it started, also on failure.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD=$(realpath "${1:?build dir}"); DEMO=$(realpath "${2:?demo folder}"); OUT=${3:-$ROOT/docs/images}
INSTALL="$DEMO/install" WORK="$DEMO/install/work" LOG="$DEMO/install/config_zor/log.txt"
REGISTRY="$DEMO/registry.reg"
[ -x "$INSTALL/DeviceDriverHost" ] || { echo "no demo installation in $DEMO" >&2; exit 1; }
mkdir -p "$OUT"; OUT=$(realpath "$OUT")

if [ ! -f "$WORK/Volume.vol" ]; then
  echo "== No volume in $WORK: one examination first"
  bash "$ROOT/scripts/examination.sh" "$BUILD" "$DEMO" "$DEMO/examination"
fi

TMP=$(mktemp -d) PIDS=() MANAGER=""
cleanup() {  # the last started first: zor_manager, the driver simulator, Xvfb
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop "${PIDS[i]}"; done
  rm -rf "$TMP"
}
trap cleanup EXIT
fail() {
  echo "check-crosses: $*" >&2
  import -window root "$OUT/crosses-failure.png" 2>/dev/null || true
  exit 1
}

# SliceVisualNumber=<n> in the settings key: the value line replaced, or added after the key's
# section line when the key has none. Key paths compare case-insensitively.
set_cross_count() {
  awk -v n="$1" '
    function flush() { if (inKey && !done) { print line; done = 1 } }
    BEGIN { line = sprintf("\"SliceVisualNumber\"=dword:%08x", n) }
    /^[ \t]*\[/ {
      flush()
      key = tolower($0); gsub(/^[ \t]*\[|\][ \t\r]*$/, "", key)
      inKey = (key == "hkey_local_machine\\software\\vordal\\orvix\\talvern")
      print; next
    }
    inKey && tolower($0) ~ /^"slicevisualnumber"[ \t]*=/ { if (!done) print line; done = 1; next }
    inKey && /^[ \t\r]*$/ { flush() }
    { print }
    END { flush() }
  ' "$REGISTRY" >"$TMP/registry.reg" && cat "$TMP/registry.reg" >"$REGISTRY"
  grep -q -i "^\"SliceVisualNumber\"=dword:$(printf '%08x' "$1")" "$REGISTRY" ||
    fail "SliceVisualNumber $1 not written into $REGISTRY"
}

# Phase 5's column from the top: brightness, contrast, gamma, unsharp, filters reset.
click_tool() {
  xdotool mousemove --sync $((X + WIDTH * 92923 / 100000 + SIZE / 2)) \
    $((Y + HEIGHT * 4 / 100 + $1 * STEP + SIZE / 2)) click 1
  sleep 0.5
}
# The cross pane's part of the screen, for the filters' montage.
shot() {
  import -window root -crop "$((WIDTH * 9 / 10))x$((HEIGHT / 2 - 30))+$X+$((Y + HEIGHT / 2))" \
    png:- | convert - +repage -resize 50% -background white -gravity north -splice 0x24 \
    -pointsize 18 -annotate +0+2 "$2" "$TMP/filters-$1.png"
}
# With 12 crosses: a brightness and a contrast drag over the crosses to the right and a gamma drag
# to the left (each a sixteenth of the screen), the unsharp filter on, then filters reset; each
# step's crosses in one montage.
adjust_filters() {
  local cx=$((X + WIDTH * 3 / 10)) cy=$((Y + HEIGHT * 3 / 4)) d tool name
  shot 0 "as loaded"
  for tool in 0 1 2; do
    name=(brightness contrast gamma)
    click_tool "$tool"
    d=$((WIDTH / 16)); [ "$tool" = 2 ] && d=$((-d))
    xdotool mousemove --sync "$cx" "$cy" mousedown 1
    for step in 1 2 3 4; do xdotool mousemove --sync $((cx + d * step / 4)) "$cy"; sleep 0.1; done
    xdotool mouseup 1; sleep 1
    shot $((tool + 1)) "after a ${name[tool]} drag"
  done
  click_tool 3; sleep 1; shot 4 "unsharp on"
  click_tool 4; sleep 1; shot 5 "filters reset"
  montage "$TMP"/filters-[0-5].png -tile 2x3 -geometry +4+4 png:- |
    convert - -resize 1200x -colors 128 "PNG8:$OUT/filters.png"
  echo "screenshot: $OUT/filters.png"
}

start_xvfb 1920x1080
export DISPLAY ZOR_REGISTRY="$REGISTRY" CommonProgramFiles="$DEMO/common"  # the filter plug-ins
export ZOR_SESSION="check-crosses-$$" XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The device, idle: the program finds it connected in step 1 instead of reporting it missing.
"$INSTALL/DeviceDriverHost" --headless >"$TMP/driver.log" 2>&1 & PIDS+=($!)

for n in 5 12 48; do
  set_cross_count "$n"
  LOG_FROM=$(($(stat -c %s "$LOG" 2>/dev/null || echo 0) + 1))
  "$BUILD/app/zor_manager" & MANAGER=$!; PIDS+=("$MANAGER")
  WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^DTS$' | head -n 1) || true
  [ -n "$WID" ] || fail "zor_manager did not show its window within 20 s"
  sleep 1   # the first paint
  eval "$(xdotool getwindowgeometry --shell "$WID")"   # X Y WIDTH HEIGHT

  # Step 1's column at 0.929 of the width from 0.04 of the height: the phantom panoramic, the
  # last panoramic when work/cur_pano.tif exists, then the last tomosynthesis.
  SIZE=$((HEIGHT * 7384615 * 5 / 6 / 100000000))
  STEP=$((SIZE + WIDTH * 7384615 / 6 / 100000000))
  INDEX=1; [ -f "$WORK/cur_pano.tif" ] && INDEX=2
  xdotool mousemove --sync $((X + WIDTH * 92923 / 100000 + SIZE / 2)) \
    $((Y + HEIGHT * 4 / 100 + INDEX * STEP + SIZE / 2)) click 1
  deadline=$((SECONDS + 60))
  until grep -q -F "Volume loading completed" < <(tail -c "+$LOG_FROM" "$LOG" 2>/dev/null); do
    kill -0 "$MANAGER" 2>/dev/null || fail "zor_manager ended before the volume was loaded (n = $n)"
    [ $SECONDS -lt $deadline ] || fail "no \"Volume loading completed\" in $LOG after 60 s (n = $n)"
    sleep 0.2
  done
  sleep 1   # the crosses' paint

  # Following: 80% of the column's size, inside the right end of the cross strip, which runs
  # from the middle of the height to 30 pixels above the bottom and ends at 0.9 of the width.
  SMALL=$((SIZE * 8 / 10))
  xdotool mousemove --sync $((X + WIDTH * 9 / 10 - SMALL / 2)) $((Y + (HEIGHT / 2 + HEIGHT - 30) / 2)) click 1
  sleep 1
  import -window root "$OUT/crosses-$n.png"
  echo "screenshot: $OUT/crosses-$n.png"
  [ "$n" = 12 ] && adjust_filters
  stop "$MANAGER"
  unset 'PIDS[${#PIDS[@]}-1]'
done
