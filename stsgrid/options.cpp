// stsgrid's command line: its own options, then the import options it
// shares with stsimport.
#include "stsgrid/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "readers/import_option_parser.h"
#include "grid/quantities.h"
#include "spectrum/smoothing.h"
#include "stsgrid/fit_options.h"

namespace sts {

namespace {

bool parse_double(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && errno == 0 && std::isfinite(*value);
}

bool parse_long(const std::string& text, long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

// "a:b" with a <= b, both from 0 up.
bool parse_range(const std::string& text, long* a, long* b) {
    const size_t colon = text.find(':');
    return colon != std::string::npos && parse_long(text.substr(0, colon), a) &&
           parse_long(text.substr(colon + 1), b) && *a >= 0 && *a <= *b;
}

bool parse_region(const std::string& text, pixel_region* r) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    r->given = parse_range(text.substr(0, comma), &r->x0, &r->x1) &&
               parse_range(text.substr(comma + 1), &r->y0, &r->y1);
    return r->given;
}

// "x,y" with both from 0 up.
bool parse_pixel(const std::string& text, long* x, long* y) {
    const size_t comma = text.find(',');
    return comma != std::string::npos && parse_long(text.substr(0, comma), x) &&
           parse_long(text.substr(comma + 1), y) && *x >= 0 && *y >= 0;
}

// "X0,Y0:X1,Y1".
bool parse_line(const std::string& text, pixel_line* l) {
    const size_t colon = text.find(':');
    l->given = colon != std::string::npos && parse_pixel(text.substr(0, colon), &l->x0, &l->y0) &&
               parse_pixel(text.substr(colon + 1), &l->x1, &l->y1);
    return l->given;
}

// Names from the quantity table, comma-separated; *bad is the first that
// is not one a line cut can draw (a quantity over the bias, not a pixel's
// own axis).
bool parse_line_vars(const std::string& text, std::vector<std::string>* names, std::string* bad) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        const std::string name = text.substr(at, comma - at);
        const pixel_quantity* q = find_pixel_quantity(name);
        if (!q || q->pixel_axis || q->along == quantity_axis::pixel) {
            *bad = name;
            return false;
        }
        names->push_back(name);
        at = comma + 1;
    }
    return true;
}

// The quantities --line-vars takes, for its message.
std::string line_var_names() {
    std::string names;
    for (const pixel_quantity& q : pixel_quantities)
        if (!q.pixel_axis && q.along != quantity_axis::pixel)
            names += (names.empty() ? "" : ", ") + std::string(q.name);
    return names;
}

// Biases, and the word "gap" for the gap's maps.
bool parse_biases(const std::string& text, std::vector<double>* biases, bool* gap) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        if (comma == std::string::npos) comma = text.size();
        double v = 0;
        if (text.compare(at, comma - at, "gap") == 0) *gap = true;
        else if (parse_double(text.substr(at, comma - at), &v)) biases->push_back(v);
        else return false;
        at = comma + 1;
    }
    return true;
}

// The curves a gap can be looked for in: the normalised ones (ratios
// along the midpoints), so that the peaks' heights are ratios too.
bool gap_quantity(const std::string& name) {
    const pixel_quantity* q = find_pixel_quantity(name);
    return q && q->along == quantity_axis::midpoint && q->unit == quantity_unit::ratio &&
           !q->pixel_axis;
}

std::string gap_quantities() {
    std::string names;
    for (const pixel_quantity& q : pixel_quantities)
        if (gap_quantity(q.name)) names += (names.empty() ? "" : ", ") + std::string(q.name);
    return names;
}

// "T" or "T:VARIABLE".
bool parse_gap(const std::string& text, gap_request* g, std::string* error) {
    const size_t colon = text.find(':');
    double t = 0;
    if (!parse_double(text.substr(0, colon), &t) || std::fabs(t) > 1e30) {
        *error = "gap must be a threshold T or T:VARIABLE, not '" + text + "'";
        return false;
    }
    g->given = true;
    g->threshold = static_cast<float>(t);
    g->variable = colon == std::string::npos ? "" : text.substr(colon + 1);
    if (colon == std::string::npos || gap_quantity(g->variable)) return true;
    *error = "gap variable must be one of " + gap_quantities() + ", not '" + g->variable + "'";
    return false;
}

// A float option that must be positive (the broadening constants).
bool parse_positive_float(const std::string& text, float* value) {
    double v = 0;
    if (!parse_double(text, &v) || !(v > 0) || v > 1e30) return false;
    *value = static_cast<float>(v);
    return true;
}

