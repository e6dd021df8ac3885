#!/usr/bin/env bash
# Manual check of "#HANDLE" embedding under Xvfb: starts xlogo as the caller's window, embeds
# zor_manager in it at a requested screen position, prints the window tree and saves a
# screenshot. Usage: scripts/check-embedding.sh <build dir> <registry file> [screenshot.png]
set -u
BUILD=${1:?build dir}; REG=${2:?registry file}; OUT=${3:-/tmp/embedding.png}
exec 3< <(Xvfb -displayfd 1 -screen 0 1366x768x24 -nolisten tcp 2>/dev/null)
read -r -t 20 DN <&3 || { echo "Xvfb did not start" >&2; exit 1; }
XVFB=$(pgrep -n -x Xvfb)
export DISPLAY=":$DN" ZOR_REGISTRY=$REG ZOR_SESSION=embed-$$
xlogo -geometry 900x600+100+80 & CALLER=$!
WID=$(timeout 10 xdotool search --sync --onlyvisible --class xlogo | head -1)
echo "caller window: $WID"
"$BUILD/app/zor_manager" "#HANDLE" "$WID" "#LEFT" 150 "#TOP" 130 "#WIDTH" 700 "#HEIGHT" 450 & MANAGER=$!
sleep 2
xwininfo -tree -id "$WID" | sed -n '1,12p'
import -window root "$OUT" && echo "screenshot: $OUT"
kill -TERM $MANAGER; wait $MANAGER; echo "zor_manager exit code: $?"
kill $CALLER $XVFB
