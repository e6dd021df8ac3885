#!/usr/bin/env bash
# The volume-of-interest step under Xvfb, driven by real mouse events: opens the demo phantom
# panoramic given by the caller, drags the frame past both ends of the usable columns and saves a
# screenshot at each stage, at 1366 x 768 and at 1920 x 1080.
# Usage: scripts/check-viewer.sh <build dir> <demo folder from zor_demo_setup> [output folder]
# Screenshots: <output>/viewer-<size>-{placed,left,right}.png; the output folder defaults to
# docs/images. Ends only the processes it started.
set -u
BUILD=${1:?build dir}; DEMO=${2:?demo folder}; OUT=${3:-$(dirname "$0")/../docs/images}
PANORAMIC="$DEMO/install/work/phantom_pano.tif"
[ -f "$PANORAMIC" ] || { echo "no phantom panoramic in $DEMO" >&2; exit 1; }
mkdir -p "$OUT"
XVFB="" MANAGER=""
TMP=$(mktemp -d)
cleanup() {
  for pid in $MANAGER $XVFB; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$TMP"
}
trap cleanup EXIT

shoot() {  # screenshot of the whole screen
  import -window root "$1" && echo "screenshot: $1"
}

run_at() {  # <width> <height>
  local SW=$1 SH=$2 NAME="viewer-$1x$2"
  rm -f "$TMP/display"
  # Xvfb writes its display number to descriptor 3 once it accepts connections.
  Xvfb -displayfd 3 -screen 0 "${SW}x${SH}x24" -nolisten tcp 3>"$TMP/display" 2>/dev/null &
  XVFB=$!
  for _ in $(seq 200); do
    grep -q '^[0-9]' "$TMP/display" 2>/dev/null && break
    kill -0 "$XVFB" 2>/dev/null || break
    sleep 0.1
  done
  local DN; DN=$(head -n 1 "$TMP/display")
  [ -n "$DN" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$DN" ZOR_REGISTRY="$DEMO/registry.reg" ZOR_SESSION="viewer-$$"
  export XDG_RUNTIME_DIR="$TMP/runtime"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  "$BUILD/app/zor_manager" "#PATIENT_NAME" "Anna Rossi" "#PANORAMIC_FILEPATH" "$PANORAMIC" &
  MANAGER=$!
  local WID; WID=$(timeout 20 xdotool search --sync --onlyvisible --name '^DTS$' | head -1)
  [ -n "$WID" ] || { echo "zor_manager did not show its window" >&2; return 1; }
  sleep 1
  local X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$WID")"
  shoot "$OUT/$NAME-placed.png"
  # The panoramic pane spans 0.54 of the width and half the height; its middle holds the frame.
  local PY=$((Y + HEIGHT / 4)) MID=$((X + WIDTH * 27 / 100))
  xdotool mousemove --sync "$MID" "$PY" mousedown 1
  for step in 1 2 3 4 5; do
    xdotool mousemove --sync $((MID - step * WIDTH / 20)) "$PY"
  done
  xdotool mouseup 1
  sleep 0.3
  shoot "$OUT/$NAME-left.png"
  xdotool mousemove --sync $((X + 5)) "$PY" mousedown 1
  for step in 1 2 3 4 5 6 7 8 9 10 11 12; do
    xdotool mousemove --sync $((X + step * WIDTH / 20)) "$PY"
  done
  xdotool mouseup 1
  sleep 0.3
  shoot "$OUT/$NAME-right.png"
  kill -TERM "$MANAGER"; wait "$MANAGER"; echo "zor_manager exit code at ${SW}x${SH}: $?"
  MANAGER=""
  kill "$XVFB"; wait "$XVFB" 2>/dev/null; XVFB=""
}

run_at 1366 768 && run_at 1920 1080