// --smooth=W[:ORDER]: an odd window of points, a polynomial degree below it.
bool parse_smoothing(const std::string& value, grid_options* o, std::string* error) {
    const size_t colon = value.find(':');
    long window = 0, order = 2;
    if (!parse_long(value.substr(0, colon), &window) ||
        (colon != std::string::npos && !parse_long(value.substr(colon + 1), &order))) {
        *error = "smooth needs a window of points and optionally a polynomial order, like 11 "
                 "or 11:3, not '" + value + "'";
        return false;
    }
    if (window < 1 || window > MAX_SMOOTHING_WINDOW || window % 2 == 0) {
        *error = "the smoothing window must be an odd number of points from 1 to " +
                 std::to_string(MAX_SMOOTHING_WINDOW) + " (so that it is centred on a point), not " +
                 std::to_string(window);
        return false;
    }
    if (order < 0 || order > MAX_SMOOTHING_ORDER || order >= window) {
        *error = "the smoothing order must be from 0 to " + std::to_string(MAX_SMOOTHING_ORDER) +
                 " and below the window of " + std::to_string(window) + " points, not " +
                 std::to_string(order) + "; widen the window or lower the order";
        return false;
    }
    o->smooth_window = static_cast<int>(window);
    o->smooth_order = static_cast<int>(order);
    return true;
}

// One of stsgrid's own options with its value; false with *error.
bool take_own(const std::string& key, const std::string& value, grid_options* o,
              std::string* error) {
    long number = 0;
    if (key == "-o" || key == "--output") {
        o->output = value;
    } else if (key == "-j" || key == "--jobs") {
        if (!parse_long(value, &number) || number < 1 || number > 1024) {
            *error = "jobs must be a whole number from 1 to 1024, not '" + value + "'";
            return false;
        }
        o->threads = static_cast<int>(number);
    } else if (key == "--region") {
        if (!parse_region(value, &o->region)) {
            *error = "region must be x0:x1,y0:y1 (pixel numbers from 0, inclusive), not '" +
                     value + "'";
            return false;
        }
    } else if (key == "--map") {
        if (!parse_biases(value, &o->maps, &o->gap_map)) {
            *error = "map needs biases like 0.01 or -0.5,0,0.5 (or gap), not '" + value + "'";
            return false;
        }
    } else if (key == "--gap") {
        return parse_gap(value, &o->gap, error);
    } else if (key == "--gap-window") {
        if (!parse_positive_float(value, &o->gap.window)) {
            *error = "gap-window must be a positive number of bias units, not '" + value + "'";
            return false;
        }
    } else if (key == "--line") {
        if (!parse_line(value, &o->line)) {
            *error = "line must be X0,Y0:X1,Y1 (pixel numbers from 0 of its two ends), not '" +
                     value + "'";
            return false;
        }
    } else if (key == "--line-vars") {
        std::string bad;
        o->line_vars.clear();
        if (!parse_line_vars(value, &o->line_vars, &bad)) {
            *error = "line-vars takes names from " + line_var_names() + ", not '" + bad + "'";
            return false;
        }
    } else if (key == "--pointmean") {
        o->pointmean = value;
    } else if (key == "--exp-width") {
        if (!parse_positive_float(value, &o->norm.exp_width)) {
            *error = "exp-width must be a positive number of bias units, not '" + value + "'";
            return false;
        }
    } else if (key == "--didv-channel") {
        if (value.empty()) {
            *error = "didv-channel needs a channel name, like \"LockinX (V)\"";
            return false;
        }
        o->import.signal_channel = value;
    } else if (key == "--lockin-fit") {
        if (value != "pixel" && value != "grid") {
            *error = "lockin-fit must be pixel or grid, not '" + value + "'";
            return false;
        }
        o->lockin_fit = value == "grid" ? lockin_fit_mode::grid : lockin_fit_mode::pixel;
        o->lockin_fit_given = true;
    } else if (key == "--lockin-min-r2") {
        double r2 = -1;
        if (!parse_double(value, &r2) || !(r2 >= 0 && r2 <= 1)) {
            *error = "lockin-min-r2 must be a number from 0 to 1, not '" + value + "'";
            return false;
        }
        o->lockin_min_r2 = static_cast<float>(r2);
        o->lockin_min_r2_given = true;
    } else if (key == "--coff-offset") {
        if (!parse_positive_float(value, &o->norm.coff_offset)) {
            *error = "coff-offset must be a positive number, not '" + value + "'";
            return false;
        }
    } else if (key == "--smooth") {
        return parse_smoothing(value, o, error);
    }
    return true;
}

