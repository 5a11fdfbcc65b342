#!/usr/bin/env bash
# Thumbnails of 200 JPEG photographs (2000x1500, quality 85) and 50 PNG pictures (1200x900),
# fitted into 200x200 and written as PNG, by Plover (plover thumb), libvips (vipsthumbnail) and
# ImageMagick (mogrify -thumbnail) on the same files in the same run. Prints pictures per second
# (wall clock, and per CPU second, which a busy machine disturbs less) and peak memory (maximum
# resident set size from /usr/bin/time -v) for each.
# Usage: bench/thumbs/run.sh   (needs: scripts/deps.sh bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="${PLOVER_BUILD_DIR:-$root/build/bench}"
PLOVER_BUILD_DIR="$dir" "$root/scripts/build.sh" bench plover thumbs_gen >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/plover" "$work/vips" "$work/magick"
"$dir/bench/thumbs/thumbs_gen" "$work/in" 200 50
files=("$work"/in/*)
count=${#files[@]}
echo "pictures: $count ($(du -sh "$work/in" | cut -f1)), box 200x200, PNG output"

measure() {  # NAME COMMAND...: runs once, prints its rate and peak memory
    local name=$1
    shift
    /usr/bin/time -v -o "$work/time" "$@" >/dev/null 2>"$work/err" || { echo "$name failed:"; tail -5 "$work/err"; return; }
    local secs kib cpu
    secs=$(awk -F': ' '/Elapsed \(wall clock\)/{n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; print s}' "$work/time")
    kib=$(awk -F': ' '/Maximum resident set size/{print $2}' "$work/time")
    cpu=$(awk -F': ' '/User time|System time/{s+=$2} END{print s}' "$work/time")
    awk -v n="$name" -v c="$count" -v s="$secs" -v k="$kib" -v u="$cpu" \
        'BEGIN{printf "%-30s %6.2f s %6.1f pictures/s | CPU %6.2f s %6.1f pictures/CPU-s | peak %5.1f MiB\n",
               n, s, c/s, u, c/u, k/1024}'
}

measure "plover thumb" "$dir/src/cli/plover" thumb "${files[@]}" --size 200x200 --out "$work/plover"
measure "vipsthumbnail --size 200x200" vipsthumbnail --size 200x200 -o "$work/vips/%s.png" "${files[@]}"
measure "mogrify -thumbnail 200x200" mogrify -path "$work/magick" -format png -thumbnail 200x200 "${files[@]}"
for d in plover vips magick; do echo "$d: $(ls "$work/$d" | wc -l) thumbnails"; done
