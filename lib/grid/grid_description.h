// What a grid run writes about the grid as a whole: its size, axes, units
// and the attributes that say where it came from.
#ifndef GRID_GRID_DESCRIPTION_H
#define GRID_GRID_DESCRIPTION_H

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "readers/scan_frame.h"

namespace sts {

struct scan_on_grid;  // grid/scan_on_grid.h

// The sets of per-pixel quantities a run can write: `always` in every run,
// the others only when the run's options ask for them, so that a run
// without those options writes the same file as before they existed.
// `position`: where the grid records its pixels' positions; `topography`:
// where it records each pixel's height; `fit`: with --fit.
enum class quantity_group { always, lockin, gap, position, topography, fit };

// A number each pixel records beside its spectra (a Nanonis grid's
// parameters), written per pixel as it is stored.
struct recorded_parameter {
    std::string name;       // the variable: "parameter_" and the sanitised name
    std::string unit;       // from the parameter's "(unit)"; "1" without one
    std::string long_name;  // the parameter's name in the file
};

struct grid_description {
    long nx = 0;      // pixels per row (dimension x)
    long ny = 0;      // rows (dimension y)
    int points = 0;   // length of dimension point (the most points of any pixel)
    // dimension midpoint has points - 1 entries

    std::string source;        // the input file(s), for attributes and titles
    std::string bias_unit;     // "V" or "mV"
    std::string current_unit;  // "nA" or "pA"

    // Coordinates of the dimensions x and y: positions along the grid's axes
    // in nm when the grid header gives its frame, pixel numbers otherwise.
    std::vector<double> x, y;
    std::string xy_unit;  // "nm" or "1"
    // The lateral frame x and y lie in (centre, size, angle), where the
    // grid's header gives one: what a scan image is placed against.
    bool has_frame = false;
    grid_frame frame;

    // The bias axis after sorting and merging, and its midpoints, NaN-padded
    // to points and points - 1.  Every processed pixel has this axis unless
    // per_pixel_axis is set; then it is the first processed pixel's, and
    // each pixel's own axis is written as well.
    std::vector<float> bias;
    std::vector<float> vmid;
    bool per_pixel_axis = false;

    // Measured pixel positions (nm) are known and written per pixel.
    bool has_positions = false;
    // Each pixel's height is recorded (the quantity topography, nm), and
    // where from when not a Nanonis "Z (m)" (the long name the file gives
    // it; "" keeps the quantity table's).
    bool has_topography = false;
    std::string topography_long_name;
    // The other numbers each pixel records, in the pixel_input's order.
    std::vector<recorded_parameter> recorded;
    // A scan image placed beside the grid (--topography), or none.
    std::shared_ptr<const scan_on_grid> scan;

    // The optional quantity groups this run writes, besides `always`.
    std::vector<quantity_group> groups;
    bool writes(quantity_group g) const {
        if (g == quantity_group::always) return true;
        for (quantity_group h : groups)
            if (h == g) return true;
        return false;
    }

    // Global attributes: the parameters of the run (name, value).  The
    // writer puts Conventions, title, source and software (the tool and its
    // version) before them; a pair of the same name replaces one of those.
    std::vector<std::pair<std::string, std::string>> attributes;
};

}  // namespace sts

#endif
