#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the project and runs the whole test suite:
# a RelWithDebInfo build, then the same suite under AddressSanitizer + UndefinedBehaviorSanitizer.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages
export QT_QPA_PLATFORM=offscreen

echo "== Build"
build "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Tests"
(cd "$ROOT/build" && ctest -j "$JOBS" --output-on-failure --timeout 600)

if [ "${ZOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== Build with AddressSanitizer + UndefinedBehaviorSanitizer"
  build "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DZOR_SANITIZE=ON -DZOR_BUILD_BENCH=OFF
  echo "== Tests under sanitizers"
  (cd "$ROOT/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest -j "$JOBS" --output-on-failure --timeout 900 -LE no-sanitize)
fi
