#!/usr/bin/env python3
"""The web book in a real browser: `pagewend export --html` of the demo book, with one page link
added to it, read by headless Chromium through Selenium.

  web_book_test.py --tool PAGEWEND --book DEMO_BOOK --artefacts DIR [--screenshot PNG]

Checks that #page=N opens page N, the Right key turns to the next spread, a page link jumps and
Back returns, a narrow window shows one page, and that no request leaves the book's folder.
Saves a screenshot of a spread in DIR (and, with --screenshot, one of the demo book itself).
Exits 77 (skipped) only when Chromium or its driver is not installed.
"""
import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(map(str, args))} failed ({done.returncode}):\n{done.stderr}")
    return done


def with_page_link(tool, book, work):
    """The demo book, its second page linking to its sixth (the demo itself has no page link)."""
    unpacked = work / "unpacked"
    run(tool, "extract", book, "-o", unpacked, "--keep-documents", "--jobs", "2")
    document = (unpacked / "book.xml").read_text(encoding="utf-8")
    pages = [m.start() for m in re.finditer(r"</page>", document)]
    if len(pages) < 6:
        sys.exit("the demo book has fewer than six pages")
    link = ('<links><link x="40" y="40" width="200" height="120">'
            '<urls><url src="6"/></urls></link></links>')
    document = document[: pages[1]] + link + document[pages[1]:]
    (unpacked / "book.xml").write_text(document, encoding="utf-8")
    linked = work / "linked.bin"
    run(tool, "pack", unpacked, "-o", linked)
    return linked


def browser(width, height):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--window-size={width},{height}", "--hide-scrollbars", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def wait(driver, condition, what, timeout=10):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = driver.execute_script(condition)
        if value:
            return value
        time.sleep(0.05)
    state = driver.execute_script("return [location.hash, document.getElementById('where').textContent]")
    sys.exit(f"FAIL: {what} (address and position: {state})")


def shown(driver):
    """The 1-based pages on screen, each with its image loaded."""
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('#spread .page:not(.away)'))"
        ".filter(s => { const i = s.querySelector('img'); return i.complete && i.naturalWidth > 0; })"
        ".map(s => Number(s.dataset.page))")


def expect_pages(driver, pages, what):
    wait(driver, f"return JSON.stringify({json.dumps(pages)}) === JSON.stringify("
                 "Array.from(document.querySelectorAll('#spread .page:not(.away)'))"
                 ".filter(s => { const i = s.querySelector('img'); return i.complete && i.naturalWidth > 0; })"
                 ".map(s => Number(s.dataset.page)))", f"{what}: pages {pages} shown, saw {shown(driver)}")
    # The turn's animation is over before anything is looked at.
    time.sleep(0.35)


def requests(driver):
    urls = []
    for entry in driver.get_log("performance"):
        message = json.loads(entry["message"])["message"]
        if message["method"] == "Network.requestWillBeSent":
            urls.append(message["params"]["request"]["url"])
    return urls


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--book", required=True)
    parser.add_argument("--artefacts", required=True)
    parser.add_argument("--screenshot")
    args = parser.parse_args()

    if not shutil.which("chromium") or not shutil.which("chromedriver"):
        print("SKIP: chromium and chromium-driver are not installed (scripts/setup.sh installs them)")
        return SKIP
    try:
        import selenium  # noqa: F401
    except ImportError:
        sys.exit("python3-selenium is missing though chromium is installed (scripts/setup.sh installs it)")

    artefacts = pathlib.Path(args.artefacts)
    artefacts.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as temp:
        work = pathlib.Path(temp)
        linked = with_page_link(args.tool, args.book, work)
        web = work / "web"
        run(args.tool, "export", "--html", linked, "-o", web, "--jobs", "2")
        index = (web / "index.html").resolve().as_uri()

        driver = browser(1400, 900)
        try:
            driver.get(index + "#page=5")
            expect_pages(driver, [4, 5], "#page=5 opens the spread of page 5")
            driver.save_screenshot(str(artefacts / "web-book-spread.png"))

            from selenium.webdriver.common.by import By
            from selenium.webdriver.common.keys import Keys
            driver.find_element(By.TAG_NAME, "body").send_keys(Keys.ARROW_RIGHT)
            expect_pages(driver, [6, 7], "the Right key turns to the next spread")
            if driver.execute_script("return location.hash") != "#page=6":
                sys.exit("FAIL: turning did not update the address")

            driver.execute_script("location.hash = '#page=2'")
            expect_pages(driver, [2, 3], "going to page 2")
            driver.find_element(By.CSS_SELECTOR, '#p2 a.link[href="#page=6"]').click()
            expect_pages(driver, [6, 7], "the page link on page 2 jumps to page 6")
            driver.back()
            expect_pages(driver, [2, 3], "Back returns to page 2")

            # The demo book's own table of contents, one entry a page: its sixth entry turns there.
            driver.find_element(By.ID, "contents-button").click()
            driver.find_element(By.CSS_SELECTOR, '#contents li:nth-child(6) a').click()
            expect_pages(driver, [6, 7], "the sixth entry of the contents")
            driver.back()
            expect_pages(driver, [2, 3], "Back from the contents")

            driver.set_window_size(600, 900)
            expect_pages(driver, [2], "a narrow window shows one page")

            outside = [u for u in requests(driver) if not u.startswith(web.resolve().as_uri() + "/")]
            if outside:
                sys.exit(f"FAIL: requests outside the book's folder: {outside[:5]}")
            problems = [e["message"] for e in driver.get_log("browser") if e["level"] == "SEVERE"]
            if problems:
                sys.exit(f"FAIL: the browser reported errors: {problems[:5]}")
        finally:
            driver.quit()

        if args.screenshot:
            demo = work / "demo"
            run(args.tool, "export", "--html", args.book, "-o", demo, "--jobs", "2")
            driver = browser(1280, 800)
            try:
                driver.get((demo / "index.html").resolve().as_uri() + "#page=2")
                expect_pages(driver, [2, 3], "the demo book's second spread")
                driver.save_screenshot(args.screenshot)
            finally:
                driver.quit()
    print("PASS: the web book turns, links and stays in its folder in Chromium")
    return 0


if __name__ == "__main__":
    sys.exit(main())
