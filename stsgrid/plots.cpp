// Maps and mean curves of a grid run, as gnuplot scripts: see plots.h.
#include "stsgrid/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "stsgrid/gnuplot.h"
#include "grid/quantities.h"
#include "grid/scan_on_grid.h"

namespace sts {

namespace {

// viridis (perceptually uniform, readable in grey and by the colour-blind)
// at eleven evenly spaced stops.
const char* const palette =
    "set palette defined (0 '#440154', 1 '#482475', 2 '#414487', 3 '#355f8d', 4 '#2a788e', "
    "5 '#21918c', 6 '#22a884', 7 '#44bf70', 8 '#7ad151', 9 '#bddf26', 10 '#fde725')\n";

// Titles longer than this (a list of many input files) are cut.
constexpr size_t longest_source = 90;

// Conductances in the grid's units; ratios have no unit on a picture.
std::string unit_of(const grid_description& d, const std::string& name) {
    const pixel_quantity* q = find_pixel_quantity(name);
    return q && q->unit == quantity_unit::conductance
               ? unit_text(q->unit, d.bias_unit, d.current_unit)
               : "";
}

// The quantity's name, what it is and its unit.
std::string title_of(const grid_description& d, const std::string& name) {
    const pixel_quantity* q = find_pixel_quantity(name);
    const char* title = q ? q->title : "";
    const std::string unit = unit_of(d, name);
    return (*title ? title : name) + (unit.empty() ? "" : " (" + unit + ")");
}

std::string number(double v) {
    if (std::isnan(v)) return "NaN";
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// v times factor with the fewest digits that give back v as a float:
// 1.003 (mV), not 1.00299995.  The digits are v's, so that a value from 1
// up needs no exponent that %g would give it: 0.01 V is "10 mV", not
// "1e+01 mV".
std::string short_number(double v, double factor) {
    char text[32];
    int digits = 1;
    for (; digits < 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (static_cast<float>(std::strtod(text, nullptr)) == static_cast<float>(v)) break;
    }
    const double shown = v * factor;
    std::snprintf(text, sizeof text, "%.*g", digits, shown);
    const double size = std::fabs(shown);
    if (std::strchr(text, 'e') != nullptr && size >= 1 && size < 1e9) {
        const int whole = static_cast<int>(std::floor(std::log10(size))) + 1;
        std::snprintf(text, sizeof text, "%.*f", std::max(0, digits - whole), shown);
    }
    return text;
}

// Biases as shown: a sweep within +-0.1 V reads better in mV.
struct bias_scale {
    double factor;
    std::string unit;
};

bias_scale display_scale(const grid_description& d) {
    float largest = 0;
    for (const std::vector<float>* axis : {&d.bias, &d.vmid})
        for (float v : *axis)
            if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    if (d.bias_unit == "V" && largest < 0.1f) return {1000.0, "mV"};
    return {1.0, d.bias_unit};
}

std::string source_text(const grid_description& d) {
    if (d.source.size() <= longest_source) return d.source;
    return d.source.substr(0, longest_source) + " …";
}

std::string base_name(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string axis_label(const grid_description& d, const char* axis) {
    return std::string(axis) + (d.xy_unit == "1" ? " (pixel)" : " (" + d.xy_unit + ")");
}

}  // namespace

bool value_range(const std::vector<float>& values, double* lo, double* hi, bool* clipped) {
    std::vector<float> finite;
    for (float v : values)
        if (std::isfinite(v)) finite.push_back(v);
    if (finite.empty()) return false;
    std::sort(finite.begin(), finite.end());
    const size_t n = finite.size();
    const size_t cut = n >= 100 ? n / 100 : 0;
    *lo = finite[cut];
    *hi = finite[n - 1 - cut];
    *clipped = *lo > finite.front() || *hi < finite.back();
    if (*lo == *hi) {
        const double pad = *lo != 0 ? std::fabs(*lo) * 0.01 : 1.0;
        *lo -= pad;
        *hi += pad;
    }
    return true;
}

// A curve's own extremes (a coherence peak, the floor of a gap) lie just
// beyond its 1st and 99th percentiles and are the physics; a value that
// divided by an I/V near zero lies far beyond them.  So the range reaches
// half the percentiles' span further on either side (the fences), and is
// then that of the values within the fences: a curve without wild values
// keeps its whole range and gnuplot's own scale.
bool curve_range(const mean_curve& c, double* lo, double* hi, bool* clipped) {
    std::vector<float> values;
    for (size_t k = 0; k < c.mean.size() && k < c.se.size(); ++k) {
        const double mean = c.mean[k], band = 2.0 * static_cast<double>(c.se[k]);
        values.push_back(c.mean[k]);
        values.push_back(static_cast<float>(mean - band));
        values.push_back(static_cast<float>(mean + band));
    }
    double p_lo = 0, p_hi = 0;
    if (!value_range(values, &p_lo, &p_hi, clipped)) return false;
    const double reach = (p_hi - p_lo) / 2;
    const double fence_lo = p_lo - reach, fence_hi = p_hi + reach;
    *lo = p_hi;
    *hi = p_lo;
    *clipped = false;
    for (float v : values) {
        if (!std::isfinite(v)) continue;
        if (v < fence_lo || v > fence_hi) {
            *clipped = true;
            continue;
        }
        *lo = std::min(*lo, static_cast<double>(v));
        *hi = std::max(*hi, static_cast<double>(v));
    }
    return true;
}

namespace {

struct extent {
    double low, high;
    std::string text() const { return "[" + number(low) + ":" + number(high) + "]"; }
};

// The extent of pixels centred on evenly spaced coordinates: half a step
// beyond the first and the last.
extent pixel_extent(const std::vector<double>& c) {
    const double low = *std::min_element(c.begin(), c.end());
    const double high = *std::max_element(c.begin(), c.end());
    double half = c.size() > 1 ? (high - low) / static_cast<double>(c.size() - 1) / 2 : 0.5;
    if (half == 0) half = 0.5;
    return {low - half, high + half};
}

// One row of "x y value" lines per grid row, rows apart by a blank line:
// the layout gnuplot's image style reads.
std::string image_data(const grid_description& d, const std::vector<float>& values) {
    std::string data;
    for (long y = 0; y < d.ny; ++y) {
        for (long x = 0; x < d.nx; ++x)
            data += number(d.x[x]) + " " + number(d.y[y]) + " " +
                    number(values[static_cast<size_t>(y * d.nx + x)]) + "\n";
        data += "\n";
    }
    return data;
}

// A panel with no value to show, saying so in its title.
std::string empty_panel(const std::string& title) {
    return "set title " + gnuplot_quote(title + "\n(no processed pixel)") +
           "\nunset colorbox\nplot NaN notitle\nset colorbox\n";
}

// The line a title gains when the colours leave out the extreme values.
std::string clipped_note(bool clipped) {
    return clipped ? "\n(colours cover the 1st to 99th percentile)" : "";
}

// What a panel says: its title, the unit of its values and, for a panel
// whose colour bar is labelled (the topography's), that label.
struct panel_text {
    std::string title, unit, colour_label;
};

// One panel of a map: the values as an image, NaN pixels left blank.
std::string image_panel(const std::string& file, const panel_text& text,
                        const std::vector<float>& values) {
    double lo = 0, hi = 0;
    bool clipped = false;
    if (!value_range(values, &lo, &hi, &clipped))
        return empty_panel(text.title);
    const std::string note = clipped_note(clipped);
    const std::string plot = "set title " + gnuplot_quote(text.title + note) + "\nset cbrange [" +
                             number(lo) + ":" + number(hi) + "]\nplot " + gnuplot_quote(file) +
                             " using 1:2:3 with image notitle\n";
    if (text.colour_label.empty()) return plot;
    return "set cblabel " + gnuplot_quote(text.colour_label) + "\n" + plot + "unset cblabel\n";
}

// Values along a line of spectra, gaps where a pixel was not processed.
std::string profile_data(const std::vector<double>& along, const std::vector<float>& values) {
    std::string data;
    for (size_t k = 0; k < along.size(); ++k)
        data += std::isnan(values[k]) ? "\n" : number(along[k]) + " " + number(values[k]) + "\n";
    return data;
}

std::string profile_panel(const std::string& file, const panel_text& text,
                          const std::vector<float>& values) {
    const std::string& title = text.title;
    const std::string& unit = text.unit;
    double lo = 0, hi = 0;
    bool clipped = false;
    const bool any = value_range(values, &lo, &hi, &clipped);
    std::string script = "set title " + gnuplot_quote(any ? title : title + "\n(no processed pixel)") +
                         "\nset ylabel " + gnuplot_quote(unit) + "\n";
    if (!any) return script + "set yrange [-1:1]\nplot NaN notitle\nset autoscale y\n";
    return script + "plot " + gnuplot_quote(file) +
           " using 1:2 with linespoints lw 1.5 pt 7 ps 0.6 lc rgb '#21918c' notitle\n";
}

}  // namespace

std::string map_title(const grid_description& d, const bias_map& m) {
    const bias_scale shown = display_scale(d);
    return source_text(d) + "\nat " + short_number(m.vmid, shown.factor) + " " + shown.unit +
           " (the midpoint nearest " + short_number(m.bias, shown.factor) + " " + shown.unit +
           ")";
}

namespace {

// Panels two to a row.
int panel_rows(size_t panels) { return static_cast<int>((panels + 1) / 2); }

// The frame of `rows` rows of two map panels with equal scales on x and y,
// under a title; the picture's height follows the grid's shape.
std::string image_frame(const grid_description& d, const std::string& title, int rows,
                        int* height) {
    const extent x = pixel_extent(d.x), y = pixel_extent(d.y);
    const double aspect = (y.high - y.low) / (x.high - x.low);
    const double map_height = std::clamp(aspect * 420.0, 150.0, 650.0);
    *height = static_cast<int>(rows * (map_height + 120) + 60);
    return std::string(palette) + "set multiplot layout " + std::to_string(rows) + ",2 title " +
           gnuplot_quote(title) + " font ',12'\nset size ratio -1\nset tics out\n" +
           "set xrange " + x.text() + "\nset yrange " + y.text() + "\nset xlabel " +
           gnuplot_quote(axis_label(d, "x")) + "\nset ylabel " + gnuplot_quote(axis_label(d, "y")) +
           "\n";
}

// A line of spectra (one row or one column) as curves along the line.
std::string profile_frame(const grid_description& d, const std::string& title, int rows) {
    const bool along_x = d.ny == 1;
    return "set multiplot layout " + std::to_string(rows) + ",2 title " + gnuplot_quote(title) +
           " font ',12'\nset grid\nset xrange " + pixel_extent(along_x ? d.x : d.y).text() +
           "\nset xlabel " + gnuplot_quote(axis_label(d, along_x ? "x" : "y")) + "\n";
}

// Maps (or, for a line of spectra, curves along the line) two to a row
// under a title, each panel with its text; `settings` go before the first.
bool draw_panels(const grid_description& d, const std::string& title, const std::string& settings,
                 const std::vector<map_panel>& panels, const std::vector<panel_text>& texts,
                 const std::string& png, std::string* error) {
    const size_t pixels = static_cast<size_t>(d.nx) * static_cast<size_t>(d.ny);
    bool sized = d.nx > 0 && d.ny > 0 && d.x.size() == static_cast<size_t>(d.nx) &&
                 d.y.size() == static_cast<size_t>(d.ny) && !panels.empty();
    for (const map_panel& panel : panels) sized = sized && panel.values.size() == pixels;
    gnuplot_job job;
    std::string problem;
    if (!sized) problem = "the map does not match the grid's size";
    if (!sized || !job.open(&problem)) {
        if (error) *error = "cannot draw " + png + ": " + problem;
        return false;
    }
    const bool line = d.nx == 1 || d.ny == 1;
    const int rows = panel_rows(panels.size());
    int height = 800;
    std::string script =
        (line ? profile_frame(d, title, rows) : image_frame(d, title, rows, &height)) + settings;
    for (size_t k = 0; k < panels.size(); ++k) {
        const map_panel& panel = panels[k];
        const std::string file =
            job.put(panel.name + ".txt",
                    line ? profile_data(d.ny == 1 ? d.x : d.y, panel.values)
                         : image_data(d, panel.values),
                    error);
        if (file.empty()) return false;
        script += (line ? profile_panel : image_panel)(file, texts[k], panel.values);
    }
    return job.draw(script + "unset multiplot\n", 1200, height, png, error);
}

}  // namespace

namespace {

// A map panel's text: the spectral quantities' from the table; the
// topography (the grid's recorded Z, or the scan's) with its unit on the
// colour bar.
panel_text map_panel_text(const grid_description& d, const std::string& name) {
    if (name == "topography") return {"topography: the height recorded at the pixels", "nm", "height (nm)"};
    if (name == "scan_topography" && d.scan) {
        const scan_on_grid& s = *d.scan;
        const std::string label = s.unit == "nm" ? "height (nm)" : s.channel + " (" + s.unit + ")";
        return {"scan " + s.channel + " (" + scan_direction_name(s.backward) + ") of " +
                    base_name(s.path) + " at the pixels",
                s.unit, label};
    }
    return {title_of(d, name), unit_of(d, name), ""};
}

}  // namespace

bool draw_map(const grid_description& d, const bias_map& m, const std::string& png,
              std::string* error) {
    std::vector<panel_text> texts;
    for (const map_panel& panel : m.panels)
        texts.push_back(map_panel_text(d, panel.name));
    return draw_panels(d, map_title(d, m), "", m.panels, texts, png, error);
}

namespace {

// Bias values as shown (times the display factor).
std::vector<float> scaled(const std::vector<float>& values, double factor) {
    std::vector<float> out;
    out.reserve(values.size());
    for (float v : values) out.push_back(static_cast<float>(v * factor));
    return out;
}

}  // namespace

bool draw_gap_maps(const grid_description& d, const gap_maps& g, const std::string& png,
                   std::string* error) {
    const bias_scale shown = display_scale(d);
    const std::string window =
        g.window > 0 ? short_number(g.window, shown.factor) + " " + shown.unit : "the gap's width";
    const std::string title = source_text(d) + "\ngap: where " + g.curve + " < " +
                              number(g.threshold) + " around 0 V; peaks: the largest " + g.curve +
                              " within " + window + " beyond each edge";
    const std::pair<const char*, const std::vector<float>*> named[] = {
        {"gap_low", &g.low}, {"gap_high", &g.high}, {"gap_width", &g.width},
        {"peak_low", &g.peak_low}, {"peak_high", &g.peak_high}};
    std::vector<map_panel> panels;
    std::vector<panel_text> texts;
    for (const auto& [name, values] : named) {
        panels.push_back({name, scaled(*values, shown.factor)});
        texts.push_back({title_of(d, name) + " (" + shown.unit + ")", shown.unit, ""});
    }
    // The unit on the colour bar's every tick: a label there would run into
    // the next panel.
    return draw_panels(d, title,
                       "set format cb " + gnuplot_quote("%g " + shown.unit) + "\nset rmargin 11\n",
                       panels, texts, png, error);
}

namespace {

// "bias mean mean-2se mean+2se" lines; a blank line (a gap in the curve)
// where a value is missing.
std::string band_data(const std::vector<float>& bias, double factor, const mean_curve& c) {
    std::string data;
    for (size_t k = 0; k < c.mean.size(); ++k) {
        const double v = bias[k], mean = c.mean[k], band = 2.0 * static_cast<double>(c.se[k]);
        if (std::isnan(v) || std::isnan(mean) || std::isnan(band)) {
            data += "\n";
            continue;
        }
        data += number(v * factor) + " " + number(mean) + " " + number(mean - band) + " " +
                number(mean + band) + "\n";
    }
    return data;
}

// "bias value pointtype" lines of the means beyond [lo, hi], each put on
// the frame it passes (a triangle up above, down below); *count says how
// many.
std::string beyond_data(const std::vector<float>& bias, double factor, const mean_curve& c,
                        double lo, double hi, int* count) {
    std::string data;
    *count = 0;
    for (size_t k = 0; k < c.mean.size(); ++k) {
        const double v = bias[k], mean = c.mean[k];
        if (std::isnan(v) || std::isnan(mean) || (mean >= lo && mean <= hi)) continue;
        ++*count;
        data += number(v * factor) + (mean > hi ? " " + number(hi) + " 9\n" : " " + number(lo) + " 11\n");
    }
    return data;
}

// What a panel whose range cut something says about it.
std::string cut_note(int beyond) {
    return "\n(y range without values far beyond the 1st to 99th percentile; " +
           (beyond == 0 ? std::string("the band is cut at the frame)")
                        : std::to_string(beyond) + (beyond == 1 ? " mean value" : " mean values") +
                              " beyond it, marked ▲▼ at the frame)");
}

// The panel of one mean curve, its data files put into job: the band and
// the line, and when the range cut anything a y range of its own with the
// means beyond it marked at the frame (gnuplot's own scale otherwise).
// "" with *error when a file cannot be written.
std::string curve_panel(gnuplot_job* job, const std::string& name, const std::vector<float>& bias,
                        double factor, const std::string& title, const std::string& unit,
                        const mean_curve& c, std::string* error) {
    const std::string file = job->put(name + ".txt", band_data(bias, factor, c), error);
    if (file.empty()) return "";
    double lo = 0, hi = 0;
    bool clipped = false;
    const bool any = curve_range(c, &lo, &hi, &clipped);
    int count = 0;
    const std::string beyond = clipped ? beyond_data(bias, factor, c, lo, hi, &count) : "";
    const std::string beyond_file = count > 0 ? job->put(name + "_beyond.txt", beyond, error) : "";
    if (count > 0 && beyond_file.empty()) return "";
    const std::string shown = !any ? title + " (no value)" : clipped ? title + cut_note(count) : title;
    std::string script = "set title " + gnuplot_quote(shown) + "\nset ylabel " + gnuplot_quote(unit) + "\n";
    if (!any) return script + "set yrange [-1:1]\nplot NaN notitle\nset autoscale y\n";
    const std::string q = gnuplot_quote(file);
    std::string plot = "plot " + q +
                       " using 1:3:4 with filledcurves fs transparent solid 0.35 noborder lc rgb '#21918c' "
                       "notitle, " + q + " using 1:2 with lines lw 1.5 lc rgb '#440154' notitle";
    if (!clipped) return script + plot + "\n";
    if (count > 0)
        plot += ", " + gnuplot_quote(beyond_file) +
                " using 1:2:3 with points pt variable ps 1.3 lc rgb '#d62728' notitle";
    return script + "set yrange [" + number(lo) + ":" + number(hi) + "]\n" + plot +
           "\nset autoscale y\n";
}

// The axis that a curve of n values runs along: the midpoints or the points.
const std::vector<float>* axis_for(const grid_description& d, size_t n) {
    if (n == d.vmid.size()) return &d.vmid;
    if (n == d.bias.size()) return &d.bias;
    return nullptr;
}

}  // namespace

bool draw_mean_curves(const grid_description& d, const std::vector<mean_curve>& curves,
                      long pixels, const std::string& png, std::string* error) {
    bool sized = !curves.empty();
    for (const mean_curve& c : curves)
        sized = sized && c.se.size() == c.mean.size() && axis_for(d, c.mean.size());
    gnuplot_job job;
    std::string problem;
    if (!sized) problem = "no curves, or curves that do not match the bias axis";
    if (!sized || !job.open(&problem)) {
        if (error) *error = "cannot draw " + png + ": " + problem;
        return false;
    }
    const int n = static_cast<int>(curves.size());
    const bias_scale shown = display_scale(d);
    std::string script = "set multiplot layout " + std::to_string(n) + ",1 title " +
                         gnuplot_quote(source_text(d) + "\ngrid mean of " + std::to_string(pixels) +
                                       " pixels (dark line) with a band of ±2 standard errors") +
                         " font ',12'\nset grid\nset xlabel " +
                         gnuplot_quote("bias (" + shown.unit + ")") + "\n";
    for (const mean_curve& c : curves) {
        const std::string panel =
            curve_panel(&job, "curve" + std::to_string(&c - curves.data()),
                        *axis_for(d, c.mean.size()), shown.factor, title_of(d, c.name),
                        unit_of(d, c.name), c, error);
        if (panel.empty()) return false;
        script += panel;
    }
    return job.draw(script + "unset multiplot\n", 1000, 80 + 280 * n, png, error);
}

}  // namespace sts

// The line cut: boxes with explicit edges rather than gnuplot's image
// style, which needs evenly spaced rows, because a bias axis need not be
// evenly spaced (merged points) and pixels may each have their own axis.
namespace sts {

namespace {

// The edges of cell j of an ascending axis with NaN padding: halfway to
// its finite neighbours, as far on the open side as on the other.
bool cell_edges(const float* axis, size_t n, size_t j, double* low, double* high) {
    const double at = axis[j];
    if (!std::isfinite(at)) return false;
    const bool before = j > 0 && std::isfinite(axis[j - 1]);
    const bool after = j + 1 < n && std::isfinite(axis[j + 1]);
    const double down = before ? (at - axis[j - 1]) / 2 : after ? (axis[j + 1] - at) / 2 : 0.5;
    const double up = after ? (axis[j + 1] - at) / 2 : down;
    *low = at - (before ? down : up);
    *high = at + up;
    return true;
}

// Where the samples stand across the picture, and the label of that
// axis: their distances, or their numbers along the line when the grid's
// frame has no extent (every distance 0).
struct line_axis {
    std::vector<double> at;
    double half;  // half a step: how far the cells reach beyond the ends
    std::string label;
};

line_axis positions(const grid_description& d, const line_collector& c) {
    line_axis a;
    const auto& s = c.samples();
    const bool flat = s.size() > 1 && !(s.back().distance > 0);
    for (size_t k = 0; k < s.size(); ++k)
        a.at.push_back(flat ? static_cast<double>(k) : s[k].distance);
    const double step = d.x.size() > 1 ? std::fabs(d.x[1] - d.x[0]) : 0;
    a.half = s.size() > 1 ? (a.at.back() - a.at.front()) / static_cast<double>(2 * (s.size() - 1))
                          : step > 0 ? step / 2 : 0.5;
    a.label = flat ? "pixel along the line (the grid's frame has no extent)"
                   : "distance along the line" +
                         std::string(d.xy_unit == "1" ? " (pixel)" : " (" + d.xy_unit + ")");
    return a;
}

// "x y xlow xhigh ylow yhigh value" per finite cell; *values gets every value.
std::string line_cells(const grid_description& d, const line_collector& c, const pixel_quantity& q,
                       const line_axis& along, double bias_factor, std::vector<float>* values,
                       extent* bias_span) {
    const auto& samples = c.samples();
    const std::vector<float>& v = *c.values(q);
    const size_t n = c.record(q);
    const bool point = q.along == quantity_axis::point;
    const pixel_quantity* own = find_pixel_quantity(point ? "pixel_bias" : "pixel_vmid");
    const std::vector<float>* own_axes = d.per_pixel_axis && own ? c.values(*own) : nullptr;
    std::string data;
    for (size_t s = 0; s < samples.size(); ++s) {
        // Halfway to the neighbours; the ends as far out as half a step.
        const double at = along.at[s];
        const double left = s > 0 ? (at - along.at[s - 1]) / 2 : along.half;
        const double right = s + 1 < samples.size() ? (along.at[s + 1] - at) / 2 : along.half;
        const float* axis = own_axes ? own_axes->data() + s * n : (point ? d.bias : d.vmid).data();
        for (size_t j = 0; j < n; ++j) {
            const float value = v[s * n + j];
            double low = 0, high = 0;
            if (!std::isfinite(value) || !cell_edges(axis, n, j, &low, &high)) continue;
            values->push_back(value);
            bias_span->low = std::min(bias_span->low, low * bias_factor);
            bias_span->high = std::max(bias_span->high, high * bias_factor);
            data += number(at) + " " + number(axis[j] * bias_factor) + " " + number(at - left) +
                    " " + number(at + right) + " " + number(low * bias_factor) + " " +
                    number(high * bias_factor) + " " + number(value) + "\n";
        }
    }
    return data;
}

std::string colour_label(const grid_description& d, const pixel_quantity& q) {
    const std::string unit = unit_text(q.unit, d.bias_unit, d.current_unit);
    return unit == "1" ? "ratio (no unit)" : unit;
}

// overlap: how far each cell reaches over its right (low) and upper
// (high) neighbour, 1/400 of the panel (about a screen pixel), so that
// the anti-aliased edges of abutting cells leave no pale seams.
std::string line_panel(const std::string& file, const grid_description& d,
                       const pixel_quantity& q, const std::vector<float>& values,
                       const extent& overlap) {
    const std::string title = title_of(d, q.name);
    double lo = 0, hi = 0;
    bool clipped = false;
    if (!value_range(values, &lo, &hi, &clipped))
        return empty_panel(title);
    const std::string note = clipped_note(clipped);
    return "set title " + gnuplot_quote(title + note) + "\nset cblabel " +
           gnuplot_quote(colour_label(d, q)) + " offset 1.5,0\nset cbrange [" + number(lo) + ":" +
           number(hi) + "]\nplot " + gnuplot_quote(file) + " using 1:2:3:($4+" +
           number(overlap.low) + "):5:($6+" + number(overlap.high) +
           "):7 with boxxyerror fill solid 1.0 noborder lc palette notitle\n";
}

std::string line_title(const grid_description& d, const pixel_line& line, const line_collector& c) {
    const auto& s = c.samples();
    const std::string along = d.xy_unit == "1" ? " pixels" : " " + d.xy_unit;
    return source_text(d) + "\nline cut from pixel (" + std::to_string(line.x0) + ", " +
           std::to_string(line.y0) + ") to (" + std::to_string(line.x1) + ", " +
           std::to_string(line.y1) + "): " + std::to_string(s.size()) +
           (s.size() == 1 ? " pixel over " : " pixels over ") +
           short_number(s.empty() ? 0.0 : s.back().distance, 1.0) + along +
           (d.per_pixel_axis ? "; each pixel on its own bias axis" : "");
}

// Fixed margins, with room between the columns for a colour bar and its
// label beside the next panel's bias label.
std::string line_margins(int columns, int height) {
    const double top = 1 - 125.0 / height, bottom = 55.0 / height, gap = 120.0 / height;
    return columns == 1 ? " margins 0.12,0.82," + number(bottom) + "," + number(top) +
                              " spacing 0.1," + number(gap)
                        : " margins 0.07,0.9," + number(bottom) + "," + number(top) +
                              " spacing 0.2," + number(gap);
}

}  // namespace

bool draw_line_cut(const grid_description& d, const pixel_line& line, const line_collector& c,
                   const std::vector<std::string>& names, const std::string& png,
                   std::string* error) {
    std::vector<const pixel_quantity*> panels;
    std::string problem = names.empty() || c.samples().empty() ? "nothing to draw" : "";
    for (const std::string& name : names) {
        const pixel_quantity* q = find_pixel_quantity(name);
        if (!q || q->pixel_axis || q->along == quantity_axis::pixel || !c.values(*q))
            problem = "the run does not write " + name + " over the bias";
        panels.push_back(q);
    }
    gnuplot_job job;
    if (!problem.empty() || !job.open(&problem)) {
        if (error) *error = "cannot draw " + png + ": " + problem;
        return false;
    }
    const bias_scale shown = display_scale(d);
    const line_axis along = positions(d, c);
    const int columns = panels.size() > 1 ? 2 : 1;
    const int rows = static_cast<int>((panels.size() + 1) / 2);  // 1 panel: 1 row
    const int height = 150 + 400 * rows;
    std::string script = std::string(palette) + "set multiplot layout " + std::to_string(rows) +
                         "," + std::to_string(columns) + line_margins(columns, height) + " title " +
                         gnuplot_quote(line_title(d, line, c)) + " font ',12'\nset tics out\n" +
                         "set xlabel " + gnuplot_quote(along.label) +
                         "\nset ylabel " + gnuplot_quote("bias (" + shown.unit + ")") + "\n";
    for (size_t k = 0; k < panels.size(); ++k) {
        std::vector<float> values;
        const double far = std::numeric_limits<double>::infinity();
        extent span{far, -far};  // widened by every cell
        const std::string file = job.put("line" + std::to_string(k) + ".txt",
                                         line_cells(d, c, *panels[k], along, shown.factor,
                                                    &values, &span),
                                         error);
        if (file.empty()) return false;
        const extent across{along.at.front() - along.half, along.at.back() + along.half};
        if (values.empty()) span = {-1, 1};
        script += "set xrange " + across.text() + "\nset yrange " + span.text() + "\n";
        const extent overlap{(across.high - across.low) / 400, (span.high - span.low) / 400};
        script += line_panel(file, d, *panels[k], values, overlap);
    }
    return job.draw(script + "unset multiplot\n", columns == 1 ? 700 : 1200, height, png, error);
}

// The fit's maps: Delta and Gamma in meV, a pixel not fitted blank.
bool draw_fit_maps(const grid_description& d, const fit_maps& f, const std::string& png,
                   std::string* error) {
    const gap_fit_settings& s = f.settings;
    const bias_scale shown = display_scale(d);
    const std::string window =
        s.window > 0 ? "|V| <= " + short_number(s.window, shown.factor) + " " + shown.unit
                     : "the whole sweep";
    const std::string title = source_text(d) + "\n" +
                              (s.model == gap_model::dynes_sis ? "dynes-sis" : "dynes") +
                              " fit of " + f.curve + " over " + window + ", T = " +
                              number(s.temperature) + " K" + (s.fit_temperature ? " (start)" : "");
    const std::vector<map_panel> panels = {{"fit_gap", f.gap}, {"fit_gamma", f.gamma}};
    const std::vector<panel_text> texts = {{"fit_gap: Delta (meV)", "meV"},
                                           {"fit_gamma: Gamma (meV)", "meV"}};
    return draw_panels(d, title, "set format cb \"%g meV\"\nset rmargin 11\n", panels, texts,
                       png, error);
}

}  // namespace sts
