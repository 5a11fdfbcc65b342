#!/usr/bin/env bash
# bench/collect: a generated gallery of PICTURES pictures (default 200) of 200 KiB to 2 MiB, each
# behind a thumbnail, on nginx on loopback. `plover collect` (scan, then every picture into a
# basket) against `wget -r -l 1 -nd -A jpg,jpeg,png` of the same gallery, in the same run, each
# ROUNDS times (default 3) alternately from a fresh state; the medians are compared. Both fetch
# the page, the thumbnails and the pictures; the collected pictures must be byte-identical to the
# served ones. Reports seconds and peak memory of each and Plover's ratio.
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
pictures=${PICTURES:-200}
rounds=${ROUNDS:-3}

# The gallery: thumbs/tN.jpg (4 KiB) linking to pictures/pN.jpg (200 KiB to 2 MiB, random bytes).
mkdir -p "$BENCH_DIR/www/thumbs" "$BENCH_DIR/www/pictures"
{
  echo "<html><head><title>Bench gallery</title></head><body>"
  for i in $(seq 1 "$pictures"); do
    kib=$(( 200 + (i * 7919) % 1849 ))
    head -c $(( kib * 1024 )) /dev/urandom > "$BENCH_DIR/www/pictures/p$i.jpg"
    head -c 4096 /dev/urandom > "$BENCH_DIR/www/thumbs/t$i.jpg"
    echo "<a href=\"pictures/p$i.jpg\"><img src=\"thumbs/t$i.jpg\" width=\"120\" height=\"90\"></a>"
  done
  echo "</body></html>"
} > "$BENCH_DIR/www/index.html"
chmod -R a+rX "$BENCH_DIR/www"
total=$(du -sm "$BENCH_DIR/www/pictures" | cut -f1)

# nginx with the usual types, so that both clients see an HTML page and JPEG pictures.
port=$(free_port)
n=$BENCH_DIR/nginx
cat > "$n/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $n/nginx.pid;
error_log $n/error.log;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $n/body;
  proxy_temp_path $n/proxy;
  fastcgi_temp_path $n/fastcgi;
  uwsgi_temp_path $n/uwsgi;
  scgi_temp_path $n/scgi;
  server { listen 127.0.0.1:$port; root $BENCH_DIR/www; }
}
CONF
/usr/sbin/nginx -c "$n/nginx.conf" -p "$n" &
nginx_pid=$!
for _ in $(seq 50); do (echo > /dev/tcp/127.0.0.1/$port) 2>/dev/null && break; sleep 0.1; done
url=http://127.0.0.1:$port/index.html

# check DIR: every picture there, byte for byte.
check() {
  for i in $(seq 1 "$pictures"); do
    cmp -s "$BENCH_DIR/www/pictures/p$i.jpg" "$1/p$i.jpg" || { echo "p$i.jpg differs or is missing in $1" >&2; return 1; }
  done
}

# run LABEL CMD...: times CMD from a fresh output folder; appends the seconds to times[LABEL].
declare -A times mem
run() {
  local label=$1
  shift
  rm -rf "$BENCH_DIR/out" "$BENCH_DIR/home" && mkdir -p "$BENCH_DIR/out/basket"
  if [ "$label" = plover ]; then
    mkdir -p "$BENCH_DIR/home/cache"
    "$PLOVER" --home "$BENCH_DIR/home" basket add Bench "$BENCH_DIR/out/basket" >/dev/null 2>&1
    "$PLOVER" --home "$BENCH_DIR/home" settings set csCacheFolder "$BENCH_DIR/home/cache" >/dev/null 2>&1
  fi
  if ! (cd "$BENCH_DIR/out/basket" && /usr/bin/time -o "$BENCH_DIR/time.txt" -f "%e %M" "$@" >"$BENCH_DIR/cmd.out" 2>"$BENCH_DIR/cmd.err"); then
    echo "$label failed: $(tail -5 "$BENCH_DIR/cmd.err")" >&2
    exit 1
  fi
  check "$BENCH_DIR/out/basket"
  read -r s m < "$BENCH_DIR/time.txt"
  times[$label]="${times[$label]:-} $s"
  mem[$label]=$m
}

median() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

echo "collect: $pictures pictures ($total MiB) behind thumbnails, nginx on loopback, files into $BENCH_DIR"
for r in $(seq 1 "$rounds"); do
  run plover "$PLOVER" --home "$BENCH_DIR/home" collect "$url" --basket Bench
  run wget wget -q -r -l 1 -nd -A jpg,jpeg,png "$url"
done
for label in plover wget; do
  printf '%-8s median %6.2f s  (rounds:%s)  peak %6d KiB\n' "$label" "$(median "${times[$label]}")" "${times[$label]}" "${mem[$label]}"
done
awk -v p="$(median "${times[plover]}")" -v w="$(median "${times[wget]}")" \
  'BEGIN { printf "plover / wget time: %.2f (below 1: plover is faster)\n", p / w }'
