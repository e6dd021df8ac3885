#!/bin/bash
# Times plastimatch fdk on the same projections and grid as our prepare + reconstruct, measures
# both volumes against the phantom (zor_tool quality), and times VTK's vtkImageReslice on the
# same 48 crosses as our slice benchmark. scripts/quality-report.sh does the quality part for
# both phantoms at three places of the arch.
# Needs (installed by hand, only for this comparison): apt-get install plastimatch python3-vtk9
# Usage: bench/recon/compare_plastimatch.sh <build folder>
set -euo pipefail
build=${1:?build folder}
tool=$build/tools/zor_tool/zor_tool
export_tool=$build/bench/recon/recon_export
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zor_compare_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/acq" "$work/fdk"

"$tool" trajectory "$work/acq" > /dev/null
"$tool" project "$work/acq" > /dev/null
read -r nx ny nz sx sy sz < <("$export_tool" fdk "$work/acq" "$work/fdk")

echo "== ours: zor_tool reconstruct (prepare + reconstruct, whole process), 5 runs"
for run in 1 2 3 4 5; do
  /usr/bin/time -f "%e s wall, %M KiB peak" "$tool" reconstruct "$work/acq" 2>&1 >/dev/null | tail -1
done
echo "== plastimatch fdk, same projections (line integrals) and grid ${nx}x${ny}x${nz}, 5 runs"
for run in 1 2 3 4 5; do
  /usr/bin/time -f "%e s wall, %M KiB peak" plastimatch fdk -I "$work/fdk/" -O "$work/plm.mha" \
    -r "$nx $ny $nz" -z "$sx $sy $sz" 2>&1 >/dev/null | tail -1
done
"$export_tool" ncc "$work/acq/Volume.vol" "$work/plm.mha"

echo "== quality of both against the phantom (zor_tool quality; plastimatch's units from its ball)"
mkdir -p "$work/ball/fdk"
cp "$work/acq/ConeBeam.tra" "$work/ball/"
"$export_tool" ball "$work/ball"
"$export_tool" fdk "$work/ball" "$work/ball/fdk" > /dev/null
plastimatch fdk -I "$work/ball/fdk/" -O "$work/ball.mha" -r "$nx $ny $nz" -z "$sx $sy $sz" \
  > /dev/null 2>&1
"$export_tool" import "$work/acq/Volume.vol" "$work/plm.mha" "$work/ball.mha" "$work/plm.vol"
echo "-- ours"
"$tool" quality "$work/acq/Volume.vol" --work "$work/acq"
echo "-- plastimatch fdk"
"$tool" quality "$work/plm.vol"

echo "== VTK reslice of the 48 crosses"
"$export_tool" raw "$work/acq/Volume.vol" "$work/volume.raw" > /dev/null
/usr/bin/python3 "$here/compare_vtk_reslice.py" "$work/volume.raw" 1
/usr/bin/python3 "$here/compare_vtk_reslice.py" "$work/volume.raw" 2
echo "== ours: recon_bench"
"$build/bench/recon/recon_bench" --benchmark_filter='Slice|PrepareAndReconstruct|ForwardProjection' 2>/dev/null | grep median
