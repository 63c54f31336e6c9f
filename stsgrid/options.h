// stsgrid's command line.
#ifndef STSGRID_OPTIONS_H
#define STSGRID_OPTIONS_H

#include <string>
#include <vector>

#include "readers/import_options.h"
#include "spectrum/spectrum.h"

namespace sts {

// A rectangle of pixels, 0-based and inclusive, as given to --region.
struct pixel_region {
    bool given = false;
    long x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool contains(long x, long y) const {
        return !given || (x >= x0 && x <= x1 && y >= y0 && y <= y1);
    }
};

// How the lock-in channel is calibrated: a line fitted per pixel, or one
// line fitted over every processed pixel of the grid.
enum class lockin_fit_mode { pixel, grid };

// --gap=T[:VARIABLE] and --gap-window=W: the gap of each pixel's curve
// (spectrum/gap.h).
struct gap_request {
    bool given = false;
    float threshold = 0;   // T, in the curve's unit
    std::string variable;  // a midpoint quantity; "" = the default (gap_curve)
    float window = 0;      // peak search width beyond each edge, bias unit; 0 = the gap's width
};

struct grid_options {
    std::vector<std::string> inputs;
    std::string output;              // "" = named after the first input
    int threads = 0;                 // 0 = every core
    pixel_region region;
    std::vector<double> maps;        // biases for --map
    bool gap_map = false;            // --map=gap, or --map with --gap: the gap's maps
    gap_request gap;
    bool mean_plot = false;
    bool mean_text = false;
    std::string pointmean;           // --pointmean FILE, or ""
    bool progress = true;            // when standard error is a terminal
    norm_options norm;
    int smooth_window = 0;           // --smooth's Savitzky-Golay window, 0 = none
    int smooth_order = 2;            // and its polynomial degree
    sts::import_options import;      // import.signal_channel: --didv-channel
    lockin_fit_mode lockin_fit = lockin_fit_mode::pixel;
    bool lockin_fit_given = false;
};

enum class parse_result { run, help, version, error };

// Parses argv into *o; on error *error says what is wrong (for a message
// ending in "Try 'stsgrid --help'").
parse_result parse_grid_options(int argc, char** argv, grid_options* o, std::string* error);

// The curve --gap looks at: the one named, else norm_coff, or its lock-in
// twin norm_coff_lockin when the run takes dI/dV from a lock-in channel.
std::string gap_curve(const gap_request& g, bool lockin);

// The text of --help.
std::string grid_usage();

// The output file's name when -o is not given: the first input's name
// with its extension replaced by ".nc", beside it.
std::string default_output(const std::string& input);

}  // namespace sts

#endif
