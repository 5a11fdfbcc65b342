"""The first run in a real browser: `plover ui` on an empty home shows the installation wizard;
going through it (licence accepted, the proposed folder, every default basket) installs Plover
and lands in the main window; the settings and the six basket folders are on the disk and the
next start opens the main window directly.
Usage: wizard_test.py PLOVER [SCREENSHOT_PREFIX]"""
import os
import sys
import tempfile

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from plover_ui_session import end_session, headless_chromium, start_plover_ui, stop_process

BASKETS = ["Animals", "Art", "Cars", "Nature", "Erotic", "Space"]


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-wizard-")
    ui = driver = None
    try:
        home = os.path.join(work, "home")
        ui, out, _, url = start_plover_ui(plover, work, installed=False)
        driver = headless_chromium(work)
        driver.get(url)
        wait = WebDriverWait(driver, 60)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".wizard .wiz-body h2"))

        def heading():
            # Read in one step: the wizard replaces its page while the test looks.
            return driver.execute_script("return document.querySelector('.wiz-body h2')?.textContent || ''")

        def next_button():
            return driver.find_element(By.CSS_SELECTOR, ".wiz-buttons button.primary")

        assert heading() == "Welcome to the Plover installation", heading()
        next_button().click()
        assert heading() == "Licence agreement", heading()
        assert not next_button().is_enabled(), "Next before the licence is accepted"
        if shot:
            driver.save_screenshot(shot + "-licence.png")
        driver.find_element(By.XPATH, "//label[span='I accept the agreement']/input").click()
        wait.until(lambda d: next_button().is_enabled())
        next_button().click()
        assert heading() == "Folders", heading()
        folder = driver.find_element(By.CSS_SELECTOR, ".wiz-path").get_attribute("value")
        assert folder == os.path.join(home, "Plover Baskets"), folder
        next_button().click()
        assert heading() == "Options", heading()
        next_button().click()
        assert heading() == "Default baskets", heading()
        names = [e.text for e in driver.find_elements(By.CSS_SELECTOR, ".wiz-list label")]
        assert names == BASKETS, names
        if shot:
            driver.save_screenshot(shot + "-baskets.png")
        next_button().click()  # Install
        wait.until(lambda d: heading() == "Plover is installed")
        assert "Animals, Art, Cars, Nature, Erotic, Space" in driver.find_element(By.CSS_SELECTOR, ".wiz-body").text
        if shot:
            driver.save_screenshot(shot + "-finish.png")
        next_button().click()  # Finish
        wait.until(lambda d: not d.find_elements(By.CSS_SELECTOR, ".wizard"))
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bar-statusbar .content-speed"))
        if shot:
            driver.save_screenshot(shot + "-main.png")

        # On the disk at once, not only after the exit.
        settings = os.path.join(home, "settings.txt")
        assert os.path.isfile(settings), "no settings file"
        for name in BASKETS:
            assert os.path.isdir(os.path.join(folder, name)), name
        with open(settings, encoding="utf-8", errors="replace") as f:
            assert folder in f.read(), "the default download folder is not stored"

        # The next start finds the installation: the main window, no wizard.
        stop_process(ui)
        assert ui.returncode == 0, ui.returncode
        ui, out, _, url = start_plover_ui(plover, work, installed=False)
        driver.get(url)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bar-statusbar .content-speed"))
        assert not driver.find_elements(By.CSS_SELECTOR, ".wizard")
        with open(settings, encoding="utf-8", errors="replace") as f:
            text = f.read()
        assert all(name in text for name in BASKETS), "the baskets were not kept"

        # Options: a refused value shows the store's reason; a good one is kept over a restart.
        def open_options():
            driver.find_element(By.XPATH, "//button[contains(@class,'menu-title') and text()='Tools']").click()
            driver.find_element(By.CSS_SELECTOR, ".menu [data-command='tools.options']").click()
            dialog = wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.opt-dlg[open]"))
            dialog.find_element(By.CSS_SELECTOR, ".opt-groups li[data-group='Downloads']").click()
            return dialog, dialog.find_element(By.NAME, "dwAutoSaveTime")
        dialog, field = open_options()
        field.clear()
        field.send_keys("0\n")
        error = dialog.find_element(By.CSS_SELECTOR, "[data-setting='dwAutoSaveTime'] .opt-error")
        wait.until(lambda d: "whole number" in error.text)
        if shot:
            driver.save_screenshot(shot + "-options.png")
        field.clear()
        field.send_keys("37\n")
        wait.until(lambda d: not error.text and field.get_attribute("value") == "37")
        stop_process(ui)
        assert ui.returncode == 0, ui.returncode
        ui, out, _, url = start_plover_ui(plover, work, installed=False)
        driver.get(url)
        wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".bar-statusbar .content-speed"))
        dialog, field = open_options()
        assert field.get_attribute("value") == "37", field.get_attribute("value")
        print("wizard: ok")
    finally:
        end_session(driver, [ui], work)


if __name__ == "__main__":
    main()
