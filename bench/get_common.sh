# Shared by the download benchmarks (sourced): a private nginx on a free loopback port serving a
# folder, and a runner that times a download command and records its peak memory.
#
#   PLOVER      the plover binary (default: build/bench/src/cli/plover, built by scripts/build.sh bench)
#   BENCH_DIR   where the files go (default: a fresh folder under /dev/shm)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PLOVER=${PLOVER:-$root/build/bench/src/cli/plover}
BENCH_DIR=${BENCH_DIR:-$(mktemp -d /dev/shm/plover-bench-XXXXXX)}
mkdir -p "$BENCH_DIR/www" "$BENCH_DIR/out" "$BENCH_DIR/nginx"
# nginx workers run as an unprivileged user when started by root: they must read the files.
chmod a+rx "$BENCH_DIR" "$BENCH_DIR/www"
nginx_pid=""

cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
  rm -rf "$BENCH_DIR"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# start_nginx [limit_rate]: serves $BENCH_DIR/www at http://127.0.0.1:$port/ (with a per-connection
# rate limit when given, e.g. 2m). With TLS_CERT and TLS_KEY set (PEM files), it serves https
# instead, TLS 1.3 with AES-GCM only.
start_nginx() {
  port=$(free_port)
  local n=$BENCH_DIR/nginx
  local limit="" tls=""
  [ -n "${1:-}" ] && limit="limit_rate $1;"
  [ -n "${TLS_CERT:-}" ] && tls="ssl; ssl_certificate $TLS_CERT; ssl_certificate_key $TLS_KEY; ssl_protocols TLSv1.3; ssl_conf_command Ciphersuites TLS_AES_256_GCM_SHA384:TLS_AES_128_GCM_SHA256"
  cat > "$n/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $n/nginx.pid;
error_log $n/error.log;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $n/body;
  proxy_temp_path $n/proxy;
  fastcgi_temp_path $n/fastcgi;
  uwsgi_temp_path $n/uwsgi;
  scgi_temp_path $n/scgi;
  types { application/octet-stream bin; }
  server {
    listen 127.0.0.1:$port $tls;
    root $BENCH_DIR/www;
    location / { $limit }
  }
}
CONF
  /usr/sbin/nginx -c "$n/nginx.conf" -p "$n" &
  nginx_pid=$!
  for _ in $(seq 50); do
    (echo > /dev/tcp/127.0.0.1/$port) 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nginx did not start: $(cat "$n/error.log")" >&2
  exit 1
}

# make_file NAME SIZE_MIB: a file of random bytes in the served folder.
make_file() {
  head -c "$(( $2 * 1024 * 1024 ))" /dev/urandom > "$BENCH_DIR/www/$1"
  chmod a+r "$BENCH_DIR/www/$1"
}

# measure LABEL FILE CMD...: runs CMD (which must write $BENCH_DIR/out/FILE), checks the result
# against the served file, prints the label, seconds, MB/s and peak resident memory, and keeps
# the speed in speed[LABEL] and the seconds in secs[LABEL] (and every run's seconds in
# runs[LABEL], for median; its CPU seconds, user + system, in cpus[LABEL] and its peak resident
# KiB in peaks[LABEL]).
declare -A speed secs runs cpus peaks
measure() {
  local label=$1 file=$2
  shift 2
  rm -rf "$BENCH_DIR/out" && mkdir -p "$BENCH_DIR/out"
  if ! /usr/bin/time -o "$BENCH_DIR/time.txt" -f "%e %M %U %S" "$@" >/dev/null 2>"$BENCH_DIR/cmd.err"; then
    echo "$label failed: $(tail -3 "$BENCH_DIR/cmd.err")" >&2
  fi
  local s kb user sys
  read -r s kb user sys < <(tail -1 "$BENCH_DIR/time.txt")
  local bytes ok="ok"
  bytes=$(stat -c %s "$BENCH_DIR/www/$file")
  cmp -s "$BENCH_DIR/www/$file" "$BENCH_DIR/out/$file" || ok="MISMATCH"
  local mbs
  mbs=$(awk -v b="$bytes" -v s="$s" 'BEGIN { if (s > 0) printf "%.1f", b / s / 1e6; else print "0" }')
  printf "%-26s %8.2f s %9s MB/s %8.1f MiB peak  %s\n" "$label" "$s" "$mbs" "$(awk -v k="$kb" 'BEGIN{printf "%.1f", k/1024}')" "$ok"
  speed[$label]=$mbs
  secs[$label]=$s
  runs[$label]="${runs[$label]:-} $s"
  cpus[$label]="${cpus[$label]:-} $(awk -v u="$user" -v y="$sys" 'BEGIN { printf "%.2f", u + y }')"
  peaks[$label]="${peaks[$label]:-} $kb"
}

# median LABEL FILE: prints the median of LABEL's runs (seconds and MB/s) and keeps it in
# speed[LABEL] and secs[LABEL]. Rounds that alternate between the tools and a median of each
# keep one slow moment of a shared machine (page reclaim, another process) out of the ratio.
median() {
  local label=$1 file=$2 bytes s
  bytes=$(stat -c %s "$BENCH_DIR/www/$file")
  s=$(median_of "${runs[$label]}")
  secs[$label]=$s
  speed[$label]=$(awk -v b="$bytes" -v s="$s" 'BEGIN { if (s > 0) printf "%.1f", b / s / 1e6; else print "0" }')
  printf "%-26s median %6.2f s %9s MB/s  (rounds:%s)\n" "$label" "$s" "${speed[$label]}" "${runs[$label]}"
}

# median_of "LIST": the median of the numbers in a space separated list.
median_of() {
  tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# ratio A B: speed[A] / speed[B] with two decimals.
ratio() {
  awk -v a="${speed[$1]}" -v b="${speed[$2]}" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'
}
