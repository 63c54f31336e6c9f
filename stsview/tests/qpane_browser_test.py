#!/usr/bin/python3
"""stsview's reciprocal-space pane in headless Chromium, driven through
WebDriver, on a synthetic QPI grid (make_plane_wave_grid: at midpoint j a plane
wave at q = dq (5 + j, 3), dq = 2 pi / 64 nm^-1, and a square lattice of
8 nm in the topography).  The cursor over the wave's q-pixel reads that q,
|q| and 2 pi / |q| in nm; the axes say "q_x (nm^-1)" and "q_y (nm^-1)";
the Bragg peaks are circled at +-(8 dq, 0) and +-(0, 8 dq); a bias step
moves the pane with the map; a dragged cut draws the dispersion with its
axes in units, and its netCDF export, downloaded, reads back with xarray
as the route's numbers.  Fails, naming the Debian package, where Chromium,
its driver, selenium, NumPy or xarray are absent.

    qpane_browser_test.py --stsview BIN --make-plane-wave-grid BIN --stsgrid BIN
"""
import argparse
import json
import math
import os
import signal
import subprocess
import sys
import tempfile
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import CHROMIUM, DRIVER, NEED, Page, check, start_server  # noqa: E402

import numpy as np  # noqa: E402  (browser_test names the package when absent)
import xarray as xr  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

DQ = 2 * math.pi / 64  # nm^-1: one q-pixel of the 32 x 2 nm scan


def q_offset(page, x, y):
    """The offset from the q-map canvas's centre to q-pixel (x, y)'s centre."""
    box = json.loads(page.data("qmap")["box"])
    canvas = page.d.find_element(By.ID, "qmap")
    w, h = canvas.size["width"], canvas.size["height"]
    px = box["left"] + (x + 0.5) * box["cw"]
    py = box["top"] + (box["ny"] - 1 - y + 0.5) * box["ch"]
    return int(round(px - w / 2)), int(round(py - h / 2))


def into_view(page):
    """The q-pane stands after the curves, below the first row: scrolled to."""
    page.d.execute_script("document.getElementById('q-section').scrollIntoView({block: 'center'})")


def at_q(page, x, y):
    into_view(page)
    dx, dy = q_offset(page, x, y)
    return ActionChains(page.d).move_to_element_with_offset(page.d.find_element(By.ID, "qmap"), dx, dy)


def near(a, b, what):
    check(abs(float(a) - b) < 1e-6 * max(1, abs(b)), f"{what}: {a} where {b} was expected")


def cursor_reads_the_wave(page, url):
    for k in (1, 3):
        page.d.get(url + f"#file=0&variable=didv&index={k}")
        page.wait(lambda: page.data("qmap").get("index") == str(k), f"the q-map at index {k}")
        # The wave of midpoint k at q-pixel (16 + 5 + k, 16 + 3).
        at_q(page, 21 + k, 19).perform()
        page.wait(lambda: page.data("q-readout").get("px") == str(21 + k), "the cursor's readout")
        r = page.data("q-readout")
        qx, qy = DQ * (5 + k), DQ * 3
        near(r["qx"], qx, "q_x under the cursor")
        near(r["qy"], qy, "q_y under the cursor")
        near(r["q"], math.hypot(qx, qy), "|q| under the cursor")
        near(r["wavelength"], 2 * math.pi / math.hypot(qx, qy), "2 pi / |q| under the cursor")
        text = page.d.find_element(By.ID, "q-readout").text
        for part in ("nm^-1", "2π/|q| = ", " nm ", "|F| = "):
            check(part in text, f"the readout {text!r} lacks {part!r}")
        # The readout's |F| is the route's, and the largest beyond three q-pixels of 0.
        api = json.loads(urllib.request.urlopen(url.split("#")[0].replace("?", "api/qmap?file=0&variable=didv"
                                                                       f"&index={k}&")).read())
        v = np.asarray(api["values"], dtype=np.float32).reshape(32, 32)
        # The readout's shortest text that reads back as the float.
        check(np.float32(r["value"]) == v[19, 21 + k], f"|F| {r['value']} against the route's {v[19, 21 + k]}")
        q = np.hypot(*np.meshgrid(api["qx"], api["qy"]))
        v[q <= 3 * DQ] = 0
        check(np.unravel_index(np.argmax(v), v.shape) in ((19, 21 + k), (13, 11 - k)),
              f"the strongest |F| of slice {k} is not at the wave")
    d = page.data("qmap")
    check(d["xLabel"] == "q_x (nm^-1)" and d["yLabel"] == "q_y (nm^-1)", f"q axis labels {d['xLabel']!r}, {d['yLabel']!r}")
    check(page.data("q-bar")["unit"].startswith("|F| ("), f"the q colour bar's unit {page.data('q-bar')['unit']!r}")
    bragg = json.loads(d["bragg"])
    check(len(bragg) == 4, f"Bragg peaks circled: {bragg}")
    for qx, qy in bragg:
        check(abs(math.hypot(qx, qy) - 8 * DQ) < DQ, f"a Bragg peak at ({qx}, {qy}), not 8 dq from 0")