bool takes_value(const std::string& key) {
    return key == "-o" || key == "--output" || key == "-j" || key == "--jobs" ||
           key == "--region" || key == "--map" || key == "--pointmean" || key == "--line" ||
           key == "--line-vars" || key == "--exp-width" || key == "--coff-offset" ||
           key == "--smooth" || key == "--gap" || key == "--gap-window" ||
           key == "--didv-channel" || key == "--lockin-fit" || key == "--lockin-min-r2";
}

// One argument that starts with '-'; false with *error.
bool take_option(int argc, char** argv, int* i, grid_options* o, parse_result* special,
                 std::string* error) {
    sts::option_argument a = sts::split_option(argv[*i]);
    // "-j4", "-oout.nc": a short option's value glued to it.
    if ((a.key.rfind("-j", 0) == 0 || a.key.rfind("-o", 0) == 0) && a.key.size() > 2 &&
        a.key[1] != '-') {
        a.value = a.key.substr(2);
        a.key.resize(2);
        a.has_value = true;
    }
    if (a.key == "-h" || a.key == "--help") *special = parse_result::help;
    else if (a.key == "--version") *special = parse_result::version;
    else if (a.key == "--mean-plot") o->mean_plot = true;
    else if (a.key == "--mean-text") o->mean_text = true;
    else if (a.key == "--no-progress") o->progress = false;
    else if (takes_value(a.key)) {
        std::string value;
        return sts::option_value(argc, argv, i, a, &value, error) &&
               take_own(a.key, value, o, error);
    } else if (const auto* row = find_option(fit_option_rows(), a.key)) {
        std::string value;
        return (!row->takes_value || sts::option_value(argc, argv, i, a, &value, error)) &&
               row->parse(value, o, error);
    } else {
        switch (sts::take_import_option(argc, argv, i, &o->import, error)) {
            case sts::option_take::taken: return true;
            case sts::option_take::bad: return false;
            case sts::option_take::not_ours: break;
        }
        *error = "unknown option '" + std::string(argv[*i]) + "'";
        return false;
    }
    return true;
}

// --map=gap and --gap-window need --gap; --gap with --map draws its maps.
bool check_gap(grid_options* o, std::string* error) {
    if (!o->gap.given && (o->gap_map || o->gap.window > 0)) {
        *error = o->gap_map ? "--map=gap needs --gap=T" : "--gap-window needs --gap=T";
        return false;
    }
    o->gap_map = o->gap.given && (o->gap_map || !o->maps.empty());
    return true;
}

}  // namespace

parse_result parse_grid_options(int argc, char** argv, grid_options* o, std::string* error) {
    parse_result special = parse_result::run;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_end && arg == "--") {
            options_end = true;
        } else if (options_end || arg.empty() || arg[0] != '-' || arg == "-") {
            o->inputs.push_back(arg);
        } else if (!take_option(argc, argv, &i, o, &special, error)) {
            return parse_result::error;
        }
        if (special != parse_result::run) return special;
    }
    if (o->import.each_sweep) {
        *error = "stsgrid takes one spectrum per pixel; --each-sweep is for stsimport";
        return parse_result::error;
    }
    if (!o->line_vars.empty() && !o->line.given) {
        *error = "line-vars chooses the pictures of a line cut: give the line with --line";
        return parse_result::error;
    }
    if (o->lockin_fit_given && o->import.signal_channel.empty()) {
        *error = "--lockin-fit calibrates the channel of --didv-channel, which is not given";
        return parse_result::error;
    }
    if (o->lockin_min_r2_given && o->lockin_fit != lockin_fit_mode::pixel) {
        *error = "--lockin-min-r2 marks the pixels of --lockin-fit=pixel, which is not given";
        return parse_result::error;
    }
    if (!check_gap(o, error)) return parse_result::error;
    if (!check_fit_options(o, error)) return parse_result::error;
    o->mean_texts = o->mean_text || o->mean_plot;
    o->line_picture = o->line.given;
    if (o->inputs.empty()) {
        *error = "no input: give a .3ds grid or spectrum files";
        return parse_result::error;
    }
    return parse_result::run;
}

