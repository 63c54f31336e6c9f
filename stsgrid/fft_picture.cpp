// The pictures of the Fourier maps: see fft_picture.h.
#include "stsgrid/fft_picture.h"

#include <cmath>
#include <cstdio>

#include "grid/grid_setup.h"
#include "grid/quantities.h"
#include "stsgrid/gnuplot.h"
#include "stsgrid/plots.h"

namespace sts {

namespace {

const char* const palette =
    "set palette defined (0 '#440154', 1 '#482475', 2 '#414487', 3 '#355f8d', 4 '#2a788e', "
    "5 '#21918c', 6 '#22a884', 7 '#44bf70', 8 '#7ad151', 9 '#bddf26', 10 '#fde725')\n";

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return std::isnan(v) ? "NaN" : text;
}

// "qx qy value" lines, a blank line after each row: gnuplot's image layout.
std::string image_data(const fourier_outcome& o, const std::vector<float>& values) {
    std::string data;
    for (size_t y = 0; y < o.ny; ++y) {
        for (size_t x = 0; x < o.nx; ++x)
            data += number(o.qx[x]) + " " + number(o.qy[y]) + " " + number(values[y * o.nx + x]) +
                    "\n";
        data += "\n";
    }
    return data;
}

// A bias as a title shows it.
std::string short_number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

std::string range(const std::vector<double>& q) {
    const double half = (q[1] - q[0]) / 2;
    return "[" + number(q.front() - half) + ":" + number(q.back() + half) + "]";
}

// Circles at +-Q1 and +-Q2, each named.
std::string bragg_marks(const fourier_outcome& o) {
    if (!o.lattice) return "";
    const double radius = 2.5 * std::max(o.qx[1] - o.qx[0], o.qy[1] - o.qy[0]);
    std::string marks;
    int tag = 1;
    const struct {
        double x, y;
        const char* name;
    } peaks[] = {{o.q1x, o.q1y, "Q1"}, {-o.q1x, -o.q1y, "-Q1"},
                 {o.q2x, o.q2y, "Q2"}, {-o.q2x, -o.q2y, "-Q2"}};
    for (const auto& p : peaks) {
        marks += "set object " + std::to_string(tag++) + " circle at " + number(p.x) + "," +
                 number(p.y) + " size " + number(radius) +
                 " front fillstyle empty border lc rgb '#ff3030' lw 1.5\n";
        marks += "set label " + std::to_string(tag++) + " " + gnuplot_quote(p.name) + " at " +
                 number(p.x + radius) + "," + number(p.y + radius) +
                 " front tc rgb '#ff3030'\n";
    }
    return marks;
}

std::string panel(const std::string& file, const std::string& title,
                  const std::vector<float>& values) {
    double lo = 0, hi = 0;
    bool clipped = false;
    if (!value_range(values, &lo, &hi, &clipped))
        return "set title " + gnuplot_quote(title + "\n(no finite value)") + "\nplot NaN notitle\n";
    return "set title " + gnuplot_quote(title + (clipped ? "\n(colours cover the 1st to 99th "
                                                           "percentile)"
                                                         : "")) +
           "\nset cbrange [" + number(lo) + ":" + number(hi) + "]\nplot " + gnuplot_quote(file) +
           " using 1:2:3 with image notitle\n";
}

}  // namespace

std::string fft_picture_name(const std::string& output, double bias) {
    return companion(output, "_fft_" + bias_text(bias) + ".png");
}

bool draw_fft_picture(const grid_description& d, const fourier_outcome& o,
                      const fourier_picture& p, const std::string& png, std::string* error) {
    const size_t pixels = o.nx * o.ny;
    gnuplot_job job;
    std::string problem;
    if (o.nx < 2 || o.ny < 2 || o.qx.size() != o.nx || o.qy.size() != o.ny ||
        p.values.size() != pixels || (!p.symmetrised.empty() && p.symmetrised.size() != pixels))
        problem = "the transform does not match its axes";
    if (!problem.empty() || !job.open(&problem)) {
        *error = "cannot draw " + png + ": " + problem;
        return false;
    }
    const pixel_quantity* q = find_pixel_quantity(o.variable);
    const std::string unit = q ? unit_text(q->unit, d.bias_unit, d.current_unit) : "1";
    const bool two = !p.symmetrised.empty();
    std::string script = std::string(palette) + "set multiplot layout 1," + (two ? "2" : "1") +
                         " title " +
                         gnuplot_quote(d.source + "\n|FFT| of " + o.variable + " at " +
                                       short_number(p.at) + " " + d.bias_unit + " (the slice nearest " +
                                       short_number(p.bias) + " " + d.bias_unit + ")") +
                         " font ',12'\nset size ratio -1\nset tics out\nset xrange " +
                         range(o.qx) + "\nset yrange " + range(o.qy) +
                         "\nset xlabel 'q_x (nm^-1)' noenhanced\nset ylabel 'q_y (nm^-1)'"
                         " noenhanced\nset cblabel " + gnuplot_quote("|F| (" + unit + ")") + "\n" +
                         bragg_marks(o);
    const std::string raw = job.put("fft.txt", image_data(o, p.values), error);
    if (raw.empty()) return false;
    script += panel(raw, "|FFT|", p.values);
    if (two) {
        const std::string sym = job.put("symmetrised.txt", image_data(o, p.symmetrised), error);
        if (sym.empty()) return false;
        script += panel(sym, "symmetrised by " + o.group, p.symmetrised);
    }
    return job.draw(script + "unset multiplot\n", two ? 1400 : 800, 720, png, error);
}

}  // namespace sts
