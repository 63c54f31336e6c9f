#!/usr/bin/env python3
"""The gap fit's figure for the README: fit_gap along the Pb line grid
(nanonis2025_Grid_Spectroscopy008.3ds, 32 x 1, 0.42 K) with its standard
errors, and one pixel's dI/dV with the fitted Dynes curve.  Writes
docs/pb_line_gap.png from the file stsgrid wrote:

    stsgrid -d mean --fit=dynes --fit-window=0.001 --fit-temperature=0.42 \\
        -o pb.nc ../shared/realdata/raw/nanonis2025_Grid_Spectroscopy008.3ds
    /usr/bin/python3 docs/pb_line_gap.py pb.nc [pixel]
"""
import os
import sys

import numpy as np
import netCDF4
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt


def main():
    path = sys.argv[1]
    f = netCDF4.Dataset(path)
    f.set_auto_mask(False)
    gap = f["fit_gap"][:].ravel()
    se = f["fit_se_gap"][:].ravel()
    status = f["fit_status"][:].ravel()
    ok = (status == 0) | (status == 1)
    pixel = int(sys.argv[2]) if len(sys.argv) > 2 else int(np.flatnonzero(ok)[len(np.flatnonzero(ok)) // 2])
    didv = f["didv"][:].reshape(gap.size, -1)[pixel]
    curve = f["fit_curve"][:].reshape(gap.size, -1)[pixel]
    vmid = f["vmid"][:] * 1e3  # mV
    unit = f["didv"].units

    fig, (a, b) = plt.subplots(1, 2, figsize=(10, 3.8))
    k = np.arange(gap.size)
    a.errorbar(k[ok], gap[ok], yerr=se[ok], fmt="o", ms=4, capsize=2)
    a.set_xlabel("pixel along the line")
    a.set_ylabel("fit_gap $\\Delta$ (meV)")
    a.set_title("Dynes fit, T = 0.42 K held, |V| <= 1 mV")
    b.plot(vmid, didv, ".", ms=3, label="dI/dV (didv)")
    inside = np.isfinite(curve)
    b.plot(vmid[inside], curve[inside], "-", lw=1.5,
           label="fit: $\\Delta$ = %.3f meV" % gap[pixel])
    b.set_xlabel("bias (mV)")
    b.set_ylabel("dI/dV (%s)" % unit)
    b.set_title("pixel %d" % pixel)
    b.legend(fontsize=8)
    fig.tight_layout()
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pb_line_gap.png")
    fig.savefig(out, dpi=110)


if __name__ == "__main__":
    main()