std::string grid_usage() {
    return std::string(
               "Usage: stsgrid [OPTION]... INPUT...\n"
               "Normalised differential conductance of a whole grid of STS spectra at once:\n"
               "every pixel computed exactly as normspec computes a spectrum, statistics over\n"
               "the grid, one netCDF-4 file, maps at chosen biases.\n"
               "\n"
               "INPUT is a Nanonis grid (.3ds), an RHK .sm4 file (a spectral map on its raster,\n"
               "line or point spectra as N x 1), or spectrum files (any file stsimport reads, or\n"
               "plain bias/current pairs), each one pixel of an N x 1 grid in the order given.\n"
               "The file's x and y (nm) are where the instrument put the pixels in its frame,\n"
               "from the frame's corner (attribute pixel_layout); position_frame_x and\n"
               "position_frame_y hold the recorded positions in those axes, topography (nm)\n"
               "and parameter_<name> the other numbers each pixel records.\n"
               "\n"
               "Options:\n"
               "  -o, --output=FILE      the netCDF file (default: the first input's name with\n"
               "                         .nc in place of its extension, beside it)\n"
               "  -j, --jobs=N           threads (default: every core); the file is the same\n"
               "      --region=X0:X1,Y0:Y1  statistics over this rectangle of pixels only\n"
               "                         (pixel numbers from 0, both ends included)\n"
               "      --map=V[,V...]     PNG maps of dI/dV and the normalised curves at the\n"
               "                         midpoint nearest each bias V: <output>_map_<V>.png\n"
               "                         (--map=gap: only the maps of --gap)\n"
               "      --gap=T[:VARIABLE] per pixel, the bias interval around 0 V where the\n"
               "                         curve VARIABLE (default norm_coff) stays below T,\n"
               "                         and the largest values beyond it: gap_low, gap_high,\n"
               "                         gap_width, peak_low, peak_high (and their heights),\n"
               "                         gap_status in the file; with --map, their maps:\n"
               "                         <output>_map_gap.png\n"
               "      --gap-window=W     look for the peaks within W bias units beyond each\n"
               "                         edge (default: the gap's own width)\n"
               "      --mean-plot        PNG of the grid-mean normalised curves with a +-2 SE\n"
               "                         band (<output>_mean.png), and the mean text files\n"
               "      --mean-text        the grid means as text in pointmean.txt's columns\n"
               "                         (bias, mean, sd, se, 2 se): <output>_mean_<name>.txt\n"
               "      --line=X0,Y0:X1,Y1  the cut along the line between two pixels (numbers\n"
               "                         from 0): the nearest pixel at each step with its\n"
               "                         distance (nm, or pixels without a frame) in\n"
               "                         <output>_line.nc, and distance x bias images in\n"
               "                         <output>_line.png\n"
               "      --line-vars=NAME[,NAME...]  the line cut's pictures (default didv,\n"
               "                         norm_raw,norm_exp,norm_coff, and their lock-in twins\n"
               "                         with --didv-channel; the file has them all)\n"
               "      --pointmean=FILE   statistics of the measured current as imported, the\n"
               "                         file pointmean writes for the same pixels\n"
               "      --exp-width=V      decay width of the exponential broadening (default\n"
               "                         1.33, in bias units; set it to the energy scale)\n"
               "      --coff-offset=X    offset added in quadrature to I/V (default 0.05)\n"
               "      --smooth=W[:ORDER] smooth each pixel's current first, as measured, with a\n"
               "                         Savitzky-Golay filter: a polynomial of degree ORDER\n"
               "                         (default 2) fitted over W points (odd); the ends take\n"
               "                         the fits of the first and last W points\n"
               "      --didv-channel=NAME  a measured dI/dV channel (a lock-in output, as\n"
               "                         \"LockinX (V)\"), calibrated against the numerical\n"
               "                         dI/dV and normalised beside it: didv_lockin,\n"
               "                         norm_raw_lockin, norm_exp_lockin, norm_coff_lockin;\n"
               "                         it follows -d and --sweep as the current does\n"
               "      --lockin-fit=F     grid (default): one line scale * lock-in + offset\n"
               "                         fitted to the numerical dI/dV of every processed\n"
               "                         pixel; pixel: a line for each pixel (follows its\n"
               "                         noise)\n"
               "      --lockin-min-r2=R  with --lockin-fit=pixel, mark a pixel whose line has\n"
               "                         R^2 below R (default 0.5; 0 to 1) with status 10\n"
               "      --no-progress      no progress line (shown only on a terminal anyway)\n") +
           options_help(fit_option_rows()) +
           std::string(
               "  -h, --help             show this help and exit\n"
               "      --version          show the version and exit\n"
               "\n"
               "Import options, as for stsimport:\n") +
           sts::import_options_help() +
           "  (--each-sweep is stsimport's alone: stsgrid takes one spectrum a pixel)\n"
           "\n"
           "Exit status: 0 when every pixel was processed, 3 when the output is written\n"
           "but some pixels could not be processed (the summary and the variable 'status'\n"
           "say which and why), 1 for an unreadable input or an output that could not be\n"
           "written, 2 for a wrong command line.\n";
}

}  // namespace sts
