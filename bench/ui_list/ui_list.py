#!/usr/bin/python3
"""The driver of bench/ui_list (see run.sh): plover ui in a home of its own, 10000 paused
downloads, 200 changes a second, measured in headless Chromium.
Usage: ui_list.py PLOVER_EXECUTABLE SECONDS"""
import json
import os
import shutil
import statistics
import sys
import tempfile
import threading
from concurrent.futures import ThreadPoolExecutor
import time
import http.client

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "web"))
from plover_ui_session import headless_chromium, start_plover_ui, stop_process  # noqa: E402

DOWNLOADS = 10000
CHANGING = 200


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")  # utime + stime


def main():
    plover, seconds = sys.argv[1], float(sys.argv[2])
    work = tempfile.mkdtemp(prefix="plover-bench-ui-")
    ui = driver = None
    try:
        ui, _, port, url = start_plover_ui(plover, work)
        token = url.split("?token=")[1]

        local = threading.local()  # one kept-alive connection per thread

        def post(path, body=None):
            if not hasattr(local, "conn"):
                local.conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
            data = json.dumps(body).encode() if body is not None else b""
            local.conn.request("POST", path, body=data,
                               headers={"Authorization": "Bearer " + token, "Content-Type": "application/json"})
            r = local.conn.getresponse()
            answer = json.loads(r.read())
            if r.status != 200:
                raise RuntimeError(f"{path}: {r.status} {answer}")
            return answer

        post("/api/traffic", {"mode": 3})  # the queue stopped: a resumed download waits
        ids = []
        for start in range(0, DOWNLOADS, 1000):
            urls = [f"http://127.0.0.1:1/bench/file{start + i}.dat" for i in range(1000)]
            ids += post("/api/downloads", {"urls": urls, "paused": True})["added"]

        # What the page waits for first: the whole list as one snapshot.
        conn = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
        began = time.monotonic()
        conn.request("GET", "/api/snapshot", headers={"Authorization": "Bearer " + token})
        snapshot = conn.getresponse().read()
        snapshot_ms = 1000 * (time.monotonic() - began)
        conn.close()

        driver = headless_chromium(work)
        driver.set_script_timeout(seconds + 120)
        driver.get(url)
        first_render = driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const check = () => {
              const c = document.querySelector('.download-list .tb-content');
              if (c && c.textContent === arguments[0] + ' of ' + arguments[0] &&
                  document.querySelector('.grid tbody tr')) done(performance.now());
              else requestAnimationFrame(check);
            };
            check();""", DOWNLOADS)

        # 200 downloads change every second: paused and resumed in turn, a different 200 each time.
        stop = threading.Event()
        changes = [0]

        def changer():
            tick = 0
            while not stop.is_set():
                began = time.monotonic()
                batch = ids[(tick * CHANGING) % DOWNLOADS:][:CHANGING]
                action = "resume" if tick % 2 == 0 else "pause"
                # Several connections at once: one command costs a loopback round trip with its
                # delayed acknowledgement, which alone would allow only some 40 a second.
                list(pool.map(lambda i: post(f"/api/downloads/{i}/{action}"), batch))
                changes[0] += len(batch)
                tick += 1
                stop.wait(max(0.0, 1.0 - (time.monotonic() - began)))
        pool = ThreadPoolExecutor(16)
        thread = threading.Thread(target=changer)
        thread.start()
        time.sleep(2)  # the changes under way
        cpu0, t0 = cpu_seconds(ui.pid), time.monotonic()
        frames = driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const deltas = [];
            let last = performance.now();
            const until = last + arguments[0] * 1000;
            const step = (now) => {
              deltas.push(now - last);
              last = now;
              if (now < until) requestAnimationFrame(step); else done(deltas);
            };
            requestAnimationFrame(step);""", seconds)
        cpu1, t1 = cpu_seconds(ui.pid), time.monotonic()
        stop.set()
        thread.join()
        pool.shutdown()
        frames = sorted(frames[1:])
        p95 = frames[int(len(frames) * 0.95)]
        print(f"downloads in the list:       {DOWNLOADS}")
        print(f"changes made:                {changes[0]} ({changes[0] / (t1 - t0 + 2):.0f} per second)")
        print(f"snapshot from the server:    {snapshot_ms:.0f} ms, {len(snapshot) // 1024} KiB")
        print(f"time to first render:        {first_render:.0f} ms")
        print(f"frames while updating:       {len(frames)} in {t1 - t0:.1f} s")
        print(f"frame time mean/p95/max:     {statistics.mean(frames):.1f} / {p95:.1f} / {frames[-1]:.1f} ms")
        print(f"frames over 50 ms:           {sum(1 for f in frames if f > 50)}")
        print(f"server CPU:                  {100 * (cpu1 - cpu0) / (t1 - t0):.1f}% of a core")
    finally:
        if driver:
            driver.quit()
        stop_process(ui, 60)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
