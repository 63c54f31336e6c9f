// stsgrid's command line: its own options, then the import options it
// shares with stsimport.
#include "stsgrid/options.h"

#include "grid/plan_settings.h"
#include "options/option_table.h"
#include "readers/import_option_parser.h"
#include "stsgrid/lockin_options.h"
#include "stsgrid/fourier_options.h"
#include "stsgrid/topography_options.h"
#include "stsgrid/fit_options.h"

namespace sts {

namespace {

// A row's parse function for a flag.
template <auto field, bool set>
bool store_flag(const std::string&, grid_options* o, std::string*) {
    o->*field = set;
    return true;
}

constexpr char output_name[] = "output", jobs_name[] = "jobs", region_name[] = "region",
               map_name_[] = "map", gap_name[] = "gap", gap_window_name[] = "gap-window",
               line_name[] = "line", line_vars_name[] = "line-vars",
               pointmean_name[] = "pointmean", exp_width_name[] = "exp-width",
               coff_offset_name[] = "coff-offset", smooth_name[] = "smooth",
               didv_channel_name[] = "didv-channel", lockin_fit_name[] = "lockin-fit",
               lockin_min_r2_name[] = "lockin-min-r2";

// The rows of the run's output and region, up to the normalisation's
// constants, as --help lists them.
option_table<grid_options> output_rows() {
    return {
        {{"-o", "--output"}, true,
         {"  -o, --output=FILE      the netCDF file (default: the first input's name with",
          "                         .nc in place of its extension, beside it)"},
         plan_value<output_name>},
        {{"-j", "--jobs"}, true,
         {"  -j, --jobs=N           threads (default: every core); the file is the same"},
         plan_value<jobs_name>},
        {{"--region"}, true,
         {"      --region=X0:X1,Y0:Y1  statistics over this rectangle of pixels only",
          "                         (pixel numbers from 0, both ends included)"},
         plan_value<region_name>},
        {{"--map"}, true,
         {"      --map=V[,V...]     PNG maps of dI/dV and the normalised curves at the",
          "                         midpoint nearest each bias V: <output>_map_<V>.png",
          "                         (--map=gap: only the maps of --gap)"},
         plan_value<map_name_>},
        {{"--gap"}, true,
         {"      --gap=T[:VARIABLE] per pixel, the bias interval around 0 V where the",
          "                         curve VARIABLE (default norm_coff) stays below T,",
          "                         and the largest values beyond it: gap_low, gap_high,",
          "                         gap_width, peak_low, peak_high (and their heights),",
          "                         gap_status in the file; with --map, their maps:",
          "                         <output>_map_gap.png"},
         plan_value<gap_name>},
        {{"--gap-window"}, true,
         {"      --gap-window=W     look for the peaks within W bias units beyond each",
          "                         edge (default: the gap's own width)"},
         plan_value<gap_window_name>},
        {{"--mean-plot"}, false,
         {"      --mean-plot        PNG of the grid-mean normalised curves with a +-2 SE",
          "                         band (<output>_mean.png), and the mean text files"},
         store_flag<&grid_options::mean_plot, true>},
        {{"--mean-text"}, false,
         {"      --mean-text        the grid means as text in pointmean.txt's columns",
          "                         (bias, mean, sd, se, 2 se): <output>_mean_<name>.txt"},
         store_flag<&grid_options::mean_text, true>},
        {{"--line"}, true,
         {"      --line=X0,Y0:X1,Y1  the cut along the line between two pixels (numbers",
          "                         from 0): the nearest pixel at each step with its",
          "                         distance (nm, or pixels without a frame) in",
          "                         <output>_line.nc, and distance x bias images in",
          "                         <output>_line.png"},
         plan_value<line_name>},
        {{"--line-vars"}, true,
         {"      --line-vars=NAME[,NAME...]  the line cut's pictures (default didv,",
          "                         norm_raw,norm_exp,norm_coff, and their lock-in twins",
          "                         with --didv-channel; the file has them all)"},
         plan_value<line_vars_name>},
        {{"--pointmean"}, true,
         {"      --pointmean=FILE   statistics of the measured current as imported, the",
          "                         file pointmean writes for the same pixels"},
         plan_value<pointmean_name>},
    };
}

// The rows of the computation: the constants, smoothing and the lock-in.
option_table<grid_options> computation_rows() {
    return {
        {{"--exp-width"}, true,
         {"      --exp-width=V      decay width of the exponential broadening (default",
          "                         1.33, in bias units; set it to the energy scale)"},
         plan_value<exp_width_name>},
        {{"--coff-offset"}, true,
         {"      --coff-offset=X    offset added in quadrature to I/V (default 0.05)"},
         plan_value<coff_offset_name>},
        {{"--smooth"}, true,
         {"      --smooth=W[:ORDER] smooth each pixel's current first, as measured, with a",
          "                         Savitzky-Golay filter: a polynomial of degree ORDER",
          "                         (default 2) fitted over W points (odd); the ends take",
          "                         the fits of the first and last W points"},
         plan_value<smooth_name>},
        {{"--didv-channel"}, true,
         {"      --didv-channel=NAME  a measured dI/dV channel (a lock-in output, as",
          "                         \"LockinX (V)\"), calibrated against the numerical",
          "                         dI/dV and normalised beside it: didv_lockin,",
          "                         norm_raw_lockin, norm_exp_lockin, norm_coff_lockin;",
          "                         it follows -d and --sweep as the current does"},
         plan_value<didv_channel_name>},
        {{"--lockin-fit"}, true,
         {"      --lockin-fit=F     grid (default): one line scale * lock-in + offset",
          "                         fitted to the numerical dI/dV of every processed",
          "                         pixel; pixel: a line for each pixel (follows its",
          "                         noise)"},
         plan_value<lockin_fit_name>},
        {{"--lockin-min-r2"}, true,
         {"      --lockin-min-r2=R  with --lockin-fit=pixel, mark a pixel whose line has",
          "                         R^2 below R (default 0.5; 0 to 1) with status 10"},
         plan_value<lockin_min_r2_name>},
    };
}

// The rows of the terminal and the commands stsgrid answers itself.
option_table<grid_options> command_rows() {
    return {
        {{"--no-progress"}, false,
         {"      --no-progress      no progress line (shown only on a terminal anyway)"},
         store_flag<&grid_options::progress, false>},
        {{"-h", "--help"}, false, {"  -h, --help             show this help and exit"}, nullptr},
        {{"--version"}, false, {"      --version          show the version and exit"}, nullptr},
    };
}

// stsgrid's own options in --help's order: each option once, with its
// help and its parser.
const option_table<grid_options>& own_options() {
    static const option_table<grid_options> table = [] {
        option_table<grid_options> rows;
        for (const option_table<grid_options>& part :
             {output_rows(), topography_option_rows(), computation_rows(), lockin_option_rows(),
              fourier_option_rows(), fit_option_rows(), command_rows()})
            rows.insert(rows.end(), part.begin(), part.end());
        return rows;
    }();
    return table;
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
    if (a.key == "-h" || a.key == "--help") {
        *special = parse_result::help;
        return true;
    }
    if (a.key == "--version") {
        *special = parse_result::version;
        return true;
    }
    if (const option_row<grid_options>* row = find_option(own_options(), a.key)) {
        if (!row->takes_value && a.has_value && !row->optional_value) {
            *error = "option '" + a.key + "' takes no value";
            return false;
        }
        std::string value = a.value;
        if (row->takes_value && !sts::option_value(argc, argv, i, a, &value, error)) return false;
        return row->parse(value, o, error);
    }
    switch (sts::take_import_option(argc, argv, i, &o->import, error)) {
        case sts::option_take::taken: return true;
        case sts::option_take::bad: return false;
        case sts::option_take::not_ours: break;
    }
    *error = "unknown option '" + std::string(argv[*i]) + "'";
    return false;
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
               "Options:\n") +
           options_help(own_options()) +
           "\n"
           "Import options, as for stsimport:\n" +
           sts::import_options_help() +
           "  (--each-sweep is stsimport's alone: stsgrid takes one spectrum a pixel)\n"
           "\n"
           "Exit status: 0 when every pixel was processed, 3 when the output is written\n"
           "but some pixels could not be processed (the summary and the variable 'status'\n"
           "say which and why), 1 for an unreadable input or an output that could not be\n"
           "written, 2 for a wrong command line.\n";
}

}  // namespace sts
