#!/usr/bin/env bash
# bench/get_loopback: a 1 GiB file from nginx on loopback into /dev/shm, Plover (traffic mode 0,
# 5 sections) against curl (one stream), aria2c -x5 -s5 and axel -n 5, in the same run.
# Reports seconds, MB/s and peak memory of each, and Plover's ratio to the fastest peer.
# SIZE_MIB overrides the size (default 1024); ROUNDS the rounds (default 3), alternating between the
# tools, of which each one's median counts.
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
size=${SIZE_MIB:-1024}
make_file big.bin "$size"
start_nginx
url=http://127.0.0.1:$port/big.bin
home=$BENCH_DIR/home
# Traffic mode 0 with its defaults: 3 downloads, 5 sections, no quota.
"$PLOVER" --home "$home" settings set eTrafficMode 0 >/dev/null
echo "get_loopback: $size MiB over loopback into $BENCH_DIR"
for _ in $(seq "${ROUNDS:-3}"); do
  measure plover big.bin "$PLOVER" --home "$home" get --mode 0 --overwrite --folder "$BENCH_DIR/out" "$url"
  measure curl big.bin curl -s -o "$BENCH_DIR/out/big.bin" "$url"
  measure "aria2c -x5 -s5" big.bin aria2c -q -x5 -s5 --allow-overwrite=true --file-allocation=none -d "$BENCH_DIR/out" -o big.bin "$url"
  measure "axel -n 5" big.bin axel -q -n 5 -o "$BENCH_DIR/out/big.bin" "$url"
done
for p in plover curl "aria2c -x5 -s5" "axel -n 5"; do median "$p" big.bin; done
best=curl
for p in "aria2c -x5 -s5" "axel -n 5"; do
  awk -v a="${speed[$p]}" -v b="${speed[$best]}" 'BEGIN { exit !(a > b) }' && best=$p
done
echo "plover / curl: $(ratio plover curl)   plover / fastest peer ($best): $(ratio plover "$best")"
