// Reading spectrum files: plain pairs, at most MAX_POINTS of them.
#include "normspec/normspec.h"
#include "readers/plain_pairs.h"

void read_spectrum(std::FILE* in, float* bias, float* current, int* n, bool* more,
                   bool* read_error) {
    sts::read_pairs(in, bias, current, MAX_POINTS, n, more, read_error);
}
