// Internal: the transforms with an optional plan (nullptr: the factors are
// formed as they are needed), shared by the public routines and the
// planned convolution.
#ifndef NUMLIB_FFT_INTERNAL_H
#define NUMLIB_FFT_INTERNAL_H

#include "numlib/fft_plan.h"

void fft_complex_with(fvec data, int count, int isign, const fft_complex_plan* plan);
void fft_two_real_with(cfvec first, cfvec second, fvec first_spectrum, fvec second_spectrum,
                       int count, const fft_complex_plan* plan);
void fft_real_with(fvec data, int count, int isign, const fft_real_plan* plan);

#endif
