#!/usr/bin/env bash
# bench/get_tls: a 1 GiB file over TLS (1.3, AES-GCM) from nginx on loopback into /dev/shm, Plover
# (traffic mode 0, 5 sections) against curl --cacert (one stream), aria2c -x5 --ca-certificate and
# wget --ca-certificate, in the same run. The certificate authority and the server certificate
# (for 127.0.0.1 and localhost) are made with openssl in the run's own folder. Reports the median
# seconds and MB/s of each, Plover's ratio to curl and to the fastest peer, and each tool's peak
# memory and CPU seconds (user + system) per GiB.
# SIZE_MIB overrides the size (default 1024); ROUNDS the rounds (default 3), alternating between the
# tools, of which each one's median counts.
set -euo pipefail
source "$(dirname "$0")/../get_common.sh"
size=${SIZE_MIB:-1024}

# A test certificate authority and a server certificate it signed.
pki=$BENCH_DIR/pki
mkdir -p "$pki"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
  -subj "/CN=Bench Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout "$pki/ca.key" -out "$pki/ca.pem" 2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=localhost" \
  -keyout "$pki/server.key" -out "$pki/server.csr" 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' > "$pki/server.ext"
openssl x509 -req -in "$pki/server.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
  -days 2 -extfile "$pki/server.ext" -out "$pki/server.pem" 2>/dev/null
chmod a+rx "$pki" && chmod a+r "$pki"/*
ca=$pki/ca.pem

make_file big.bin "$size"
TLS_CERT=$pki/server.pem TLS_KEY=$pki/server.key start_nginx
url=https://127.0.0.1:$port/big.bin
home=$BENCH_DIR/home
# Traffic mode 0 with its defaults: 3 downloads, 5 sections, no quota.
"$PLOVER" --home "$home" settings set eTrafficMode 0 >/dev/null
tools=(plover curl "aria2c -x5 -s5" wget)
echo "get_tls: $size MiB over TLS on loopback into $BENCH_DIR"
# The protocol and cipher the server chooses, as a check that the run measures what it says.
openssl s_client -connect "127.0.0.1:$port" -CAfile "$ca" </dev/null 2>/dev/null | grep -m1 "Cipher is" || true
for _ in $(seq "${ROUNDS:-3}"); do
  measure plover big.bin "$PLOVER" --home "$home" get --mode 0 --overwrite --folder "$BENCH_DIR/out" \
    --ca-certificate "$ca" "$url"
  measure curl big.bin curl -s --cacert "$ca" -o "$BENCH_DIR/out/big.bin" "$url"
  measure "aria2c -x5 -s5" big.bin aria2c -q -x5 -s5 --ca-certificate="$ca" --allow-overwrite=true \
    --file-allocation=none -d "$BENCH_DIR/out" -o big.bin "$url"
  measure wget big.bin wget -q --ca-certificate="$ca" -O "$BENCH_DIR/out/big.bin" "$url"
done
for p in "${tools[@]}"; do median "$p" big.bin; done
echo "median peak memory and CPU seconds (user + system) per GiB:"
for p in "${tools[@]}"; do
  awk -v k="$(median_of "${peaks[$p]}")" -v c="$(median_of "${cpus[$p]}")" -v m="$size" -v l="$p" \
    'BEGIN { printf "%-26s %8.1f MiB peak %8.2f CPU s/GiB\n", l, k / 1024, c * 1024 / m }'
done
best=${tools[1]}
for p in "${tools[@]:2}"; do
  awk -v a="${speed[$p]}" -v b="${speed[$best]}" 'BEGIN { exit !(a > b) }' && best=$p
done
echo "plover / curl: $(ratio plover curl)   plover / fastest peer ($best): $(ratio plover "$best")"
