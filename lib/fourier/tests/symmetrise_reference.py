"""The symmetrisation of a q-map, written from its definition with SciPy:
out(q) = mean over the group's operations g of in(R g R^-1 q), R the turn
by the lattice's angle, in() read by scipy.ndimage.map_coordinates
(order 1: bilinear), operations that land outside left out.
   symmetrise_reference.py IN.f32 NX NY DQX DQY ANGLE_DEG GROUP OUT.f64
GROUP: 2mm, 4mm, 6mm, or "rA,mA,..." (rotations by A degrees, mirrors across
the line at A degrees), closed into the group they generate.
Prints the group's order."""
import sys
import numpy as np
from scipy.ndimage import map_coordinates


def rotation(deg):
    a = np.radians(deg)
    return np.array([[np.cos(a), -np.sin(a)], [np.sin(a), np.cos(a)]])


def mirror(deg):
    # Across the line at deg: turn it onto x, flip y, turn back.
    return rotation(deg) @ np.diag([1.0, -1.0]) @ rotation(-deg)


def generators(name):
    named = {"2mm": 2, "4mm": 4, "6mm": 6}
    if name in named:
        return [rotation(360.0 / named[name]), mirror(0.0)]
    return [rotation(float(s[1:])) if s[0] == "r" else mirror(float(s[1:])) for s in name.split(",")]


def group(name):
    ops = [np.eye(2)]
    k = 0
    while k < len(ops):
        for g in generators(name):
            p = ops[k] @ g
            if not any(np.allclose(p, o, atol=1e-9) for o in ops):
                ops.append(p)
        k += 1
    return ops


path, nx, ny, dqx, dqy, angle, name, out = sys.argv[1:]
nx, ny, dqx, dqy, angle = int(nx), int(ny), float(dqx), float(dqy), float(angle)
m = np.fromfile(path, dtype="<f4").astype(np.float64).reshape(ny, nx)
iy, ix = np.indices((ny, nx), dtype=np.float64)
q = np.stack([(ix - nx // 2) * dqx, (iy - ny // 2) * dqy]).reshape(2, -1)
total = np.zeros(nx * ny)
count = np.zeros(nx * ny)
ops = group(name)
for g in ops:
    gq = rotation(angle) @ g @ rotation(-angle) @ q
    x, y = gq[0] / dqx + nx // 2, gq[1] / dqy + ny // 2
    inside = (x >= -1e-9) & (x <= nx - 1 + 1e-9) & (y >= -1e-9) & (y <= ny - 1 + 1e-9)
    v = map_coordinates(m, [np.clip(y, 0, ny - 1), np.clip(x, 0, nx - 1)], order=1)
    total += np.where(inside, v, 0.0)
    count += inside
result = np.where(count > 0, total / np.maximum(count, 1), np.nan)
result.astype("<f8").tofile(out)
print(len(ops))
