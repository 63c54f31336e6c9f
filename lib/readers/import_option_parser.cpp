// The command-line options that every importing tool shares.
#include "readers/import_option_parser.h"

#include <cstdlib>

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

bool parse_current_gain(const std::string& g, import_options* o, std::string* error) {
    char* end = nullptr;
    const double v = std::strtod(g.c_str(), &end);
    if (g.empty() || *end != '\0' || !(v > 0) || !(v <= 1e15)) {
        *error = "current-gain must be the pre-amplifier's gain in V/A, above 0 and at most "
                 "1e15 (like 1e9 for 1 V per nA), not '" + g + "'";
        return false;
    }
    o->current_gain = v;
    return true;
}

// A sweep number as the files write it, "00002" as well as "2".
bool parse_sweep(const std::string& k, import_options* o, std::string* error) {
    const bool digits = !k.empty() && k.find_first_not_of("0123456789") == std::string::npos;
    const size_t nonzero = k.find_first_not_of('0');
    const std::string number = nonzero == std::string::npos ? "0" : k.substr(nonzero);
    o->sweep = digits && number.size() <= 6 ? std::stoi(number) : 0;
    if (o->sweep < 1) *error = "sweep must be a sweep number from 1 to 999999, not '" + k + "'";
    return error->empty();
}

// A name that is there: an empty one would mean the default unasked.
bool parse_channel(const std::string& v, import_options* o, std::string* error) {
    if (v.empty()) *error = "channel needs a name, like Current (the default)";
    else o->channel = v;
    return error->empty();
}

bool parse_bias_channel(const std::string& v, import_options* o, std::string* error) {
    if (v.empty()) *error = "bias needs a column name; without -b \"Bias calc\" and \"Bias\" are tried";
    else o->bias_channel = v;
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

const option_table<import_options>& import_option_table() {
    static const option_table<import_options> table = {
        {{"-c", "--channel"}, true,
         {"  -c, --channel=NAME     current channel (default: Current)"},
         parse_channel},
        {{"-b", "--bias"}, true,
         {"  -b, --bias=NAME        bias column (default: \"Bias calc\", then \"Bias\")"},
         parse_bias_channel},
        {{"-d", "--direction"}, true,
         {"  -d, --direction=DIR    fwd (default), bwd, or mean of the two sweeps"},
         parse_direction},
        {{"--each-sweep"}, false,
         {"      --each-sweep       one spectrum per recorded sweep [00001], [00002], ..."},
         [](const std::string&, import_options* o, std::string*) {
             o->each_sweep = true;
             return true;
         }},
        {{"--sweep"}, true,
         {"      --sweep=K          only recorded sweep K (default: their mean)"},
         parse_sweep},
        {{"--bias-unit"}, true,
         {"      --bias-unit=U      V (default) or mV: the unit written; also the unit",
          "                         read where a bias column's name gives none"},
         parse_bias_unit},
        {{"--current-unit"}, true,
         {"      --current-unit=U   nA (default) or pA: the unit written; also the unit",
          "                         read where a current column's name gives none"},
         parse_current_unit},
        {{"--current-gain"}, true,
         {"      --current-gain=G   a current column recorded in volts (a pre-amplifier's",
          "                         output) is that voltage / G, G in V/A (1e9: 1 V/nA)"},
         parse_current_gain},
        {{"--partial"}, false,
         {"      --partial          read a grid holding fewer than half the pixels",
          "                         its header declares (an interrupted grid)"},
         [](const std::string&, import_options* o, std::string*) {
             o->partial = true;
             return true;
         }},
        {{"-f", "--format"}, true,
         {"  -f, --format=F         auto (default), dat, 3ds, csv, vert, mtrx,",
          "                         omicron-text, sm4 or pairs"},
         parse_format},
    };
    return table;
}

option_take take_import_option(int argc, char* const* argv, int* i, import_options* o,
                               std::string* error) {
    const option_argument a = split_option(argv[*i]);
    const option_row<import_options>* row = find_option(import_option_table(), a.key);
    if (!row) return option_take::not_ours;
    std::string value;
    error->clear();
    if (row->takes_value && !option_value(argc, argv, i, a, &value, error)) return option_take::bad;
    return row->parse(value, o, error) ? option_take::taken : option_take::bad;
}

const char* import_options_help() {
    static const std::string text = options_help(import_option_table());
    return text.c_str();
}

}  // namespace sts
