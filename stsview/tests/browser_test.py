#!/usr/bin/python3
"""stsview's page in headless Chromium, driven through WebDriver.

Makes two small grids (make_grid, then stsgrid), starts stsview on them and
checks, against the netCDF files read independently with xarray, that the
numbers the page shows are the files' values: the map at a bias stepped
with the arrow keys, the readout under the cursor, a clicked and a
shift-clicked pixel's curve, a dragged region's mean (equal to stsgrid
--region's), a line cut's pixels, and the bias kept across a file switch.
A request without the token is refused; a screenshot is not blank.

Then page tests, each from a view of its own: one state drawn into every
pane (line cut, table, readout and export names follow the variable, file
and bias; marks clipped to the grid; the URL's fragment carries the view),
a line grid as a distance x bias image, axes and colour bars with units
and round ticks and the curve pane's zoom and y range, the keys, colours
by meaning, exports with their context (downloaded and read back), and the
per-pixel (y, x) variables as maps.  --only names some of them.


Fails, naming the Debian package, where Chromium, its driver, selenium,
NumPy or xarray are absent (`bash scripts/deps tests` installs them).

    browser_test.py --stsview BIN --make-grid BIN --stsgrid BIN [--screenshot PNG] [--only a,b]
"""
import argparse
import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
import zlib

NEED = "install the tests' packages with `bash scripts/deps tests`"

try:
    import numpy as np
    import xarray as xr
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError as e:
    print(f"missing Debian package python3-{e.name} ({e}): {NEED}")
    sys.exit(1)

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def f32(text):
    """The float32 the page's text stands for (NaN for 'NaN')."""
    return np.float32(float(text))


def same(a, b):
    a, b = np.float32(a), np.float32(b)
    return (np.isnan(a) and np.isnan(b)) or a.tobytes() == b.tobytes()


