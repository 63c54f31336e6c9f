// Sorting a spectrum by bias and merging repeated biases into one point.
//
// Two points at the same bias leave the splines an interval of zero width,
// which they cannot divide by; their mean current is the sound value there.
#include <algorithm>

#include "numlib/extended.h"
#include "numlib/numlib.h"
#include "spectrum/spectrum.h"

namespace {

// Sorting distinct keys has one answer, whatever the method: a sweep that
// is already strictly monotone needs no heap sort to get it.  Anything else
// (equal biases, whose carried currents the heap sort leaves in an order of
// its own, or a NaN) goes through the heap sort.  true when the sweep was
// strictly monotone (then no two biases are equal and nothing merges).
bool sort_by_bias(float* bias, float* current, int n) {
    bool ascending = true, descending = true;
    for (int j = 1; j < n && (ascending || descending); ++j) {
        ascending = ascending && bias[j - 1] < bias[j];
        descending = descending && bias[j - 1] > bias[j];
    }
    if (ascending) return true;
    if (descending) {
        std::reverse(bias, bias + n);
        std::reverse(current, current + n);
        return true;
    }
    heap_sort2(n, one_based(bias, n), one_based(current, n));
    return false;
}

}  // namespace

int sort_and_merge(float* bias, float* current, int n) {
    // Strictly monotone: every point is a group of one, kept as it is.
    if (sort_by_bias(bias, current, n)) return n;
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
