#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 10), starting from its corpus
# folder fuzz/corpus/NAME, as many at once as the machine has cores (FUZZ_JOBS overrides). An input
# that crashes a target is copied to fuzz/regressions/NAME, which the test build replays (commit it
# with the fix). Usage: scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
shift || true
# The build's progress is not shown; a build that fails shows why (ninja tells on its output).
if ! build_log=$("$root/scripts/build.sh" fuzz fuzzers 2>&1); then
  echo "the fuzz build failed:" >&2
  tail -40 <<<"$build_log" >&2
  exit 1
fi
bin="$root/build/fuzz/fuzz"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  while IFS= read -r f; do names+=("$(basename "$f")"); done < <(find "$bin" -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x | sort)
fi
runs=$(mktemp -d)
trap 'rm -rf "$runs"' EXIT

# One target: its report goes to runs/NAME.out, its status to runs/NAME.status.
fuzz_one() {
  local name=$1 exe corpus work
  exe=$(find "$bin" -maxdepth 2 -type f -name "$name" -perm -u+x | head -n 1)
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  work="$runs/$name.work"
  mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/" 2>/dev/null || true
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" "$work" \
       >"$runs/$name.log" 2>&1; then
    echo "fuzz $name: ok (${seconds}s)" >"$runs/$name.out"
    echo 0 >"$runs/$name.status"
  else
    { echo "fuzz $name: FAILED"; tail -n 40 "$runs/$name.log"
      # Keep what it found as a regression input: the test build replays fuzz/regressions/NAME.
      local kept="$root/fuzz/regressions/$name" found
      for found in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
        [ -f "$found" ] || continue
        mkdir -p "$kept" && cp "$found" "$kept/" && echo "kept $kept/$(basename "$found")"
      done; } >"$runs/$name.out"
    echo 1 >"$runs/$name.status"
  fi
  rm -rf "$work"
}

jobs=${FUZZ_JOBS:-$(nproc)}
for name in "${names[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  fuzz_one "$name" &
done
wait
failed=0 passed=0
for name in "${names[@]}"; do
  cat "$runs/$name.out"
  if [ "$(cat "$runs/$name.status" 2>/dev/null || echo 1)" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
