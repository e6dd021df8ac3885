#!/usr/bin/env bash
# One examination under Xvfb at 1920 x 1080, through the volume computation into the crosses: the driver simulator
# (headless, automatic: it resets, positions and presses the X-ray button of the tomosynthesis by
# itself), the capture stand-in and zor_manager without a caller panoramic. The panoramic is
# exposed through the simulator's control (the device's own button); the operator's part is real
# mouse and key events from xdotool. Waits read the activity log written by this run.
# Usage: scripts/examination.sh <build dir> <demo folder from zor_demo_setup> <output folder>
# Writes <output>/{1-acquisition,2-selection,2-frame,3-projections,4-computation,5-navigation,
# 5-moved}.png and <output>/report.txt (with the files that "Export all" wrote); exit code 0 only
# when the crosses were shown and exported. Ends every process it started, also on failure.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
BUILD=$(realpath "${1:?build dir}"); DEMO=$(realpath "${2:?demo folder}"); OUT=${3:?output folder}
INSTALL="$DEMO/install" WORK="$DEMO/install/work" LOG="$DEMO/install/config_zor/log.txt"
[ -x "$INSTALL/DeviceDriverHost" ] || { echo "no demo installation in $DEMO" >&2; exit 1; }
mkdir -p "$OUT"; OUT=$(realpath "$OUT")
rm -f "$OUT"/{1-acquisition,2-selection,2-frame,3-projections,4-computation,5-navigation,5-moved,failure}.png "$OUT/report.txt"

TMP=$(mktemp -d) PIDS=() SHOTS=() SCREEN_UP=""
cleanup() {  # the last started first: zor_manager, the device side, Xvfb
  for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do stop "${PIDS[i]}"; done
  rm -rf "$TMP"
}
trap cleanup EXIT

START=$(date +%s.%N) LAST=""
clock() { awk -v s="$START" -v n="$(date +%s.%N)" 'BEGIN { printf "%.1f", n - s }'; }
shoot() { import -window root "$OUT/$1.png" && SHOTS+=("$OUT/$1.png") && echo "screenshot: $OUT/$1.png"; }
fail() {
  echo "examination: $*" >&2
  [ -z "$SCREEN_UP" ] || shoot failure || true
  exit 1
}
PHASES=()
reached() {  # <phase text>: notes the time since the start and since the previous phase
  local now; now=$(clock)
  PHASES+=("$(printf '%-36s at %6s s  took %6s s' "$1" "$now" \
    "$(awk -v a="${LAST:-0}" -v b="$now" 'BEGIN { printf "%.1f", b - a }')")")
  LAST=$now
  echo "== $1 ($now s)"
}

# Only lines written after this point count, so that earlier examinations in the log are skipped.
touch "$TMP/start"
LOG_FROM=$(($(stat -c %s "$LOG" 2>/dev/null || echo 0) + 1))
wait_log() {  # <text> <timeout in s> <what is awaited>
  local deadline=$((SECONDS + $2))
  until grep -q -F -- "$1" < <(tail -c "+$LOG_FROM" "$LOG" 2>/dev/null); do
    kill -0 "$MANAGER" 2>/dev/null || fail "zor_manager ended while waiting for $3"
    [ $SECONDS -lt $deadline ] || fail "$3: no \"$1\" in $LOG after $2 s"
    sleep 0.2
  done
}

start_xvfb 1920x1080
export DISPLAY ZOR_REGISTRY="$DEMO/registry.reg" CommonProgramFiles="$DEMO/common"
export ZOR_SESSION="examination-$$" XDG_RUNTIME_DIR="$TMP/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
SCREEN_UP=1

"$INSTALL/DeviceDriverHost" --headless >"$OUT/driver.log" 2>&1 & PIDS+=($!)
"$INSTALL/CaptureStation" --headless >/dev/null 2>&1 & PIDS+=($!)
for _ in $(seq 100); do
  "$INSTALL/DeviceDriverHost" --control "auto on" >/dev/null 2>&1 && break
  sleep 0.1
done
"$INSTALL/DeviceDriverHost" --control "auto on" >/dev/null || fail "the driver simulator does not answer"

"$BUILD/app/zor_manager" "#PATIENT_NAME" "Anna Rossi" & MANAGER=$!; PIDS+=("$MANAGER")
WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^DTS$' | head -n 1) || true
[ -n "$WID" ] || fail "zor_manager did not show its window within 20 s"
reached "1 panoramic acquisition"
sleep 1   # the first paint
shoot 1-acquisition
eval "$(xdotool getwindowgeometry --shell "$WID")"   # X Y WIDTH HEIGHT

# The device's own buttons: the panoramic exam, then the X-ray button. The automatic device
# positions the patient first, so the button is pressed again until it is accepted.
"$INSTALL/DeviceDriverHost" --control "exam pano" >/dev/null || fail "the simulator refused \"exam pano\""
for _ in $(seq 100); do
  "$INSTALL/DeviceDriverHost" --control "xray" >"$TMP/xray" 2>&1 && break
  sleep 0.1
