#!/usr/bin/python3
"""stsgrid --fit's results on stsview's page, in headless Chromium.

A generated superconducting grid (make_grid --superconductor, two pixels
missing) is fitted by stsgrid twice: over a window that holds the gap
(most pixels converge) and over one too narrow for it (every fit fails).
With the files read independently with xarray, a picked pixel's curve
pane must carry the file's fit_curve as a series of its own colour, its
legend the file's fit_gap and fit_gamma with their unit, the fit table the
fit_* values and fit_status in the file's own words; a pixel without a fit
shows no curve and says why; the curve's text export carries fit_curve as
a third column.  The real Pb line (../shared/realdata) is checked the same
way where that folder is present.

    fit_browser_test.py --stsview BIN --make-grid BIN --stsgrid BIN [--screenshot PNG]
"""
import argparse
import json
import os
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser_test import CHROMIUM, DRIVER, NEED, Page, check, f32, same, start_server  # noqa: E402

import numpy as np  # noqa: E402
import xarray as xr  # noqa: E402
from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.action_chains import ActionChains  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.common.keys import Keys  # noqa: E402
from selenium.webdriver.support.ui import Select  # noqa: E402

REALDATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "shared", "realdata")
PB = os.path.join(REALDATA, "raw", "nanonis2025_Grid_Spectroscopy008.3ds")
FIT = ["--fit=dynes", "--fit-temperature=0.5"]


def stsgrid(args, out, extra, source):
    s = subprocess.run([args.stsgrid, "-o", out, *extra, source], capture_output=True)
    check(s.returncode in (0, 3), f"stsgrid {' '.join(extra)} failed: {s.stderr.decode()}")
    return xr.open_dataset(out)


def series(page):
    """The curve pane's series as drawn: [(label, stroke of its legend marker, values)]."""
    return page.d.execute_script(
        "const u = document.getElementById('curves').uplot;"
        "const rows = [...document.querySelectorAll('#curves .u-legend .u-series')];"
        "const marker = (label) => { const r = rows.find((r) => r.querySelector('.u-label') &&"
        "  r.querySelector('.u-label').textContent === label);"
        "  return r && r.querySelector('.u-marker') ? getComputedStyle(r.querySelector('.u-marker')).borderColor : ''; };"
        "return u.series.map((s, i) => [s.label, marker(s.label), i ? u.data[i] : []]).slice(1)")


def pick(page, x, y, add=False, count=1):
    d = page.d
    if add:
        ActionChains(d).key_down(Keys.SHIFT).perform()
    page.at_pixel(x, y).click().perform()
    if add:
        ActionChains(d).key_up(Keys.SHIFT).perform()
    page.wait(lambda: len(fit_rows(page)) == count and len(page.rows("pixel")) == count, f"pixel ({x}, {y})")


def fit_rows(page):
    return page.d.execute_script(
        "return [...document.querySelectorAll('#fit-numbers tbody tr')].map(r => "
        "Object.assign({text: r.innerText}, r.dataset))")


def open_file(page, url, index):
    d = page.d
    d.get(url.split("#")[0])
    page.wait(lambda: d.execute_script("return document.body.dataset.ready") == "true" and
              page.data("map").get("serial"), "the first map")
    if index:
        Select(d.find_element(By.ID, "file")).select_by_value(str(index))
        page.wait(lambda: page.data("map").get("file") == str(index), f"file {index}")


def legend_text(ds, x, y, sis=False):
    g = lambda name: f"{float(ds[name].values[y, x]):.4g} {ds[name].attrs['units']}"
    return f"Δ = {g('fit_gap')}, Γ = {g('fit_gamma')}"


def check_fitted_pixel(page, ds, x, y, word):
    """The pixel's fit series, legend and table row are the file's."""
    labels = [s for s in series(page) if s[0].startswith(f"({x}, {y}) Dynes fit")]
    check(len(labels) == 1, f"no fit series for ({x}, {y}): {[s[0] for s in series(page)]}")
    label, stroke, values = labels[0]
    check(legend_text(ds, x, y) in label, f"the legend {label!r} lacks {legend_text(ds, x, y)!r}")
    check(legend_text(ds, x, y) in page.d.find_element(By.ID, "curves").text, "the legend shown lacks the fit")
    check(("" if word == "converged" else word) in label, f"the legend {label!r} lacks the status {word}")
    want = ds.fit_curve.values[y, x, :]
    got = np.array([np.nan if v is None else v for v in values], dtype=np.float64).astype(np.float32)
    check(len(got) == len(want) and all(same(a, b) for a, b in zip(got, want)),
          f"the fit series of ({x}, {y}) is not the file's fit_curve")
    data = [s for s in series(page) if s[0] == f"({x}, {y})"][0]
    check(stroke and stroke != data[1], f"the fit's colour {stroke} is the data's {data[1]}")
    row = [r for r in fit_rows(page) if (r["x"], r["y"]) == (str(x), str(y))][0]
    check(row["word"] == word and row["drawn"] == "true", f"the fit row of ({x}, {y}): {row}")
    for name in ("fit_gap", "fit_gamma", "fit_scale", "fit_chi2", "fit_iterations"):
        check(same(f32(row[name]), ds[name].values[y, x]), f"the table's {name} of ({x}, {y})")
    check(word in row["text"], f"the row does not say {word}: {row['text']}")


