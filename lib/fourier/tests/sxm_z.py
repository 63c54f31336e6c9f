"""The Z (topography) channel of a Nanonis .sxm file, from the documented
layout, into a raw float32 file; and, independently of the C++ finder, the
lattice that best fits the image's power spectrum.
   sxm_z.py FILE.sxm OUT.f32 Q_LOW Q_HIGH
(lattice vectors sought between Q_LOW and Q_HIGH nm^-1)
Layout: a text header of ":NAME:" lines, each followed by its value, up to
":SCANIT_END:"; then the bytes 0x1A 0x04; then big-endian float32 images,
channel by channel in the order of ":DATA_INFO:", the forward image then
the backward one for a channel recorded "both" ways (the backward image
stored mirrored in x).  ":SCAN_PIXELS:" gives nx ny, ":SCAN_RANGE:" the
size in m; rows are stored in the order they were scanned, so a "down"
scan (":SCAN_DIR:") starts at the top: its rows are reversed here, so that
row 0 is the bottom of the frame (y increasing upwards, as in the scan
frame).
Prints: nx ny dx_nm dy_nm scan_angle_deg; then two lines "qx qy" (nm^-1):
two independent vectors of the reciprocal lattice, found by a search of
our own (lattice_rows), not the C++ finder's."""
import sys
import numpy as np
from scipy.ndimage import map_coordinates


def field(header, name):
    start = header.index(":" + name + ":\n") + len(name) + 3
    end = header.find("\n:", start)
    return header[start:end if end >= 0 else len(header)].strip()


def read_z(path):
    data = open(path, "rb").read()
    end = data.index(b":SCANIT_END:")
    header = data[:end].decode("latin-1")
    nx, ny = (int(v) for v in field(header, "SCAN_PIXELS").split())
    width, height = (float(v) for v in field(header, "SCAN_RANGE").split())
    start = data.index(b"\x1a\x04", end) + 2
    images_before = 0
    for line in field(header, "DATA_INFO").split("\n")[1:]:
        cells = line.split()
        if cells[1] == "Z":
            break
        images_before += 2 if cells[3] == "both" else 1
    z = np.frombuffer(data, dtype=">f4", count=nx * ny, offset=start + 4 * nx * ny * images_before)
    z = z.reshape(ny, nx)
    if field(header, "SCAN_DIR") == "down":
        z = z[::-1]
    angle = float(field(header, "SCAN_ANGLE")) if ":SCAN_ANGLE:" in header else 0.0
    return z, width * 1e9 / nx, height * 1e9 / ny, angle


def contrast_map(z, dx, dy):
    """log power over the median log power of its ring of equal |q|."""
    ny, nx = z.shape
    m = np.where(np.isfinite(z), z - np.nanmean(z), 0.0)
    p = np.abs(np.fft.fftshift(np.fft.fft2(m * np.outer(np.hanning(ny), np.hanning(nx))))) ** 2
    logp = np.log(p + p[p > 0].min())
    dqx, dqy = 2 * np.pi / (nx * dx), 2 * np.pi / (ny * dy)
    ky, kx = np.indices(p.shape)
    ring = np.rint(np.hypot((kx - nx // 2) * dqx, (ky - ny // 2) * dqy) / min(dqx, dqy)).astype(int)
    medians = np.array([np.median(logp[ring == r]) if (ring == r).any() else 0.0
                        for r in range(ring.max() + 1)])
    return logp - medians[ring], dqx, dqy


def lattice_rows(z, dx, dy, q_low, q_high):
    """The two lattice vectors along which the transform's peaks line up
    best: a grid search over a vector q (|q| in [q_low, q_high], every
    half degree) for the largest mean contrast at q, 2q and 3q; the second
    at least 20 degrees from the first."""
    c, dqx, dqy = contrast_map(z, dx, dy)
    ny, nx = c.shape
    lengths = np.arange(q_low, q_high, 0.25 * min(dqx, dqy))
    angles = np.radians(np.arange(0, 180, 0.5))
    L, A = np.meshgrid(lengths, angles)
    score = np.zeros_like(L)
    for n in (1, 2, 3):
        qx, qy = n * L * np.cos(A), n * L * np.sin(A)
        score += map_coordinates(c, [qy.ravel() / dqy + ny // 2, qx.ravel() / dqx + nx // 2],
                                 order=1, cval=0.0).reshape(L.shape)
    best = np.unravel_index(np.argmax(score), score.shape)
    far = np.abs(((np.degrees(A - A[best]) + 90) % 180) - 90) >= 20
    second = np.unravel_index(np.argmax(np.where(far, score, -np.inf)), score.shape)
    return [(L[i] * np.cos(A[i]), L[i] * np.sin(A[i])) for i in (best, second)]


z, dx, dy, angle = read_z(sys.argv[1])
np.ascontiguousarray(z, dtype="<f4").tofile(sys.argv[2])
rows = lattice_rows(z.astype(np.float64), dx, dy, float(sys.argv[3]), float(sys.argv[4]))
print(z.shape[1], z.shape[0], repr(dx), repr(dy), repr(angle))
for qx, qy in rows:
    print(repr(float(qx)), repr(float(qy)))
