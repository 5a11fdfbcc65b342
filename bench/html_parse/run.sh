#!/usr/bin/env bash
# Parses a ~50 MiB generated gallery page with Plover's HTML parser and with libxml2's
# (xmllint --html --noout) in the same run, and prints both rates and their ratio.
# Usage: bench/html_parse/run.sh [MIB]   (needs: scripts/deps.sh bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
mib=${1:-50}
dir="${PLOVER_BUILD_DIR:-$root/build/bench}"
PLOVER_BUILD_DIR="$dir" "$root/scripts/build.sh" bench bench_html_parse >/dev/null
bin="$dir/bench/html_parse/bench_html_parse"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
page="$work/gallery.html"
"$bin" generate "$page" "$mib"
"$bin" parse "$page" 3 | tee "$work/plover.txt"

bytes=$(stat -c %s "$page")
best="" cpu=""
for _ in 1 2 3; do
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" xmllint --html --noout "$page" 2>/dev/null || true
    read -r secs user sys kib <"$work/time"
    c=$(awk -v u="$user" -v s="$sys" 'BEGIN{print u+s}')
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$secs; rss=$kib; fi
    if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN{exit !(a<b)}'; then cpu=$c; fi
done
awk -v b="$bytes" -v s="$best" -v c="$cpu" -v k="$rss" 'BEGIN{
    printf "libxml2 (xmllint --html --noout): %.3f s, MB/s: %.1f; CPU %.3f s, CPU MB/s: %.1f; peak RSS %.1f MB = %.2fx input\n",
        s, b/1e6/s, c, b/1e6/c, k*1024/1e6, k*1024/b}'
plover=$(sed -n 's/.*s, MB\/s: \([0-9.]*\) (best.*/\1/p' "$work/plover.txt" | head -n 1)
plover_cpu=$(sed -n 's/.*CPU MB\/s: \([0-9.]*\).*/\1/p' "$work/plover.txt" | head -n 1)
awk -v p="$plover" -v pc="$plover_cpu" -v b="$bytes" -v s="$best" -v c="$cpu" \
    'BEGIN{printf "ratio: Plover parses %.1fx as fast as libxml2 (wall clock), %.1fx by CPU time\n", p/(b/1e6/s), pc/(b/1e6/c)}'
