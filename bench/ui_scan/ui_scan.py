#!/usr/bin/python3
"""The driver of bench/ui_scan (see run.sh): one gallery page of N thumbnails on nginx, scanned by
`plover scan` and by a scan document of `plover ui` in headless Chromium.
Usage: ui_scan.py PLOVER_EXECUTABLE N"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "web"))
from plover_ui_session import headless_chromium, start_plover_ui, stop_process, wait_for  # noqa: E402
from scan_gallery import make_gallery, start_nginx  # noqa: E402

# The tiles in sight have their picture, and none waits for its small picture.
VISIBLE_DRAWN = """
  const doc = document.querySelector('.scan-doc:not([hidden])');
  const tiles = doc ? [...doc.querySelectorAll('.tiles-scroll .tile:not([hidden])')] : [];
  return tiles.length > 0 && tiles.every((t) => t.dataset.loaded === 'true');"""


def rss_kib(pid, field="VmRSS"):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def main():
    plover, count = sys.argv[1], int(sys.argv[2])
    work = tempfile.mkdtemp(prefix="plover-bench-ui-scan-")
    nginx = ui = driver = None
    try:
        www = os.path.join(work, "www")
        make_gallery(www, 1, count, picture_size=16)
        os.makedirs(os.path.join(work, "nginx"))
        nginx, site = start_nginx(os.path.join(work, "nginx"), www)
        page = site + "/index.html"

        # The command line, three times, each in a new home installed as the windows' home is:
        # one process each, start-up and shutdown included.
        cli_runs = []
        for run in range(3):
            home = os.path.join(work, f"cli-home{run}")
            subprocess.run([plover, "--home", home, "install", "--no-baskets"], check=True, stdout=subprocess.DEVNULL)
            began = time.monotonic()
            cli = subprocess.Popen([plover, "--home", home, "scan", "--json", page],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            out = cli.stdout.read()
            _, status, usage = os.wait4(cli.pid, 0)
            summary = json.loads(out.decode().splitlines()[-1])
            assert status == 0 and summary.get("thumbnailsFetched") == count, summary
            cli_runs.append((time.monotonic() - began, usage.ru_maxrss))
        cli_s = sorted(t for t, _ in cli_runs)[1]

        ui, _, port, url = start_plover_ui(plover, work)
        base = f"http://127.0.0.1:{port}"
        token = url.split("?token=")[1]
        server_idle = rss_kib(ui.pid)
        driver = headless_chromium(work, "1400,1000")
        driver.set_script_timeout(600)
        driver.get(url)
        wait_for("the main window", lambda: driver.execute_script(
            "return !!document.querySelector('[data-combo=address]') && document.querySelector('#app').dataset.window === 'main'"), 60)

        # The server's side: when every result has its small picture (polled beside the page).
        fetched = {}

        def poll_server():
            req = urllib.request.Request(base + "/api/scan", headers={"Authorization": "Bearer " + token})
            while "at" not in fetched and time.monotonic() - t0 < 600:
                try:
                    docs = json.loads(urllib.request.urlopen(req, timeout=60).read())["docs"]
                    if docs and docs[0]["thumbnails"] == count and docs[0]["thumbsFetched"] == count:
                        fetched["at"] = time.monotonic()
                except OSError:
                    pass
                time.sleep(0.05)

        # Start as a user does: the address in the toolbar, then Start.
        driver.execute_script("""
            const box = document.querySelector('[data-combo=address]');
            box.value = arguments[0];
            document.querySelector('.bar-toolbar [data-command="scan.start"]').click();""", page)
        t0 = time.monotonic()
        poller = threading.Thread(target=poll_server)
        poller.start()
        listed = driver.execute_async_script("""
            const [count, done] = [arguments[0], arguments[arguments.length - 1]];
            const t0 = performance.now();
            const check = () => {
              const doc = document.querySelector('.scan-doc:not([hidden])');
              const n = doc?.querySelector('.seg[data-kind=thumbnail] .seg-count')?.textContent;
              if (n === String(count)) done(performance.now() - t0); else requestAnimationFrame(check);
            };
            check();""", count)
        poller.join()
        assert "at" in fetched, "the small pictures were not all fetched"
        wait_for("the tiles in sight", lambda: driver.execute_script(VISIBLE_DRAWN), 120)
        every_s = time.monotonic() - t0

        # A steady scroll through the whole grid, then the last rows drawn.
        frames = driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const s = document.querySelector('.scan-doc:not([hidden]) .tiles-scroll');
            const end = s.scrollHeight - s.clientHeight, deltas = [];
            const t0 = performance.now();
            let last = t0;
            const step = (now) => {
              deltas.push(now - last);
              last = now;
              s.scrollTop = Math.min(end, end * (now - t0) / 4000);
              if (s.scrollTop < end) requestAnimationFrame(step); else done(deltas);
            };
            requestAnimationFrame(step);""")
        began = time.monotonic()
        wait_for("the last tiles", lambda: driver.execute_script(VISIBLE_DRAWN), 120)
        last_rows_ms = 1000 * (time.monotonic() - began)
        driver.execute_cdp_cmd("Performance.enable", {})
        metrics = {m["name"]: m["value"] for m in driver.execute_cdp_cmd("Performance.getMetrics", {})["metrics"]}
        server_after = rss_kib(ui.pid)
        server_peak = rss_kib(ui.pid, "VmHWM")

        frames = sorted(frames[1:])
        p95 = frames[int(len(frames) * 0.95)]
        print(f"thumbnails on the page:        {count}")
        print(f"plover scan (3 runs):          {' / '.join(f'{t:.2f}' for t, _ in cli_runs)} s, median {cli_s:.2f} s, "
              f"{max(m for _, m in cli_runs) / 1024:.1f} MiB peak")
        print(f"browser, results listed:       {listed / 1000:.2f} s")
        print(f"browser, every thumbnail:      {every_s:.2f} s (all fetched {fetched['at'] - t0:.2f} s, "
              f"tiles in sight drawn), {every_s / cli_s:.2f}x the command line's median")
        print(f"scroll to the end:             {len(frames)} frames, mean/p95/max {sum(frames) / len(frames):.1f} / "
              f"{p95:.1f} / {frames[-1]:.1f} ms, over 50 ms: {sum(1 for f in frames if f > 50)}")
        print(f"last rows drawn after scroll:  {last_rows_ms:.0f} ms")
        print(f"tab:                           JS heap {metrics['JSHeapUsedSize'] / 2**20:.1f} MiB used of "
              f"{metrics['JSHeapTotalSize'] / 2**20:.1f}, {int(metrics['Nodes'])} DOM nodes")
        print(f"server resident memory:        {server_idle / 1024:.1f} MiB idle, {server_after / 1024:.1f} MiB after, "
              f"{server_peak / 1024:.1f} MiB peak")
    finally:
        if driver:
            driver.quit()
        stop_process(ui, 60)
        stop_process(nginx)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
