// What the Fourier transforms compute from the transform's length alone,
// kept for callers that transform many curves of one length (every pixel
// of a grid): the bit-reversal swaps and the rotation factors of every
// butterfly pass.  The factors are those the recurrence gives, stored as
// the double it stores them in, so a planned transform gives the bits of
// the unplanned one.
#ifndef NUMLIB_FFT_PLAN_H
#define NUMLIB_FFT_PLAN_H

#include <vector>

#include "numlib/numlib.h"

// fft_complex's tables for `count` complex points in direction isign.
struct fft_complex_plan {
    int count = 0;
    int isign = 0;
    std::vector<int> swaps;            // pairs of 1-based indices to exchange
    std::vector<double> ur, ui;        // the factor of each group, pass by pass
};

// fft_real's tables: the complex plan it calls and the factors of its own
// recurrence that separates (or joins) the two halves.
struct fft_real_plan {
    fft_complex_plan complex;
    std::vector<double> ur, ui;
};

// The tables convlv_using needs for length n: a complex transform of n
// points forward and the real inverse of n/2.
struct convlv_plan {
    int n = 0;
    fft_complex_plan forward;
    fft_real_plan inverse;
};

// Makes *plan describe length n (a power of two, at least 2); kept as it is
// when it already does.  May allocate.
void make_convlv_plan(int n, convlv_plan* plan);

// convlv_using through a plan made for n: the same results, bit for bit.
num_status convlv_planned(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result,
                           fvec scratch, const convlv_plan& plan);

#endif
