// Slices worked on threads and handed on in order: the Fourier pass's
// loop, which streams each slice of the stack from its scratch file through
// one set of buffers per thread (read, corrected, transformed,
// symmetrised) into files whose bytes depend on the order of their writes.
#ifndef GRID_FOURIER_STREAM_H
#define GRID_FOURIER_STREAM_H

#include <cstddef>
#include <functional>

namespace sts {

// Slices 0 .. n-1: worker w (of `workers` threads, at least one) takes
// slices w, w + workers, ... and calls work(k, w) on its own thread; the
// calling thread calls deliver(k, w) for k = 0, 1, ... in order once
// slice k is worked.  A worker starts its next slice only after its last
// was delivered, so that each worker needs one slice's buffers, indexed by
// w.  The first false from either ends the run (no later slice is
// delivered) and is returned.
bool ordered_slices(size_t n, unsigned workers, const std::function<bool(size_t, unsigned)>& work,
                    const std::function<bool(size_t, unsigned)>& deliver);

}  // namespace sts

#endif
