// What the gap fit's files share: the scratch of one thread and the model
// as a curve over the bias.
#ifndef SPECTRUM_GAP_FIT_INTERNAL_H
#define SPECTRUM_GAP_FIT_INTERNAL_H

#include <vector>

#include "spectrum/dynes_sis.h"
#include "spectrum/gap_fit.h"
#include "spectrum/modulation.h"

namespace sts {

struct fit_scratch {
    sis_workspace sis;
    modulation_rule rule;
    std::vector<double> omega, shifted, part;
};

// The model at bias[0 .. n) into out; false (NaN) outside its domain.
bool model_curve(const gap_curve& c, const double* bias, int n, double* out, fit_scratch& s);

}  // namespace sts

#endif
