"""The Options window and the windows beside it in a real browser, one step each: option pages
with their controls (a refused value says why, kept values survive a restart), the history and
bookmarks pane, the scan profiles and search sites lists, a search site's format found in its
two-pane window against a search page on nginx, the page cache cleared, and the system information.
Usage: browser_test_options.py PLOVER [SCREENSHOT_PREFIX]"""
import os
import struct
import sys
import tempfile

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from plover_ui_session import end_session, headless_chromium, start_plover_ui, stop_process, wait_for
from scan_gallery import start_nginx


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


def texts(driver, css):
    """The texts of the elements, read in one step: lists are drawn again as the program tells of changes."""
    return driver.execute_script(
        "return [...document.querySelectorAll(arguments[0])].map((e) => e.innerText)", css)


def options_step(s):
    """A number out of its range is refused with the reason; a choice, a check box and a number
    are stored at once and kept over a restart."""
    dialog = s.options("Page cache")
    row = lambda name: dialog.find_element(By.CSS_SELECTOR, f"[data-setting='{name}']")
    size = row("iMaxCacheSpace").find_element(By.TAG_NAME, "input")
    size.clear()
    size.send_keys("5\n")
    error = row("iMaxCacheSpace").find_element(By.CSS_SELECTOR, ".opt-error")
    s.wait.until(lambda d: error.text == "Maximal cache disk space: a whole number from 20 to 2000.")
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


def write_history(home, pairs):
    """The download history file with (address, path) pairs: version 1, the addresses, the paths."""
    def strings(items):
        out = struct.pack("<I", len(items))
        for t in items:
            b = t.encode()
            assert len(b) < 255
            out += bytes([len(b)]) + b
        return out
    os.makedirs(home, exist_ok=True)
    with open(os.path.join(home, "DownloadDB.sdb"), "wb") as f:
        f.write(struct.pack("<I", 1) + strings([a for a, _ in pairs]) + strings([p for _, p in pairs]))


def history_step(s, kept):
    """The history lists each address with its file, marks a gone one, searches, forgets an entry;
    a bookmark is added, opened (a scan of its address, or the address itself) and deleted."""
    d = s.driver
    d.find_element(By.XPATH, "//*[contains(@class,'tab') and normalize-space()='History']").click()
    pane = s.wait.until(lambda d: d.find_element(By.CSS_SELECTOR, ".hist"))
    names = lambda: [t.split("\n")[0] for t in texts(d, ".hist-list li .hist-text")]
    wait_for("the history", lambda: sorted(names()) == ["gone.jpg gone", "notes.txt"], 30)
    s.screenshot("history")
    search = pane.find_element(By.CSS_SELECTOR, "input[type=search]")
    search.send_keys("notes")
    wait_for("the search", lambda: names() == ["notes.txt"], 10)
    search.clear()
    search.send_keys(" ")
    search.send_keys("\b")
    wait_for("the whole list", lambda: len(names()) == 2, 10)
    gone = pane.find_element(By.CSS_SELECTOR, "li[data-address='http://127.0.0.1:1/gone.jpg']")
    gone.find_element(By.CSS_SELECTOR, "button.hist-forget").click()
    wait_for("the forgotten entry", lambda: names() == ["notes.txt"], 10)
    # The list is drawn again when the history tells of the change: the row is found in the same step.
    d.execute_script("document.querySelector(\"li[data-address='http://127.0.0.1:1/notes.txt']\")"
                     ".dispatchEvent(new MouseEvent('dblclick', {bubbles: true}))")
    dialog = s.wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg-folder[open]"))
    assert dialog.find_element(By.NAME, "path").get_attribute("value") == os.path.dirname(kept)
    dialog.find_element(By.CSS_SELECTOR, "button.primary").click()

    pane.find_element(By.CSS_SELECTOR, ".hist-tabs button[data-mode='bookmarks']").click()
    add = s.wait.until(lambda d: pane.find_element(By.CSS_SELECTOR, "input.hist-add"))
    s.wait.until(lambda d: add.is_displayed())
    add.send_keys("mailto:me@example.com\n")
    refusal = s.wait.until(lambda d: d.find_element(By.CSS_SELECTOR, "dialog.dlg[open]"))
    assert "Only HTTP, HTTPS and FTP addresses" in refusal.text, refusal.text
    refusal.find_element(By.CSS_SELECTOR, "button.primary").click()
    add.clear()
    add.send_keys("http://127.0.0.1:1/gallery/\n")
    link = s.wait.until(lambda d: pane.find_element(By.CSS_SELECTOR, "li[data-url='http://127.0.0.1:1/gallery/'] a"))
    s.screenshot("bookmarks")
    before = set(d.window_handles)
    link.click()
    wait_for("the opened bookmark", lambda: len(set(d.window_handles) - before) == 1, 30)
    main = d.current_window_handle
    d.switch_to.window((set(d.window_handles) - before).pop())
    wait_for("the bookmark's address", lambda: "gallery" in d.current_url, 30)
    d.close()
    d.switch_to.window(main)
    pane.find_element(By.CSS_SELECTOR, "li[data-url='http://127.0.0.1:1/gallery/'] button.hist-forget").click()
    wait_for("the deleted bookmark", lambda: not pane.find_elements(By.CSS_SELECTOR, "li[data-url]"), 10)


