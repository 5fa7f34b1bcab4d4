#!/usr/bin/env bash
# Builds everything and runs all tests.
#   scripts/test.sh                       normal build in build/
#   VRX_SANITIZE=address scripts/test.sh  ASan+UBSan build in build-asan/
#   VRX_SANITIZE=thread scripts/test.sh   TSan build in build-tsan/
#   VRX_SANITIZE=fuzz scripts/test.sh     protocol fuzz targets (clang,
#                                         libFuzzer, ASan+UBSan) in build-fuzz/;
#                                         VRX_FUZZ_SECONDS per target (default 5)
# Extra arguments go to ctest (for example -L threads).
# VRX_BUILD_PREFIX (default "build") names the build folders: <prefix>,
# <prefix>-asan, <prefix>-tsan, <prefix>-fuzz.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/deps.sh"

sanitize=${VRX_SANITIZE:-}
prefix="$top/${VRX_BUILD_PREFIX:-build}"
build="$prefix"
flags=()
case "$sanitize" in
  "") ;;
  address) build="$prefix-asan"; flags+=(-DVRX_SANITIZE_ADDRESS=ON) ;;
  thread) build="$prefix-tsan"; flags+=(-DVRX_SANITIZE_THREAD=ON) ;;
  fuzz) build="$prefix-fuzz"
        flags+=(-DVRX_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ "-DVRX_FUZZ_SECONDS=${VRX_FUZZ_SECONDS:-5}") ;;
  *) echo "VRX_SANITIZE must be address, thread or fuzz" >&2; exit 2 ;;
esac

cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${flags[@]}" >/dev/null
cmake --build "$build" -j2

export QT_QPA_PLATFORM=offscreen
# Any sanitizer report fails the run: ASan and TSan stop at the first report,
# UBSan is built without recovery and halts too, LSan runs at every exit.
# Initialisation order and use of a returned function's stack are checked as
# well (both off by default).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:halt_on_error=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$top/tests/sanitizer/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:report_error_type=1}
# Qt is not built with ThreadSanitizer: its own locking is invisible to the
# tool, so only calls made from instrumented (our) code are checked.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1}
cd "$build"
ctest --output-on-failure -j2 "$@"