def png_pixels(data):
    """A PNG (8-bit RGB or RGBA, not interlaced) as (width, height, rows of RGB bytes)."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG")
    at, idat, width, height, channels = 8, b"", 0, 0, 4
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            check(depth == 8 and colour in (2, 6), "an unexpected PNG kind")
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, prev, rows = zlib.decompress(idat), width * channels, bytearray(width * channels), []
    for y in range(height):
        kind, row = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b, c = prev[i], prev[i - channels] if i >= channels else 0
            if kind == 1: row[i] = (row[i] + a) & 255
            elif kind == 2: row[i] = (row[i] + b) & 255
            elif kind == 3: row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(row[x * channels + j] for x in range(width) for j in range(3)))
        prev = row
    return width, height, rows


def png_not_blank(data):
    """True when a PNG has many colours."""
    width, height, rows = png_pixels(data)
    colours = {rows[y][3 * x:3 * x + 3] for y in range(0, height, 4) for x in range(0, width, 4)}
    return len(colours) > 50


class Page:
    def __init__(self, driver, downloads=None):
        self.d = driver
        self.downloads = downloads

    def download(self, element_id, name):
        """Clicks the export and returns the bytes of the file it saves as name."""
        path = os.path.join(self.downloads, name)
        if os.path.exists(path):
            os.remove(path)
        self.d.execute_script("document.getElementById(arguments[0]).click()", element_id)
        self.wait(lambda: os.path.exists(path) and os.path.getsize(path) > 0, f"the download {name}")
        time.sleep(0.2)
        with open(path, "rb") as f:
            return f.read()

    def wait(self, condition, what, timeout=20):
        try:
            return WebDriverWait(self.d, timeout).until(lambda d: condition())
        except Exception:
            message = self.d.find_element(By.ID, "message").text
            raise AssertionError(f"timed out waiting for {what} (page says: {message!r})")

    def data(self, element_id):
        return self.d.execute_script("return Object.assign({}, document.getElementById(arguments[0]).dataset)",
                                     element_id)

    def rows(self, kind):
        return self.d.execute_script(
            "return [...document.querySelectorAll('#numbers tbody tr')]"
            ".filter(r => r.dataset.kind === arguments[0]).map(r => Object.assign({}, r.dataset))", kind)

    def pixel_offset(self, x, y):
        """The offset from the map canvas's centre to pixel (x, y)'s centre."""
        box = self.d.execute_script("return JSON.parse(document.getElementById('map').dataset.box)")
        canvas = self.d.find_element(By.ID, "map")
        w, h = canvas.size["width"], canvas.size["height"]
        px = box["left"] + (x + 0.5) * box["cell"]
        py = box["top"] + (box["ny"] - 1 - y + 0.5) * box["cell"]
        return int(round(px - w / 2)), int(round(py - h / 2))

    def at_pixel(self, x, y):
        dx, dy = self.pixel_offset(x, y)
        return ActionChains(self.d).move_to_element_with_offset(self.d.find_element(By.ID, "map"), dx, dy)


def start_server(args, files):
    p = subprocess.Popen([args.stsview, *files], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    started = time.monotonic()
    url = p.stdout.readline().strip()
    check(url.startswith("http://127.0.0.1:"), f"stsview printed no URL: {url!r} {p.stderr.read() if p.poll() is not None else ''}")
    return p, url, time.monotonic() - started


def refused_without_token(url):
    base = url.split("?")[0]
    for target in [base, base + "api/files", base + "api/map?file=0&variable=didv&index=0",
                   url.replace("token=", "token=0")]:
        try:
            urllib.request.urlopen(target, timeout=5)
            return False
        except urllib.error.HTTPError as e:
            if e.code != 403:
                return False
    return True


def run(args, work):
    make = lambda nx, ny, n, name, missing: subprocess.run(
        [args.make_grid, str(nx), str(ny), str(n), os.path.join(work, name), str(missing)], check=True)
    make(12, 10, 60, "a.3ds", 4)
    make(9, 8, 80, "b.3ds", 0)
    make(5, 4, 40, "c.3ds", 0)
    make(32, 1, 50, "line.3ds", 0)
    a, b, r, c, line = (os.path.join(work, n) for n in ("a.nc", "b.nc", "region.nc", "c.nc", "line.nc"))
    for out, extra, src in ((a, [], "a.3ds"), (b, [], "b.3ds"), (r, ["--region=2:6,3:7"], "a.3ds"),
                            (c, [], "c.3ds"), (line, [], "line.3ds")):
        s = subprocess.run([args.stsgrid, "-o", out, *extra, os.path.join(work, src)], capture_output=True)
        check(s.returncode in (0, 3), f"stsgrid failed: {s.stderr.decode()}")
    da, db, dr, dc, dl = (xr.open_dataset(n) for n in (a, b, r, c, line))

    server, url, startup = start_server(args, [a, b, c, line])
    try:
        check(refused_without_token(url), "a request without the token was not refused with 403")
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     f"--user-data-dir={os.path.join(work, 'profile')}", "--window-size=1400,1000"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        try:
            figures = exercise(Page(driver), url, da, db, dr, args)
            downloads = os.path.join(work, "downloads")
            os.makedirs(downloads)
            driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
            for test in (t for t in TESTS if not args.only or t.__name__ in args.only.split(",")):
                test(Page(driver, downloads), url, {0: da, 1: db, 2: dc, 3: dl}, dr)
                print(f"{test.__name__}: ok")
        finally:
            driver.quit()
    finally:
        server.send_signal(signal.SIGINT)
        try:
            status = server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            raise AssertionError("stsview did not stop on SIGINT")
    check(status == 0, f"stsview ended with status {status} on SIGINT")
    print(f"startup {startup * 1000:.0f} ms (URL printed); " +
          ", ".join(f"{k} {v} ms" for k, v in figures.items()))


def exercise(page, url, da, db, dr, args):
    d = page.d
    t0 = time.monotonic()
    d.get(url)
    page.wait(lambda: d.execute_script("return document.body.dataset.ready") == "true" and
              page.data("map").get("serial"), "the first map")
    first_map = (time.monotonic() - t0) * 1000
    m = page.data("map")
    k = int(m["index"])
    check(m["variable"] == "didv" and m["file"] == "0", f"the first map is not didv of the first file: {m}")
    check(same(f32(m["bias"]), da.vmid.values[k]), "the map's bias is not the file's vmid")

    # The bias steps with the arrow keys, one midpoint a press.
    body = d.find_element(By.TAG_NAME, "body")
    step_ms = []
    for key, step in ((Keys.ARROW_RIGHT, 1), (Keys.ARROW_RIGHT, 1), (Keys.ARROW_LEFT, -1)):
        body.send_keys(key)
        k += step
        page.wait(lambda: page.data("map").get("index") == str(k), f"the map at index {k}")
        step_ms.append(float(page.data("map")["drawMs"]))
    m = page.data("map")
    check(same(f32(m["bias"]), da.vmid.values[k]), "the stepped bias is not the file's")
    check(f"{m['bias']}" in d.find_element(By.ID, "map-title").text, "the title does not show the bias")

    # The readout under the cursor: the file's value and status.
    for (x, y) in ((3, 2), (11, 9)):
        page.at_pixel(x, y).perform()
        page.wait(lambda: page.data("readout").get("x") == str(x) and page.data("readout").get("y") == str(y),
                  f"the readout of pixel ({x}, {y})")
        r = page.data("readout")
        check(same(f32(r["value"]), da.didv.values[y, x, k]), f"readout value at ({x}, {y}) differs")
        check(int(r["status"]) == int(da.status.values[y, x]), f"readout status at ({x}, {y}) differs")
        check(same(np.float32(float(r["xnm"])), np.float32(da.x.values[x])), "readout x differs")
    check(int(page.data("readout")["status"]) == 6 and "missing" in d.find_element(By.ID, "readout").text,
          "a missing pixel does not say so")

    # A click shows a curve; shift-click adds one.
    page.at_pixel(4, 5).click().perform()
    page.wait(lambda: len(page.rows("pixel")) == 1, "the clicked pixel's curve")
    click_ms = float(page.data("curves")["curveMs"])
    ActionChains(d).key_down(Keys.SHIFT).perform()
    page.at_pixel(7, 1).click().perform()
    ActionChains(d).key_up(Keys.SHIFT).perform()
    page.wait(lambda: len(page.rows("pixel")) == 2, "the shift-clicked pixel's curve")
    for row in page.rows("pixel"):
        x, y = int(row["x"]), int(row["y"])
        check(same(f32(row["value"]), da.didv.values[y, x, k]), f"curve value of ({x}, {y}) differs")
    check({(int(r["x"]), int(r["y"])) for r in page.rows("pixel")} == {(4, 5), (7, 1)}, "the curves' pixels")
    legend = d.find_element(By.ID, "curves").text
    check("(4, 5)" in legend and "(7, 1)" in legend, "the legend lacks the pixels")
    mean = page.rows("mean")[0]
    check(same(f32(mean["value"]), da.mean_didv.values[k]) and same(f32(mean["se"]), da.se_didv.values[k]),
          "the grid mean differs from the file's")

    # A dragged region: stsgrid --region's statistics, bit for bit.
    Select(d.find_element(By.ID, "mode")).select_by_value("region")
    canvas = d.find_element(By.ID, "map")
    (ax, ay), (bx, by) = page.pixel_offset(2, 7), page.pixel_offset(6, 3)
    ActionChains(d).move_to_element_with_offset(canvas, ax, ay).click_and_hold() \
        .move_to_element_with_offset(canvas, (ax + bx) // 2, (ay + by) // 2) \
        .move_to_element_with_offset(canvas, bx, by).release().perform()
    page.wait(lambda: len(page.rows("region")) == 1, "the region's curve")
    region = page.rows("region")[0]
    check((region["x0"], region["x1"], region["y0"], region["y1"]) == ("2", "6", "3", "7"),
          f"the dragged rectangle is {region}")
    check(same(f32(region["value"]), dr.mean_didv.values[k]) and same(f32(region["se"]), dr.se_didv.values[k]),
          "the region's mean or SE differs from stsgrid --region's")
    block = da.didv.values[3:8, 2:7, k][da.status.values[3:8, 2:7] == 0]
    check(int(region["pixels"]) == block.size, "the region's pixel count")
    check(np.isclose(f32(region["value"]), block.mean(dtype=np.float64), rtol=1e-5), "region mean far from numpy's")
    region_ms = float(page.data("curves")["regionMs"])

    # A click in the curve pane sets the bias (here a quarter of the way in).
    over = d.find_element(By.CSS_SELECTOR, "#curves .u-over")
    ActionChains(d).move_to_element_with_offset(over, -over.size["width"] // 4, 0).click().perform()
    page.wait(lambda: int(page.data("map")["index"]) < k, "the bias set by a click on the curves")
    m = page.data("map")
    check(same(f32(m["bias"]), da.vmid.values[int(m["index"])]), "the clicked bias is not the file's")
    check(all(r["index"] == m["index"] for r in page.rows("pixel")), "the table is not at the clicked bias")
    k = int(m["index"])

    # A line cut from (0, 0) to (11, 4): nearest pixels.
    Select(d.find_element(By.ID, "mode")).select_by_value("line")
    (ax, ay), (bx, by) = page.pixel_offset(0, 0), page.pixel_offset(11, 4)
    ActionChains(d).move_to_element_with_offset(canvas, ax, ay).click_and_hold() \
        .move_to_element_with_offset(canvas, bx, by).release().perform()
    page.wait(lambda: page.data("linecut").get("samples"), "the line cut")
    cut = page.data("linecut")
    xs, ys = [int(v) for v in cut["x"].split(",")], [int(v) for v in cut["y"].split(",")]
    check(xs == list(range(12)), f"the line cut's x: {xs}")
    check(ys == [int(np.floor(4 * s / 11 + 0.5)) for s in range(12)], f"the line cut's y: {ys}")

    # Another file: the bias kept (nearest), the map of that file.
    bias = f32(page.data("map")["bias"])
    check(same(bias, da.vmid.values[k]), "the bias moved")
    Select(d.find_element(By.ID, "file")).select_by_value("1")
    page.wait(lambda: page.data("map").get("file") == "1", "the second file's map")
    m = page.data("map")
    k2 = int(m["index"])
    check(k2 == int(np.argmin(np.abs(db.vmid.values - bias))), "the bias was not kept across files")
    page.at_pixel(8, 7).perform()
    page.wait(lambda: page.data("readout").get("x") == "8", "the second file's readout")
    check(same(f32(page.data("readout")["value"]), db.didv.values[7, 8, k2]), "the second file's value")

    Select(d.find_element(By.ID, "file")).select_by_value("0")
    page.wait(lambda: page.data("map").get("file") == "0", "the first file again")
    shot = d.get_screenshot_as_png()
    check(png_not_blank(shot), "the screenshot is blank")
    if args.screenshot:
        with open(args.screenshot, "wb") as f:
            f.write(shot)
    return {"first map": f"{first_map:.0f}", "bias step (median)": f"{sorted(step_ms)[1]:.1f}",
            "click to curve": f"{click_ms:.1f}", "region": f"{region_ms:.1f}"}


def blur(page):
    page.d.execute_script("document.activeElement && document.activeElement.blur()")


def check_cut(page, ds, variable, k):
    """The line cut shown is of this variable and file: its pixels' values at k."""
    cut = page.data("linecut")
    check(cut.get("variable") == variable, f"the line cut is of {cut.get('variable')}, not {variable}")
    xs, ys = [int(v) for v in cut["x"].split(",")], [int(v) for v in cut["y"].split(",")]
    check(max(xs) < ds.sizes["x"] and max(ys) < ds.sizes["y"], f"the line cut leaves the grid: {xs} {ys}")
    shown = [f32(v) for v in cut["atBias"].split(",")]
    want = ds[variable].values[ys, xs, k]
    check(all(same(a, b) for a, b in zip(shown, want)) and len(shown) == len(want),
          f"the line cut's values at the bias are not the file's {variable}")
    title = page.d.find_element(By.ID, "linecut-title").text
    check(variable in title, f"the line cut's title does not name {variable}: {title!r}")
    link = page.d.find_element(By.ID, "export-linecut")
    check(link.get_attribute("download") == f"{variable}_linecut.txt" and
          f"variable={variable}" in link.get_attribute("href"), "the line cut's export is not of the variable")
    return xs, ys