def dispersion(page, url, work):
    page.d.get(url + "#file=0&variable=didv&index=2")
    page.wait(lambda: page.data("qmap").get("index") == "2", "the q-map at index 2")
    # A cut along qy = 3 dq from q_x = 0 to 12 dq: through each slice's wave.
    into_view(page)
    ActionChains(page.d).move_to_element_with_offset(page.d.find_element(By.ID, "qmap"), *q_offset(page, 16, 19)) \
        .click_and_hold().move_to_element_with_offset(page.d.find_element(By.ID, "qmap"), *q_offset(page, 28, 19)) \
        .release().perform()
    page.wait(lambda: page.data("qcut").get("samples"), "the dispersion image")
    c = page.data("qcut")
    check(c["xLabel"] == "distance along the cut (nm^-1)", f"the dispersion's x label {c['xLabel']!r}")
    check(c["yLabel"] == "bias (V)", f"the dispersion's y label {c['yLabel']!r}")
    check(c["samples"] == "13", f"samples along 12 q-pixels: {c['samples']}")
    cut = json.loads(page.data("qmap")["cut"])
    near(cut["q0x"], 0, "the cut's q0x")
    near(cut["q1x"], 12 * DQ, "the cut's q1x")
    near(cut["q0y"], 3 * DQ, "the cut's q0y")
    body = page.download("export-qcutnc", "fft_didv_qcut.nc")
    path = os.path.join(work, "cut.nc")
    with open(path, "wb") as f:
        f.write(body)
    with xr.open_dataset(path) as ds:
        v = ds["fft_didv_cut"]
        check(v.dims == ("bias", "sample"), f"the cut file's dims {v.dims}")
        check(ds["distance"].attrs["units"] == "nm-1", "the cut file's distance units")
        values = v.values
        # Each slice's wave at 5 + k q-pixels along the cut: its largest |F| there.
        for k in range(values.shape[0]):
            check(int(np.argmax(values[k])) == 5 + k, f"slice {k}'s dispersion peaks at sample {np.argmax(values[k])}")
    text = page.download("export-qcut", "fft_didv_qcut.txt").decode()
    check(text.startswith("# variable fft_didv") and "bias in V" in text and "q0 = (" in text,
          f"the cut's text header: {text[:300]!r}")


def run(args, work):
    g, nc = os.path.join(work, "qpi.3ds"), os.path.join(work, "qpi.nc")
    subprocess.run([args.make_plane_wave_grid, g], check=True)
    s = subprocess.run([args.stsgrid, "-o", nc, g], capture_output=True)
    check(s.returncode == 0, f"stsgrid failed: {s.stderr.decode()}")
    errors = os.path.join(work, "stsview.err")
    server, url, _ = start_server(args, [nc], errors)
    try:
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     f"--user-data-dir={os.path.join(work, 'profile')}", "--window-size=1900,1100"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        downloads = os.path.join(work, "downloads")
        os.makedirs(downloads)
        driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
        try:
            page = Page(driver, downloads)
            for test in (cursor_reads_the_wave, dispersion):
                test(page, url) if test is cursor_reads_the_wave else test(page, url, work)
                print(f"{test.__name__}: ok")
        finally:
            driver.quit()
    finally:
        server.send_signal(signal.SIGINT)
        server.wait(timeout=10)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--stsview", required=True)
    p.add_argument("--make-plane-wave-grid", required=True)
    p.add_argument("--stsgrid", required=True)
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
