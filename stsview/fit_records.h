// stsgrid --fit's results as the page shows them: which curve of the file
// was fitted, with which model over which window (the file's global
// attributes fit_model, fit_curve_of, fit_window, ...), the words of
// fit_status (its flag_meanings), and per pixel the fit_* values, the
// status in words and the file's fit_curve (the fitted model over the
// window's midpoints, NaN elsewhere).  Nothing is recomputed: every number
// is the file's.  Layout: grid/quantities.cpp (the fit group),
// man/stsgrid.1 FITS.
#ifndef STSVIEW_FIT_RECORDS_H
#define STSVIEW_FIT_RECORDS_H

#include <string>
#include <utility>
#include <vector>

#include "stsview/grid_file.h"
#include "stsview/pixel_maps.h"

namespace sts {

// What a file says of its fit, read once at opening.
struct fit_description {
    bool present = false;      // the file holds a fit the page can draw
    std::string problem;       // why not, where it holds fit_curve but not all else
    std::string curve_of;      // the variable fitted ("didv", ...): a midpoint curve of the file
    std::string model;         // fit_model: "dynes (normal tip)", ...
    std::string window;        // fit_window: "|V| <= 0.001 V" or "the whole sweep"
    std::vector<std::pair<std::string, std::string>> settings;  // every fit_* global, in order
    std::vector<std::string> meanings;                          // fit_status's words, by code
    std::vector<pixel_map_variable> values;  // the (y, x) fit_* variables but fit_status
};

// The fit of f described (*out.present false for a file without fit_curve,
// or with a problem named when its fit is incomplete).  maps: the file's
// (y, x) variables (list_pixel_maps).  false only when the file cannot be
// read.
bool describe_fit(grid_file& f, const std::vector<pixel_map_variable>& maps, fit_description* out,
                  std::string* error);

// One pixel's fit.
struct pixel_fit_record {
    int code = 0;                  // fit_status
    std::string word;              // its word in the file's flag_meanings
    std::string why;               // a sentence for a pixel without a curve, else ""
    std::string pixel_reason;      // the pixel's own status word ("processed", ...)
    std::vector<float> values;     // fit_description::values at the pixel, in that order
    std::vector<float> axis, curve;  // the pixel's midpoints and fit_curve there
    bool drawn = false;            // fit_curve has a finite value at the pixel
};

// Pixel (x, y)'s fit (d.present; x < nx, y < ny).
bool read_pixel_fit(grid_file& f, const fit_description& d, size_t x, size_t y, pixel_fit_record* out,
                    std::string* error);

// What a fit status word means, as man/stsgrid.1 says it ("" for a word
// this build does not know: the file's word is shown alone).
std::string fit_status_sentence(const std::string& word);

}  // namespace sts

#endif
