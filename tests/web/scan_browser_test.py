#!/usr/bin/python3
"""Scan documents in a real browser: headless Chromium driven by Selenium (Debian's packages)
against `plover ui` in its own home and a gallery this test writes and serves with nginx (three
pages of thumbnails linking to their pictures). Before the window opens, one picture is already in
the download history (dropped into a basket by `plover basket drop`) and one is queued (sent to a
basket through the API, served so slowly that it stays in the queue).

The window is opened by the bookmarkable address /scan?url=...&profile=...; every thumbnail must
load with its mark ("On disk", "Queued", none); three chosen with click and Shift+click and dragged
onto a basket of the baskets pane must arrive byte-identical in its folder, alone, and turn "On disk"; pointing at another
fetches it as a preview into the preview folder and shows it at its true size; a search from the
toolbar opens its result page as a scan document, and a page link found there another one.
Usage: scan_browser_test.py PLOVER_EXECUTABLE [SCREENSHOT.png]"""
import json
import os
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

from plover_ui_session import end_session, headless_chromium, start_plover_ui, wait_for
from scan_gallery import make_gallery, start_nginx

PAGES, PER_PAGE = 3, 6
QUEUED = "p0018.png"  # served slowly: its basket download stays in the queue
ON_DISK = "p0002.png"


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-scan-browser-")
    procs = []
    driver = None
    try:
        www = os.path.join(work, "www")
        names = make_gallery(www, PAGES, PER_PAGE, extra=lambda n, name: f"slow/pics/{name}" if name == QUEUED else None)
        os.makedirs(os.path.join(work, "nginx"))
        nginx, site = start_nginx(os.path.join(work, "nginx"), www, slow_rate="50")
        procs.append(nginx)
        home = os.path.join(work, "home")
        chosen_dir, seed_dir = os.path.join(work, "chosen"), os.path.join(work, "seed")
        os.makedirs(chosen_dir)
        os.makedirs(seed_dir)

        def cli(*args):
            subprocess.run([plover, "--home", home, *args], check=True, stdout=subprocess.DEVNULL, timeout=120)
        cli("basket", "add", "Seed", seed_dir)
        cli("basket", "add", "Chosen", chosen_dir)
        cli("profiles", "add", "Whole Gallery", "--recurse", "yes", "--one-from-each", "no", "--depth", "2")
        cli("search", "add", "Gallery search", site + "/index.html?q=_TEXT_TO_SEARCH_")
        cli("basket", "drop", "Seed", f"{site}/pics/{ON_DISK}")  # now in the history, on disk
        ui, out, port, url = start_plover_ui(plover, work)
        procs.append(ui)
        base = f"http://127.0.0.1:{port}"
        token = url.split("token=")[1]

        def api(method, path, body=None):
            req = urllib.request.Request(base + path, method=method, data=None if body is None else json.dumps(body).encode(),
                                         headers={"Authorization": "Bearer " + token, "Content-Type": "application/json"})
            with urllib.request.urlopen(req, timeout=60) as r:
                return json.loads(r.read())

        # The queued picture: its page scanned and the picture sent to the seed basket.
        seed = api("POST", "/api/scan", {"url": f"{site}/page{PAGES}.html", "profile": 0})["id"]
        wait_for("the seed scan", lambda: api("GET", "/api/scan")["docs"][0]["state"] == "done", 60)
        items = api("GET", f"/api/scan/{seed}/items")["items"]
        slow = [i for i, it in enumerate(items) if it["url"].endswith("/slow/pics/" + QUEUED)]
        assert len(slow) == 1, items
        baskets = {b["name"]: b["id"] for b in api("GET", "/api/scan/choices")["baskets"]}
        api("POST", f"/api/scan/{seed}/send", {"basket": baskets["Seed"], "items": slow})
        wait_for("the queued mark", lambda: api("GET", f"/api/scan/{seed}/items")["items"][slow[0]]["mark"] == "queued", 60)
        api("POST", f"/api/scan/{seed}/close")

        # The bookmarkable address opens the main window with the scan started.
        driver = headless_chromium(work, "1400,900")
        query = urllib.parse.urlencode({"url": site + "/index.html", "profile": "Whole Gallery", "token": token})
        driver.get(f"{base}/scan?{query}")
        wait = WebDriverWait(driver, 90)
        doc = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, ".scan-doc:not([hidden])"))
        assert "token=" not in driver.current_url and "/scan" not in driver.current_url, driver.current_url
        wait_for("the scan to end", lambda: doc.get_attribute("data-state") == "done", 90)
        tab = driver.find_element(By.CSS_SELECTOR, ".frame-mdi.primary .doc-tab[aria-selected=true]").text
        assert tab.startswith("Test Gallery"), tab

        def tiles():
            return {t.find_element(By.CSS_SELECTOR, ".tile-name").text: t
                    for t in doc.find_elements(By.CSS_SELECTOR, ".tile:not([hidden])")}
        wait_for("every thumbnail", lambda: len(tiles()) == len(names) and
                 all(t.get_attribute("data-loaded") == "true" for t in tiles().values()), 90)
        marks = {name: t.get_attribute("data-mark") for name, t in tiles().items()}
        expected = {name: "disk" if name == ON_DISK else "queued" if name == QUEUED else "new" for name in names}
        assert marks == expected, marks
        assert tiles()[ON_DISK].find_element(By.CSS_SELECTOR, ".tile-mark").text == "On disk"
        # The pictures shown are the small pictures of the gallery, as the page cache holds them.
        size = driver.execute_script("const i = arguments[0].querySelector('img'); return [i.naturalWidth, i.naturalHeight];",
                                     tiles()["p0001.png"])
        assert size == [48, 36], size
        # The band above the documents can be made smaller: the scan gets the room.
        before = doc.size["height"]
        ActionChains(driver).drag_and_drop_by_offset(driver.find_element(By.CSS_SELECTOR, ".splitter-ver"), 0, -150).perform()
        wait_for("the larger document", lambda: doc.size["height"] >= before + 50, 10)
        ActionChains(driver).move_to_element(doc.find_element(By.CSS_SELECTOR, ".scan-status")).perform()
        if shot:
            driver.save_screenshot(shot)

        # Three chosen with click and Shift+click are dragged onto the basket "Chosen".
        chosen = ["p0003.png", "p0004.png", "p0005.png"]
        tiles()[chosen[0]].click()
        ActionChains(driver).key_down(Keys.SHIFT).click(tiles()[chosen[2]]).key_up(Keys.SHIFT).perform()
        assert doc.find_element(By.CSS_SELECTOR, ".scan-selected").text == "3 selected"
        basket = driver.find_element(By.XPATH, "//div[contains(@class,'baskets-pane')]//tr[.//div[@class='basket-name' and text()='Chosen']]")
        ActionChains(driver).drag_and_drop(tiles()[chosen[1]], basket).perform()
        wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-progress"))  # the batch's progress
        wait_for("the three pictures", lambda: sorted(os.listdir(chosen_dir)) == chosen and
                 all(tiles()[n].get_attribute("data-mark") == "disk" for n in chosen), 120)
        for name in chosen:
            with open(os.path.join(chosen_dir, name), "rb") as a, open(os.path.join(www, "pics", name), "rb") as b:
                assert a.read() == b.read(), name
        marks = {name: t.get_attribute("data-mark") for name, t in tiles().items()}
        assert [n for n in names if marks[n] == "disk"] == [ON_DISK] + chosen, marks

        # Pointing at a picture fetches it as a preview and shows it at its true size.
        WebDriverWait(driver, 30).until(lambda d: not d.find_elements(By.CSS_SELECTOR, "dialog[open]"))
        ActionChains(driver).move_to_element(tiles()["p0006.png"]).perform()
        preview = doc.find_element(By.CSS_SELECTOR, ".scan-preview")
        wait_for("the preview", lambda: preview.get_attribute("data-state") == "shown", 60)
        assert preview.find_element(By.CSS_SELECTOR, ".preview-title").text == "p0006.png"
        size = driver.execute_script("const i = arguments[0].querySelector('.preview-img'); return [i.naturalWidth, i.naturalHeight];",
                                     preview)
        assert size == [160, 120], size
        previews = os.path.join(home, "cache", "lrgfiles")
        wait_for("the preview file", lambda: os.path.exists(os.path.join(previews, "p0006.png")), 30)
        wait_for("the preview's mark", lambda: tiles()["p0006.png"].get_attribute("data-mark") == "disk", 30)
        if shot:
            driver.save_screenshot(shot.replace(".png", "-sent.png"))

        # A search from the toolbar opens its result page as a scan document.
        Select(driver.find_element(By.CSS_SELECTOR, "[data-combo='profile']")).select_by_visible_text("Scan Single Page")
        driver.find_element(By.CSS_SELECTOR, "[data-combo='searchText']").send_keys("red car")
        Select(driver.find_element(By.CSS_SELECTOR, "[data-combo='searchSite']")).select_by_visible_text("Gallery search")
        driver.find_element(By.CSS_SELECTOR, ".bar-toolbar [data-command='scan.search']").click()
        wait_for("the search document", lambda: len(driver.find_elements(By.CSS_SELECTOR, ".scan-doc")) == 2, 60)
        found = driver.find_element(By.CSS_SELECTOR, ".scan-doc:not([hidden])")
        wait_for("the search to end", lambda: found.get_attribute("data-state") == "done", 60)
        assert driver.find_element(By.CSS_SELECTOR, "[data-combo='address']").get_attribute("value") == \
            site + "/index.html?q=red%20car"
        wait_for("the results of the search", lambda: len(found.find_elements(By.CSS_SELECTOR, ".tile:not([hidden])")) == PER_PAGE, 60)
        if shot:
            driver.execute_cdp_cmd("Emulation.setEmulatedMedia",
                                   {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
            driver.save_screenshot(shot.replace(".png", "-search-dark.png"))

        # A page link opens a new scan document of its page.
        found.find_element(By.CSS_SELECTOR, ".seg[data-kind='link']").click()
        link = found.find_element(By.XPATH, ".//tbody/tr[contains(., '/page2.html')]")
        ActionChains(driver).double_click(link).perform()
        wait_for("the page's document", lambda: len(driver.find_elements(By.CSS_SELECTOR, ".scan-doc")) == 3, 60)
        page2 = driver.find_element(By.CSS_SELECTOR, ".scan-doc:not([hidden])")
        wait_for("the page's scan", lambda: page2.get_attribute("data-state") == "done", 60)
        tab = driver.find_element(By.CSS_SELECTOR, ".frame-mdi.primary .doc-tab[aria-selected=true]").text
        assert tab.startswith("Test Gallery - page 2"), tab
        names2 = [t.text for t in page2.find_elements(By.CSS_SELECTOR, ".tile:not([hidden]) .tile-name")]
        assert sorted(names2) == names[PER_PAGE:2 * PER_PAGE], names2
        print("scan browser test passed")
    except BaseException:
        if driver and shot:
            driver.save_screenshot(shot.replace(".png", "-failed.png"))
        raise
    finally:
        end_session(driver, procs, work)


if __name__ == "__main__":
    main()
