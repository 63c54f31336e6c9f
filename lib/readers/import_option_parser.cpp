// The command-line options that every importing tool shares.
#include "readers/import_option_parser.h"

#include "readers/format_drivers.h"

namespace sts {

namespace {

bool parse_direction(const std::string& d, import_options* o, std::string* error) {
    if (d == "fwd" || d == "forward") o->dir = direction::forward;
    else if (d == "bwd" || d == "backward") o->dir = direction::backward;
    else if (d == "mean") o->dir = direction::mean;
    else *error = "direction must be fwd, bwd or mean, not '" + d + "'";
    return error->empty();
}

bool parse_bias_unit(const std::string& u, import_options* o, std::string* error) {
    if (u == "V") o->bias_scale = 1.0;
    else if (u == "mV") o->bias_scale = 1e3;
    else *error = "bias unit must be V or mV";
    o->bias_unit_given = error->empty();
    return error->empty();
}

bool parse_current_unit(const std::string& u, import_options* o, std::string* error) {
    if (u == "nA") o->current_scale = 1e9;
    else if (u == "pA") o->current_scale = 1e12;
    else *error = "current unit must be nA or pA";
    o->current_unit_given = error->empty();
    return error->empty();
}

bool parse_sweep(const std::string& k, import_options* o, std::string* error) {
    const bool digits = !k.empty() && k.size() <= 6 &&
                        k.find_first_not_of("0123456789") == std::string::npos;
    o->sweep = digits ? std::stoi(k) : 0;
    if (o->sweep < 1) *error = "sweep must be a sweep number 1, 2, ..., not '" + k + "'";
    return error->empty();
}

bool parse_format(const std::string& f, import_options* o, std::string* error) {
    // An image is no spectrum: its name is no format to read spectra as.
    file_format named = file_format::automatic;
    const format_driver* d = nullptr;
    if (format_from_name(f, &named) && !((d = find_driver(named)) && d->can.image))
        o->format = named;
    else
        *error = "format must be " + format_names_phrase();
    return error->empty();
}

}  // namespace

option_argument split_option(const std::string& arg) {
    option_argument a;
    a.key = arg;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        a.key = arg.substr(0, eq);
        a.value = arg.substr(eq + 1);
        a.has_value = true;
    }
    return a;
}

bool option_value(int argc, char* const* argv, int* i, const option_argument& a,
                  std::string* value, std::string* error) {
    if (a.has_value) {
        *value = a.value;
        return true;
    }
    if (*i + 1 >= argc) {
        *error = "option '" + a.key + "' needs a value";
        return false;
    }
    *value = argv[++*i];
    return true;
}

option_take take_import_option(int argc, char* const* argv, int* i, import_options* o,
                               std::string* error) {
    const option_argument a = split_option(argv[*i]);
    if (a.key == "--each-sweep" || a.key == "--partial") {
        (a.key == "--partial" ? o->partial : o->each_sweep) = true;
        return option_take::taken;
    }
    bool (*parse)(const std::string&, import_options*, std::string*) = nullptr;
    if (a.key == "-d" || a.key == "--direction") parse = parse_direction;
    else if (a.key == "--bias-unit") parse = parse_bias_unit;
    else if (a.key == "--current-unit") parse = parse_current_unit;
    else if (a.key == "--sweep") parse = parse_sweep;
    else if (a.key == "-f" || a.key == "--format") parse = parse_format;
    std::string* text = a.key == "-c" || a.key == "--channel" ? &o->channel
                        : a.key == "-b" || a.key == "--bias"  ? &o->bias_channel
                                                              : nullptr;
    if (!parse && !text) return option_take::not_ours;
    std::string value;
    error->clear();
    if (!option_value(argc, argv, i, a, &value, error)) return option_take::bad;
    if (text) {
        *text = value;
        return option_take::taken;
    }
    return parse(value, o, error) ? option_take::taken : option_take::bad;
}

const char* import_options_help() {
    return "  -c, --channel=NAME     current channel (default: Current)\n"
           "  -b, --bias=NAME        bias column (default: \"Bias calc\", then \"Bias\")\n"
           "  -d, --direction=DIR    fwd (default), bwd, or mean of the two sweeps\n"
           "      --each-sweep       one spectrum per recorded sweep [00001], [00002], ...\n"
           "      --sweep=K          only recorded sweep K (default: their mean)\n"
           "      --bias-unit=U      V (default) or mV: the unit written; also the unit\n"
           "                         read where a bias column's name gives none\n"
           "      --current-unit=U   nA (default) or pA: the unit written; also the unit\n"
           "                         read where a current column's name gives none\n"
           "      --partial          read a grid holding fewer than half the pixels\n"
           "                         its header declares (an interrupted grid)\n"
           "  -f, --format=F         auto (default), dat, 3ds, csv, vert, mtrx,\n"
           "                         omicron-text, sm4 or pairs\n";
}

}  // namespace sts
