#!/usr/bin/python3
"""The baskets pane, the basket window and the image viewer in a real browser: headless Chromium
driven by Selenium against `plover ui` in its own home. Three pictures come into a basket by real
downloads from nginx (`plover basket drop`), so the download history knows their addresses. The
baskets pane must show the basket with its files; the basket window must show them as thumbnails;
a file renamed there must keep its address in the history under its new name (a later scan shows
it on disk), a file deleted there must be forgotten; a file moved onto one of the same name must
ask "Target File Exists" and overwrite it; the viewer must show a picture's true size.
Usage: basket_browser_test.py PLOVER_EXECUTABLE [SCREENSHOT.png]"""
import os
import socket
import struct
import subprocess
import sys
import tempfile
import zlib

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import WebDriverWait

from plover_ui_session import end_session, free_port, headless_chromium, start_plover_ui, wait_for

PICTURES = {"p1.png": (640, 480), "p2.png": (300, 500), "p3.png": (1200, 900)}


def png(path, width, height, seed):
    """An RGB PNG of bands of colour, written with zlib alone."""
    row = bytes((x * 3 + seed * 70) % 256 for x in range(width * 3))
    raw = b"".join(b"\x00" + row[y % 7:] + row[:y % 7] for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def start_nginx(folder):
    root = os.path.join(folder, "www")
    os.makedirs(root)
    for i, (name, (w, h)) in enumerate(PICTURES.items()):
        png(os.path.join(root, name), w, h, i)
    port = free_port()
    conf = os.path.join(folder, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off; master_process off; worker_processes 1; pid {folder}/nginx.pid;
error_log {folder}/error.log warn;
events {{ worker_connections 64; }}
http {{ default_type application/octet-stream; access_log off;
  client_body_temp_path {folder}/body; proxy_temp_path {folder}/proxy; fastcgi_temp_path {folder}/fcgi;
  uwsgi_temp_path {folder}/uwsgi; scgi_temp_path {folder}/scgi;
  server {{ listen 127.0.0.1:{port}; root {root}; }} }}
""")
    proc = subprocess.Popen(["nginx", "-p", folder, "-c", conf, "-e", folder + "/error.log"])
    wait_for("nginx", lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 30)
    return proc, f"http://127.0.0.1:{port}"


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-baskets-")
    procs = []
    driver = None
    try:
        os.makedirs(os.path.join(work, "nginx"))
        nginx, site = start_nginx(os.path.join(work, "nginx"))
        procs.append(nginx)
        gallery = os.path.join(work, "Gallery")
        os.makedirs(gallery)
        home = os.path.join(work, "home")
        urls = {name: f"{site}/{name}" for name in PICTURES}
        for args in (["basket", "add", "Gallery", gallery], ["basket", "drop", "Gallery", *urls.values()]):
            subprocess.run([plover, "--home", home, *args], check=True, stdout=subprocess.DEVNULL)
        assert sorted(os.listdir(gallery)) == sorted(PICTURES), os.listdir(gallery)
        ui, _, _, url = start_plover_ui(plover, work)
        procs.append(ui)
        driver = headless_chromium(work)
        driver.get(url)
        wait = WebDriverWait(driver, 60)

        def history(address):
            return driver.execute_async_script("""
                const done = arguments[arguments.length - 1];
                fetch('/api/history/address?address=' + encodeURIComponent(arguments[0])).then((r) => r.json()).then(done);""",
                address)

        # The baskets pane: the basket, its folder and its files.
        row = wait.until(lambda d: d.find_element(By.XPATH, "//div[@class='basket-name' and text()='Gallery']/ancestor::tr"))
        wait_for("the count of files", lambda: row.find_element(By.CSS_SELECTOR, ".c-count").text == "3 files", 30)
        assert row.find_element(By.CSS_SELECTOR, ".basket-folder").text == gallery
        if shot:
            driver.save_screenshot(shot)

        # A double click opens the basket window with the pictures as thumbnails.
        main_window = driver.current_window_handle
        ActionChains(driver).double_click(row).perform()
        wait.until(lambda d: len(d.window_handles) == 2)
        driver.switch_to.window([h for h in driver.window_handles if h != main_window][0])
        wait_for("every thumbnail", lambda: len(driver.find_elements(By.CSS_SELECTOR, ".tile.loaded")) == 3, 60)
        names = [t.text for t in driver.find_elements(By.CSS_SELECTOR, ".tile .tile-name")]
        assert names == ["p1.png", "p2.png", "p3.png"], names
        # Each is the picture fitted by the server into the stored thumbnail box (200 x 200).
        sizes = driver.execute_script(
            "return [...document.querySelectorAll('.tile img')].map((i) => [i.naturalWidth, i.naturalHeight]);")
        assert sizes == [[200, 150], [120, 200], [200, 150]], sizes

        def tile(name):
            return driver.find_element(By.XPATH, f"//div[contains(@class,'tile')][.//div[text()='{name}']]")

        # Renamed in the basket window: the history keeps the address with the new file.
        tile("p1.png").click()
        driver.find_element(By.CSS_SELECTOR, ".thumbs").send_keys(Keys.F2)
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-name[open]"))
        field = dialog.find_element(By.NAME, "name")
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys("renamed.png")
        dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
        wait.until(EC.staleness_of(dialog))
        wait_for("the renamed tile", lambda: driver.find_elements(By.XPATH, "//div[@class='tile-name' and text()='renamed.png']"))
        assert os.path.exists(os.path.join(gallery, "renamed.png"))
        known = history(urls["p1.png"])
        assert known["state"] == "inBasket" and known["path"] == os.path.join(gallery, "renamed.png"), known

        # Deleted in the basket window: gone from the disk and from the history.
        tile("p2.png").click()
        driver.find_element(By.CSS_SELECTOR, ".thumbs").send_keys(Keys.DELETE)
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg[open]"))
        dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
        wait_for("the deleted tile to go", lambda: not driver.find_elements(By.XPATH, "//div[@class='tile-name' and text()='p2.png']"))
        assert not os.path.exists(os.path.join(gallery, "p2.png"))
        assert history(urls["p2.png"])["state"] == "none"

        # Moved onto a file of the same name: the job asks, and "Overwrite" replaces it.
        os.makedirs(os.path.join(gallery, "Keep"))
        with open(os.path.join(gallery, "Keep", "renamed.png"), "wb") as f:
            f.write(b"an older file")
        driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='view.refresh']").click()
        wait_for("the new folder in the tree", lambda: driver.find_elements(By.XPATH, "//table[contains(@class,'folder-tree')]//span[text()='Keep']"))
        tile("renamed.png").click()
        driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='files.move']").click()
        chooser = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-choose[open]"))
        wait_for("the folders to choose from", lambda: chooser.find_elements(By.XPATH, ".//span[text()='Keep']"))
        chooser.find_element(By.XPATH, ".//span[text()='Keep']/ancestor::tr").click()
        chooser.find_element(By.CSS_SELECTOR, "button.primary").click()
        question = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-exists[open]"))
        assert question.find_element(By.CSS_SELECTOR, ".dlg-title").text == "Target File Exists"
        answers = [b.text for b in question.find_elements(By.CSS_SELECTOR, ".dlg-buttons button")]
        assert answers == ["Overwrite", "Overwrite All", "Skip", "Skip All"], answers
        if shot:
            driver.save_screenshot(shot.replace(".png", "-exists.png"))
        question.find_element(By.XPATH, ".//button[text()='Overwrite']").click()
        moved = os.path.join(gallery, "Keep", "renamed.png")
        wait_for("the moved file", lambda: not os.path.exists(os.path.join(gallery, "renamed.png")), 30)
        assert os.path.getsize(moved) > 1000
        wait_for("the history to follow the move", lambda: history(urls["p1.png"])["path"] == moved, 30)
        wait_for("the tile to leave", lambda: not driver.find_elements(By.XPATH, "//div[@class='tile-name' and text()='renamed.png']"))
        if shot:
            tile("p3.png").click()
            wait_for("the preview", lambda: "1200 × 900" in driver.find_element(By.CSS_SELECTOR, ".preview-info").text, 30)
            driver.save_screenshot(shot.replace(".png", "-basket.png"))

        # The viewer shows the picture fitted, and its true size in the status bar.
        basket_window = driver.current_window_handle
        ActionChains(driver).double_click(tile("p3.png")).perform()
        wait.until(lambda d: len(d.window_handles) == 3)
        driver.switch_to.window([h for h in driver.window_handles if h not in (main_window, basket_window)][0])
        # The new window may still be loading its page: no status bar yet is no description yet.
        info = lambda: " ".join(e.text for e in driver.find_elements(By.CSS_SELECTOR, "[data-content='imageInfo']"))
        wait_for("the picture's description", lambda: "PNG" in info(), 60)
        assert "1200 × 900" in info() and "24 bits" in info(), info()
        shown = driver.execute_script("const i = document.querySelector('.viewer-picture'); return [i.naturalWidth, i.width];")
        assert shown[0] < 1200, shown  # fitted into the window by the server
        if shot:
            driver.save_screenshot(shot.replace(".png", "-viewer.png"))
        driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='viewer.actual']").click()
        zoom = lambda: driver.find_element(By.CSS_SELECTOR, "[data-content='zoom']").text
        wait_for("100%", lambda: zoom() == "100%" and driver.execute_script(
            "return document.querySelector('.viewer-picture').naturalWidth;") == 1200, 60)
        print("basket browser test passed")
    finally:
        end_session(driver, procs, work)


if __name__ == "__main__":
    main()
