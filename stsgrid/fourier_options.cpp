// stsgrid's options of the Fourier maps: see fourier_options.h.
#include "stsgrid/fourier_options.h"

namespace sts {

namespace {

constexpr char fft_name[] = "fft", fft_window_name[] = "fft-window", symmetrise_name[] = "symmetrise",
               bragg_name[] = "bragg", drift_name[] = "drift-correct";

}  // namespace

const option_table<grid_options>& fourier_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--fft"}, false,
         {"      --fft[=VARIABLE]   the Fourier transform |F| of VARIABLE's map at each",
          "                         bias (default didv, or didv_lockin with",
          "                         --didv-channel), mean removed, q = 2 pi n / L in",
          "                         nm^-1, in <output>_fft.nc with the topography's; with",
          "                         --map, its pictures <output>_fft_<V>.png"},
         plan_value<fft_name>, true},
        {{"--fft-window"}, true,
         {"      --fft-window=W     hann (default) or none"},
         plan_value<fft_window_name>},
        {{"--symmetrise"}, true,
         {"      --symmetrise=GROUP  average each transform over a point group about the",
          "                         Bragg vectors: 2mm, 4mm, 6mm (also 1, 2, m, 3, 3m, 4,",
          "                         6) or operations like r90,m0 (bilinear interpolation)"},
         plan_value<symmetrise_name>},
        {{"--bragg"}, false,
         {"      --bragg[=Q1X,Q1Y:Q2X,Q2Y]  the lattice's Bragg vectors in nm^-1; without",
          "                         them (or =auto) found in the topography's transform"},
         plan_value<bragg_name>, true},
        {{"--drift-correct"}, false,
         {"      --drift-correct[=LAMBDA]  correct the piezo drift from the topography's",
          "                         lattice (Lawler et al. 2010), its phase averaged over",
          "                         LAMBDA nm (default three lattice constants); every map",
          "                         corrected, with u_x and u_y, in <output>_corrected.nc"},
         plan_value<drift_name>, true},
    };
    return rows;
}

}  // namespace sts
