// Paired heap sort: keys ascending, each carried value moving with its key.
#include "numlib/numlib.h"

void heap_sort2(int n, fvec keys, fvec carried) {
    if (n < 2) return;  // nothing to order; the selection phase needs two entries
    int b = n / 2 + 1;  // next position of the building phase
    int e = n;          // end of the heap
    for (;;) {
        float held_key;
        float held_value;
        if (b > 1) {
            --b;
            held_key = keys[b];
            held_value = carried[b];
        } else {
            held_key = keys[e];
            held_value = carried[e];
            keys[e] = keys[1];
            carried[e] = carried[1];
            if (--e == 1) {
                keys[1] = held_key;
                carried[1] = held_value;
                return;
            }
        }
        // Sift down.  The comparisons are written as "unless >=" so that a
        // NaN on either side counts as not greater-or-equal.
        long long i = b;
        long long j = 2 * i;
        while (j <= e) {
            if (j < e && !(keys[static_cast<int>(j)] >= keys[static_cast<int>(j + 1)])) ++j;
            if (held_key >= keys[static_cast<int>(j)]) break;
            keys[static_cast<int>(i)] = keys[static_cast<int>(j)];
            carried[static_cast<int>(i)] = carried[static_cast<int>(j)];
            i = j;
            j = 2 * j;
        }
        keys[static_cast<int>(i)] = held_key;
        carried[static_cast<int>(i)] = held_value;
    }
}
