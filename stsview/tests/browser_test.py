#!/usr/bin/python3
"""stsview's page in headless Chromium, driven through WebDriver.

Makes two small grids (make_grid, then stsgrid), starts stsview on them and
checks, against the netCDF files read independently with xarray, that the
numbers the page shows are the files' values: the map at a bias stepped
with the arrow keys, the readout under the cursor, a clicked and a
shift-clicked pixel's curve, a dragged region's mean (equal to stsgrid
--region's), a line cut's pixels, and the bias kept across a file switch.
A request without the token is refused; a screenshot is not blank.

Fails, naming the Debian package, where Chromium, its driver, selenium,
NumPy or xarray are absent (`bash scripts/deps tests` installs them).

    browser_test.py --stsview BIN --make-grid BIN --stsgrid BIN [--screenshot PNG]
"""
import argparse
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


def png_not_blank(data):
    """True when a PNG (8-bit RGB or RGBA, not interlaced) has many colours."""
    check(data[:8] == b"\x89PNG\r\n\x1a\n", "the screenshot is not a PNG")
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
    raw, stride, prev, colours = zlib.decompress(idat), width * channels, bytearray(width * channels), set()
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
        if y % 4 == 0:
            for x in range(0, width, 4):
                colours.add(bytes(row[x * channels:x * channels + 3]))
        prev = row
    return len(colours) > 50


class Page:
    def __init__(self, driver):
        self.d = driver

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
    a, b, r = (os.path.join(work, n) for n in ("a.nc", "b.nc", "region.nc"))
    for out, extra, src in ((a, [], "a.3ds"), (b, [], "b.3ds"), (r, ["--region=2:6,3:7"], "a.3ds")):
        s = subprocess.run([args.stsgrid, "-o", out, *extra, os.path.join(work, src)], capture_output=True)
        check(s.returncode in (0, 3), f"stsgrid failed: {s.stderr.decode()}")
    da, db, dr = xr.open_dataset(a), xr.open_dataset(b), xr.open_dataset(r)

    server, url, startup = start_server(args, [a, b])
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


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--stsview", required=True)
    p.add_argument("--make-grid", required=True)
    p.add_argument("--stsgrid", required=True)
    p.add_argument("--screenshot")
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
