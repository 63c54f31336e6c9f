// The layouts of the Fourier maps' files, CF-style as the grid's own file.
//
// <output>_fft.nc: dimensions bias, qy, qx; coordinates bias (the
// quantity's axis: the points or the midpoints), qx and qy (nm^-1, "q = 2
// pi n / L, L = N * step", zero frequency at index N/2); fft_<quantity>
// (bias, qy, qx), the amplitude |F| of each slice's unnormalised DFT;
// fft_<quantity>_symmetrised with --symmetrise; missing_pixels (bias), the
// pixels of each slice filled with its mean; fft_topography (qy, qx) where
// the grid records a topography.  Global attributes: the transform
// (window, scale, mean removed), the Bragg vectors bragg_q1, bragg_q2
// (nm^-1) with how they were had, lattice_constants (nm), lattice_angle and
// q1_angle (degrees), point_group and interpolation, drift_lambda (nm).
//
// <output>_corrected.nc: dimensions bias, y, x; coordinates as in the
// grid's file; the quantity (bias, y, x) and topography (y, x) read at
// r + u(r); u_x, u_y (y, x) in nm.
#ifndef GRID_FOURIER_FILES_H
#define GRID_FOURIER_FILES_H

#include <memory>
#include <string>
#include <vector>

#include "grid/fourier_pass.h"
#include "grid/map_stack_file.h"

namespace sts {

// What both files say about the run, besides the maps.
struct fourier_file_facts {
    const grid_description* d = nullptr;
    const pixel_quantity* q = nullptr;
    const fourier_outcome* outcome = nullptr;  // lattice, group, drift, axes
    bool hann = true;
    bool topography = false;
    std::string grid_file;  // the run's main file
};

class fft_file {
public:
    explicit fft_file(const std::string& path) : f_(path) {}
    // Creates the file and defines it all; false with *error.
    bool open(const fourier_file_facts& facts, std::string* error);
    // count slices from first: the transforms, and their symmetrisation
    // (nullptr without one).
    void put_slices(size_t first, size_t count, const float* fft, const float* symmetrised);
    // count symmetrised slices from first on their own.
    void put_symmetrised(size_t first, size_t count, const float* symmetrised);
    void put_missing(const std::vector<int>& missing);
    void put_topography(const float* fft);
    bool finish(std::string* error) { return f_.finish(error); }

private:
    map_stack_file f_;
    size_t nx_ = 0, ny_ = 0;
    int fft_ = -1, symmetrised_ = -1, missing_ = -1, topography_ = -1;
};

class corrected_file {
public:
    explicit corrected_file(const std::string& path) : f_(path) {}
    bool open(const fourier_file_facts& facts, std::string* error);
    void put_slices(size_t first, size_t count, const float* maps);
    void put_field(const float* topography, const float* ux, const float* uy);
    bool finish(std::string* error) { return f_.finish(error); }

private:
    map_stack_file f_;
    size_t nx_ = 0, ny_ = 0;
    int maps_ = -1, topography_ = -1, ux_ = -1, uy_ = -1;
};

}  // namespace sts

#endif
