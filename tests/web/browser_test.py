#!/usr/bin/python3
"""The main window in a real browser: headless Chromium driven by Selenium (Debian's packages)
against `plover ui` in its own home, with a file served by nginx on loopback. The page must render
its layout, take an address in the "Add downloads" dialog and show the download reach "Finished";
a login request must be answered in the login dialog, a slow download paused and resumed, the
list narrowed by category, a file moved to another folder and its folder shown, and the protocol
log window must show the request line.
Usage: browser_test.py PLOVER_EXECUTABLE [SCREENSHOT.png]"""
import os
import socket
import subprocess
import sys
import tempfile
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions as EC
from selenium.webdriver.support.ui import Select, WebDriverWait

from plover_ui_session import end_session, free_port, headless_chromium, start_plover_ui, wait_for


def start_nginx(folder):
    root = os.path.join(folder, "www")
    os.makedirs(root)
    with open(os.path.join(root, "picture.bin"), "wb") as f:
        f.write(os.urandom(400000))
    os.makedirs(os.path.join(root, "auth"))
    with open(os.path.join(root, "auth", "locked.bin"), "wb") as f:
        f.write(os.urandom(100000))
    with open(os.path.join(root, "large.bin"), "wb") as f:
        f.write(os.urandom(1500000))
    with open(os.path.join(folder, "htpasswd"), "w") as f:
        f.write("user:{PLAIN}secret\n")
    port = free_port()
    conf = os.path.join(folder, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off; master_process off; worker_processes 1; pid {folder}/nginx.pid;
error_log {folder}/error.log warn;
events {{ worker_connections 64; }}
http {{ default_type application/octet-stream; access_log off;
  client_body_temp_path {folder}/body; proxy_temp_path {folder}/proxy; fastcgi_temp_path {folder}/fcgi;
  uwsgi_temp_path {folder}/uwsgi; scgi_temp_path {folder}/scgi;
  server {{ listen 127.0.0.1:{port}; root {root};
    location /auth/ {{ auth_basic "plover"; auth_basic_user_file {folder}/htpasswd; }}
    location /slow/ {{ rewrite ^/slow/(.*)$ /$1 break; limit_rate 60k; }} }} }}
""")
    proc = subprocess.Popen(["nginx", "-p", folder, "-c", conf, "-e", folder + "/error.log"])
    wait_for("nginx", lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 30)
    return proc, f"http://127.0.0.1:{port}"


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-browser-")
    procs = []
    driver = None
    try:
        os.makedirs(os.path.join(work, "nginx"))
        nginx, site = start_nginx(os.path.join(work, "nginx"))
        file_url = site + "/picture.bin"
        procs.append(nginx)
        downloads = os.path.join(work, "downloads")
        os.makedirs(downloads)
        ui, out, _, url = start_plover_ui(plover, work)
        procs.append(ui)
        driver = headless_chromium(work)
        driver.get(url)
        wait = WebDriverWait(driver, 60)
        # The layout: menu bar, main toolbar, status bar, the download list as a document.
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bar-statusbar .content-speed"))
        titles = [b.text for b in driver.find_elements(By.CSS_SELECTOR, ".menubar .menu-title")]
        assert titles[:2] == ["File", "Downloads"], titles
        assert "token=" not in driver.current_url, driver.current_url  # the key left the address bar
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".doc-tab[aria-selected=true]"))
        assert "Downloads" in [t.text for t in driver.find_elements(By.CSS_SELECTOR, ".doc-tab")]

        def add(address):
            driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='download.add']").click()
            dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg[open]"))
            dialog.find_element(By.NAME, "urls").send_keys(address)
            folder = dialog.find_element(By.NAME, "folder")
            if not folder.is_displayed():  # the advanced part, shown once, stays shown for the next time
                dialog.find_element(By.CSS_SELECTOR, "[data-action=advanced]").click()
            folder.send_keys(downloads)
            dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
            wait.until(EC.staleness_of(dialog))  # closed and gone (another dialog may open at once)

        def status(row):
            cells = driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr td.c-status")
            return cells[row].text if len(cells) > row else ""

        add(file_url)
        wait_for("the download to finish", lambda: status(0) == "Finished", 90)
        name = driver.find_element(By.CSS_SELECTOR, ".grid tbody tr td.c-name").text
        assert name == "picture.bin", name
        assert os.path.getsize(os.path.join(downloads, "picture.bin")) == 400000
        if shot:
            driver.save_screenshot(shot)

        # A login request of the server is answered in the login dialog.
        add(site + "/auth/locked.bin")
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-login[open]"))
        if shot:
            driver.save_screenshot(shot.replace(".png", "-login.png"))
        dialog.find_element(By.NAME, "user").send_keys("user")
        dialog.find_element(By.NAME, "password").send_keys("secret")
        dialog.find_element(By.NAME, "store").click()
        dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
        wait_for("the login download to finish", lambda: status(1) == "Finished", 90)
        assert os.path.getsize(os.path.join(downloads, "locked.bin")) == 100000

        # A slow download is paused and resumed from the list.
        add(site + "/slow/large.bin")
        wait_for("the slow download to run", lambda: status(2) == "Downloading", 60)
        if shot:
            time.sleep(2)  # only for the picture: some of the file under way
            driver.save_screenshot(shot.replace(".png", "-running.png"))
        driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr")[2].click()
        driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='download.pause']").click()
        wait_for("the download to pause", lambda: status(2) == "Paused", 60)
        driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='download.resume']").click()
        wait_for("the resumed download to finish", lambda: status(2) == "Finished", 120)
        assert os.path.getsize(os.path.join(downloads, "large.bin")) == 1500000

        # The category filter narrows the list: a ".bin" file is in no category.
        headers = [h.text for h in driver.find_elements(By.CSS_SELECTOR, ".grid thead th")]
        assert "Sections" in headers, headers
        category = driver.find_element(By.CSS_SELECTOR, "select[data-filter='category']")
        names = [o.text for o in category.find_elements(By.TAG_NAME, "option")]
        assert "Pictures" in names and "No category" in names, names
        rows = lambda: len(driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr"))
        Select(category).select_by_visible_text("Pictures")
        wait_for("the category filter to hide the files", lambda: rows() == 0, 30)
        Select(category).select_by_visible_text("No category")
        wait_for("the category filter to show the files", lambda: rows() == 3, 30)
        Select(category).select_by_visible_text("All categories")
        assert len(driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr .sections.done")) == 3

        # The first file moves to another folder; "Open the folder" then shows the new one.
        moved = os.path.join(work, "moved")
        os.makedirs(moved)

        def command(key):
            driver.find_element(By.XPATH, "//button[contains(@class,'menu-title') and text()='Downloads']").click()
            driver.find_element(By.CSS_SELECTOR, f".menu [data-command='{key}']").click()
        driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr")[0].click()
        command("download.moveFile")
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-move[open]"))
        field = dialog.find_element(By.NAME, "folder")
        field.clear()
        field.send_keys(moved)
        dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
        wait.until(EC.staleness_of(dialog))
        folder_cell = lambda: driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr td.c-folder")[0].text
        wait_for("the moved file", lambda: folder_cell() == moved and status(0) == "Finished", 60)
        assert os.path.getsize(os.path.join(moved, "picture.bin")) == 400000
        assert not os.path.exists(os.path.join(downloads, "picture.bin"))
        command("download.openFolder")
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-folder[open]"))
        assert dialog.find_element(By.NAME, "path").get_attribute("value") == moved
        if shot:
            driver.save_screenshot(shot.replace(".png", "-folder.png"))
        dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
        wait.until(EC.staleness_of(dialog))

        # The keys move the selection; Enter shows the folder of the selected download.
        grid = driver.find_element(By.CSS_SELECTOR, ".download-list .grid-scroll")
        selected_name = lambda: [r.find_element(By.CSS_SELECTOR, "td.c-name").text for r in
                                 driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr[aria-selected=true]")]
        grid.send_keys(Keys.END)
        wait_for("End to select the last row", lambda: selected_name() == ["large.bin"], 30)
        grid.send_keys(Keys.HOME)
        wait_for("Home to select the first row", lambda: selected_name() == ["picture.bin"], 30)
        grid.send_keys(Keys.ARROW_DOWN)
        wait_for("Down to select the next row", lambda: selected_name() == ["locked.bin"], 30)
        grid.send_keys(Keys.SHIFT, Keys.PAGE_DOWN)
        wait_for("Shift+PageDown to extend the selection", lambda: len(selected_name()) == 2, 30)
        grid.send_keys(Keys.HOME, Keys.ENTER)
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-folder[open]"))
        assert dialog.find_element(By.NAME, "path").get_attribute("value") == moved
        dialog.find_element(By.CSS_SELECTOR, "button.primary").click()
        wait.until(EC.staleness_of(dialog))

        # The protocol log window shows the request the download sent.
        base = url.split("/?")[0]
        driver.get(base + "/window/log")
        wait.until(lambda d: any("GET /picture.bin" in e.text
                                 for e in d.find_elements(By.CSS_SELECTOR, ".log-line.k-request")))
        if shot:
            driver.save_screenshot(shot.replace(".png", "-log.png"))
            driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                   {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
            driver.get(base + "/")
            wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".grid tbody tr"))
            driver.save_screenshot(shot.replace(".png", "-dark.png"))
        driver.get(base + "/")
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".menubar .menu-title"))

        # A long list keeps only the rows in sight in the page, and End reaches the last one.
        for start in (0, 1000):
            answer = driver.execute_async_script("""
                const done = arguments[arguments.length - 1];
                const urls = Array.from({length: 1000}, (_, i) => `http://127.0.0.1:1/many/f${arguments[0] + i}.dat`);
                fetch('/api/downloads', {method: 'POST', headers: {'Content-Type': 'application/json'},
                  body: JSON.stringify({urls, paused: true})}).then((r) => done(r.status));""", start)
            assert answer == 200, answer
        counter = driver.find_element(By.CSS_SELECTOR, ".download-list .tb-content")
        wait_for("the long list", lambda: counter.text == "2003 of 2003", 120)
        assert len(driver.find_elements(By.CSS_SELECTOR, ".grid tbody tr")) < 100
        grid = driver.find_element(By.CSS_SELECTOR, ".download-list .grid-scroll")
        grid.click()
        grid.send_keys(Keys.END)
        wait_for("the last of the long list", lambda: selected_name() == ["f1999.dat"], 30)
        if shot:
            driver.save_screenshot(shot.replace(".png", "-long.png"))

        # Exit from the menu: the program ends in order.
        driver.find_element(By.XPATH, "//button[contains(@class,'menu-title') and text()='File']").click()
        driver.find_element(By.CSS_SELECTOR, ".menu [data-command='app.exit']").click()
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg[open] button.primary")).click()
        assert ui.wait(60) == 0
        out.seek(0)
        assert "Plover has stopped" in out.read()
        print("browser test passed")
    finally:
        end_session(driver, procs, work)


if __name__ == "__main__":
    main()