def profiles_step(s):
    """Scan profiles and search sites in their two-pane editors: a new profile without a name is
    refused with the rule's text, one with a name is added; deleting asks first; a new site without
    a name is refused, one with a name gets the template marker as its format."""
    dialog = s.options("Scan profiles")
    editor = s.wait.until(lambda d: dialog.find_element(By.CSS_SELECTOR, "[data-two-pane='Scan profiles']"))
    names = lambda: texts(s.driver, "dialog [data-two-pane='Scan profiles'] .tp-list li")
    wait_for("the profiles", lambda: len(names()) == 4, 30)
    editor.find_element(By.CSS_SELECTOR, "button[data-action='new']").click()
    name = editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='name']")
    name.clear()
    editor.find_element(By.CSS_SELECTOR, ".tp-props button.primary").click()
    s.wait.until(lambda d: editor.find_element(By.CSS_SELECTOR, ".tp-error").text == "Profile name cannot be empty.")
    name.send_keys("Portraits")
    editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='links']").click()
    editor.find_element(By.CSS_SELECTOR, ".tp-props button.primary").click()
    wait_for("the new profile", lambda: names()[-1:] == ["Portraits"], 30)
    s.screenshot("profiles")
    editor.find_element(By.XPATH, ".//li[text()='Scan Single Page']").click()
    editor.find_element(By.CSS_SELECTOR, "button[data-action='delete']").click()
    question = s.wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "dialog.dlg[open]:not(.opt-dlg)"))[0]
    assert question.find_element(By.TAG_NAME, "p").text == "Do you want to delete the 'Scan Single Page' profile?"
    question.find_element(By.CSS_SELECTOR, "button.primary").click()
    wait_for("the deleted profile", lambda: "Scan Single Page" not in names() and len(names()) == 4, 30)

    dialog.find_element(By.CSS_SELECTOR, ".opt-groups li[data-group='Search sites']").click()
    editor = s.wait.until(lambda d: dialog.find_element(By.CSS_SELECTOR, "[data-two-pane='Search sites']"))
    titles = lambda: texts(s.driver, "dialog [data-two-pane='Search sites'] .tp-list li")
    wait_for("the search sites", lambda: len(titles()) == 4, 30)
    editor.find_element(By.CSS_SELECTOR, "button[data-action='new']").click()
    editor.find_element(By.CSS_SELECTOR, ".tp-props button.primary").click()
    s.wait.until(lambda d: editor.find_element(By.CSS_SELECTOR, ".tp-error").text == "Site name and format cannot be empty")
    editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='title']").send_keys("www.example.com")
    editor.find_element(By.CSS_SELECTOR, ".tp-props button.primary").click()
    wait_for("the new site", lambda: titles()[-1:] == ["www.example.com"], 30)
    assert editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='format']").get_attribute("value") == "_TEXT_TO_SEARCH_"
    s.screenshot("search-sites")
    s.close(dialog)
    # The main window's pane lists the same profiles.
    s.driver.find_element(By.XPATH, "//*[contains(@class,'tab') and normalize-space()='Scan profiles']").click()
    wait_for("the profiles pane", lambda: "Portraits" in texts(s.driver, ".tp-pane .tp-list li"), 30)
    s.screenshot("profiles-pane")


SEARCH_PAGE = """<html><head><title>Picture finder</title></head><body><h1>Picture finder</h1>
<form action="results.html"><input name="q"><input type="hidden" name="lang" value="en">
<button type="submit">Search</button></form><p><a href="about.html">About</a></p></body></html>
"""


def start_search_site(work):
    """nginx serving a search site: a form on its first page that leads to results.html?q=...&lang=en."""
    root = os.path.join(work, "site")
    os.makedirs(root)
    with open(os.path.join(root, "index.html"), "w") as f:
        f.write(SEARCH_PAGE)
    with open(os.path.join(root, "results.html"), "w") as f:
        f.write("<html><body><h1>Results</h1><p>No pictures found.</p></body></html>\n")
    os.makedirs(os.path.join(work, "nginx"))
    return start_nginx(os.path.join(work, "nginx"), root)


