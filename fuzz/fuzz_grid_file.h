// The small grid the stsview fuzz targets write with the engine's own
// writer: 5 x 4 pixels of 6 points over a 2 x 1.5 nm frame, bias -1 ... 1 V.
#ifndef FUZZ_FUZZ_GRID_FILE_H
#define FUZZ_FUZZ_GRID_FILE_H

#include "grid/grid_description.h"

inline sts::grid_description fuzz_grid_description() {
    sts::grid_description d;
    d.nx = 5;
    d.ny = 4;
    d.points = 6;
    d.source = "fuzz";
    d.bias_unit = "V";
    d.current_unit = "nA";
    d.xy_unit = "nm";
    for (int i = 0; i < 5; ++i) d.x.push_back(0.5 * i);
    for (int i = 0; i < 4; ++i) d.y.push_back(0.5 * i);
    for (int i = 0; i < 6; ++i) d.bias.push_back(-1.0f + 0.4f * static_cast<float>(i));
    for (int i = 0; i < 5; ++i) d.vmid.push_back(-0.8f + 0.4f * static_cast<float>(i));
    return d;
}

#endif
