#!/usr/bin/env bash
# Runs every test: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs the unit and integration tests through CTest (with every fuzz
# target's saved inputs replayed), the threaded layers' tests under ThreadSanitizer, then each
# fuzz target for a short bounded time (FUZZ_SECONDS, default 10; 0 skips them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
"$root/scripts/build.sh" asan

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
# Integration tests drive real servers and processes on a shared 2-core machine: a test that
# fails is run once more, and must then pass (every failure is still printed).
(cd "$root/build/asan" && ctest --output-on-failure -j"$(nproc)" --timeout 300 --repeat until-pass:2) || status=1

# ThreadSanitizer over the tests of the threaded layers: engines, sockets, downloads and scans
# (TSAN=0 skips it). A report fails the test; known benign reports are listed, each with its
# reason, in scripts/tsan.supp.
if [ "${TSAN:-1}" != 0 ]; then
  tsan_tests=(engine_tests net_tests download_tests scan_tests)
  "$root/scripts/build.sh" tsan "${tsan_tests[@]}"
  label="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
  (cd "$root/build/tsan" &&
    TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp second_deadlock_stack=1" \
      ctest --output-on-failure -j"$(nproc)" --timeout 300 --repeat until-pass:2 -L "$label") || status=1
fi

fuzz_seconds=${FUZZ_SECONDS:-10}
if [ "$fuzz_seconds" != 0 ]; then
  "$root/scripts/fuzz.sh" "$fuzz_seconds" || status=1
fi
exit $status
