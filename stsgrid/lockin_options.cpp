// The lock-in calibration's options.
#include "stsgrid/lockin_options.h"

namespace sts {

namespace {

bool parse_cal(const std::string& value, grid_options* o, std::string* error) {
    if (value != "fit" && value != "amplitude") {
        *error = "lockin-cal must be fit or amplitude, not '" + value + "'";
        return false;
    }
    o->lockin_cal = value == "fit" ? lockin_cal_mode::fit : lockin_cal_mode::amplitude;
    o->lockin_cal_given = true;
    return true;
}

bool parse_force(const std::string&, grid_options* o, std::string*) {
    o->import.signal_any_unit = true;
    return true;
}

}  // namespace

const option_table<grid_options>& lockin_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--lockin-cal"},
         true,
         {"      --lockin-cal=C     the lock-in's scale from the fit (fit, the default) or",
          "                         from the modulation the header records (amplitude:",
          "                         dI/dV = X / V_mod for a channel in amperes); either",
          "                         way the summary compares the two scales"},
         parse_cal},
        {{"--force"},
         false,
         {"      --force            take a --didv-channel whose unit is neither a current",
          "                         nor a voltage (a phase, a frequency)"},
         parse_force},
    };
    return rows;
}

bool check_lockin_options(grid_options* o, std::string* error) {
    const bool channel = !o->import.signal_channel.empty();
    if (o->lockin_cal_given && !channel) {
        *error = "--lockin-cal calibrates the channel of --didv-channel, which is not given";
        return false;
    }
    if (o->import.signal_any_unit && !channel) {
        *error = "--force lets --didv-channel take a channel of any unit; --didv-channel is not "
                 "given";
        return false;
    }
    if (o->lockin_cal == lockin_cal_mode::amplitude && o->lockin_fit == lockin_fit_mode::pixel) {
        *error = "--lockin-cal=amplitude gives one scale for the grid; --lockin-fit=pixel fits "
                 "one for each pixel: choose one";
        return false;
    }
    return true;
}

}  // namespace sts
