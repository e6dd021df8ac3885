#!/usr/bin/env bash
# Measures one cross-drag frame (48 crosses cut, cropped, filtered and converted) against its
# anchor, vtkImageReslice plus an OpenCV gamma, window and unsharp chain, in the same run, and
# prints both medians and their ratio; then the cross filter chain of OrvixFilters.so (unsharp,
# gamma, linear on 48 crosses) against the same chain in OpenCV, on one and on two threads. VTK and OpenCV are installed here only; the product never
# depends on them. Usage: scripts/compare.sh [build dir]   (default: build-compare)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
BUILD=${1:-build-compare}

if ! dpkg -s libvtk9-dev libopencv-dev >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends \
    libvtk9-dev libopencv-dev
fi

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZOR_BUILD_COMPARE=ON >/dev/null
cmake --build "$BUILD" --target cross_drag_compare filter_chain_compare

OUT=$(mktemp)
trap 'rm -f "$OUT"' EXIT
"$BUILD/bench/compare/cross_drag_compare" --benchmark_report_aggregates_only=true \
  --benchmark_out="$OUT" --benchmark_out_format=json
python3 - "$OUT" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}
def get(name):
    for key, r in median.items():
        if key.startswith(name):
            return r["real_time"], r["cpu_time"]
    sys.exit("no median for " + name)
ours, ours_cpu = get("BM_CrossDragFrame/")
identity, identity_cpu = get("BM_CrossDragFrameIdentity")
anchor, anchor_cpu = get("BM_CrossDragAnchorVtkOpenCv")
print(f"cross drag frame, stand-in chain : {ours:7.2f} ms  (CPU {ours_cpu:.2f} ms)")
print(f"cross drag frame, identity filter: {identity:7.2f} ms  (CPU {identity_cpu:.2f} ms)")
print(f"anchor VTK reslice + OpenCV chain: {anchor:7.2f} ms  (CPU {anchor_cpu:.2f} ms)")
print(f"ratio anchor / ours (wall)       : {anchor / ours:7.2f}")
PY

"$BUILD/bench/compare/filter_chain_compare" --benchmark_filter='Cross' --benchmark_repetitions=10 \
  --benchmark_report_aggregates_only=true --benchmark_out="$OUT" --benchmark_out_format=json
python3 - "$OUT" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"]: (r["real_time"], r["cpu_time"]) for r in runs
          if r.get("aggregate_name") == "median"}
# On a busy machine the wall times also hold other processes' time; the CPU time is the main
# thread's own (with two threads, the half it worked on).
for threads in (1, 2):
    ours, ours_cpu = median[f"BM_CrossFilterChain/{threads}/real_time"]
    anchor, anchor_cpu = median[f"BM_CrossFilterChainAnchorOpenCv/{threads}/real_time"]
    print(f"filter chain, {threads} thread(s): ours {ours:6.2f} ms (CPU {ours_cpu:.2f}), "
          f"OpenCV {anchor:6.2f} ms (CPU {anchor_cpu:.2f}), ratio OpenCV / ours "
          f"{anchor / ours:5.2f} wall, {anchor_cpu / ours_cpu:5.2f} CPU")
PY
