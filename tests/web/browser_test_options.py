"""The Options window and the windows beside it in a real browser, one step each: option pages
with their controls (a refused value says why, kept values survive a restart), the history and
bookmarks pane, the scan profiles and search sites lists, and the system information.
Usage: browser_test_options.py PLOVER [SCREENSHOT_PREFIX]"""
import os
import shutil
import sys
import tempfile

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from plover_ui_session import headless_chromium, start_plover_ui, stop_process, wait_for


class Session:
    def __init__(self, plover, work, shot):
        self.plover, self.work, self.shot = plover, work, shot
        self.ui = self.driver = None

    def start(self):
        self.ui, self.out, _, self.url = start_plover_ui(self.plover, self.work)
        if not self.driver:
            self.driver = headless_chromium(self.work)
        self.wait = WebDriverWait(self.driver, 60)
        self.driver.get(self.url)
        self.wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bar-statusbar .content-speed"))

    def restart(self):
        stop_process(self.ui)
        assert self.ui.returncode == 0, self.ui.returncode
        self.start()

    def menu(self, title, command):
        self.driver.find_element(By.XPATH, f"//button[contains(@class,'menu-title') and text()='{title}']").click()
        self.driver.find_element(By.CSS_SELECTOR, f".menu [data-command='{command}']").click()

    def screenshot(self, name):
        if self.shot:
            self.driver.save_screenshot(f"{self.shot}-{name}.png")

    def options(self, page):
        self.menu("Tools", "tools.options")
        dialog = self.wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.opt-dlg[open]"))
        dialog.find_element(By.CSS_SELECTOR, f".opt-groups li[data-group='{page}']").click()
        self.wait.until(lambda d: dialog.find_element(By.CSS_SELECTOR, ".opt-page").get_attribute("data-page") == page)
        return dialog

    def close(self, dialog):
        dialog.find_element(By.CSS_SELECTOR, ".dlg-buttons button.primary").click()
        self.wait.until(lambda d: not d.find_elements(By.CSS_SELECTOR, "dialog.opt-dlg[open]"))


def options_step(s):
    """A number out of its range is refused with the reason; a choice, a check box and a number
    are stored at once and kept over a restart."""
    dialog = s.options("Page cache")
    row = lambda name: dialog.find_element(By.CSS_SELECTOR, f"[data-setting='{name}']")
    size = row("iMaxCacheSpace").find_element(By.TAG_NAME, "input")
    size.clear()
    size.send_keys("5\n")
    error = row("iMaxCacheSpace").find_element(By.CSS_SELECTOR, ".opt-error")
    s.wait.until(lambda d: error.text == "Largest size of the cache: a whole number from 20 to 2000.")
    s.screenshot("options-refused")
    size.clear()
    size.send_keys("300\n")
    s.wait.until(lambda d: not error.text and "refused" not in size.get_attribute("class"))
    Select(row("eCacheMode").find_element(By.TAG_NAME, "select")).select_by_visible_text("Never")
    dialog.find_element(By.CSS_SELECTOR, ".opt-groups li[data-group='Downloads']").click()
    box = dialog.find_element(By.CSS_SELECTOR, "[data-setting='bOverwriteAlways'] input[type=checkbox]")
    assert not box.is_selected()
    box.click()
    for page in ("Traffic modes", "Appearance", "Viewer"):
        dialog.find_element(By.CSS_SELECTOR, f".opt-groups li[data-group='{page}']").click()
        s.screenshot("options-" + page.lower().replace(" ", "-"))
    s.close(dialog)
    s.restart()
    dialog = s.options("Page cache")
    assert row("iMaxCacheSpace").find_element(By.TAG_NAME, "input").get_attribute("value") == "300"
    assert Select(row("eCacheMode").find_element(By.TAG_NAME, "select")).first_selected_option.text == "Never"
    dialog.find_element(By.CSS_SELECTOR, ".opt-groups li[data-group='Downloads']").click()
    assert dialog.find_element(By.CSS_SELECTOR, "[data-setting='bOverwriteAlways'] input").is_selected()
    s.close(dialog)


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-options-")
    s = Session(plover, work, shot)
    try:
        s.start()
        options_step(s)
        print("options windows: ok")
    finally:
        if s.driver:
            s.driver.quit()
        stop_process(s.ui)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
