// Sorting a spectrum by bias and merging repeated biases into one point.
//
// Two points at the same bias leave the splines an interval of zero width,
// which they cannot divide by; their mean current is the sound value there.
#include "extended.h"
#include "numlib.h"
#include "spectrum.h"

int sort_and_merge(float* bias, float* current, int n) {
    heap_sort2(n, one_based(bias, n), one_based(current, n));
    int kept = 0;
    for (int start = 0; start < n;) {
        int end = start + 1;
        // Compared as floats: -0 and +0 are one bias; a NaN equals nothing.
        while (end < n && bias[end] == bias[start]) ++end;
        float value = current[start];
        if (end - start > 1) {
            xf sum = current[start];
            for (int k = start + 1; k < end; ++k) sum += current[k];
            value = static_cast<float>(sum / xf(end - start));
        }
        bias[kept] = bias[start];
        current[kept] = value;
        ++kept;
        start = end;
    }
    return kept;
}
