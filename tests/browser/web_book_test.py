#!/usr/bin/env python3
"""The web book in a real browser: `pagewend export --html` of the demo book, with a page link and
a text added to it, and of a 300-page book made from it, read by headless Chromium through Selenium.

  web_book_test.py --tool PAGEWEND --book DEMO_BOOK --artefacts DIR [--screenshot PNG]

The demo book, from disk: #page=N opens page N (and a number past the book is put right in the
address), the keys and the page box turn, a page link jumps and Back returns, a contents entry
turns and closes the contents, the search finds the added text, a narrow window shows one page,
and no request leaves the book's folder.
The 300-page book, from a local web server, on a desktop and in a phone's view: the first load
fetches only the first spread's pages, their neighbours and the thumbnails near the strip's view
(its bytes are printed); the search finds a page by a word of its search text; on the phone every
toolbar control is within the screen, directly or in the menu, and a swipe from the edge turns
and stays in the book.
Saves screenshots in DIR (and, with --screenshot, one of the demo book itself).
Exits 77 (skipped) only when Chromium or its driver is not installed.
"""
import argparse
import functools
import http.server
import json
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(map(str, args))} failed ({done.returncode}):\n{done.stderr}")
    return done


def unpack(tool, book, folder):
    run(tool, "extract", book, "-o", folder, "--keep-documents", "--jobs", "2")
    return (folder / "book.xml").read_text(encoding="utf-8")


def with_page_link(tool, book, work):
    """The demo book, its second page linking to its sixth and its eighth carrying a text (the
    demo itself has no page link and no text)."""
    unpacked = work / "unpacked"
    document = unpack(tool, book, unpacked)
    pages = [m.start() for m in re.finditer(r"</page>", document)]
    if len(pages) < 8:
        sys.exit("the demo book has fewer than eight pages")
    link = ('<links><link x="40" y="40" width="200" height="120">'
            '<urls><url src="6"/></urls></link></links>')
    text = '<txt content="Harbour lights" left="40" top="700" width="400" height="40"/>'
    eighth = document.rindex("</elem>", 0, pages[7])
    document = (document[: pages[1]] + link + document[pages[1]: eighth] + text
                + document[eighth:])
    (unpacked / "book.xml").write_text(document, encoding="utf-8")
    linked = work / "linked.bin"
    run(tool, "pack", unpacked, "-o", linked)
    return linked


LONG_PAGES = 300


def long_book(tool, book, work):
    """A book of LONG_PAGES pages: the demo's page images in turn, each under a text naming its
    page (so that no two pages' images are alike), and each page with a search text whose word
    "wordNx" only page N has."""
    unpacked = work / "long"
    document = unpack(tool, book, unpacked)
    start = document.index("<Pages>") + len("<Pages>")
    end = document.index("</Pages>")
    images = re.findall(r'<img src="(res\\pages\\[^"]+)"', document)
    (unpacked / "files/res/search").mkdir(parents=True, exist_ok=True)
    pages = []
    for n in range(1, LONG_PAGES + 1):
        (unpacked / f"files/res/search/p{n}.txt").write_text(f"Leaf {n} of the long book: word{n}x.")
        image = images[(n - 1) % len(images)]
        # Distinct numbers stand for distinct records, the same number for the same record.
        pages.append(f'<page searchtxt="res\\search\\p{n}.txt" pos_search_="{1000 + n}" '
                     f'size_search_="1"><elem><img src="{image}" left="0" top="0" width="600" '
                     f'height="800" pos_="{1 + (n - 1) % len(images)}" size_="1"/>'
                     f'<txt content="Leaf {n}" left="40" top="700" width="520" height="60"/>'
                     '</elem></page>')
    (unpacked / "book.xml").write_text(document[:start] + "".join(pages) + document[end:],
                                       encoding="utf-8")
    packed = work / "long.bin"
    run(tool, "pack", unpacked, "-o", packed)
    web = work / "long-web"
    run(tool, "export", "--html", packed, "-o", web, "--jobs", "2")
    return web