def one_state(page, url, files, dr):
    """Every pane follows the one state: variable, file, bias; marks in the grid; the URL carries it."""
    d = page.d
    da, dc = files[0], files[2]
    Select(d.find_element(By.ID, "file")).select_by_value("0")
    page.wait(lambda: page.data("map").get("file") == "0", "the first file")
    Select(d.find_element(By.ID, "mode")).select_by_value("line")
    canvas = d.find_element(By.ID, "map")
    (ax, ay), (bx, by) = page.pixel_offset(0, 0), page.pixel_offset(11, 4)
    ActionChains(d).move_to_element_with_offset(canvas, ax, ay).click_and_hold() \
        .move_to_element_with_offset(canvas, bx, by).release().perform()
    page.wait(lambda: page.data("linecut").get("x", "").startswith("0,1,2,3,4,5,6,7,8,9,10,11"), "the line cut")
    k = int(page.data("map")["index"])
    check_cut(page, da, "didv", k)

    # Another variable: the cut, table and links follow it.
    Select(d.find_element(By.ID, "variable")).select_by_value("current")
    page.wait(lambda: page.data("linecut").get("variable") == "current", "the line cut of current")
    page.wait(lambda: page.data("map").get("variable") == "current", "the map of current")
    check_cut(page, da, "current", k)
    page.wait(lambda: page.rows("pixel") and all(r["variable"] == "current" for r in page.rows("pixel")),
              "the table of current")
    for row in page.rows("pixel"):
        x, y = int(row["x"]), int(row["y"])
        check(same(f32(row["value"]), da.current.values[y, x, k]), f"current of ({x}, {y}) in the table")
    links = d.execute_script("return [...document.querySelectorAll('#numbers a')].map(a => a.href)")
    check(links and all("variable=current" in h for h in links), "a table export is not of current")

    # The readout follows the bias under a still cursor.
    page.at_pixel(3, 2).perform()
    page.wait(lambda: page.data("readout").get("x") == "3", "the readout")
    blur(page)
    d.find_element(By.TAG_NAME, "body").send_keys(Keys.ARROW_RIGHT)
    page.wait(lambda: page.data("readout").get("index") == str(k + 1), "the readout at the next bias")
    check(same(f32(page.data("readout")["value"]), da.current.values[2, 3, k + 1]),
          "the readout kept the old bias's value")
    check_cut(page, da, "current", k + 1)
    k += 1

    # A smaller file: the region that does not fit is dropped (and its
    # mark), the line clipped to the grid and recomputed from this file.
    Select(d.find_element(By.ID, "file")).select_by_value("2")
    page.wait(lambda: page.data("map").get("file") == "2", "the small file's map")
    page.wait(lambda: page.data("linecut").get("x", "").startswith("0,1,2,3,4") and
              page.data("linecut")["x"].count(",") == 4, "the clipped line cut")
    kc = int(page.data("map")["index"])
    xs, ys = check_cut(page, dc, "current", kc)
    check(xs == [0, 1, 2, 3, 4] and ys[-1] == 3, f"the clipped line: {xs} {ys}")
    marks = json.loads(page.data("map")["marks"])
    check(marks["region"] is None and not page.rows("region"), f"the dropped region is still drawn: {marks}")
    check(marks["line"] == [0, 0, 4, 3], f"the line mark is not clipped to the grid: {marks}")

    # The URL's fragment: a reload opens the same view.
    page.wait(lambda: "file=2" in d.current_url and "line=0,0,4,3" in d.current_url, "the fragment of the state")
    fragment = d.current_url.split("#", 1)[1]
    check("file=2" in fragment and "variable=current" in fragment and f"index={kc}" in fragment and
          "line=0,0,4,3" in fragment, f"the fragment does not carry the state: {fragment}")
    d.refresh()
    page.wait(lambda: d.execute_script("return document.body.dataset.ready") == "true" and
              page.data("map").get("serial"), "the reloaded page")
    m = page.data("map")
    check((m["file"], m["variable"], m["index"]) == ("2", "current", str(kc)), f"the reload shows {m}")
    page.wait(lambda: page.data("linecut").get("samples") == "5", "the reloaded line cut")
    check_cut(page, dc, "current", kc)

    # A link to a view: the file, variable, bias, pixels, region and line it names.
    d.get(url.split("#")[0] + "#file=0&variable=didv&index=5&pixels=4,5;7,1&region=2,6,3,7&line=0,0,11,4")
    page.wait(lambda: page.data("map").get("file") == "0" and page.data("map").get("index") == "5" and
              page.rows("region") and len(page.rows("pixel")) == 2 and
              page.data("linecut").get("samples") == "12", "the linked view")
    region = page.rows("region")[0]
    check(same(f32(region["value"]), dr.mean_didv.values[5]), "the linked region's mean")
    for row in page.rows("pixel"):
        x, y = int(row["x"]), int(row["y"])
        check(same(f32(row["value"]), da.didv.values[y, x, 5]), f"the linked pixel ({x}, {y})")
    check_cut(page, da, "didv", 5)


