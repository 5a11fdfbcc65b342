#!/usr/bin/env bash
# bench/get_limited: nginx limits every connection to 2 MiB/s; a 64 MiB file. Plover with 5
# sections against curl (one stream) and aria2c -x5 -s5 -k1M, in the same run.
# SIZE_MIB overrides the size (default 64).
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
size=${SIZE_MIB:-64}
make_file limited.bin "$size"
start_nginx 2m
url=http://127.0.0.1:$port/limited.bin
home=$BENCH_DIR/home
echo "get_limited: $size MiB, 2 MiB/s per connection"
measure plover limited.bin "$PLOVER" --home "$home" get --mode 0 --overwrite --folder "$BENCH_DIR/out" "$url"
measure curl limited.bin curl -s -o "$BENCH_DIR/out/limited.bin" "$url"
measure "aria2c -x5 -s5 -k1M" limited.bin aria2c -q -x5 -s5 -k1M --allow-overwrite=true --file-allocation=none \
  -d "$BENCH_DIR/out" -o limited.bin "$url"
echo "plover / aria2c: $(ratio plover "aria2c -x5 -s5 -k1M")   plover / curl: $(ratio plover curl)"