class Server:
    """The web book's folder over HTTP on this machine, noting each file it sends and its bytes."""

    def __init__(self, folder):
        sent = self.sent = []
        lock = self.lock = threading.Lock()

        class Handler(http.server.SimpleHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def copyfile(self, source, target):
                size = 0
                while chunk := source.read(1 << 16):
                    target.write(chunk)
                    size += len(chunk)
                with lock:
                    sent.append((self.path, size))

        self.httpd = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=str(folder)))
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.httpd.server_port}/"

    def files(self):
        with self.lock:
            return list(self.sent)

    def forget(self):
        with self.lock:
            self.sent.clear()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def browser(width, height, phone=False):
    """Chromium with a window of width × height, or with a phone's screen of that size and touch."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which("chromium")
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--window-size={width},{height}", "--hide-scrollbars", "--force-device-scale-factor=1"):
        options.add_argument(argument)
    if phone:
        options.add_experimental_option("mobileEmulation", {"deviceMetrics": {
            "width": width, "height": height, "pixelRatio": 3, "mobile": True, "touch": True}})
    options.set_capability("goog:loggingPrefs", {"performance": "ALL", "browser": "ALL"})
    return webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)


def until(check, fail, timeout=10):
    """check()'s first true value, polled until the deadline; else fail() ends the test."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = check()
        if value:
            return value
        time.sleep(0.05)
    sys.exit(f"FAIL: {fail()}")


WHERE = "return [location.hash, document.getElementById('where').textContent]"


def wait(driver, condition, what, timeout=10):
    return until(lambda: driver.execute_script(condition),
                 lambda: f"{what} (address and position: {driver.execute_script(WHERE)})", timeout)


SHOWN = ("Array.from(document.querySelectorAll('#spread .page.on'))"
         ".filter(s => { const i = s.querySelector('img'); return i.complete && i.naturalWidth > 0; })"
         ".map(s => Number(s.dataset.page))")


def shown(driver):
    """The 1-based pages on screen, each with its image loaded."""
    return driver.execute_script("return " + SHOWN)


def expect_pages(driver, pages, what):
    wait(driver, f"return JSON.stringify({json.dumps(pages)}) === JSON.stringify({SHOWN})",
         f"{what}: pages {pages} shown, saw {shown(driver)}")
    # The turn's animation is over before anything is looked at.
    wait(driver, "return document.getAnimations().every((a) => a.playState !== 'running')",
         f"{what}: the turn's animation ends")


def choose(driver, selector):
    from selenium.webdriver.common.by import By
    driver.find_element(By.CSS_SELECTOR, selector).click()


def search(driver, words, page, what):
    """Opens the search, asks for words and chooses the one result, which must be page."""
    from selenium.webdriver.common.by import By
    if driver.execute_script("return getComputedStyle(document.getElementById('more')).display") != "none":
        choose(driver, "#more")
    choose(driver, "#search-button")
    driver.find_element(By.ID, "search-box").send_keys(words)
    wait(driver, "return document.querySelectorAll('#results a').length === 1 && "
                 f"document.querySelector('#results a').getAttribute('href') === '#page={page}'",
         f"{what}: the search for {words!r} lists page {page} alone")
    choose(driver, "#results a")
    wait(driver, "return document.getElementById('search').hidden", f"{what}: choosing a result closes the search")


def first_load(driver, server, url, neighbours, what):
    """Opens the book and checks that it fetched the first page, its neighbours (which it must
    fetch) and thumbnails near the strip's view, and nothing else; returns the bytes it fetched."""
    server.forget()
    driver.get(url)
    expect_pages(driver, [1], f"{what}: the book opens at its cover")
    until(lambda: all(any(p.startswith(f"/pages/page-{n:04}.") for p, _ in server.files()) for n in neighbours),
          lambda: f"{what}: pages {neighbours} were not fetched to turn to")
    # What the first layouts ask for has been asked for once the page has drawn twice more.
    driver.execute_async_script(
        "const done = arguments[0]; requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(done, 50)))")
    # The thumbnails within one strip's width of its view.
    near = set(driver.execute_script(
        "const strip = document.getElementById('strip').getBoundingClientRect();"
        "return Array.from(document.querySelectorAll('#strip a')).filter(a => {"
        "  const r = a.getBoundingClientRect(); return r.right > strip.left - strip.width && "
        "  r.left < strip.right + strip.width; }).map(a => Number(a.dataset.page))"))
    fetched = server.files()
    pages = {int(m.group(1)) for p, _ in fetched if (m := re.match(r"/pages/page-(\d+)\.", p))}
    thumbs = {int(m.group(1)) for p, _ in fetched if (m := re.match(r"/thumbs/page-(\d+)\.", p))}
    others = [p for p, _ in fetched if not re.match(r"/(pages|thumbs)/page-\d+\.|/index\.html|/assets/", p)]
    if pages != {1, *neighbours} or not thumbs or not thumbs <= near or others:
        sys.exit(f"FAIL: {what}: the first load fetched pages {sorted(pages)}, thumbnails "
                 f"{sorted(thumbs)} (near: {sorted(near)}) and {others}")
    size = sum(n for _, n in fetched)
    print(f"{what}: the first load fetched {len(fetched)} files, {size} bytes "
          f"({len(pages)} pages, {len(thumbs)} thumbnails)")
    return size


