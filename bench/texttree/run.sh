#!/usr/bin/env bash
# Saves and loads a download list of 10000 downloads as a text tree and compares the times with
# writing and reading the same bytes with cat. Usage: bench/texttree/run.sh [DOWNLOADS]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="${PLOVER_BUILD_DIR:-$root/build/bench}"
PLOVER_BUILD_DIR="$dir" "$root/scripts/build.sh" bench bench_texttree >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$dir/bench/texttree/bench_texttree" "$work" "${1:-10000}"
