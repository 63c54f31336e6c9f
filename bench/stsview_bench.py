#!/usr/bin/env python3
"""stsview's speed on a large grid, in headless Chromium (Debian's, through
WebDriver): from start to the first map drawn (with the topography beside
it), a bias step to the new map drawn (arrow key) with the topography pane
on and then off, a pixel click to its curve drawn, a 64 x 64 region's
mean +- SE, the line cut's netCDF file, a q-map and a cut in q, and the
server's memory.

    /usr/bin/python3 bench/stsview_bench.py [--build DIR] [--grid FILE.nc] [--steps 20]

Without --grid it makes a 256 x 256 x 1000 grid with a topography
(make_grid --topography, then stsgrid; about 1.6 GB; minutes).  Not part of
the test suite.
"""
import argparse
import http.client
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "stsview", "tests"))
import browser_test as bt  # noqa: E402  (the page helper and Chromium's flags)


def rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024
    return 0.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build/default")
    ap.add_argument("--grid")
    ap.add_argument("--steps", type=int, default=20)
    a = ap.parse_args()
    if not bt.CHROMIUM or not bt.DRIVER:
        sys.exit("needs Debian's chromium and chromium-driver")
    with tempfile.TemporaryDirectory() as work:
        grid = a.grid
        if not grid:
            grid = os.path.join(work, "big.nc")
            subprocess.run([os.path.join(a.build, "bench/make_grid"), "--topography", "256", "256", "1000",
                            os.path.join(work, "big.3ds")], check=True)
            subprocess.run([os.path.join(a.build, "stsgrid/stsgrid"), "-o", grid,
                            os.path.join(work, "big.3ds")], check=False)
        options = bt.webdriver.ChromeOptions()
        options.binary_location = bt.CHROMIUM
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     f"--user-data-dir={os.path.join(work, 'profile')}", "--window-size=1900,1100"):
            options.add_argument(flag)
        driver = bt.webdriver.Chrome(service=bt.Service(bt.DRIVER), options=options)
        driver.get("about:blank")  # the browser is up before the clock starts
        started = time.monotonic()
        server = subprocess.Popen([os.path.join(a.build, "stsview/stsview"), grid],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            url = server.stdout.readline().strip()
            printed = time.monotonic() - started
            page = bt.Page(driver)
            driver.get(url)
            page.wait(lambda: page.data("map").get("serial"), "the first map", timeout=120)
            first = time.monotonic() - started
            page.wait(lambda: page.data("side").get("shown") == "true", "the topography beside", timeout=120)
            side_first = time.monotonic() - started
            side_ms = float(page.data("side")["drawMs"])
            body = driver.find_element(bt.By.TAG_NAME, "body")

            def step_run():
                steps, fetches, paints = [], [], []
                for i in range(a.steps):
                    k = int(page.data("map")["index"])
                    body.send_keys(bt.Keys.ARROW_RIGHT if i % 2 == 0 else bt.Keys.ARROW_LEFT)
                    want = str(k + 1 if i % 2 == 0 else k - 1)
                    page.wait(lambda: page.data("map").get("index") == want, "the stepped map")
                    m = page.data("map")
                    steps.append(float(m["drawMs"]))
                    fetches.append(float(m["fetchMs"]))
                    paints.append(float(m["paintMs"]))
                return steps, fetches, paints

            def side(name):
                bt.Select(driver.find_element(bt.By.ID, "side-variable")).select_by_value(name)
                page.wait(lambda: page.data("side").get("shown") == ("false" if name == "none" else "true"),
                          f"the pane beside: {name}")
                bt.blur(page)
                # The cursor over the map, so that the readouts follow every step.
                page.at_pixel(128, 128).perform()

            # Runs with the topography beside the map and without it, in
            # turn, so that the machine's load falls on both alike.
            steps, fetches, paints, alone = [], [], [], []
            for _ in range(3):
                side("topography")
                s, f, p = step_run()
                steps += s
                fetches += f
                paints += p
                side("none")
                alone += step_run()[0]
            side("topography")
            clicks = []
            for i in range(a.steps // 2):
                page.at_pixel(10 + 5 * i, 20 + 3 * i).click().perform()
                page.wait(lambda: page.rows("pixel") and page.rows("pixel")[0]["x"] == str(10 + 5 * i),
                          "the clicked curve")
                clicks.append(float(page.data("curves")["curveMs"]))
            port, token = int(url.split(":")[2].split("/")[0]), url.split("token=")[1]
            conn = http.client.HTTPConnection("127.0.0.1", port)
            regions = []
            for i in range(5):
                t0 = time.perf_counter()
                conn.request("GET", f"/api/region?file=0&variable=didv&x0={i * 30}&x1={i * 30 + 63}"
                                    f"&y0={i * 20}&y1={i * 20 + 63}&token={token}")
                conn.getresponse().read()
                regions.append((time.perf_counter() - t0) * 1000)
            lines = []
            for i in range(5):
                t0 = time.perf_counter()
                conn.request("GET", f"/api/export/line.nc?file=0&x0={i * 10}&y0=0&x1=255&y1={255 - i * 40}"
                                    f"&token={token}")
                body_bytes = len(conn.getresponse().read())
                lines.append((time.perf_counter() - t0) * 1000)
            qmaps = []
            for i in range(5):
                t0 = time.perf_counter()
                conn.request("GET", f"/api/qmap?file=0&variable=didv&index={100 + 50 * i}&token={token}")
                conn.getresponse().read()
                qmaps.append((time.perf_counter() - t0) * 1000)
            # The first cut transforms every slice (kept); the next ones read the kept stack.
            qcuts = []
            for i in range(3):
                t0 = time.perf_counter()
                conn.request("GET", f"/api/qcut?file=0&variable=didv&q0x=0&q0y=0&q1x={1 + 0.5 * i}&q1y=1"
                                    f"&token={token}")
                conn.getresponse().read()
                qcuts.append((time.perf_counter() - t0) * 1000)
            memory = rss_mib(server.pid)
        finally:
            driver.quit()
            server.send_signal(signal.SIGINT)
            server.wait(timeout=30)
    print(f"grid {grid}")
    print(f"start to URL printed       {printed * 1000:8.0f} ms")
    print(f"start to first map drawn   {first * 1000:8.0f} ms")
    print(f"start to topography drawn  {side_first * 1000:8.0f} ms  (its request and drawing {side_ms:.1f} ms)")
    print(f"bias step, map drawn       median {statistics.median(steps):6.1f} ms  (max {max(steps):.1f}, {len(steps)} steps; topography beside)")
    print(f"  of which the request    median {statistics.median(fetches):6.1f} ms, the drawing {statistics.median(paints):.1f} ms")
    print(f"  without the topography  median {statistics.median(alone):6.1f} ms  (the pane adds "
          f"{statistics.median(steps) - statistics.median(alone):+.1f} ms; runs of {a.steps} steps in turn, 3 each)")
    print(f"click to curve drawn       median {statistics.median(clicks):6.1f} ms  (max {max(clicks):.1f})")
    print(f"64 x 64 region mean +- SE  median {statistics.median(regions):6.1f} ms  (max {max(regions):.1f})")
    print(f"line cut as netCDF         median {statistics.median(lines):6.1f} ms  (max {max(lines):.1f}; {body_bytes} bytes)")
    print(f"q-map (one transform)      median {statistics.median(qmaps):6.1f} ms  (max {max(qmaps):.1f})")
    print(f"q cut, every slice         first {qcuts[0]:8.1f} ms, then median {statistics.median(qcuts[1:]):.1f} ms")
    print(f"server memory (RSS)        {memory:8.0f} MiB  (with the q cut's stack of transforms)")


if __name__ == "__main__":
    main()