def show_view(page, url, file, variable, index, pixels=(), region=None, line=None):
    """The view reached through the controls and the mouse alone (no fragment)."""
    d = page.d
    d.get(url.split("#")[0])
    page.wait(lambda: d.execute_script("return document.body.dataset.ready") == "true" and
              page.data("map").get("serial"), "the first map")
    if file != 0:
        Select(d.find_element(By.ID, "file")).select_by_value(str(file))
        page.wait(lambda: page.data("map").get("file") == str(file), f"file {file}")
    if variable != page.data("map")["variable"]:
        Select(d.find_element(By.ID, "variable")).select_by_value(variable)
        page.wait(lambda: page.data("map").get("variable") == variable, variable)
    d.execute_script("const b = document.getElementById('bias'); b.value = arguments[0];"
                     "b.dispatchEvent(new Event('input'))", index)
    page.wait(lambda: page.data("map").get("index") == str(index), f"the map at {index}")
    canvas = d.find_element(By.ID, "map")
    mode = Select(d.find_element(By.ID, "mode"))
    for i, (x, y) in enumerate(pixels):
        mode.select_by_value("pixel")
        if i:
            ActionChains(d).key_down(Keys.SHIFT).perform()
        page.at_pixel(x, y).click().perform()
        if i:
            ActionChains(d).key_up(Keys.SHIFT).perform()
        page.wait(lambda: len(page.rows("pixel")) == i + 1, f"pixel ({x}, {y})")
    for kind, ends in (("region", region), ("line", line)):
        if not ends:
            continue
        mode.select_by_value(kind)
        (ax, ay), (bx, by) = page.pixel_offset(*ends[0]), page.pixel_offset(*ends[1])
        ActionChains(d).move_to_element_with_offset(canvas, ax, ay).click_and_hold() \
            .move_to_element_with_offset(canvas, (ax + bx) // 2, (ay + by) // 2) \
            .move_to_element_with_offset(canvas, bx, by).release().perform()
        if kind == "region":
            page.wait(lambda: page.rows("region"), "the region")
        else:
            page.wait(lambda: page.data("linecut").get("samples"), "the line cut")
    mode.select_by_value("pixel")
    blur(page)


def round_ticks(texts):
    """Tick texts that step by 1, 2 or 5 times a power of ten, evenly."""
    v = [float(t) for t in texts]
    if len(v) < 2:
        return False
    steps = np.diff(v)
    if not np.allclose(steps, steps[0], rtol=1e-6):
        return False
    mantissa = steps[0] / 10 ** np.floor(np.log10(steps[0]))
    return any(np.isclose(mantissa, m) for m in (1, 2, 5)) and \
        all(np.isclose(x / steps[0], round(x / steps[0]), atol=1e-6) for x in v)


def line_grid(page, url, files, dr):
    """A 32 x 1 grid: a distance x bias image, the curves beside it, a click picks a column."""
    d, dl = page.d, files[3]
    d.get(url.split("#")[0])
    page.wait(lambda: d.execute_script("return document.body.dataset.ready") == "true", "the page")
    Select(d.find_element(By.ID, "file")).select_by_value("3")
    page.wait(lambda: page.data("map").get("file") == "3" and page.data("map").get("serial"), "the line grid")
    check(page.data("map").get("strip") == "true", "the line grid is not drawn as a distance x bias image")
    box = json.loads(page.data("map")["box"])
    check(box["height"] > 300 and box["nx"] == 32, f"the line grid is not an image of bias: {box}")
    check(round_ticks(page.data("map")["yTicks"].split(",")), "the strip's bias ticks")
    check(round_ticks(page.data("map")["xTicks"].split(",")), "the strip's distance ticks")
    bar = page.data("colour-bar")
    check(round_ticks(bar["ticks"].split(",")) and len(bar["ticks"].split(",")) <= 7, f"the strip's colour bar: {bar}")
    canvas, curves = d.find_element(By.ID, "map"), d.find_element(By.ID, "curves")
    check(curves.location["x"] >= canvas.location["x"] + canvas.size["width"] and
          abs(curves.location["y"] - canvas.location["y"]) < 200, "the curve pane is not beside the strip")
    k = int(page.data("map")["index"])
    for x in (20, 3):
        cx = box["left"] + (x + 0.5) * box["cell"] - canvas.size["width"] / 2
        cy = box["top"] + box["height"] * 0.3 - canvas.size["height"] / 2
        ActionChains(d).move_to_element_with_offset(canvas, int(round(cx)), int(round(cy))).click().perform()
        page.wait(lambda: [(r["x"], r["y"]) for r in page.rows("pixel")] == [(str(x), "0")], f"column {x} picked")
        row = page.rows("pixel")[0]
        check(same(f32(row["value"]), dl.didv.values[0, x, k]), f"the picked column {x}'s value")
        r = page.data("readout")
        check(r["x"] == str(x) and same(f32(r["value"]), dl.didv.values[0, x, k]), f"the readout of column {x}")
    blur(page)
    d.find_element(By.TAG_NAME, "body").send_keys(Keys.ARROW_UP)
    page.wait(lambda: page.data("map").get("index") == str(k + 1), "a bias step on the strip")
    page.wait(lambda: page.data("readout").get("index") == str(k + 1), "the strip's readout at the new bias")
    check(same(f32(page.data("readout")["value"]), dl.didv.values[0, 3, k + 1]), "the strip's readout after a step")


def axes_and_bars(page, url, files, dr):
    """Units and round ticks on the map, its bar and the line cut; the curve pane zooms and takes y limits."""
    d, da = page.d, files[0]
    show_view(page, url, 0, "didv", 20, pixels=[(4, 5)], line=((0, 0), (11, 4)))
    unit = da.didv.attrs["units"]
    bar = page.data("colour-bar")
    check(bar.get("unit") == unit, f"the map's colour bar has no unit: {bar}")
    check(round_ticks(bar["ticks"].split(",")), f"the colour bar's ticks are not round: {bar['ticks']}")
    m = page.data("map")
    check(round_ticks(m["xTicks"].split(",")) and round_ticks(m["yTicks"].split(",")), f"the map's ticks: {m}")
    cut = page.data("linecut")
    check(cut["unit"] == unit and round_ticks(cut["barTicks"].split(",")), f"the line cut's colour bar: {cut}")
    check(round_ticks(cut["distanceTicks"].split(",")) and round_ticks(cut["biasTicks"].split(",")),
          f"the line cut's axes: {cut}")
    bias = da.vmid.values
    check(float(cut["biasTicks"].split(",")[0]) >= bias.min() - 1e-9, "a bias tick outside the axis")

    over = d.find_element(By.CSS_SELECTOR, "#curves .u-over")
    full = float(page.data("curves")["xMax"]) - float(page.data("curves")["xMin"])
    w, h = over.size["width"], over.size["height"]
    ActionChains(d).move_to_element_with_offset(over, -w // 4, -h // 4).click_and_hold() \
        .move_to_element_with_offset(over, 0, 0).move_to_element_with_offset(over, w // 8, h // 4) \
        .release().perform()
    page.wait(lambda: float(page.data("curves")["xMax"]) - float(page.data("curves")["xMin"]) < full * 0.6,
              "the zoomed curve pane")
    check(page.data("map")["index"] == "20", "the end of a zoom box set the bias")
    ActionChains(d).move_to_element_with_offset(over, 0, 0).double_click().perform()
    page.wait(lambda: abs(float(page.data("curves")["xMax"]) - float(page.data("curves")["xMin"]) - full) < full * 1e-6,
              "the reset curve pane")
    Select(d.find_element(By.ID, "y-range")).select_by_value("fixed")
    for id_, value in (("y-low", "-0.5"), ("y-high", "2.5")):
        e = d.find_element(By.ID, id_)
        e.clear()
        e.send_keys(value + Keys.TAB)
    page.wait(lambda: page.data("curves").get("yMin") == "-0.5" and page.data("curves").get("yMax") == "2.5",
              "the typed y limits")
    Select(d.find_element(By.ID, "y-range")).select_by_value("percentile")
    # The 1st and 99th percentiles of the shown values (grid mean, its band, the pixel), padded by 5 %.
    mean, se, curve = da.mean_didv.values, da.se_didv.values, da.didv.values[5, 4, :]
    shown = np.sort(np.concatenate([mean, mean + np.float32(2) * se, mean - np.float32(2) * se, curve]).astype(np.float64))
    shown = shown[np.isfinite(shown)]
    lo, hi = (shown[int(round(p / 100 * (len(shown) - 1)))] for p in (1, 99))
    page.wait(lambda: page.data("curves").get("yMin") != "-0.5", "the percentile y range")
    y0, y1 = float(page.data("curves")["yMin"]), float(page.data("curves")["yMax"])
    check(np.isclose(y0, lo - 0.05 * (hi - lo), rtol=1e-4) and np.isclose(y1, hi + 0.05 * (hi - lo), rtol=1e-4),
          f"the 1-99 % y range is {y0}..{y1}, not {lo}..{hi} padded")
    Select(d.find_element(By.ID, "y-range")).select_by_value("auto")


def keyboard(page, url, files, dr):
    """Arrows step the bias after a dropdown; shift+arrows move the pixel; ? shows the keys."""
    d, da = page.d, files[0]
    show_view(page, url, 0, "didv", 30, pixels=[(7, 1)])
    for id_ in ("variable", "colours", "mode", "bias"):
        k = int(page.data("map")["index"])
        element = d.find_element(By.ID, id_)
        d.execute_script("arguments[0].focus()", element)
        element.send_keys(Keys.ARROW_RIGHT)
        page.wait(lambda: page.data("map").get("index") == str(k + 1), f"a bias step with the focus on {id_}")
        check(d.find_element(By.ID, "variable").get_attribute("value") == "didv", "the arrow changed the variable")
        check(page.data("map").get("index") == str(k + 1), f"more than one step with the focus on {id_}")
    k = int(page.data("map")["index"])
    check(d.find_element(By.ID, "colours").get_attribute("value") == "auto", "the arrow changed the colours")
    body = d.find_element(By.TAG_NAME, "body")
    blur(page)
    for keys, want in (((Keys.SHIFT, Keys.ARROW_RIGHT), (8, 1)), ((Keys.SHIFT, Keys.ARROW_UP), (8, 2)),
                       ((Keys.SHIFT, Keys.ARROW_LEFT), (7, 2)), ((Keys.SHIFT, Keys.ARROW_DOWN), (7, 1))):
        ActionChains(d).key_down(Keys.SHIFT).send_keys(keys[1]).key_up(Keys.SHIFT).perform()
        page.wait(lambda: [(int(r["x"]), int(r["y"])) for r in page.rows("pixel")] == [want], f"the pixel moved to {want}")
        row = page.rows("pixel")[0]
        check(same(f32(row["value"]), da.didv.values[want[1], want[0], k]), f"the moved pixel's value at {want}")
    check(page.data("map")["index"] == str(k), "shift+arrow stepped the bias")
    check(not d.find_element(By.ID, "keys").is_displayed(), "the keys are shown unasked")
    body.send_keys("?")
    page.wait(lambda: d.find_element(By.ID, "keys").is_displayed(), "the keys shown on ?")
    check("shift" in d.find_element(By.ID, "keys").text, "the keys do not name shift")
    body.send_keys("?")
    page.wait(lambda: not d.find_element(By.ID, "keys").is_displayed(), "the keys hidden on ? again")
    e = d.find_element(By.ID, "range-low")
    e.send_keys(Keys.ARROW_RIGHT)
    time.sleep(0.3)
    check(page.data("map")["index"] == str(k), "an arrow in a typed field stepped the bias")


def colour_meaning(page, url, files, dr):
    """Diverging by default for the signed current only; on request for any."""
    d, da = page.d, files[0]
    # A bias where didv's 1st percentile is negative (noise), not signed for all that.
    didv = da.didv.values[da.status.values == 0]
    lows = [np.percentile(didv[:, k], 1) for k in range(didv.shape[1])]
    k = int(np.argmin(lows))
    check(lows[k] < 0, "the test grid has no bias with negative dI/dV noise")
    show_view(page, url, 0, "didv", k)
    bar = page.data("colour-bar")
    check(float(bar["lo"]) < 0 and bar["colours"] == "viridis", f"didv is not in viridis by default: {bar}")
    for name, want in (("norm_raw", "viridis"), ("current", "diverging")):
        Select(d.find_element(By.ID, "variable")).select_by_value(name)
        page.wait(lambda: page.data("map").get("variable") == name, name)
        bar = page.data("colour-bar")
        check(bar["colours"] == want, f"{name} is in {bar['colours']}, not {want}")
    check(float(bar["lo"]) == -float(bar["hi"]), "the diverging map is not centred on zero")
    Select(d.find_element(By.ID, "variable")).select_by_value("didv")
    Select(d.find_element(By.ID, "colours")).select_by_value("diverging")
    page.wait(lambda: page.data("map").get("variable") == "didv" and page.data("colour-bar")["colours"] == "diverging",
              "didv in the diverging map on request")
    Select(d.find_element(By.ID, "colours")).select_by_value("auto")


def exports(page, url, files, dr):
    """The PNG has title, axes and bar but no marks; text exports carry a # header."""
    d, da = page.d, files[0]
    show_view(page, url, 0, "didv", 12, pixels=[(4, 5)], region=((2, 7), (6, 3)))
    bias = page.data("map")["bias"]
    name = "a.nc"
    # The map as text: the header, then the file's values, one row per y.
    text = page.download("export-map", f"didv_map_{bias}.txt").decode()
    head = [l for l in text.splitlines() if l.startswith("#")]
    joined = "\n".join(head)
    for word in ("didv", da.didv.attrs["units"], f"bias: {bias}", name, "row", "y index 0"):
        check(word in joined, f"the map's header lacks {word!r}: {head}")
    values = np.loadtxt(text.splitlines(), comments="#", dtype=np.float64).astype(np.float32)
    check(values.shape == (da.sizes["y"], da.sizes["x"]), f"the map's shape {values.shape}")
    want = da.didv.values[:, :, 12]
    check(all(same(a, b) for a, b in zip(values.ravel(), want.ravel())), "the map text is not the file's")
    # A curve: the pixel named, the pairs as the file has them.
    d.execute_script("[...document.querySelectorAll('#numbers tbody tr')].find(r => r.dataset.kind === 'pixel')"
                     ".querySelector('a').id = 'pixel-export'")
    text = page.download("pixel-export", "didv_x4_y5.txt").decode()
    head = "\n".join(l for l in text.splitlines() if l.startswith("#"))
    for word in ("pixel: (4, 5)", "didv", da.didv.attrs["units"], name, "columns: bias"):
        check(word in head, f"the curve's header lacks {word!r}: {head}")
    pairs = np.loadtxt(text.splitlines(), comments="#").astype(np.float32)
    good = np.isfinite(da.didv.values[5, 4, :])
    check(all(same(a, b) for a, b in zip(pairs[:, 1], da.didv.values[5, 4, good])), "the curve text is not the file's")
    text = page.download("export-region", "didv_region_x2-6_y3-7.txt").decode()
    check("region: x index 2-6, y index 3-7" in text and "standard error" in text, "the region's header")
    rows = np.loadtxt(text.splitlines(), comments="#").astype(np.float32)
    check(all(same(a, b) for a, b in zip(rows[:, 1], dr.mean_didv.values)), "the region text's mean")
    # The PNG: bigger than the map (title, bar), no mark colours.
    png = page.download("export-png", f"didv_map_{bias}.png")
    width, height, rows = png_pixels(png)
    canvas = page.data("map")
    shown = d.execute_script(
        "const c = document.getElementById('map'), g = c.getContext('2d'), p = g.getImageData(0, 0, c.width, c.height).data;"
        "let n = 0; for (let i = 0; i < p.length; i += 4) if (p[i] === 31 && p[i+1] === 119 && p[i+2] === 180) n++;"
        "return [c.width, c.height, n]")
    check(shown[2] > 0, "the test's pixel mark is not on the page")
    check(width > shown[0] and height > shown[1], f"the PNG is {width} x {height}, no room for title and bar")
    marks = sum(1 for r in rows for x in range(width) if r[3 * x:3 * x + 3] == bytes([31, 119, 180]))
    check(marks == 0, f"the PNG shows the interaction marks ({marks} pixels)")
    check(png_not_blank(png), "the PNG is blank")
    dark_top = sum(1 for y in range(24) for x in range(width) if max(rows[y][3 * x:3 * x + 3]) < 100)
    check(dark_top > 50, "the PNG has no title")


def per_pixel_maps(page, url, files, dr):
    """Variables over (y, x) alone are in the list and shown as maps; the curves stay spectra."""
    d, da = page.d, files[0]
    show_view(page, url, 0, "didv", 9, pixels=[(4, 5)])
    options = d.execute_script("return [...document.getElementById('variable').options].map(o => o.value)")
    want = [n for n, v in da.data_vars.items() if v.dims == ("y", "x")]
    check(want and all(n in options for n in want), f"the per-pixel variables {want} are not offered: {options}")
    for name in want:
        Select(d.find_element(By.ID, "variable")).select_by_value(name)
        page.wait(lambda: page.data("map").get("variable") == name, f"the map of {name}")
        check(page.data("colour-bar").get("unit") == da[name].attrs.get("units", ""), f"{name}'s unit")
        for (x, y) in ((3, 2), (11, 9)):
            page.at_pixel(x, y).perform()
            page.wait(lambda: page.data("readout").get("x") == str(x) and page.data("readout").get("y") == str(y) and
                      page.data("readout").get("variable") == name, f"the readout of {name} at ({x}, {y})")
            value = da[name].values[y, x]
            check(same(f32(page.data("readout")["value"]), np.float32(value)), f"{name} at ({x}, {y})")
        row = page.rows("pixel")[0]
        check(row["variable"] == "didv" and same(f32(row["value"]), da.didv.values[5, 4, 9]),
              f"the curve under the map of {name} is not didv's")
    Select(d.find_element(By.ID, "variable")).select_by_value("didv")
    page.wait(lambda: page.data("map").get("variable") == "didv", "didv again")


TESTS = (one_state, line_grid, axes_and_bars, keyboard, colour_meaning, exports, per_pixel_maps)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--stsview", required=True)
    p.add_argument("--make-grid", required=True)
    p.add_argument("--stsgrid", required=True)
    p.add_argument("--screenshot")
    p.add_argument("--only", help="the page tests to run after the tour, comma-separated (default all)")
    args = p.parse_args()
    if not CHROMIUM or not DRIVER:
        print(f"missing Debian package chromium or chromium-driver: {NEED}")
        return 1
    with tempfile.TemporaryDirectory() as work:
        try:
            run(args, work)
        except AssertionError as e:
            print(f"FAILED: {e}")
            return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
