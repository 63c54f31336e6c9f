// stsgrid's command line: its own options, then the import options it
// shares with stsimport.
#include "stsgrid/options.h"

#include "grid/plan_settings.h"
#include "readers/import_option_parser.h"

namespace sts {

namespace {

// One of stsgrid's own options with its value (grid/plan_settings.h by its
// long name); false with *error.
bool take_own(const std::string& key, const std::string& value, grid_options* o,
              std::string* error) {
    const std::string name = key == "-o" ? "output" : key == "-j" ? "jobs" : key.substr(2);
    return set_plan_value(name, value, o, &o->given, error);
}

bool takes_value(const std::string& key) {
    return key == "-o" || key == "-j" ||
           (key.rfind("--", 0) == 0 && is_plan_setting(key.substr(2)));
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
    if (!finish_plan(o, o->given, error)) return parse_result::error;
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
               "      --no-progress      no progress line (shown only on a terminal anyway)\n"
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
