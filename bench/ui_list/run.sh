#!/usr/bin/env bash
# bench/ui_list: `plover ui` with 10000 downloads in its list (added paused through the API, the
# queue stopped so none starts), 200 of them changing every second (paused and resumed in turn),
# shown in headless Chromium driven by Selenium. Reports the time to the first render of the
# list (from the start of the page's navigation to the frame showing "10000 of 10000"), the frame
# times while the list updates (requestAnimationFrame deltas over SECONDS, default 20), and the
# server's CPU per second over the same time (from /proc/PID/stat). The server's figure includes
# serving the 200 commands a second that make the changes.
# Needs Debian's chromium, chromium-driver and python3-selenium. PLOVER names the executable
# (default build/bench/src/cli/plover).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
plover=${PLOVER:-$here/../../build/bench/src/cli/plover}
exec /usr/bin/python3 "$here/ui_list.py" "$plover" "${SECONDS_MEASURED:-20}"
