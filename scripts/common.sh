# Sourced by the scripts: installs what is missing and builds the project.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

install_packages() {
  local wanted missing=()
  wanted=$(grep -v -E '^\s*(#|$)' "$ROOT/scripts/debian-packages.txt")
  for p in $wanted; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== Installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

# build <dir> [cmake options...]
build() {
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

# stop <pid>: asks a process this script started to end, kills it after 5 s.
stop() {
  kill -TERM "$1" 2>/dev/null || return 0
  for _ in $(seq 50); do
    case $(ps -o stat= -p "$1" 2>/dev/null) in "" | Z*) break ;; esac
    sleep 0.1
  done
  kill -KILL "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# start_xvfb <width>x<height>: a private X server for the script (its pid joins PIDS, to be
# ended by the script's cleanup); sets DISPLAY. Xvfb writes its display number to descriptor 3
# once it accepts connections. Needs TMP and a fail function.
start_xvfb() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$TMP/display" 2>/dev/null &
  PIDS+=($!)
  for _ in $(seq 200); do
    grep -q '^[0-9]' "$TMP/display" 2>/dev/null && break
    sleep 0.1
  done
  grep -q '^[0-9]' "$TMP/display" || fail "Xvfb did not start within 20 s"
  DISPLAY=":$(head -n 1 "$TMP/display")"
}