done
grep -q "^ok" "$TMP/xray" || fail "the simulator refused the X-ray: $(cat "$TMP/xray")"
wait_log "New panoramic image acquired" 60 "the panoramic (phase 2)"
reached "2 volume selection"
sleep 1.5   # the panoramic's loading and first paint
shoot 2-selection

# Enter and Escape must leave the main window open and in its step.
xdotool windowfocus --sync "$WID" key Escape Return
sleep 0.5
xdotool search --onlyvisible --name '^DTS$' >/dev/null || fail "the window closed on Escape/Enter"
! grep -q -F "trajectory sent" < <(tail -c "+$LOG_FROM" "$LOG") || fail "Escape/Enter started the tomosynthesis"

# The panoramic fills the left 0.54 of the width and the upper half: a click places the frame,
# then a drag moves it along the arch.
PY=$((Y + HEIGHT / 4)) PX=$((X + WIDTH * 18 / 100))
xdotool mousemove --sync "$PX" "$PY" click 1
sleep 0.3
xdotool mousedown 1
for step in 1 2 3 4 5; do
  xdotool mousemove --sync $((PX + step * WIDTH / 100)) "$PY"
done
xdotool mouseup 1
reached "2 frame placed"
sleep 0.5
shoot 2-frame

# The tomosynthesis button heads the right-hand column: 0.929 of the width, 0.04 of the height.
SIZE=$((HEIGHT * 7384615 * 5 / 6 / 100000000))
xdotool mousemove --sync $((X + WIDTH * 92923 / 100000 + SIZE / 2)) $((Y + HEIGHT * 4 / 100 + SIZE / 2)) click 1
wait_log "trajectory sent" 30 "the trajectory (phase 3)"
reached "3 projection acquisition"
sleep 1
shoot 3-projections
wait_log "Computing the volume" 300 "the projections (phase 4)"
reached "4 volume computation"
sleep 1
shoot 4-computation
wait_log "Volume loading completed" 300 "the reconstruction (phase 5)"
reached "5 volume navigation"
sleep 1
shoot 5-navigation

# The crosses fill the lower half left of the buttons: a drag along them moves the centre.
CY=$((Y + HEIGHT * 3 / 4)) CX=$((X + WIDTH * 45 / 100))
xdotool mousemove --sync "$CX" "$CY" mousedown 1
for step in 1 2 3 4 5 6; do
  xdotool mousemove --sync $((CX - step * WIDTH / 60)) "$CY"
done
xdotool mouseup 1
reached "5 crosses moved"
sleep 0.5
shoot 5-moved

# "Export all", then the export of the selection: the last two buttons of the column of phase 5.
STEP=$((SIZE + WIDTH * 7384615 / 600000000)) BX=$((X + WIDTH * 92923 / 100000 + SIZE / 2))
xdotool mousemove --sync "$BX" $((Y + HEIGHT * 4 / 100 + 8 * STEP + SIZE / 2)) click 1
wait_log "and the slices are being exported" 30 "the export of all crosses"
reached "5 all crosses exported"
sleep 2.5   # the program waits 2 s after an export
xdotool mousemove --sync "$BX" $((Y + HEIGHT * 4 / 100 + 7 * STEP + SIZE / 2)) click 1
wait_log "has already been exported" 30 "the export of the selection"
reached "5 selection exported"
EXPORTS=$(sed -n 's/^"OutFolderPath"="\(.*\)"\r*$/\1/Ip' "$ZOR_REGISTRY" | head -n 1)
SLICE=$(find "$EXPORTS" -maxdepth 1 -name 'Slice_25_*.tif' -newer "$TMP/start" | head -n 1)
[ -n "$SLICE" ] || fail "no Slice_25 file in $EXPORTS"

{
  echo "Examination under Xvfb 1920x1080, $(date '+%Y/%m/%d %H:%M:%S'); times from the script's start"
  printf '  %s\n' "${PHASES[@]}"
  echo
  echo "Files written into $WORK by this run (bytes):"
  (cd "$WORK" && find . -maxdepth 1 -type f -newer "$TMP/start" -printf '%10s  %P\n' | sort -k2)
  for dir in "$WORK"_*; do
    [ -d "$dir" ] && [ "$dir" -nt "$TMP/start" ] || continue   # not archived by this run
    echo "Archive of the previous examination, $dir (bytes):"
    (cd "$dir" && find . -type f -printf '%10s  %P\n' | sort -k2)
  done
  echo
  echo "Files exported into $EXPORTS by this run (bytes):"
  (cd "$EXPORTS" && find . -maxdepth 1 -type f -newer "$TMP/start" -printf '%10s  %P\n' | sort -V -k2)
  echo "identify $(basename "$SLICE"):"
  identify "$SLICE" 2>&1 | sed 's/^/  /'
  echo
  echo "Activity log of this run ($LOG):"
  tail -c "+$LOG_FROM" "$LOG" | sed 's/^/  /'
  echo
  echo "Screenshots:"
  printf '  %s\n' "${SHOTS[@]}"
} >"$OUT/report.txt"
echo "Report: $OUT/report.txt"
