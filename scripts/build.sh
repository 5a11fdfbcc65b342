#!/usr/bin/env bash
# Configures (on first use) and builds one build tree. Usage: scripts/build.sh release|asan|tsan|fuzz|bench [target...]
# PLOVER_BUILD_DIR overrides the folder (default build/KIND).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:?usage: build.sh release|asan|tsan|fuzz|bench [target...]}
shift
dir="${PLOVER_BUILD_DIR:-$root/build/$kind}"
case "$kind" in
  release) args=(-DCMAKE_BUILD_TYPE=Release -DPLOVER_TESTS=OFF) ;;
  asan) args=(-DCMAKE_BUILD_TYPE=Asan) ;;
  tsan) args=(-DCMAKE_BUILD_TYPE=Tsan) ;;
  bench) args=(-DCMAKE_BUILD_TYPE=Release -DPLOVER_TESTS=OFF -DPLOVER_BENCH=ON) ;;
  fuzz) args=(-DCMAKE_BUILD_TYPE=Debug -DPLOVER_TESTS=OFF -DPLOVER_FUZZ=ON
              -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown build kind: $kind" >&2; exit 2 ;;
esac
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
fi
targets=()
for t in "$@"; do targets+=(--target "$t"); done
cmake --build "$dir" "${targets[@]}" -- -j"${PLOVER_JOBS:-$(nproc)}"
