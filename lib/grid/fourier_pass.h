// The Fourier maps of a run (--fft, grid_plan::fft): the chosen per-bias
// quantity gathered from the blocks as a stack of maps (bias x y x x), its
// transforms (lib/fourier) written to <output>_fft.nc, symmetrised by a
// point group about the lattice's Bragg vectors, and, with drift
// correction, the corrected maps and the displacement in
// <output>_corrected.nc.  The layouts of the two files: fourier_files.h.
#ifndef GRID_FOURIER_PASS_H
#define GRID_FOURIER_PASS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "grid/grid_plan.h"
#include "grid/pixel_block.h"
#include "grid/quantities.h"
#include "grid/scratch_disk.h"

namespace sts {

// The values of one quantity at every point of every pixel, slice by
// slice (slice k: every pixel's k-th value, row-major), and the
// topography where the grid records it.  The slices go to a nameless
// scratch file in folder (the output's), slice after slice, as the blocks
// come, so that memory holds one block's values and the topography
// rather than the stack (500 slices of 256 x 256: 125 MiB); the pass
// reads them back one at a time.
class fourier_gatherer {
public:
    fourier_gatherer(const grid_description& d, const pixel_quantity& q, const std::string& folder,
                     scratch_disk* disk = &system_scratch_disk());
    ~fourier_gatherer();
    fourier_gatherer(const fourier_gatherer&) = delete;
    fourier_gatherer& operator=(const fourier_gatherer&) = delete;
    // One block, as the run hands them on (any order; each pixel once).
    // A failure to write is kept for problem().
    void add(const pixel_block& b);
    // Slice k (pixels() floats) into out, NaN at the pixels that never
    // came; false with *error.  Safe from several threads at once.
    bool read_slice(size_t k, float* out, std::string* error) const;
    // "" or why the scratch file could not be made or written.
    const std::string& problem() const { return problem_; }

    const pixel_quantity& quantity() const { return q_; }
    size_t slices() const { return slices_; }
    size_t pixels() const { return pixels_; }
    std::vector<float>& topography() { return topography_; }  // empty without one

private:
    bool put(size_t at, const float* values, size_t count);
    const pixel_quantity& q_;
    size_t slices_, pixels_;
    std::string folder_, problem_;
    scratch_disk* disk_;
    int fd_ = -1;
    std::vector<uint8_t> seen_;         // per pixel: its values were written
    std::vector<float> transposed_;    // one block's values, slice by slice
    std::vector<float> topography_;
};

// A transform at a bias of --map, for its picture.
struct fourier_picture {
    double bias = 0;  // as requested
    float at = 0;     // the slice's bias
    std::vector<float> values;        // qy x qx, as written
    std::vector<float> symmetrised;   // the same symmetrised, or empty
};

// What the pass did, for the caller's report and pictures.
struct fourier_outcome {
    std::string file, corrected;  // the files written ("" for none)
    std::string variable;         // the quantity transformed
    std::string bias_unit;
    size_t slices = 0, nx = 0, ny = 0;
    std::vector<double> qx, qy;   // nm^-1
    size_t slices_with_missing = 0, most_missing = 0;  // filled pixels
    size_t topography_missing = 0;  // filled pixels of the topography
    bool lattice = false;         // Bragg vectors known (given or found)
    bool lattice_found = false;   // found in the topography's transform
    double q1x = 0, q1y = 0, q2x = 0, q2y = 0;  // nm^-1
    double a1 = 0, a2 = 0, lattice_angle = 0, q1_angle = 0;  // nm, degrees
    std::string group;            // the point group symmetrised by, or ""
    double drift_lambda = 0;      // nm, with drift correction
    double drift_rms = 0;         // nm: the rms length of u
    double width_before = 0, width_after = 0;  // nm^-1: Q1's peak in the topography
    std::vector<fourier_picture> pictures;
};

// The plan's Fourier options on their own (the quantity is a per-bias map
// of this run, the point group and the Bragg vectors make sense); true
// without --fft.  false with *error saying what to do.
bool check_fourier_plan(const grid_plan& p, std::string* error);

// The same against the grid: a map of at least 2 x 2 pixels in a frame
// in nm, a topography where the Bragg peaks are to be found or the drift
// corrected.  false with *error.
bool check_fourier_against_grid(const grid_plan& p, const grid_description& d,
                                std::string* error);

// The quantity --fft transforms in this plan, from the table.
const pixel_quantity* fourier_quantity(const grid_plan& p);

// The files' names: <output>_fft.nc and <output>_corrected.nc.
std::string fourier_file_name(const std::string& output);
std::string corrected_file_name(const std::string& output);

// Transforms what g gathered, a slice at a time (read, with drift
// correction corrected, transformed, symmetrised, written), and writes the
// files beside output.  false with *error.
bool run_fourier_pass(const grid_plan& p, const grid_description& d, fourier_gatherer& g,
                      const std::string& output, fourier_outcome* out, std::string* error);

}  // namespace sts

#endif
