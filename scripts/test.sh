#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, checks the formatting, builds the project and runs the whole
# test suite: a RelWithDebInfo build, a Release build, then the suite under AddressSanitizer +
# UndefinedBehaviorSanitizer, the threaded tests under ThreadSanitizer, and short runs of the
# libFuzzer targets.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages
export QT_QPA_PLATFORM=offscreen

echo "== Format check (clang-format-14)"
bash "$ROOT/scripts/check-format.sh"

echo "== Build"
build "$ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== Tests"
(cd "$ROOT/build" && ctest -j "$JOBS" --output-on-failure --timeout 600)

if [ "${ZOR_SKIP_RELEASE:-0}" != 1 ]; then
  # -O3 and no assertions: optimiser-only warnings and faults show up here.
  echo "== Release build"
  build "$ROOT/build-release" -DCMAKE_BUILD_TYPE=Release
  echo "== Tests of the Release build"
  (cd "$ROOT/build-release" && ctest -j "$JOBS" --output-on-failure --timeout 600)
fi

if [ "${ZOR_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== Build with AddressSanitizer + UndefinedBehaviorSanitizer"
  build "$ROOT/build-asan" -DCMAKE_BUILD_TYPE=Debug -DZOR_SANITIZE=ON -DZOR_BUILD_BENCH=OFF
  echo "== Tests under sanitizers"
  (cd "$ROOT/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest -j "$JOBS" --output-on-failure --timeout 900 -LE no-sanitize)
fi

if [ "${ZOR_SKIP_TSAN:-0}" != 1 ]; then
  # Only the executables whose tests run several threads are built; ctest skips the others
  # (their tests are named <target>_NOT_BUILT). The two name-ownership tests and the parallel
  # loop's fork test fork a child that starts threads, which ThreadSanitizer does not support;
  # the other stages run them.
  echo "== ThreadSanitizer build of the threaded tests (clang)"
  cmake -S "$ROOT" -B "$ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_C_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
    -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
    -DZOR_BUILD_BENCH=OFF >/dev/null
  cmake --build "$ROOT/build-tsan" -j "$JOBS" --target volume_tests work_folder_watcher_tests \
    cross_view_tests device_link_tests platform_tests
  echo "== Threaded tests under ThreadSanitizer"
  (cd "$ROOT/build-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
     ctest -j "$JOBS" --output-on-failure --timeout 900 -LE no-sanitize \
     -E '_NOT_BUILT$|^NamedObject\.Exclusive|^OtherUsers\.|^ParallelFor\.Forked')
fi

if [ "${ZOR_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== Fuzz smoke runs (clang libFuzzer with ASan+UBSan)"
  cmake -S "$ROOT" -B "$ROOT/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DZOR_FUZZ=ON -DZOR_BUILD_TESTS=OFF -DZOR_BUILD_BENCH=OFF >/dev/null
  cmake --build "$ROOT/build-fuzz" -j "$JOBS" --target zor_fuzz_all
  ctest --test-dir "$ROOT/build-fuzz/fuzz" -j "$JOBS" -L fuzz --output-on-failure
fi
