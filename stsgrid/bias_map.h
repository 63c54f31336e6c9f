// The values of the per-pixel quantities at one bias over the whole grid:
// what the run gathers for a map, and what a map picture shows.
#ifndef STSGRID_BIAS_MAP_H
#define STSGRID_BIAS_MAP_H

#include <vector>

namespace sts {

// The values of every pixel (row-major, ny * nx, NaN where not processed)
// at the midpoint nearest one requested bias.
struct bias_map {
    double bias = 0;            // as requested, in the bias unit
    float vmid = 0;             // the midpoint used (of the reference axis)
    std::vector<float> didv, norm_raw, norm_exp, norm_coff;
    // The four are the lock-in's (didv_lockin, ...): a run with a lock-in
    // channel maps the measured dI/dV, whose noise is the smaller.
    bool lockin = false;
};

}  // namespace sts

#endif
