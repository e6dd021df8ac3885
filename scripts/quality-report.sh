#!/bin/bash
# Reconstruction quality report: both phantoms, the volume of interest at three places of the
# arch (incisor midline, canine, molar), photon noise; per case the thin-truth NCC per position,
# the slab-truth NCC, the tissues' attenuation errors, the contrasts, the bead resolution, time
# and peak memory of `zor_tool reconstruct`; with plastimatch installed the same measures for
# `plastimatch fdk` on the same projections.
# Usage: scripts/quality-report.sh <build folder> [output folder]
#   QUICK=1   no bead resolution, no pictures, no plastimatch (for trying settings)
#   IMAGES=1  also writes docs/images/quality-<phantom>-<place>.png (truth | ours | difference)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
out=${2:-$(mktemp -d /tmp/zor_quality_XXXXXX)}
mkdir -p "$out"
tool=$build/tools/zor_tool/zor_tool
export_tool=$build/bench/recon/recon_export
quick=${QUICK:-0}
plm=0
if [ "$quick" = 0 ] && command -v plastimatch > /dev/null && [ -x "$export_tool" ]; then
  plm=1
fi
# Display columns: raw column = display + 74; the midline is raw column 1346.
places=("incisors:1272" "canine:1454" "molar:1900")

# summary <quality output> -> the fields of its summary line, the thin NCC per position
summary() {
  local line per
  line=$(grep '^summary' <<< "$1")
  per=$(awk '/^ +0\.[0-9]+ +[0-9.nan-]+ +[0-9.nan-]+$/ {printf "%s/", $2}' <<< "$1")
  echo "$line per=${per%/}"
}

# field <name> <summary>
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<< " $2"; }

row() {  # row <label> <summary> <time s> <peak KiB>
  local s=$2 pct
  pct() { awk -v v="$(field "$1" "$s")" 'BEGIN { if (v == "nan") print "—"; else printf "%.0f %%", 100 * v }'; }
  printf "| %s | %s | %s (min %s) | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s s | %s MB |\n" \
    "$1" "$(field per "$s")" "$(field ncc_thin "$s")" "$(field min_thin "$s")" \
    "$(field ncc_slab "$s")" "$(pct enamel)" "$(pct dentine)" "$(pct pulp)" "$(pct cortical)" \
    "$(field cnr_pulp "$s")" "$(field cnr_canal "$s")" "$(field ssp "$s")" "$(field edge "$s")" \
    "$(field values "$s")" "$3" "$(( $4 / 1024 ))"
}

report=$out/report.md
{
  echo "| case | thin NCC at 0.1/0.3/0.5/0.7/0.9 | thin NCC mean | slab NCC | enamel error | dentine error | pulp error | cortical error | CNR pulp/dentine | CNR canal/bone | slice FWHM mm | edge 10–90 % mm | values | time | peak memory |"
  echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"
} > "$report"
for kind in adult child; do
  flag=""
  [ $kind = child ] && flag=--child
  for place in "${places[@]}"; do
    name=${place%%:*} column=${place##*:}
    work=$out/$kind-$name
    mkdir -p "$work"
    if [ ! -f "$work/3DTS_image_projection_11.tif" ]; then
      "$tool" trajectory "$work" $flag --column "$column" > /dev/null
      "$tool" project "$work" $flag > /dev/null
    fi
    read -r secs kib < <(/usr/bin/time -f "%e %M" "$tool" reconstruct "$work" 2>&1 >/dev/null | tail -1)
    args=("$work/Volume.vol" $flag)
    if [ "$quick" = 0 ]; then
      args+=(--work "$work" -o "$work/montage.tif")
    fi
    q=$("$tool" quality "${args[@]}")
    echo "$q" > "$work/quality.txt"
    row "$kind, $name (column $column), ours" "$(summary "$q")" "$secs" "$kib" >> "$report"
    if [ "${IMAGES:-0}" = 1 ] && [ "$quick" = 0 ]; then
      convert "$work/montage.tif" -depth 8 "$ROOT/docs/images/quality-$kind-$name.png"
    fi
    if [ $plm = 1 ]; then
      mkdir -p "$work/fdk"
      read -r nx ny nz sx sy sz < <("$export_tool" fdk "$work" "$work/fdk")
      read -r psecs pkib < <(/usr/bin/time -f "%e %M" plastimatch fdk -I "$work/fdk/" \
        -O "$work/plm.mha" -r "$nx $ny $nz" -z "$sx $sy $sz" 2>&1 >/dev/null | tail -1)
      # Plastimatch's units, from its reconstruction of a ball of known attenuation.
      mkdir -p "$work/ball/fdk"
      cp "$work/ConeBeam.tra" "$work/ball/"
      "$export_tool" ball "$work/ball"
      "$export_tool" fdk "$work/ball" "$work/ball/fdk" > /dev/null
      plastimatch fdk -I "$work/ball/fdk/" -O "$work/ball.mha" -r "$nx $ny $nz" \
        -z "$sx $sy $sz" > /dev/null 2>&1
      "$export_tool" import "$work/Volume.vol" "$work/plm.mha" "$work/ball.mha" \
        "$work/plm.vol" > /dev/null
      q=$("$tool" quality "$work/plm.vol" $flag)
      row "$kind, $name, plastimatch fdk" "$(summary "$q")" "$psecs" "$pkib" >> "$report"
    fi
  done
done
cat "$report"
echo "(work folders and report under $out)"
