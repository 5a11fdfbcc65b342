#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 10), starting from its corpus
# folder fuzz/corpus/NAME. An input that crashes a target is copied to fuzz/regressions/NAME, which
# the test build replays (commit it with the fix). Usage: scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
shift || true
"$root/scripts/build.sh" fuzz >/dev/null
bin="$root/build/fuzz/fuzz"
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  while IFS= read -r f; do names+=("$(basename "$f")"); done < <(find "$bin" -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x | sort)
fi
failed=0 passed=0
for name in "${names[@]}"; do
  exe=$(find "$bin" -maxdepth 2 -type f -name "$name" -perm -u+x | head -n 1)
  corpus="$root/fuzz/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$corpus" ] && cp -r "$corpus/." "$work/" 2>/dev/null || true
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/" "$work" \
       >"$work.log" 2>&1; then
    echo "fuzz $name: ok (${seconds}s)"
    passed=$((passed + 1))
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$work.log"
    # Keep what it found as a regression input: the test build replays fuzz/regressions/NAME.
    kept="$root/fuzz/regressions/$name"
    for found in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
      [ -f "$found" ] || continue
      mkdir -p "$kept" && cp "$found" "$kept/" && echo "kept $kept/$(basename "$found")"
    done
    failed=$((failed + 1))
  fi
  rm -rf "$work" "$work.log"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
