#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the program, creates a demo installation in
# out/demo and starts zor_manager in it. With a display the program stays open; without one
# scripts/examination.sh runs an examination under Xvfb into the crosses of its volume and writes
# its screenshots and report into out/demo/examination.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages

echo "== Build"
build "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
DEMO="$ROOT/out/demo"
"$ROOT/build/tools/demo_setup/zor_demo_setup" "$DEMO"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "== No display: a scripted examination under Xvfb at 1920x1080"
  exec bash "$ROOT/scripts/examination.sh" "$ROOT/build" "$DEMO" "$DEMO/examination"
fi

export ZOR_REGISTRY="$DEMO/registry.reg" CommonProgramFiles="$DEMO/common"  # the filter plug-ins
export ZOR_SESSION="demo-$$"
# The device side: the driver simulator with its panel and the capture stand-in, both from the
# installation, ended with the demo.
DEVICE_PIDS=()
stop_device() {
  for pid in "${DEVICE_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  return 0
}
trap stop_device EXIT
mkdir -p "$ROOT/out"
"$DEMO/install/DeviceDriverHost" >"$ROOT/out/demo-driver.log" 2>&1 & DEVICE_PIDS+=($!)
"$DEMO/install/CaptureStation" >/dev/null 2>&1 & DEVICE_PIDS+=($!)

echo "== Starting zor_manager (end it from its exit button or with Ctrl-C)"
# As a practice management program would, with a patient but no panoramic: the examination
# starts at the panoramic acquisition, which the person at the screen runs from the simulator's
# panel (panoramic exam, X-ray), then places the frame and starts the tomosynthesis.
"$ROOT/build/app/zor_manager" "#PATIENT_NAME" "Anna Rossi"
