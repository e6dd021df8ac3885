#!/usr/bin/env bash
# Manual check of "#HANDLE" embedding under Xvfb: starts xlogo as the caller's window, embeds
# zor_manager in it at a requested screen position, prints the window tree and saves a
# screenshot. Usage: scripts/check-embedding.sh <build dir> <registry file> [screenshot.png]
# Ends only the processes it started (by their process ids), also when it fails half-way.
set -u
BUILD=${1:?build dir}; REG=${2:?registry file}; OUT=${3:-/tmp/embedding.png}
XVFB="" CALLER="" MANAGER=""
TMP=$(mktemp -d)
cleanup() {
  for pid in $MANAGER $CALLER $XVFB; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$TMP"
}
trap cleanup EXIT

# Xvfb writes its display number to descriptor 3 once it accepts connections.
Xvfb -displayfd 3 -screen 0 1366x768x24 -nolisten tcp 3>"$TMP/display" 2>/dev/null & XVFB=$!
for _ in $(seq 200); do
  grep -q '^[0-9]' "$TMP/display" && break
  kill -0 "$XVFB" 2>/dev/null || break
  sleep 0.1
done
DN=$(head -n 1 "$TMP/display")
[ -n "$DN" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$DN" ZOR_REGISTRY=$REG ZOR_SESSION=embed-$$

xlogo -geometry 900x600+100+80 & CALLER=$!
WID=$(timeout 10 xdotool search --sync --onlyvisible --class xlogo | head -1)
[ -n "$WID" ] || { echo "the caller's window did not appear" >&2; exit 1; }
echo "caller window: $WID"
"$BUILD/app/zor_manager" "#HANDLE" "$WID" "#LEFT" 150 "#TOP" 130 "#WIDTH" 700 "#HEIGHT" 450 & MANAGER=$!
sleep 2
xwininfo -tree -id "$WID" | sed -n '1,12p'
import -window root "$OUT" && echo "screenshot: $OUT"
kill -TERM "$MANAGER" 2>/dev/null; wait "$MANAGER"; echo "zor_manager exit code: $?"
MANAGER=""