def synthetic(page, url, ds, narrow):
    d = page.d
    meanings = ds.fit_status.attrs["flag_meanings"].split()
    open_file(page, url, 0)
    check(page.data("map")["variable"] == ds.attrs["fit_curve_of"] == "didv", "the page opens on the fitted variable")
    codes = ds.fit_status.values
    x, y = next((x, y) for y in range(ds.sizes["y"]) for x in range(ds.sizes["x"]) if codes[y, x] == 0)
    pick(page, x, y)
    check_fitted_pixel(page, ds, x, y, meanings[codes[y, x]])
    head = [h.text for h in d.find_elements(By.CSS_SELECTOR, "#fit-numbers thead th")]
    check("gap (meV)" in head and "fit_status" in head, f"the fit table's columns {head}")
    # A missing pixel beside: no fit curve, the reason in the file's word and the pixel's.
    mx, my = ds.sizes["x"] - 1, ds.sizes["y"] - 1
    check(meanings[codes[my, mx]] == "not_computed", "the test grid's last pixel is fitted")
    pick(page, mx, my, add=True, count=2)
    check(not [s for s in series(page) if s[0].startswith(f"({mx}, {my}) Dynes")], "a missing pixel has a fit curve")
    row = [r for r in fit_rows(page) if (r["x"], r["y"]) == (str(mx), str(my))][0]
    check(row["drawn"] == "false" and "no fit: not_computed" in row["text"] and "missing" in row["text"],
          f"the missing pixel's fit row: {row['text']}")
    check_fitted_pixel(page, ds, x, y, meanings[codes[y, x]])
    # The curve's text export: the header names the fit, a third column is fit_curve.
    d.execute_script("[...document.querySelectorAll('#numbers tbody tr')].find(r => r.dataset.kind === 'pixel' && "
                     "r.dataset.x === String(arguments[0])).querySelector('a').id = 'fit-export'", x)
    text = page.download("fit-export", f"didv_fit_x{x}_y{y}.txt").decode()
    head = "\n".join(l for l in text.splitlines() if l.startswith("#"))
    for word in ("fit: dynes", "fit_window: " + ds.attrs["fit_window"], "third column: fit_curve", "Δ = "):
        check(word in head, f"the export's header lacks {word!r}: {head}")
    rows = np.loadtxt(text.splitlines(), comments="#").astype(np.float32)
    good = np.isfinite(ds.didv.values[y, x, :])
    check(rows.shape[1] == 3 and all(same(a, b) for a, b in zip(rows[:, 2], ds.fit_curve.values[y, x, good])),
          "the export's third column is not fit_curve")
    check(all(same(a, b) for a, b in zip(rows[:, 1], ds.didv.values[y, x, good])), "the export's didv")
    # Another variable: no fit drawn over it, and the page says which one is fitted.
    Select(d.find_element(By.ID, "variable")).select_by_value("current")
    page.wait(lambda: page.data("map").get("variable") == "current" and len(fit_rows(page)) == 2, "the current")
    check(not [s for s in series(page) if "fit" in s[0]], "a fit drawn over the current")
    check("show didv" in d.find_element(By.ID, "fit-note").text, "the note on the fitted variable")

    # The narrow window: every fit failed, each says why in the file's words.
    nm = narrow.fit_status.attrs["flag_meanings"].split()
    open_file(page, url, 1)
    pick(page, 1, 1)
    word = nm[narrow.fit_status.values[1, 1]]
    row = fit_rows(page)[0]
    check(row["drawn"] == "false" and f"no fit: {word}" in row["text"], f"the failed fit's row: {row['text']}")
    check(not [s for s in series(page) if "fit" in s[0]], "a failed fit has a curve")


def real_pb(page, url, ds, index):
    """The 32-pixel line, drawn as a distance x bias image: a click picks a column."""
    d = page.d
    open_file(page, url, index)
    meanings = ds.fit_status.attrs["flag_meanings"].split()
    box = json.loads(page.data("map")["box"])
    canvas = d.find_element(By.ID, "map")
    for x in (3, 20):
        cx = box["left"] + (x + 0.5) * box["cell"] - canvas.size["width"] / 2
        cy = box["top"] + box["height"] * 0.3 - canvas.size["height"] / 2
        ActionChains(d).move_to_element_with_offset(canvas, int(round(cx)), int(round(cy))).click().perform()
        page.wait(lambda: [(r["x"], r["y"]) for r in fit_rows(page)] == [(str(x), "0")], f"column {x} picked")
        check_fitted_pixel(page, ds, x, 0, meanings[ds.fit_status.values[0, x]])


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


def run(args, work):
    source = os.path.join(work, "sc.3ds")
    subprocess.run([args.make_grid, "--superconductor", "8", "6", "160", source, "2"], check=True)
    files = [os.path.join(work, n) for n in ("sc.nc", "narrow.nc")]
    ds = stsgrid(args, files[0], FIT + ["--fit-window=0.003"], source)
    narrow = stsgrid(args, files[1], FIT + ["--fit-window=0.0001"], source)
    pb = None
    if os.path.isdir(REALDATA):
        files.append(os.path.join(work, "pb.nc"))
        pb = stsgrid(args, files[2], ["-d", "mean", "--fit=dynes", "--fit-window=0.001", "--fit-temperature=0.42"], PB)
    server, url, _ = start_server(args, files, os.path.join(work, "stsview.err"))
    try:
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     f"--user-data-dir={os.path.join(work, 'profile')}", "--window-size=1900,1100"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        try:
            downloads = os.path.join(work, "downloads")
            os.makedirs(downloads)
            driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
            page = Page(driver, downloads)
            synthetic(page, url, ds, narrow)
            print("synthetic grid: ok")
            if pb is not None:
                real_pb(page, url, pb, 2)
                print("real Pb line: ok")
            else:
                print("real Pb line: no real data folder")
            if args.screenshot:
                driver.save_screenshot(args.screenshot)
        finally:
            driver.quit()
    finally:
        server.send_signal(signal.SIGINT)
        server.wait(timeout=10)


if __name__ == "__main__":
    sys.exit(main())
