#!/usr/bin/env python3
"""The README's screenshot of stsview (docs/stsview.png): a synthetic grid
made here (make_grid --topography: a surface with a terrace and a bump in
each pixel's "Z (m)", a gap whose width varies over the grid), computed by
stsgrid, opened in headless Chromium at a view with three picked pixels, a
region and a line cut, the topography beside the dI/dV map.

    /usr/bin/python3 docs/stsview_figure.py [build-dir]   (default build/default)
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "stsview", "tests"))
import browser_test as bt  # noqa: E402  (the page helper and Chromium's flags)

VIEW = "#file=0&variable=didv&index=89&pixels=10,40;44,14;30,30&region=36,52,22,38&line=4,4,58,34&side=topography"


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/default"
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stsview.png")
    with tempfile.TemporaryDirectory() as work:
        grid, nc = os.path.join(work, "surface.3ds"), os.path.join(work, "surface.nc")
        subprocess.run([os.path.join(build, "bench/make_grid"), "--topography", "64", "48", "200", grid], check=True)
        subprocess.run([os.path.join(build, "stsgrid/stsgrid"), "-o", nc, grid], check=True, capture_output=True)
        options = bt.webdriver.ChromeOptions()
        options.binary_location = bt.CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--hide-scrollbars",
                     f"--user-data-dir={os.path.join(work, 'profile')}", "--window-size=1900,1150"):
            options.add_argument(flag)
        server = subprocess.Popen([os.path.join(build, "stsview/stsview"), nc], stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True)
        driver = bt.webdriver.Chrome(service=bt.Service(bt.DRIVER), options=options)
        try:
            page = bt.Page(driver)
            driver.get(server.stdout.readline().strip() + VIEW)
            page.wait(lambda: page.data("map").get("index") == "89" and page.data("side").get("shown") == "true"
                      and len(page.rows("pixel")) == 3 and page.rows("region") and
                      page.data("linecut").get("samples"), "the view")
            page.at_pixel(30, 30, "side").perform()
            page.wait(lambda: page.data("readout").get("x") == "30", "the readouts")
            with open(out, "wb") as f:
                f.write(driver.get_screenshot_as_png())
        finally:
            driver.quit()
            server.terminate()
            server.wait(timeout=10)
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
