// Maps and mean curves of a grid run, as gnuplot scripts: see plots.h.
#include "stsgrid/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "stsgrid/gnuplot.h"
#include "stsgrid/quantities.h"

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
// 1.003 (mV), not 1.00299995.
std::string short_number(double v, double factor) {
    char text[32];
    int digits = 1;
    for (; digits < 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (static_cast<float>(std::strtod(text, nullptr)) == static_cast<float>(v)) break;
    }
    std::snprintf(text, sizeof text, "%.*g", digits, v * factor);
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

std::string axis_label(const grid_description& d, const char* axis) {
    return std::string(axis) + (d.xy_unit == "1" ? " (pixel)" : " (" + d.xy_unit + ")");
}

// The range of the finite values: from the 1st to the 99th percentile when
// there are enough of them, so that a few wild pixels do not wash out the
// picture; *clipped says whether that cut anything.  false when no value
// is finite.
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

}  // namespace

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

// One panel of a map: the values as an image, NaN pixels left blank.
std::string image_panel(const std::string& file, const std::string& title,
                        const std::string&, const std::vector<float>& values) {
    double lo = 0, hi = 0;
    bool clipped = false;
    if (!value_range(values, &lo, &hi, &clipped))
        return "set title " + gnuplot_quote(title + "\n(no processed pixel)") +
               "\nunset colorbox\nplot NaN notitle\nset colorbox\n";
    const std::string note = clipped ? "\n(colours cover the 1st to 99th percentile)" : "";
    return "set title " + gnuplot_quote(title + note) + "\nset cbrange [" + number(lo) +
           ":" + number(hi) + "]\nplot " + gnuplot_quote(file) +
           " using 1:2:3 with image notitle\n";
}

// Values along a line of spectra, gaps where a pixel was not processed.
std::string profile_data(const std::vector<double>& along, const std::vector<float>& values) {
    std::string data;
    for (size_t k = 0; k < along.size(); ++k)
        data += std::isnan(values[k]) ? "\n" : number(along[k]) + " " + number(values[k]) + "\n";
    return data;
}

std::string profile_panel(const std::string& file, const std::string& title,
                          const std::string& unit, const std::vector<float>& values) {
    double lo = 0, hi = 0;
    bool clipped = false;
    const bool any = value_range(values, &lo, &hi, &clipped);
    std::string script = "set title " + gnuplot_quote(any ? title : title + "\n(no processed pixel)") +
                         "\nset ylabel " + gnuplot_quote(unit) + "\n";
    if (!any) return script + "set yrange [-1:1]\nplot NaN notitle\nset autoscale y\n";
    return script + "plot " + gnuplot_quote(file) +
           " using 1:2 with linespoints lw 1.5 pt 7 ps 0.6 lc rgb '#21918c' notitle\n";
}

std::string map_title(const grid_description& d, const bias_map& m) {
    const bias_scale shown = display_scale(d);
    return source_text(d) + "\nat " + short_number(m.vmid, shown.factor) + " " + shown.unit +
           " (the midpoint nearest " + short_number(m.bias, shown.factor) + " " + shown.unit +
           ")";
}

// Panels two to a row.
int panel_rows(const bias_map& m) { return static_cast<int>((m.panels.size() + 1) / 2); }

// The frame of the map panels with equal scales on x and y; the picture's
// height follows the grid's shape.
std::string image_frame(const grid_description& d, const bias_map& m, int* height) {
    const extent x = pixel_extent(d.x), y = pixel_extent(d.y);
    const double aspect = (y.high - y.low) / (x.high - x.low);
    const double map_height = std::clamp(aspect * 420.0, 150.0, 650.0);
    const int rows = panel_rows(m);
    *height = static_cast<int>(rows * (map_height + 120) + 60);
    return std::string(palette) + "set multiplot layout " + std::to_string(rows) + ",2 title " +
           gnuplot_quote(map_title(d, m)) + " font ',12'\nset size ratio -1\nset tics out\n" +
           "set xrange " + x.text() + "\nset yrange " + y.text() + "\nset xlabel " +
           gnuplot_quote(axis_label(d, "x")) + "\nset ylabel " + gnuplot_quote(axis_label(d, "y")) +
           "\n";
}

// A line of spectra (one row or one column) as curves along the line.
std::string profile_frame(const grid_description& d, const bias_map& m) {
    const bool along_x = d.ny == 1;
    return "set multiplot layout " + std::to_string(panel_rows(m)) + ",2 title " +
           gnuplot_quote(map_title(d, m)) +
           " font ',12'\nset grid\nset xrange " + pixel_extent(along_x ? d.x : d.y).text() +
           "\nset xlabel " + gnuplot_quote(axis_label(d, along_x ? "x" : "y")) + "\n";
}

}  // namespace

bool draw_map(const grid_description& d, const bias_map& m, const std::string& png,
              std::string* error) {
    const size_t pixels = static_cast<size_t>(d.nx) * static_cast<size_t>(d.ny);
    bool sized = d.nx > 0 && d.ny > 0 && d.x.size() == static_cast<size_t>(d.nx) &&
                 d.y.size() == static_cast<size_t>(d.ny) && !m.panels.empty();
    for (const map_panel& panel : m.panels) sized = sized && panel.values.size() == pixels;
    gnuplot_job job;
    std::string problem;
    if (!sized) problem = "the map does not match the grid's size";
    if (!sized || !job.open(&problem)) {
        if (error) *error = "cannot draw " + png + ": " + problem;
        return false;
    }
    const bool line = d.nx == 1 || d.ny == 1;
    int height = 800;
    std::string script = line ? profile_frame(d, m) : image_frame(d, m, &height);
    for (const map_panel& panel : m.panels) {
        const std::string file =
            job.put(panel.name + ".txt",
                    line ? profile_data(d.ny == 1 ? d.x : d.y, panel.values)
                         : image_data(d, panel.values),
                    error);
        if (file.empty()) return false;
        script += (line ? profile_panel : image_panel)(file, title_of(d, panel.name),
                                                       unit_of(d, panel.name), panel.values);
    }
    return job.draw(script + "unset multiplot\n", 1200, height, png, error);
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

std::string curve_panel(const std::string& file, const std::string& title,
                        const std::string& unit, const mean_curve& c) {
    double lo = 0, hi = 0;
    bool clipped = false;
    const bool any = value_range(c.mean, &lo, &hi, &clipped);
    std::string script = "set title " + gnuplot_quote(any ? title : title + " (no value)") +
                         "\nset ylabel " + gnuplot_quote(unit) + "\n";
    if (!any) return script + "set yrange [-1:1]\nplot NaN notitle\nset autoscale y\n";
    const std::string q = gnuplot_quote(file);
    return script + "plot " + q +
           " using 1:3:4 with filledcurves fs transparent solid 0.35 noborder lc rgb '#21918c' "
           "notitle, " + q + " using 1:2 with lines lw 1.5 lc rgb '#440154' notitle\n";
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
        const std::string file =
            job.put("curve" + std::to_string(&c - curves.data()) + ".txt",
                    band_data(*axis_for(d, c.mean.size()), shown.factor, c), error);
        if (file.empty()) return false;
        script += curve_panel(file, title_of(d, c.name), unit_of(d, c.name), c);
    }
    return job.draw(script + "unset multiplot\n", 1000, 80 + 280 * n, png, error);
}

}  // namespace sts
