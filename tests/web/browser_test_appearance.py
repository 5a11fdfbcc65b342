"""The window settings obeyed by the page in a real browser: a progress colour, the double-click
action on a download, a column width dragged by the user and kept over a reload, the band above
the download list, the full path of downloads, a sound played from its file and the lines kept
in the protocol log, the find dialog's choices.
Usage: browser_test_appearance.py PLOVER [SCREENSHOT_PREFIX]"""
import os
import sys
import tempfile
import wave

from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from plover_ui_session import end_session, headless_chromium, start_plover_ui, wait_for

# A port nothing listens on: the downloads fail at once, and each attempt writes log lines.
DEAD = "http://127.0.0.1:1"


def call(driver, method, path, body=None):
    """The page's own JSON command (the cookie carries the key); returns [status, answer]."""
    return driver.execute_async_script("""
        const [method, path, body, done] = arguments;
        fetch(path, { method, credentials: 'same-origin', headers: { 'Content-Type': 'application/json' },
                      body: body === null ? undefined : JSON.stringify(body) })
          .then(async (r) => done([r.status, await r.json()])).catch((e) => done([0, String(e)]));""",
        method, path, body)


def set_setting(driver, name, value):
    status, answer = call(driver, "POST", "/api/settings", {"name": name, "value": value})
    assert status == 200, (name, value, answer)


def stored(driver, name):
    _, answer = call(driver, "GET", "/api/settings/stored")
    return next(s["value"] for s in answer["settings"] if s["name"].lower() == name.lower())


