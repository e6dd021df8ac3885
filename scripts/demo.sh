#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the program, creates a demo installation in
# out/demo and starts zor_manager in it. With a display the program stays open; without one it
# runs under Xvfb, a screenshot is saved, and the script ends.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages

echo "== Build"
build "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
DEMO="$ROOT/out/demo"
"$ROOT/build/tools/demo_setup/zor_demo_setup" "$DEMO"
export ZOR_REGISTRY="$DEMO/registry.reg"
export ZOR_SESSION="demo-$$"
MANAGER="$ROOT/build/app/zor_manager"
# As a practice management program would: a patient and the phantom's panoramic, which opens in
# the volume-of-interest step.
ARGS=("#PATIENT_NAME" "Anna Rossi" "#PANORAMIC_FILEPATH" "$DEMO/install/work/phantom_pano.tif")

# The device side: the driver simulator (its panel shows with a display) and the capture
# stand-in, both from the installation, ended with the demo.
DEVICE_PIDS=()
start_device() {
  "$DEMO/install/DeviceDriverHost" "$@" >"$ROOT/out/demo-driver.log" 2>&1 & DEVICE_PIDS+=($!)
  "$DEMO/install/CaptureStation" "$@" >/dev/null 2>&1 & DEVICE_PIDS+=($!)
}
stop_device() {
  for pid in "${DEVICE_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  return 0
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== Starting the device simulator and zor_manager (end it from its exit button or with Ctrl-C)"
  start_device
  trap stop_device EXIT
  "$MANAGER" "${ARGS[@]}"
  exit $?
fi

echo "== No display: running zor_manager under Xvfb at 1366x768"
SHOT="$ROOT/out/demo-screenshot.png"
exec 3< <(Xvfb -displayfd 1 -screen 0 1366x768x24 -nolisten tcp 2>/dev/null)
read -r -t 20 DISPLAY_NUMBER <&3 || { echo "Xvfb did not start" >&2; exit 1; }
XVFB_PID=$(pgrep -n -x Xvfb || true)
export DISPLAY=":$DISPLAY_NUMBER"
start_device --headless
# Nobody is there to press the device's buttons: it positions the patient and exposes by itself.
for _ in $(seq 50); do
  "$DEMO/install/DeviceDriverHost" --control "auto on" >/dev/null 2>&1 && break
  sleep 0.1
done
"$MANAGER" "${ARGS[@]}" & MANAGER_PID=$!
cleanup() {
  kill -TERM "$MANAGER_PID" 2>/dev/null && wait "$MANAGER_PID" 2>/dev/null
  stop_device
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
  return 0
}
trap cleanup EXIT
if ! timeout 20 xdotool search --sync --onlyvisible --name '^DTS$' >/dev/null 2>&1; then
  echo "zor_manager did not show its window" >&2
  exit 1
fi
sleep 1   # let the first paint finish
import -window root "$SHOT"
echo "Screenshot: $SHOT"
