#!/usr/bin/env bash
# bench/throttle: a traffic mode with a quota of 102400 bytes per second, an 8 MiB file from nginx
# on loopback. The achieved rate of Plover against wget --limit-rate and aria2c
# --max-download-limit with the same quota, in the same run; each rate as a deviation from the
# quota. SIZE_MIB overrides the size (default 8).
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
size=${SIZE_MIB:-8}
quota=102400
make_file t.bin "$size"
start_nginx
url=http://127.0.0.1:$port/t.bin
home=$BENCH_DIR/home
# Traffic mode 1 carries the quota (3 sections per download, as its defaults say).
"$PLOVER" --home "$home" settings set TrafficMode2/dwTransferQuota $quota >/dev/null
echo "throttle: $size MiB at a quota of $quota bytes/s (expect $(awk -v s="$size" -v q=$quota 'BEGIN{printf "%.1f", s*1048576/q}') s)"
measure plover t.bin "$PLOVER" --home "$home" get --mode 1 --overwrite --folder "$BENCH_DIR/out" "$url"
measure "wget --limit-rate" t.bin wget -q --limit-rate=$quota -O "$BENCH_DIR/out/t.bin" "$url"
measure "aria2c --max-download-limit" t.bin aria2c -q --max-download-limit=$quota --allow-overwrite=true \
  --file-allocation=none -d "$BENCH_DIR/out" -o t.bin "$url"
bytes=$(stat -c %s "$BENCH_DIR/www/t.bin")
for p in plover "wget --limit-rate" "aria2c --max-download-limit"; do
  awk -v b="$bytes" -v s="${secs[$p]}" -v q=$quota -v p="$p" \
    'BEGIN { r = b / s; printf "%-28s %9.0f bytes/s  %+6.2f%% of the quota\n", p, r, (r - q) / q * 100 }'
done
