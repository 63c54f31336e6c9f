// stsgrid's --fit* options: see fit_options.h.
#include "stsgrid/fit_options.h"

#include "stsgrid/options.h"

namespace sts {

namespace {

constexpr char fit_name[] = "fit", fit_window_name[] = "fit-window",
               temperature_name[] = "fit-temperature", tip_gap_name[] = "fit-tip-gap",
               tip_gamma_name[] = "fit-tip-gamma", modulation_name[] = "fit-modulation",
               free_name[] = "fit-free";

}  // namespace

const option_table<grid_options>& fit_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--fit"}, true,
         {"      --fit=dynes|dynes-sis[:VARIABLE]",
          "                         per pixel, fit a superconducting gap (Dynes) to the",
          "                         conductance VARIABLE (didv_lockin with a lock-in channel,",
          "                         else didv), through a normal tip (dynes) or a",
          "                         superconducting one (dynes-sis): fit_gap, fit_gamma,",
          "                         fit_scale, ..., fit_se_*, fit_chi2, fit_status and",
          "                         fit_curve in the file; with --map, <output>_map_fit.png"},
         plan_value<fit_name>},
        {{"--fit-window"}, true,
         {"      --fit-window=E     fit the points with |V| <= E bias units (default: all)"},
         plan_value<fit_window_name>},
        {{"--fit-temperature"}, true,
         {"      --fit-temperature=T[:free]  temperature in K, held (default 1) or fitted"},
         plan_value<temperature_name>},
        {{"--fit-tip-gap"}, true,
         {"      --fit-tip-gap=D[:free]      the tip's gap in meV (dynes-sis; default 1.3)"},
         plan_value<tip_gap_name>},
        {{"--fit-tip-gamma"}, true,
         {"      --fit-tip-gamma=G[:free]    the tip's broadening in meV (dynes-sis; 0.01)"},
         plan_value<tip_gamma_name>},
        {{"--fit-modulation"}, true,
         {"      --fit-modulation=V the lock-in's amplitude, zero to peak, bias units"},
         plan_value<modulation_name>},
        {{"--fit-free"}, true,
         {"      --fit-free=offset,background  also fit a bias offset V_0, a linear background"},
         plan_value<free_name>},
    };
    return rows;
}

}  // namespace sts
