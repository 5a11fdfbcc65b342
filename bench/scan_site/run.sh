#!/usr/bin/env bash
# bench/scan_site: a generated static gallery of 500 pages (20 thumbnail links each, links to three
# further numbered pages) served by nginx on loopback from /dev/shm. A recursive scan of depth 5
# with Plover against `wget -r -l 5 --reject jpg,jpeg,png` of the same site, in the same run.
#
# Plover runs: "pages" collects page links only (no picture is fetched, like wget); "mixed" is the
# "Scan Mixed Gallery" profile (one thumbnail from each page, whose small picture is fetched too);
# "cached" is the pages scan again, answered from the page cache. Each is one process, start-up
# and shutdown included. Reports pages, seconds, pages per second and peak memory of each.
# A run lasts a tenth of a second, so wget and the "pages" scan (from an empty cache) run ROUNDS
# times alternately (default 5), timed to the microsecond, and their medians are compared.
# PAGES overrides the page count (default 500).
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
pages=${PAGES:-500}
site=$BENCH_DIR/www/site
mkdir -p "$site/small" "$site/big"
python3 - "$site" "$pages" <<'PY'
import sys, os
site, pages = sys.argv[1], int(sys.argv[2])
for i in range(pages):
    links = "".join(f'<a href="page{(3 * i + k) % pages}.html">Page {(3 * i + k) % pages}</a>\n' for k in (1, 2, 3))
    thumbs = "".join(f'<a href="big/{i}_{k}.jpg"><img src="small/{i}_{k}.jpg" width="120" height="90"></a>\n'
                     for k in range(1, 21))
    with open(f"{site}/page{i}.html", "w") as f:
        f.write(f"<html><head><title>Gallery page {i}</title></head><body>\n<h1>Page {i}</h1>\n{thumbs}<p>{links}</p>\n</body></html>\n")
    with open(f"{site}/small/{i}_1.jpg", "wb") as f:
        f.write(os.urandom(3000))
PY
start_nginx
# The shared nginx set-up serves every file as octet-stream; crawlers need pages typed as HTML.
kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
sed -i 's|types { application/octet-stream bin; }|types { text/html html; image/jpeg jpg; image/png png; }|' "$BENCH_DIR/nginx/nginx.conf"
/usr/sbin/nginx -c "$BENCH_DIR/nginx/nginx.conf" -p "$BENCH_DIR/nginx" &
nginx_pid=$!
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$port) 2>/dev/null && break; sleep 0.1; done
url=http://127.0.0.1:$port/site/page0.html
home=$BENCH_DIR/home
mkdir -p "$BENCH_DIR/cache"
"$PLOVER" --home "$home" settings set csCacheFolder "$BENCH_DIR/cache" >/dev/null 2>&1
"$PLOVER" --home "$home" profiles add "Bench Pages" --thumbnails no --large-pictures no --links yes \
  --recurse yes --depth 5 >/dev/null

# run LABEL CMD...: times CMD, keeps seconds (the median of every run so far) and peak KiB in
# secs[LABEL] and kib[LABEL].
declare -A secs kib all
run() {
  local label=$1
  shift
  local start end
  start=$(date +%s%N)
  /usr/bin/time -o "$BENCH_DIR/time.txt" -f "%M" "$@" >"$BENCH_DIR/$label.out" 2>"$BENCH_DIR/$label.err" ||
    { echo "$label failed: $(tail -3 "$BENCH_DIR/$label.err")" >&2; }
  end=$(date +%s%N)
  kib[$label]=$(tail -1 "$BENCH_DIR/time.txt")
  all[$label]="${all[$label]:-} $(( (end - start) / 1000 ))"
  secs[$label]=$(tr ' ' '\n' <<<"${all[$label]}" | grep . | sort -n |
    awk '{ a[NR] = $1 } END { printf "%.4f", a[int((NR + 1) / 2)] / 1e6 }')
}
report() {
  local label=$1 n=$2 shown=${3:-$1}
  printf "%-34s %5d pages %8.3f s %9.1f pages/s %8.1f MiB peak\n" "$shown" "$n" "${secs[$label]}" \
    "$(awk -v n="$n" -v s="${secs[$label]}" 'BEGIN { if (s > 0) print n / s; else print 0 }')" \
    "$(awk -v k="${kib[$label]}" 'BEGIN { printf "%.1f", k / 1024 }')"
}
scanned() { python3 -c 'import json,sys; print([json.loads(l) for l in open(sys.argv[1])][-1]["pagesScanned"])' "$1"; }

echo "scan_site: $pages pages, 20 thumbnails each, depth 5, nginx on 127.0.0.1:$port"
for _ in $(seq "${ROUNDS:-5}"); do
  rm -rf "$BENCH_DIR/wget"
  run wget wget -r -l 5 --reject jpg,jpeg,png -nv -P "$BENCH_DIR/wget" "$url"
  rm -rf "$BENCH_DIR/cache" && mkdir -p "$BENCH_DIR/cache"  # every round from an empty cache
  run plover-pages "$PLOVER" --home "$home" scan "$url" --profile "Bench Pages" --json
done
report wget "$(find "$BENCH_DIR/wget" -name '*.html' | wc -l)" "wget (median of ${ROUNDS:-5})"
report "plover-pages" "$(scanned "$BENCH_DIR/plover-pages.out")" "plover-pages (median of ${ROUNDS:-5})"
run plover-cached "$PLOVER" --home "$home" scan "$url" --profile "Bench Pages" --json
report plover-cached "$(scanned "$BENCH_DIR/plover-cached.out")" "plover-pages, from the cache"
run plover-mixed "$PLOVER" --home "$home" scan "$url" --profile "Scan Mixed Gallery" --reload --json
report plover-mixed "$(scanned "$BENCH_DIR/plover-mixed.out")" "plover, Scan Mixed Gallery"
echo "plover-pages / wget: $(awk -v a="${secs[wget]}" -v b="${secs[plover-pages]}" 'BEGIN { printf "%.2f", a / b }') (pages per second ratio)"
