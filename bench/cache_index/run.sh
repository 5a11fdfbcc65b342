#!/usr/bin/env bash
# Load and save times of a page cache index of 100000 rows: the index file alone, and the page
# manager's start (load and sweep) and stop (save). Usage: bench/cache_index/run.sh [ROWS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="${PLOVER_BUILD_DIR:-$root/build/bench}"
PLOVER_BUILD_DIR="$dir" "$root/scripts/build.sh" bench bench_cache_index >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$dir/bench/cache_index/bench_cache_index" "$work" "${1:-100000}"
