// Where a grid's spectra come from: a Nanonis .3ds file read pixel by pixel,
// an RHK .sm4 file (sm4_source.h), or a list of spectrum files (instrument
// files or plain pair files), each one pixel of an N x 1 grid.
#ifndef GRID_GRID_SOURCE_H
#define GRID_GRID_SOURCE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "grid/pixel_block.h"
#include "readers/import_options.h"
#include "readers/nanonis_grid.h"

namespace sts {

// One pixel as read, with the reader's scratch space; one per thread.
struct pixel_input {
    pixel_code code = PIXEL_PROCESSED;  // anything else: nothing to compute
    std::vector<float> bias, current;   // as imported, in the instrument's order
    std::vector<float> signal;          // the lock-in channel as stored, or empty
    float x_nm = 0, y_nm = 0;           // measured position, NaN where unknown
    // The measured position in the grid's x and y axes (nm from the frame's
    // corner, grid_frame.h), NaN where unknown or the grid has no frame.
    float frame_x_nm = 0, frame_y_nm = 0;
    // The recorded height (nm; NaN where unknown) and the other recorded
    // numbers, as grid_description::recorded lists them.
    float topography_nm = 0;
    std::vector<float> recorded;
    sts::grid_pixel scratch;
};

class grid_source {
public:
    virtual ~grid_source() = default;
    virtual long nx() const = 0;
    virtual long ny() const = 0;
    // The most points any pixel can have (the length of the point axis).
    virtual int points() const = 0;
    // Fills the size, the x/y coordinates and unit, the source and whether
    // measured positions are known.
    virtual void describe(grid_description* d) const = 0;
    // Reads pixel index (row-major) into *out: the imported points with code
    // PIXEL_PROCESSED, or the code of why there are none.  Safe to call from
    // several threads at once, each with its own *out.
    virtual void read(uint64_t index, pixel_input* out) const = 0;
    // Whether every pixel that is there has the same bias values.
    virtual bool same_bias_everywhere() const = 0;
};

// Opens the inputs: one .3ds grid, or one or more spectrum files.  nullptr
// with *error (naming the file) when an input cannot be read, is binary
// data of no format read here, or when no input holds a spectrum (a grid
// without a measured pixel, files without a pair of numbers): nothing is
// then worth writing.  A grid's measured positions are turned into its
// axes when it has a scan angle (its attribute "scan_angle").
std::unique_ptr<grid_source> open_grid_source(const std::vector<std::string>& inputs,
                                              const sts::import_options& o, std::string* error);

}  // namespace sts

#endif
