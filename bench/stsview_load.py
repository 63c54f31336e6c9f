#!/usr/bin/env python3
"""A bounded load test of stsview on loopback: 64 concurrent clients, each
sending a fixed number of mixed requests (maps at random biases, curves,
regions, grid means, the topography map, line cuts as netCDF files, and bad
requests), over keep-alive connections.
Prints the errors (good requests not answered 200, bad ones not answered
4xx: both must be 0), the p50/p99 latency per kind, and the server's
resident memory before and after (flat: at most one variable's copy more).

    python3 bench/stsview_load.py [--build DIR] [--grid FILE.nc] [--clients 64]
                                  [--requests 200] [--seconds 300]

Without --grid, a 64 x 64 grid of 400 points with a topography is made
with make_grid and stsgrid.  --requests is per client (the full run: --requests 10000).  Not
part of the test suite: it takes minutes and both cores.
"""
import argparse
import http.client
import os
import random
import signal
import subprocess
import sys
import tempfile
import threading
import time


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def make_grid(build, folder):
    g, nc = os.path.join(folder, "load.3ds"), os.path.join(folder, "load.nc")
    subprocess.run([os.path.join(build, "bench/make_grid"), "--topography", "64", "64", "400", g], check=True)
    s = subprocess.run([os.path.join(build, "stsgrid/stsgrid"), "-o", nc, g], capture_output=True)
    if s.returncode not in (0, 3):
        sys.exit(f"stsgrid failed: {s.stderr.decode()}")
    return nc


def requests_for(rng, token, nx, ny, points):
    """One mixed request: (kind, target, good)."""
    t = "&token=" + token
    k, x, y = rng.randrange(points - 1), rng.randrange(nx), rng.randrange(ny)
    r = rng.random()
    if r < 0.30:
        # One variable: a map of another replaces the server's bias-major
        # copy (one variable at a time), which a user does on purpose.
        return "map", f"/api/map?file=0&variable=didv&index={k}{t}", True
    if r < 0.56:
        return "curve", f"/api/curve?file=0&variable=didv&x={x}&y={y}{t}", True
    if r < 0.66:
        x1, y1 = min(nx - 1, x + rng.randrange(16)), min(ny - 1, y + rng.randrange(16))
        return "region", f"/api/region?file=0&variable=didv&x0={x}&x1={x1}&y0={y}&y1={y1}{t}", True
    if r < 0.71:
        return "mean", f"/api/mean?file=0&variable=norm_raw{t}", True
    if r < 0.76:
        return "pixelmap", f"/api/pixelmap.f32?file=0&variable=topography{t}", True
    if r < 0.80:
        x1, y1 = rng.randrange(nx), rng.randrange(ny)
        return "line.nc", f"/api/export/line.nc?file=0&x0={x}&y0={y}&x1={x1}&y1={y1}{t}", True
    bad = rng.choice([f"/api/map?file=0&variable=didv&index={points + 5}{t}",
                      f"/api/map?file=0&variable=didv&index=-1{t}",
                      f"/api/curve?file=0&variable=didv&x=NaN&y=0{t}",
                      f"/api/curve?file=0&variable=nope&x=0&y=0{t}",
                      f"/api/region?file=0&variable=didv&x0=5&x1=1&y0=0&y1=0{t}",
                      "/api/files", "/api/files?token=" + "0" * 64,
                      f"/api/map?file=9&variable=didv&index=0{t}",
                      f"/assets/..%2f..%2fetc%2fpasswd?{t[1:]}",
                      f"/api/map?file=0&variable=didv&index=%zz{t}",
                      f"/api/export/line.nc?file=0&x0=0&y0=0&x1={nx}&y1=0{t}",
                      f"/api/export/line.nc?file=0&variable=didv&x0=0&y0=0&x1=1&y1=1{t}",
                      f"/api/pixelmap.f32?file=0&variable=didv{t}"])
    return "bad", bad, False


def client(port, token, shape, count, seed, deadline, results, lock):
    rng = random.Random(seed)
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    mine = []
    for _ in range(count):
        if time.monotonic() > deadline:
            break
        kind, target, good = requests_for(rng, token, *shape)
        started = time.perf_counter()
        status = 0
        # A kept-alive connection the server has closed meanwhile (idle too
        # long, or its request limit) is opened again once, as browsers do.
        for attempt in range(2):
            reused = conn.sock is not None
            try:
                conn.request("GET", target)
                response = conn.getresponse()
                response.read()
                status = response.status
                if response.getheader("Connection", "").lower() == "close":
                    conn.close()
                break
            except (http.client.RemoteDisconnected, BrokenPipeError, ConnectionResetError):
                conn.close()
                if not reused:
                    break
            except (OSError, http.client.HTTPException):
                conn.close()
                break
        ok = status == 200 if good else 400 <= status < 500
        mine.append((kind, time.perf_counter() - started, ok, status))
    conn.close()
    with lock:
        results.extend(mine)


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(p / 100 * len(values)))] if values else float("nan")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default="build/default")
    ap.add_argument("--grid")
    ap.add_argument("--clients", type=int, default=64)
    ap.add_argument("--requests", type=int, default=200)
    ap.add_argument("--seconds", type=float, default=300)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as folder:
        grid = a.grid or make_grid(a.build, folder)
        server = subprocess.Popen([os.path.join(a.build, "stsview/stsview"), grid],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        url = server.stdout.readline().strip()
        port, token = int(url.split(":")[2].split("/")[0]), url.split("token=")[1]
        try:
            conn = http.client.HTTPConnection("127.0.0.1", port)
            conn.request("GET", f"/api/files?token={token}")
            import json
            f = json.loads(conn.getresponse().read())["files"][0]
            shape = (f["nx"], f["ny"], len(f["variables"][0]["bias"]))
            # Warm: the bias-major copy of one variable exists before "before".
            conn.request("GET", f"/api/map?file=0&variable=didv&index=0&token={token}")
            conn.getresponse().read()
            conn.close()
            before = rss_kib(server.pid)
            results, lock, threads = [], threading.Lock(), []
            deadline = time.monotonic() + a.seconds
            started = time.monotonic()
            for c in range(a.clients):
                t = threading.Thread(target=client, args=(port, token, shape, a.requests, c, deadline,
                                                          results, lock))
                t.start()
                threads.append(t)
            for t in threads:
                t.join()
            elapsed = time.monotonic() - started
            after = rss_kib(server.pid)
        finally:
            server.send_signal(signal.SIGTERM)
            stopped = server.wait(timeout=30)
    errors = [r for r in results if not r[2]]
    print(f"{len(results)} requests from {a.clients} clients in {elapsed:.1f} s "
          f"({len(results) / elapsed:.0f}/s); grid {shape[0]} x {shape[1]} x {shape[2]}")
    for kind in ["map", "curve", "region", "mean", "pixelmap", "line.nc", "bad"]:
        t = [r[1] * 1000 for r in results if r[0] == kind]
        if t:
            print(f"  {kind:7s} {len(t):7d}  p50 {percentile(t, 50):8.2f} ms  p99 {percentile(t, 99):8.2f} ms")
    print(f"errors: {len(errors)}" + (f" (statuses {sorted({r[3] for r in errors})})" if errors else ""))
    print(f"server memory: {before / 1024:.1f} MiB before, {after / 1024:.1f} MiB after "
          f"({(after - before) / 1024:+.1f} MiB); stopped with status {stopped}")
    return 1 if errors or stopped != 0 else 0


if __name__ == "__main__":
    sys.exit(main())
