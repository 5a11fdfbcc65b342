#!/usr/bin/env bash
# bench/ui_scan: a gallery page of 2000 thumbnails (generated, served by nginx on loopback) scanned
# by `plover scan` and by a scan document of `plover ui` in headless Chromium driven by Selenium,
# each with a cold page cache of its own and the same profile (the first, "Scan Single Page").
# Reports the command line's times (three runs, start-up and shutdown included, the median
# compared) and its peak memory; for the browser the time from pressing Start to the 2000 results
# listed, to every small picture fetched and every tile on screen drawn, and to the last row of
# tiles drawn after a scroll to the end; the frame times of a steady scroll through the whole grid;
# the tab's JavaScript heap and DOM nodes; the server's resident memory before and after.
# Needs Debian's chromium, chromium-driver, python3-selenium and nginx. PLOVER names the
# executable (default build/bench/src/cli/plover); THUMBNAILS overrides the count (default 2000).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
plover=${PLOVER:-$here/../../build/bench/src/cli/plover}
exec /usr/bin/python3 "$here/ui_scan.py" "$plover" "${THUMBNAILS:-2000}"
