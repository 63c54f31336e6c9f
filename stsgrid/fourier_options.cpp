// stsgrid's options of the Fourier maps: see fourier_options.h.
#include "stsgrid/fourier_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace sts {

namespace {

bool parse_number(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno == 0 && std::isfinite(*value);
}

// "X,Y".
bool parse_vector(const std::string& text, double* x, double* y) {
    const size_t comma = text.find(',');
    return comma != std::string::npos && parse_number(text.substr(0, comma), x) &&
           parse_number(text.substr(comma + 1), y);
}

bool parse_fft(const std::string& value, grid_options* o, std::string*) {
    o->fft.given = true;
    o->fft.variable = value;
    return true;
}

bool parse_window(const std::string& value, grid_options* o, std::string* error) {
    if (value != "hann" && value != "none") {
        *error = "fft-window must be hann or none, not '" + value + "'";
        return false;
    }
    o->fft.hann = value == "hann";
    o->fft_window_given = true;
    return true;
}

bool parse_symmetrise(const std::string& value, grid_options* o, std::string* error) {
    if (value.empty()) {
        *error = "symmetrise needs a point group, like 4mm or 6mm";
        return false;
    }
    o->fft.group = value;  // the group itself is checked by the engine
    return true;
}

bool parse_bragg(const std::string& value, grid_options* o, std::string* error) {
    fourier_request& f = o->fft;
    if (value.empty() || value == "auto") {
        f.find_bragg = true;
        f.bragg_given = false;
        return true;
    }
    const size_t colon = value.find(':');
    if (colon == std::string::npos || !parse_vector(value.substr(0, colon), &f.q1x, &f.q1y) ||
        !parse_vector(value.substr(colon + 1), &f.q2x, &f.q2y)) {
        *error = "bragg must be auto or two vectors Q1X,Q1Y:Q2X,Q2Y in nm^-1, not '" + value + "'";
        return false;
    }
    f.bragg_given = true;
    f.find_bragg = false;
    return true;
}

bool parse_drift(const std::string& value, grid_options* o, std::string* error) {
    o->fft.drift = true;
    o->fft.drift_lambda = 0;
    if (value.empty()) return true;
    if (!parse_number(value, &o->fft.drift_lambda) || !(o->fft.drift_lambda > 0)) {
        *error = "drift-correct takes a positive length LAMBDA in nm, not '" + value + "'";
        return false;
    }
    return true;
}

}  // namespace

const option_table<grid_options>& fourier_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--fft"}, false,
         {"      --fft[=VARIABLE]   the Fourier transform |F| of VARIABLE's map at each",
          "                         bias (default didv, or didv_lockin with",
          "                         --didv-channel), mean removed, q = 2 pi n / L in",
          "                         nm^-1, in <output>_fft.nc with the topography's; with",
          "                         --map, its pictures <output>_fft_<V>.png"},
         parse_fft, true},
        {{"--fft-window"}, true,
         {"      --fft-window=W     hann (default) or none"},
         parse_window},
        {{"--symmetrise"}, true,
         {"      --symmetrise=GROUP  average each transform over a point group about the",
          "                         Bragg vectors: 2mm, 4mm, 6mm (also 1, 2, m, 3, 3m, 4,",
          "                         6) or operations like r90,m0 (bilinear interpolation)"},
         parse_symmetrise},
        {{"--bragg"}, false,
         {"      --bragg[=Q1X,Q1Y:Q2X,Q2Y]  the lattice's Bragg vectors in nm^-1; without",
          "                         them (or =auto) found in the topography's transform"},
         parse_bragg, true},
        {{"--drift-correct"}, false,
         {"      --drift-correct[=LAMBDA]  correct the piezo drift from the topography's",
          "                         lattice (Lawler et al. 2010), its phase averaged over",
          "                         LAMBDA nm (default three lattice constants); every map",
          "                         corrected, with u_x and u_y, in <output>_corrected.nc"},
         parse_drift, true},
    };
    return rows;
}

bool check_fourier_options(grid_options* o, std::string* error) {
    const fourier_request& f = o->fft;
    if (f.given) return true;
    const char* needs = !f.group.empty()          ? "--symmetrise"
                        : f.drift                 ? "--drift-correct"
                        : f.bragg_given || f.find_bragg ? "--bragg"
                        : o->fft_window_given     ? "--fft-window"
                                                  : nullptr;
    if (!needs) return true;
    *error = std::string(needs) + " works on the Fourier maps: give --fft as well";
    return false;
}

}  // namespace sts
