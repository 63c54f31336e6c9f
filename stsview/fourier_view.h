// The reciprocal-space pane's numbers, from the store's own maps: one
// slice's transform (lib/fourier/fft_map.h) per request, the Bragg
// vectors found once per file and window in the transform of the file's
// topography, and for a cut in q every slice's transform, the last
// stack kept (one variable's worth of memory beside the store's own).
// The checks are stsgrid's own (check_fourier_plan,
// check_fourier_against_grid), given a plan of plain values, so that the
// page refuses what `stsgrid --fft` refuses with the same words.
#ifndef STSVIEW_FOURIER_VIEW_H
#define STSVIEW_FOURIER_VIEW_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "fourier/q_map.h"
#include "stsview/grid_store.h"

namespace sts {

// What a request asks to transform.
struct q_request {
    size_t file = 0;
    const grid_variable* variable = nullptr;
    bool hann = true;   // the window (stsgrid's default), else none
    std::string group;  // a point group to symmetrise by, or ""
};

// The lattice's Bragg vectors as found in the topography's transform.
struct q_lattice {
    bool known = false;
    double q1x = 0, q1y = 0, q2x = 0, q2y = 0;  // nm^-1
    double q1_angle = 0;                         // degrees of Q1 from +qx
    std::string why;  // without a lattice: why not ("" when the file has no topography)
};

// true when the file has a per-pixel topography (y, x) to find peaks in.
bool has_topography(grid_store& store, size_t file);

// The request refused as stsgrid --fft refuses it (a grid of one row, no
// frame in nm, an unknown group, a group without a topography); false
// with *error for a 400.
bool check_q_request(grid_store& store, const q_request& r, std::string* error);

// Bragg vectors of the file (cached); false with *error when the
// topography cannot be read (a lattice not found is no error: known false).
bool file_lattice(grid_store& store, size_t file, bool hann, q_lattice* out, std::string* error);

// Slice k's transform, symmetrised when r.group says so (the lattice then
// known: check_q_request and file_lattice first).  false with *error.
bool q_slice(grid_store& store, const q_request& r, size_t k, const q_lattice& lattice, q_map* out,
             std::string* error);

// Every slice's transform (bias x qy x qx) with the q axes, computed once
// per (file, variable, window, group) and kept until another is asked.
struct q_stack {
    std::vector<float> values;
    std::vector<double> qx, qy;
    size_t slices = 0;
};
bool q_slices(grid_store& store, const q_request& r, const q_lattice& lattice,
              std::shared_ptr<const q_stack>* out, std::string* error);

}  // namespace sts

#endif
