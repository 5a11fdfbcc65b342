#!/usr/bin/env bash
# bench/get_ftp: FTP downloads from vsftpd on loopback into /dev/shm, Plover (traffic mode 0,
# 5 sections, passive) against curl (one stream) and aria2c -x5 -s5, in the same run:
#   1. a 1 GiB file, no limit;
#   2. a 64 MiB file from a server that limits every connection to 2 MiB/s (anon_max_rate).
# SIZE_MIB and LIMITED_MIB override the sizes.
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
size=${SIZE_MIB:-1024}
limited=${LIMITED_MIB:-64}
vsftpd_pids=()
cleanup_ftp() {
  for p in "${vsftpd_pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  cleanup
}
trap cleanup_ftp EXIT

# start_vsftpd NAME [RATE]: anonymous vsftpd serving $BENCH_DIR/www at ftp://127.0.0.1:$port/
# (every connection limited to RATE bytes per second when given).
start_vsftpd() {
  port=$(free_port)
  local d=$BENCH_DIR/vsftpd-$1
  mkdir -p "$d/empty"
  cat > "$d/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
anon_root=$BENCH_DIR/www
local_enable=NO
write_enable=NO
secure_chroot_dir=$d/empty
seccomp_sandbox=NO
isolate=NO
isolate_network=NO
connect_from_port_20=NO
max_clients=0
max_per_ip=0
anon_max_rate=${2:-0}
xferlog_enable=NO
CONF
  /usr/sbin/vsftpd "$d/vsftpd.conf" &
  vsftpd_pids+=($!)
  for _ in $(seq 50); do
    (echo > /dev/tcp/127.0.0.1/$port) 2>/dev/null && return 0
    sleep 0.1
  done
  echo "vsftpd did not start" >&2
  exit 1
}

home=$BENCH_DIR/home
"$PLOVER" --home "$home" settings set eTrafficMode 0 >/dev/null
"$PLOVER" --home "$home" proxy set ftp --mode 0 --passive >/dev/null

make_file big.bin "$size"
start_vsftpd plain
url=ftp://127.0.0.1:$port/big.bin
echo "get_ftp: $size MiB from vsftpd over loopback into $BENCH_DIR"
for _ in $(seq "${ROUNDS:-3}"); do  # alternating rounds; each tool's median counts
  measure plover big.bin "$PLOVER" --home "$home" get --mode 0 --overwrite --folder "$BENCH_DIR/out" "$url"
  measure curl big.bin curl -s -o "$BENCH_DIR/out/big.bin" "$url"
  measure "aria2c -x5 -s5" big.bin aria2c -q -x5 -s5 --allow-overwrite=true --file-allocation=none -d "$BENCH_DIR/out" -o big.bin "$url"
done
for p in plover curl "aria2c -x5 -s5"; do median "$p" big.bin; done
echo "plover / curl: $(ratio plover curl)   plover / aria2c: $(ratio plover "aria2c -x5 -s5")"
rm -f "$BENCH_DIR/www/big.bin"

make_file limited.bin "$limited"
start_vsftpd limited $((2 * 1024 * 1024))
url=ftp://127.0.0.1:$port/limited.bin
echo "get_ftp: $limited MiB, 2 MiB/s per connection"
measure "plover limited" limited.bin "$PLOVER" --home "$home" get --mode 0 --overwrite --folder "$BENCH_DIR/out" "$url"
measure "curl limited" limited.bin curl -s -o "$BENCH_DIR/out/limited.bin" "$url"
measure "aria2c limited" limited.bin aria2c -q -x5 -s5 -k1M --allow-overwrite=true --file-allocation=none \
  -d "$BENCH_DIR/out" -o limited.bin "$url"
echo "plover / curl: $(ratio "plover limited" "curl limited")   plover / aria2c: $(ratio "plover limited" "aria2c limited")"
