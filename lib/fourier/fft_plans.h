// FFTW float plans for real-to-complex 2-D transforms, made once per size
// and kept for the life of the process.  Making a plan is not thread-safe
// in FFTW (only fftwf_execute* is), so the cache takes a lock while it
// plans; executing a cached plan on new arrays needs no lock.
#ifndef FOURIER_FFT_PLANS_H
#define FOURIER_FFT_PLANS_H

#include <cstddef>

#include <fftw3.h>

namespace sts {

// The plan for an ny x nx real map into ny x (nx/2 + 1) complex values in
// place: the real rows padded to 2 (nx/2 + 1) floats in the complex
// array's own memory, so that a transform needs one slice of scratch.
// Planned with FFTW_ESTIMATE: the same algorithm on every run, so that the
// same map always gives the same bytes (a measured plan may pick another
// algorithm, and other roundings, from run to run).  Arrays given to
// fftwf_execute_dft_r2c must come from fftwf_alloc_complex (the plan's
// alignment), the same array as input and output.  nullptr when FFTW
// cannot plan.
fftwf_plan r2c_plan(size_t nx, size_t ny);

}  // namespace sts

#endif
