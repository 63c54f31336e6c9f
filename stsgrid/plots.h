// Pictures of a grid run, drawn by gnuplot: maps at chosen biases and the
// grid-mean normalised curves.  Each PNG is written under a temporary name
// and renamed when gnuplot has finished without error, so a failure leaves
// no empty or partial picture.  gnuplot is found on PATH; the data it reads
// goes to a private folder under $TMPDIR (else /tmp) that is removed
// afterwards.
#ifndef STSGRID_PLOTS_H
#define STSGRID_PLOTS_H

#include <string>
#include <vector>

#include "grid/bias_map.h"
#include "grid/gap_maps.h"
#include "grid/fit_maps.h"
#include "grid/grid_description.h"
#include "grid/line_collector.h"
#include "stsgrid/options.h"

namespace sts {

// One PNG with four panels (dI/dV and the three normalised curves), each a
// map with a perceptually uniform colour map (viridis), a colour bar, axes
// in the grid's x/y unit (nm) at equal scales and a title naming the
// quantity, the bias and the source; NaN pixels stay blank.  The colours
// span the 1st to 99th percentile of the pixels (of 100 or more), so that
// a few wild pixels do not wash out the map; the panel says so when that
// cut anything.  A line of spectra (nx or ny 1) is drawn as curves along
// the line instead.  Biases within +-0.1 V are shown in mV.
// Precondition: d.x and d.y evenly spaced; each map ny * nx values.
// false with *error (sizes that do not match, gnuplot missing or failing);
// png is then untouched.
bool draw_map(const grid_description& d, const bias_map& m, const std::string& png,
              std::string* error);

// A map's title: the source, the midpoint drawn and the bias asked for,
// both in the sweep's own scale ("at 1.99 mV (the midpoint nearest 2 mV)").
std::string map_title(const grid_description& d, const bias_map& m);

// One PNG with the maps of the gap (gap_low, gap_high, gap_width,
// peak_low, peak_high) as draw_map draws its panels: viridis, a colour bar
// labelled with the bias unit, the 1st to 99th percentile, pixels without
// a gap blank; a title saying which curve, threshold and window.  Biases
// within +-0.1 V are shown in mV.  false with *error as for draw_map.
bool draw_gap_maps(const grid_description& d, const gap_maps& g, const std::string& png,
                   std::string* error);

// Grid-mean statistics of one quantity over the midpoints.
struct mean_curve {
    std::string name;   // "norm_raw", ...
    std::vector<float> mean, se;
};

// The range a picture gives to values (a map's colours, a mean curve's y
// axis): from the 1st to the 99th percentile of the finite values when
// there are 100 or more of them, so that a few wild ones do not wash out
// the picture, else from the least to the largest; *clipped says whether
// that cut anything.  A single value gets a margin around it.  false when
// no value is finite.
bool value_range(const std::vector<float>& values, double* lo, double* hi, bool* clipped);

// The y range of a mean curve's panel, over the means and both ends of
// their band (mean +- 2 se, each rounded to float): value_range's 1st and
// 99th percentiles widened by half their span on either side are fences;
// the range is that of the values within them, and *clipped says whether
// any value lies beyond.
bool curve_range(const mean_curve& c, double* lo, double* hi, bool* clipped);

// One PNG of the grid-mean curves against the bias (the midpoints, or the
// points for a curve of that length), one panel each in the given order,
// each with a band of +-2 standard errors and its own scale; missing
// values leave gaps.  When curve_range cuts anything, the panel takes that
// range, marks the means beyond it with triangles on the frame they pass
// and says so in its title; otherwise gnuplot chooses the scale.  false
// with *error (no curves, lengths that match no axis, gnuplot missing or
// failing); png is then untouched.
bool draw_mean_curves(const grid_description& d, const std::vector<mean_curve>& curves,
                      long pixels, const std::string& png, std::string* error);

// One PNG of a line cut (--line): a panel per quantity named (from the
// quantity table, written by the run), each an image of its values against
// the distance along the line (x, in the grid's xy unit: nm, or pixels)
// and the bias (y: the midpoints or the points, each pixel on its own axis
// when the axes differ per pixel), in viridis with a colour bar labelled
// with the unit, colours over the 1st to 99th percentile as in the maps
// (the panel says when that cut anything); a title naming the source and
// the line, one naming each quantity.  Cells with NaN stay blank.  false
// with *error (no quantity, a name the run does not write, gnuplot missing
// or failing); png is then untouched.
bool draw_line_cut(const grid_description& d, const pixel_line& line, const line_collector& c,
                   const std::vector<std::string>& names, const std::string& png,
                   std::string* error);

// One PNG with the maps of the gap fit (fit_gap and fit_gamma, meV), a
// pixel not fitted blank; false with *error as for draw_map.
bool draw_fit_maps(const grid_description& d, const fit_maps& f, const std::string& png,
                   std::string* error);

}  // namespace sts

#endif
