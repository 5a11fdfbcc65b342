#!/usr/bin/env bash
# Installs the Debian packages a command needs when any is missing; safe to run again.
# Usage: scripts/deps.sh build|test|bench
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config clang libclang-rt-14-dev libgtest-dev libgmock-dev
  libbenchmark-dev libcli11-dev nlohmann-json3-dev libcpp-httplib-dev libjpeg62-turbo-dev libpng-dev
  libtiff-dev libwebp-dev libavif-dev zlib1g-dev libssl-dev ca-certificates
  publicsuffix)  # the public suffix list the cookie rules read at run time
# Real servers the integration tests start on loopback.
test_pkgs=(nginx-light tinyproxy vsftpd squid ftp-proxy python3 curl procps openssl
  chromium chromium-driver python3-selenium  # the browser tests of the web front end
  imagemagick)  # WebP and AVIF pictures the scan tests make
# Peer tools the benchmarks compare against.
bench_pkgs=(wget aria2 axel libxml2-utils libvips-tools imagemagick time)

want=("${build_pkgs[@]}")
case "${1:-build}" in
  build) ;;
  test) want+=("${test_pkgs[@]}") ;;
  bench) want+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  *) echo "usage: $0 build|test|bench" >&2; exit 2 ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# Packaged servers must not start system-wide services: the tests start their own on free ports.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee /usr/sbin/policy-rc.d >/dev/null
  $sudo chmod +x /usr/sbin/policy-rc.d
  trap '$sudo rm -f /usr/sbin/policy-rc.d' EXIT
fi
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