def format_step(s, base):
    """A new search site's format is found in the two-pane window: the site's page in its frame,
    the test search made there, the result address with the marker in the site's format field."""
    d = s.driver
    dialog = s.options("Search sites")
    editor = s.wait.until(lambda d: dialog.find_element(By.CSS_SELECTOR, "[data-two-pane='Search sites']"))
    editor.find_element(By.CSS_SELECTOR, "button[data-action='new']").click()
    determine = editor.find_element(By.CSS_SELECTOR, "button[data-action='determine']")
    editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='title']").clear()
    determine.click()
    s.wait.until(lambda d: editor.find_element(By.CSS_SELECTOR, ".tp-error").text == "Please enter the searching engine site.")
    editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='title']").send_keys(base.replace("http://", "") + "/")
    before = set(d.window_handles)
    main = d.current_window_handle
    editor.find_element(By.CSS_SELECTOR, "button[data-action='determine']").click()
    wait_for("the format window", lambda: len(set(d.window_handles) - before) == 1, 30)
    d.switch_to.window((set(d.window_handles) - before).pop())
    prompt = lambda: d.find_element(By.CSS_SELECTOR, "[data-format='prompt']").get_attribute("textContent")
    wait_for("the site's page", lambda: prompt() == "Did the site appear correctly?", 60)
    s.screenshot("search-format-site")
    d.find_element(By.CSS_SELECTOR, "button[data-action='yes']").click()
    wait_for("the search prompt", lambda: prompt() == 'Please search for "Flitter"', 30)
    d.switch_to.frame(d.find_element(By.CSS_SELECTOR, "iframe.fmt-frame"))
    s.wait.until(lambda d: d.find_element(By.NAME, "q")).send_keys("Flitter")
    d.find_element(By.CSS_SELECTOR, "button[type=submit]").click()
    d.switch_to.default_content()
    wait_for("the search question", lambda: prompt() == "Is the search correct ?", 60)
    shown = d.find_element(By.CSS_SELECTOR, "[data-format='address']").get_attribute("value")
    assert shown == base + "/results.html?q=Flitter&lang=en", shown
    s.screenshot("search-format")
    d.find_element(By.CSS_SELECTOR, "button[data-action='yes']").click()
    wait_for("the format window to close", lambda: len(d.window_handles) == len(before), 30)
    d.switch_to.window(main)
    template = base + "/results.html?q=_TEXT_TO_SEARCH_&lang=en"
    format_field = editor.find_element(By.CSS_SELECTOR, ".tp-props input[name='format']")
    wait_for("the template", lambda: format_field.get_attribute("value") == template, 30)
    editor.find_element(By.CSS_SELECTOR, ".tp-props button.primary").click()
    wait_for("the new site", lambda: texts(d, "dialog [data-two-pane='Search sites'] .tp-list li")[-1:] ==
             [base.replace("http://", "") + "/"], 30)
    return dialog


def cache_step(s, dialog):
    """The page cache page counts the pages the format window fetched; Clean Cache... asks the
    system's question first and then empties it."""
    dialog.find_element(By.CSS_SELECTOR, ".opt-groups li[data-group='Page cache']").click()
    count = s.wait.until(lambda d: dialog.find_element(By.CSS_SELECTOR, "[data-cache='count']"))
    wait_for("the cached pages", lambda: count.text.split(" ")[0] not in ("…", "0"), 30)
    dialog.find_element(By.CSS_SELECTOR, "button[data-action='clear-cache']").click()
    question = s.wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, "dialog.dlg[open]:not(.opt-dlg)"))[0]
    assert question.find_element(By.TAG_NAME, "p").text.startswith(
        "Are you sure you want to clear the cache? All the temporary"), question.text
    s.screenshot("cache-question")
    question.find_element(By.CSS_SELECTOR, "button.primary").click()
    wait_for("the cleared cache", lambda: count.text == "0 (0 B)", 30)
    s.screenshot("page-cache")
    s.close(dialog)


def sysinfo_step(s):
    """Help, System information: a window of its own with the report; Copy puts it on the clipboard."""
    d = s.driver
    before = set(d.window_handles)
    s.menu("Help", "help.sysinfo")
    wait_for("the system information window", lambda: len(set(d.window_handles) - before) == 1, 30)
    main = d.current_window_handle
    d.switch_to.window((set(d.window_handles) - before).pop())
    wait_for("the report", lambda: "Downloader\trunning" in texts(d, ".sysinfo tr"), 60)
    rows = texts(d, ".sysinfo tr")
    assert any(r.startswith("Settings folder") and os.path.join(s.work, "home") in r for r in rows), rows
    s.screenshot("sysinfo")
    d.close()
    d.switch_to.window(main)


def main():
    plover = sys.argv[1]
    shot = sys.argv[2] if len(sys.argv) > 2 else None
    work = tempfile.mkdtemp(prefix="plover-options-")
    s = Session(plover, work, shot)
    nginx = None
    try:
        nginx, base = start_search_site(work)
        home = os.path.join(work, "home")
        kept = os.path.join(home, "Cars", "notes.txt")
        os.makedirs(os.path.dirname(kept))
        with open(kept, "w") as f:
            f.write("notes")
        write_history(home, [("http://127.0.0.1:1/gone.jpg", os.path.join(home, "Cars", "gone.jpg")),
                             ("http://127.0.0.1:1/notes.txt", kept)])
        s.start()
        options_step(s)
        history_step(s, kept)
        profiles_step(s)
        cache_step(s, format_step(s, base))
        sysinfo_step(s)
        print("options windows: ok")
    finally:
        end_session(s.driver, [s.ui, nginx], work)


if __name__ == "__main__":
    main()
