// What an import refuses to write: a bias that is not a number, a value
// beyond every number.  A pair file of "nan" biases or "inf" currents is
// read by no later step, so the import says so instead of writing it; a
// NaN current stays (a sweep cut short, as the instrument marks it).
#ifndef STSIMPORT_DEFINED_VALUES_H
#define STSIMPORT_DEFINED_VALUES_H

#include <string>
#include <vector>

#include "readers/imported_spectrum.h"

// false with *error ("spectrum 3 (pixel 2, 0): bias 5 of 256 is nan") when
// one of spectra[first ..] has a bias that is NaN or infinite or a current
// that is infinite.
bool values_defined(const std::vector<sts::imported_spectrum>& spectra, size_t first,
                    std::string* error);

#endif
