// The lock-in calibration's options: rows whose values the plan's
// setters take (grid/plan_settings.h).
#include "stsgrid/lockin_options.h"

namespace sts {

namespace {

constexpr char lockin_cal_name[] = "lockin-cal", force_name[] = "force";

}  // namespace

const option_table<grid_options>& lockin_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--lockin-cal"},
         true,
         {"      --lockin-cal=C     the lock-in's scale from the fit (fit, the default) or",
          "                         from the modulation the header records (amplitude:",
          "                         dI/dV = X / V_mod for a channel in amperes); either",
          "                         way the summary compares the two scales"},
         plan_value<lockin_cal_name>},
        {{"--force"},
         false,
         {"      --force            take a --didv-channel whose unit is neither a current",
          "                         nor a voltage (a phase, a frequency)"},
         plan_value<force_name>},
    };
    return rows;
}

}  // namespace sts
