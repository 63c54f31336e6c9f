#!/usr/bin/env python3
"""The gap fit's figure for the README and the manual: the Pb line grid
(nanonis2025_Grid_Spectroscopy008.3ds, 32 x 1 on Pb/Si(111), 0.42 K, 0.1 T)
fitted with --fit=dynes: Delta and Gamma along the line with their standard
errors (V_0 fitted), and one pixel's dI/dV with the fitted curve, V_0
fitted and, when the second file is given, V_0 held at 0 (poor_fit).
Writes docs/pb_line_gap.png from the files stsgrid wrote:

    L=../shared/realdata/raw/nanonis2025_Grid_Spectroscopy008.3ds
    stsgrid -d mean --fit=dynes --fit-window=0.001 --fit-temperature=0.42 \\
        --fit-free=offset -o free.nc $L
    stsgrid -d mean --fit=dynes --fit-window=0.001 --fit-temperature=0.42 \\
        -o held.nc $L
    /usr/bin/python3 docs/pb_line_gap.py free.nc [held.nc [pixel]]
"""
import os
import sys

import numpy as np
import netCDF4
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

NAMES = "converged at_bound no_gap too_few_points bad_input not_converged not_computed poor_fit"


def read(path):
    f = netCDF4.Dataset(path)
    f.set_auto_mask(False)
    return f


def main():
    free = read(sys.argv[1])
    held = read(sys.argv[2]) if len(sys.argv) > 2 else None
    pixel = int(sys.argv[3]) if len(sys.argv) > 3 else 16
    gap = free["fit_gap"][:].ravel()
    se = free["fit_se_gap"][:].ravel()
    gamma = free["fit_gamma"][:].ravel()
    se_gamma = free["fit_se_gamma"][:].ravel()
    status = free["fit_status"][:].ravel()
    ok = (status == 0) | (status == 1)
    n = gap.size
    vmid = free["vmid"][:] * 1e3  # mV
    unit = free["didv"].units
    didv = free["didv"][:].reshape(n, -1)[pixel]

    fig, (a, b) = plt.subplots(1, 2, figsize=(11, 4))
    k = np.arange(n)
    a.errorbar(k[ok], gap[ok], yerr=se[ok], fmt="o", ms=4, capsize=2, label="$\\Delta$")
    a.errorbar(k[ok], gamma[ok], yerr=se_gamma[ok], fmt="s", ms=3, capsize=2,
               label="$\\Gamma$")
    a.set_xlabel("pixel along the line (1.73 nm apart)")
    a.set_ylabel("fit_gap $\\Delta$, fit_gamma $\\Gamma$ (meV)")
    a.set_title("Dynes fits, T = 0.42 K held, V$_0$ fitted, |V| $\\leq$ 1 mV", fontsize=10)
    a.set_ylim(bottom=0)
    a.legend(fontsize=8)
    inside = np.abs(vmid) <= 1.0 + 1e-6
    b.plot(vmid[inside], didv[inside], ".", ms=3, color="0.4", label="dI/dV (didv)")
    curve = free["fit_curve"][:].reshape(n, -1)[pixel]
    b.plot(vmid, curve, "-", lw=1.5,
           label="V$_0$ fitted (%s): $\\Delta$ = %.3f meV, V$_0$ = %.3f mV" % (
               NAMES.split()[status[pixel]], gap[pixel], 1e3 * free["fit_offset"][:].ravel()[pixel]))
    if held is not None:
        h = held["fit_status"][:].ravel()[pixel]
        b.plot(vmid, held["fit_curve"][:].reshape(n, -1)[pixel], "--", lw=1.2,
               label="V$_0$ held at 0 (%s): $\\Delta$ = %.3f meV" % (
                   NAMES.split()[h], held["fit_gap"][:].ravel()[pixel]))
    b.set_xlabel("bias (mV)")
    b.set_ylabel("dI/dV (%s)" % unit)
    b.set_title("pixel %d" % pixel, fontsize=10)
    b.legend(fontsize=7, loc="upper right")
    b.set_ylim(-40, 1.45 * np.nanmax(didv[inside]))
    fig.tight_layout()
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pb_line_gap.png")
    fig.savefig(out, dpi=110)


if __name__ == "__main__":
    main()
