"""What the browser test and bench/ui_list share: a free loopback port, waiting for a condition,
a `plover ui` in a home of its own with the address it prints, headless Chromium as this machine
runs it, and an orderly stop of a child process."""
import os
import shutil
import signal
import socket
import subprocess
import time

from selenium import webdriver
from selenium.common.exceptions import NoSuchElementException, StaleElementReferenceException
from selenium.webdriver.chrome.service import Service


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(what, condition, timeout=60):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        try:
            value = condition()
        except (NoSuchElementException, StaleElementReferenceException):
            value = None  # a window still loading, or a row redrawn under us
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def start_plover_ui(plover, work, installed=True):
    """Starts `plover ui` with its home under work; returns (process, output file, port, address).
    installed: the home is installed first (without baskets), so the page opens on the main
    window instead of the first-run wizard."""
    out = open(os.path.join(work, "plover.out"), "w+")
    if installed and not os.path.exists(os.path.join(work, "home", "settings.txt")):
        subprocess.run([plover, "--home", os.path.join(work, "home"), "install", "--no-baskets"],
                       stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, check=True)
    port = free_port()
    ui = subprocess.Popen([plover, "--home", os.path.join(work, "home"), "ui", "--listen", f"127.0.0.1:{port}"],
                          stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)

    def address():
        out.seek(0)
        for line in out.read().splitlines():
            if line.startswith("http://") and "?token=" in line:
                return line.strip()
        return None
    return ui, out, port, wait_for("the printed address", address)


def headless_chromium(work, size="1280,800"):
    """Debian's Chromium, headless, with a profile of its own under work and nothing that reaches out."""
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                "--disable-component-update", "--disable-sync", "--no-first-run", f"--window-size={size}",
                f"--user-data-dir={os.path.join(work, 'chromium')}"):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def end_session(driver, processes, work):
    """A test's end, passed or not: the browser closed, the processes stopped, its folder gone."""
    if driver:
        driver.quit()
    for p in processes:
        stop_process(p)
    shutil.rmtree(work, ignore_errors=True)


def stop_process(proc, timeout=30):
    if proc and proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
