// stsgrid's --fit* options: the gap fit's request (grid/grid_plan.h).
#ifndef STSGRID_FIT_OPTIONS_H
#define STSGRID_FIT_OPTIONS_H

#include <string>

#include "grid/grid_plan.h"

namespace sts {

// The --fit* keys given so far, a bit each, to check them once all are read.
struct fit_keys_seen {
    unsigned keys = 0;
};

// Whether key is one of --fit, --fit-window, ... (each takes a value).
bool is_fit_key(const std::string& key);

// One --fit* option with its value into *f; false with *error.
bool take_fit_option(const std::string& key, const std::string& value, fit_request* f,
                     fit_keys_seen* seen, std::string* error);

// Once every option is read: the --fit-* settings need --fit, the tip's
// values need dynes-sis.  *fit_map is set when --map is asked with --fit.
bool check_fit_options(const fit_request& f, const fit_keys_seen& seen, bool maps,
                       bool* fit_map, std::string* error);

// The options' lines of --help.
const char* fit_usage();

}  // namespace sts

#endif