def style(driver, css, prop):
    return driver.execute_script(
        "const e = document.querySelector(arguments[0]); return e && getComputedStyle(e)[arguments[1]];", css, prop)


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-appearance-")
    ui = driver = None
    try:
        ui, _, _, url = start_plover_ui(plover, work)
        driver = headless_chromium(work, "1400,900")
        wait = WebDriverWait(driver, 60)
        d = driver
        d.get(url)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bar-statusbar .content-speed"))
        shoot = (lambda name: d.save_screenshot(f"{shot}-{name}.png")) if shot else (lambda name: None)

        # A paused download to act on.
        status, answer = call(d, "POST", "/api/downloads", {"urls": [f"{DEAD}/pictures/sunset.jpg"], "paused": True})
        assert status == 200, answer
        row = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, ".download-list tbody tr[data-id]"))

        # The progress background follows its setting in the open page, without a reload.
        set_setting(d, "colorProgressBkgnd", "#00ff00")
        wait_for("the progress colour", lambda: style(d, ".download-list .progress", "backgroundColor") == "rgb(0, 255, 0)")
        assert stored(d, "colorProgressBkgnd") == "0x0000FF00"

        # The double-click action chosen on the options page: the properties, then the folder.
        d.find_element(By.XPATH, "//button[contains(@class,'menu-title') and text()='Tools']").click()
        d.find_element(By.CSS_SELECTOR, ".menu [data-command='tools.options']").click()
        dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.opt-dlg[open]"))
        dialog.find_element(By.CSS_SELECTOR, ".opt-groups li[data-group='Appearance']").click()
        choice = wait.until(lambda d: dialog.find_element(By.CSS_SELECTOR, "[data-setting='eDoubleClickAction'] select"))
        Select(choice).select_by_visible_text("Show the properties")
        wait_for("the stored action", lambda: stored(d, "eDoubleClickAction") == "2")
        shoot("options-appearance")
        dialog.find_element(By.CSS_SELECTOR, ".dlg-buttons button.primary").click()
        wait.until(lambda d: not d.find_elements(By.CSS_SELECTOR, "dialog.opt-dlg[open]"))
        ActionChains(d).double_click(row.find_element(By.CSS_SELECTOR, ".c-status")).perform()
        props = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-props[open]"))
        wait_for("the address in the properties", lambda: f"{DEAD}/pictures/sunset.jpg" in props.text)
        shoot("properties")
        props.find_element(By.CSS_SELECTOR, "button.primary").click()
        set_setting(d, "eDoubleClickAction", "1")
        ActionChains(d).double_click(d.find_element(By.CSS_SELECTOR, ".download-list tbody tr .c-status")).perform()
        folder = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-folder[open]"))
        assert "Open the folder" in folder.text, folder.text
        folder.find_element(By.CSS_SELECTOR, "button.primary").click()

        # The full path instead of the name.
        set_setting(d, "bShowDownloadFullPath", "1")
        wait_for("the full path", lambda: d.find_element(
            By.CSS_SELECTOR, ".download-list tbody tr .c-name").text.startswith("/"))

        # A column dragged wider is stored and comes back after a reload; so does the band above the list.
        head = d.find_element(By.CSS_SELECTOR, ".download-list th.c-name")
        before = head.rect["width"]
        grip = head.find_element(By.CSS_SELECTOR, ".col-resize")
        ActionChains(d).click_and_hold(grip).move_by_offset(90, 0).release().perform()
        wait_for("the stored widths", lambda: abs(int(stored(d, "iColWidths").split()[1]) - (before + 90)) <= 3)
        set_setting(d, "iDownloadListSplitterSize", "180")
        band = "[data-split-setting='iDownloadListSplitterSize'].frame"
        wait_for("the band's height", lambda: abs(d.find_element(By.CSS_SELECTOR, band).rect["height"] - 180) <= 1)
        d.refresh()
        head = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, ".download-list th.c-name"))
        wait_for("the kept width", lambda: abs(head.rect["width"] - (before + 90)) <= 3)
        assert abs(d.find_element(By.CSS_SELECTOR, band).rect["height"] - 180) <= 1
        assert style(d, ".download-list .progress", "backgroundColor") == "rgb(0, 255, 0)"
        shoot("main")

        # A sound of an enabled record reaches an <audio> element of the page; a file that is no sound does not.
        ding = os.path.join(work, "ding.wav")
        with wave.open(ding, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(8000)
            w.writeframes(b"\0\0" * 800)
        set_setting(d, "Sound #2/csWavFile", ding)
        set_setting(d, "Sound #2/bEnable", "1")
        loaded = d.execute_async_script("""
            const done = arguments[0], a = new Audio('/api/sounds/2');
            a.onloadedmetadata = () => done(a.duration); a.onerror = () => done('error');""")
        assert abs(loaded - 0.1) < 0.01, loaded
        set_setting(d, "Sound #2/csWavFile", os.path.join(work, "plover.out"))
        status, answer = call(d, "GET", "/api/sounds/2")
        assert status == 415 and "no WAV, Ogg, MP3 or FLAC sound" in answer["error"], (status, answer)

        # The protocol log keeps the last dwLogEntryNumber lines.
        set_setting(d, "bDisableLog", "0")
        set_setting(d, "dwLogEntryNumber", "10")
        main_window = d.current_window_handle
        before_windows = set(d.window_handles)
        d.execute_script("window.open('/window/log', 'plover-log', 'width=900,height=600')")
        wait_for("the log window", lambda: len(set(d.window_handles) - before_windows) == 1)
        d.switch_to.window((set(d.window_handles) - before_windows).pop())
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".log-lines"))
        status, answer = call(d, "POST", "/api/downloads", {"urls": [f"{DEAD}/f{i}.zip" for i in range(12)]})
        assert status == 200, answer
        count = lambda: len(d.find_elements(By.CSS_SELECTOR, ".log-line"))
        wait_for("ten log lines", lambda: count() == 10, 120)
        assert count() == 10, count()
        shoot("log")
        d.close()
        d.switch_to.window(main_window)

        # The find dialog: its choices are stored; "Shown alone" narrows the list to the matches.
        d.find_element(By.CSS_SELECTOR, ".download-list [data-action='find']").click()
        find = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-find[open]"))
        find.find_element(By.CSS_SELECTOR, "[data-action='advanced']").click()
        Select(find.find_element(By.NAME, "eWhatToDo")).select_by_visible_text("Shown alone")
        find.find_element(By.NAME, "bPaused").click()  # the paused sunset.jpg is not looked at
        find.find_element(By.CSS_SELECTOR, "[data-name='text']").send_keys("127.0.0")
        find.find_element(By.CSS_SELECTOR, "button.primary").click()
        rows = lambda: d.find_elements(By.CSS_SELECTOR, ".download-list tbody tr[data-id]")
        wait_for("the twelve found downloads", lambda: len(rows()) == 12)
        shoot("find")
        assert stored(d, "FindInfo/bPaused") == "0" and stored(d, "FindInfo/bAdv") == "1"
        print("appearance settings: ok")
    finally:
        end_session(driver, [ui], work)


if __name__ == "__main__":
    main()