def touch(driver, points):
    """One finger along points (x, y) on the screen."""
    driver.execute_cdp_cmd("Input.dispatchTouchEvent",
                           {"type": "touchStart", "touchPoints": [{"x": points[0][0], "y": points[0][1]}]})
    for x, y in points[1:]:
        driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchMove", "touchPoints": [{"x": x, "y": y}]})
    driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})


def pinch(driver, x, y, spans):
    """Two fingers about (x, y), their distance apart going through spans."""
    def points(span):
        return [{"x": x - span // 2, "y": y, "id": 0}, {"x": x + span // 2, "y": y, "id": 1}]
    driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": points(spans[0])})
    for span in spans[1:]:
        driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchMove", "touchPoints": points(span)})
    driver.execute_cdp_cmd("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})


def check_phone(driver, server, artefacts):
    url = server.url + "index.html"
    first_load(driver, server, url, [2], "a phone")
    driver.save_screenshot(str(artefacts / "web-book-phone.png"))

    # Every control of the bar is on the screen, at once or in the menu.
    controls = ("return Array.from(document.querySelectorAll('.bar button, .bar input'))"
                ".filter(c => !c.hidden).map(c => { const r = c.getBoundingClientRect();"
                " return [c.id, r.width > 0 && r.height > 0, r.left >= 0 && r.right <= innerWidth"
                " && r.top >= 0 && r.bottom <= innerHeight]; })")
    before = driver.execute_script(controls)
    outside = [c for c, seen, inside in before if seen and not inside]
    if outside or not any(seen for _, seen, _ in before):
        sys.exit(f"FAIL: a phone's toolbar reaches past the screen: {before}")
    choose(driver, "#more")
    after = driver.execute_script(controls)
    missing = [c for c, seen, inside in after if not (seen and inside)]
    if missing:
        sys.exit(f"FAIL: with the menu open these controls are not on the screen: {missing} ({after})")
    driver.save_screenshot(str(artefacts / "web-book-phone-menu.png"))
    choose(driver, "#more")

    # A swipe from the very edge turns the page and leaves the reader in the book; on a phone the
    # browser would take an edge swipe over the page's gestures unless the page claims them.
    driver.execute_script("location.hash = '#page=4'")
    expect_pages(driver, [4], "a phone at page 4")
    driver.execute_script("location.hash = '#page=5'")
    expect_pages(driver, [5], "a phone at page 5")
    claims = driver.execute_script(
        "return [getComputedStyle(document.getElementById('stage')).touchAction,"
        " getComputedStyle(document.documentElement).overscrollBehaviorX,"
        " getComputedStyle(document.body).overscrollBehaviorX]")
    if claims != ["none", "none", "none"]:
        sys.exit(f"FAIL: the stage leaves its gestures to the browser (touch-action, overscroll): {claims}")
    height = driver.execute_script("return innerHeight")
    touch(driver, [(1, height // 2), (60, height // 2), (150, height // 2), (250, height // 2)])
    expect_pages(driver, [4], "a swipe from the left edge turns back")
    width = driver.execute_script("return innerWidth")
    touch(driver, [(width - 1, height // 2), (width - 100, height // 2), (width - 250, height // 2)])
    expect_pages(driver, [5], "a swipe from the right edge turns on")
    if driver.execute_script("return location.href") != url + "#page=5":
        sys.exit(f"FAIL: the swipes left the book: {driver.execute_script('return location.href')}")

    # Fingers spread apart on the page zoom it in, and pinched together zoom it out.
    pinch(driver, width // 2, height // 2, [60, 120, 200])
    wait(driver, "return document.documentElement.classList.contains('zoomed')", "spreading two fingers zooms in")
    pinch(driver, width // 2, height // 2, [200, 120, 60])
    wait(driver, "return !document.documentElement.classList.contains('zoomed')", "pinching two fingers zooms out")


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
        server = Server(long_book(args.tool, args.book, work))
        try:
            driver = browser(1400, 900)
            try:
                first_load(driver, server, server.url + "index.html", [2, 3], "a desktop")
                if driver.execute_script("return document.getElementById('search-index')") is not None:
                    sys.exit("FAIL: the search's texts were read before the search opened")
                search(driver, "WORD213X", 213, "the long book")
                expect_pages(driver, [212, 213], "the search's result turns to page 213")
            finally:
                driver.quit()
            driver = browser(360, 740, phone=True)
            try:
                check_phone(driver, server, artefacts)
            finally:
                driver.quit()
        finally:
            server.close()

        linked = with_page_link(args.tool, args.book, work)
        web = work / "web"
        run(args.tool, "export", "--html", linked, "-o", web, "--jobs", "2")
        index = (web / "index.html").resolve().as_uri()

        driver = browser(1400, 900)
        try:
            driver.get(index + "#page=99")
            expect_pages(driver, [12], "#page=99 opens the last page")
            if driver.execute_script("return location.hash") != "#page=12":
                sys.exit("FAIL: an address past the book was not put right")
            driver.get(index + "#page=5")
            expect_pages(driver, [4, 5], "#page=5 opens the spread of page 5")
            driver.save_screenshot(str(artefacts / "web-book-spread.png"))

            from selenium.webdriver.common.by import By
            from selenium.webdriver.common.keys import Keys
            driver.find_element(By.TAG_NAME, "body").send_keys(Keys.ARROW_RIGHT)
            expect_pages(driver, [6, 7], "the Right key turns to the next spread")
            if driver.execute_script("return location.hash") != "#page=6":
                sys.exit("FAIL: turning did not update the address")
            for keys, pages, what in ((Keys.SPACE, [8, 9], "Space"),
                                      (Keys.SHIFT + Keys.SPACE, [6, 7], "Shift+Space"),
                                      (Keys.ARROW_DOWN, [8, 9], "Down"),
                                      (Keys.ARROW_UP, [6, 7], "Up")):
                driver.find_element(By.TAG_NAME, "body").send_keys(keys)
                expect_pages(driver, pages, f"{what} turns")
            box = driver.find_element(By.ID, "go-to")
            box.send_keys("11", Keys.ENTER)
            expect_pages(driver, [10, 11], "the page box turns to page 11")
            search(driver, "harbour LIGHTS", 8, "the demo book")
            expect_pages(driver, [8, 9], "the search's result turns to page 8")

            driver.execute_script("location.hash = '#page=2'")
            expect_pages(driver, [2, 3], "going to page 2")
            driver.find_element(By.CSS_SELECTOR, '#p2 a.link[href="#page=6"]').click()
            expect_pages(driver, [6, 7], "the page link on page 2 jumps to page 6")
            driver.back()
            expect_pages(driver, [2, 3], "Back returns to page 2")

            # The demo book's own table of contents, one entry a page: its sixth entry turns there,
            # and chosen again stays there (the address does not change); either closes the contents.
            for entry, what in ((6, "the sixth entry of the contents"), (6, "the entry of the page shown")):
                driver.find_element(By.ID, "contents-button").click()
                driver.find_element(By.CSS_SELECTOR, f'#contents li:nth-child({entry}) a').click()
                expect_pages(driver, [6, 7], what)
                if not driver.execute_script("return document.getElementById('contents').hidden"):
                    sys.exit(f"FAIL: {what} left the contents open")
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
    print("PASS: the web book turns, links, finds, loads only what is near and stays in its folder in Chromium")
    return 0


if __name__ == "__main__":
    sys.exit(main())
