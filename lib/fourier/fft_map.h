// The Fourier transform of a map (a topography, a conductance slice): the
// 2-D DFT F(k) = sum_r x(r) exp(-2 pi i k . r / N) of the map with its
// mean removed, optionally windowed, as amplitude |F| or power |F|^2,
// centred (numpy.fft.fftshift), unnormalised as numpy.fft.fft2 is.
// Missing pixels (NaN) are filled with the mean of the finite ones - zero
// once the mean is removed - and counted, so that the caller can say so.
#ifndef FOURIER_FFT_MAP_H
#define FOURIER_FFT_MAP_H

#include <cstddef>
#include <string>
#include <vector>

#include "fourier/q_map.h"

namespace sts {

enum class fft_window {
    none,
    // w(i) = 0.5 - 0.5 cos(2 pi i / (N - 1)) along each axis, the product
    // of the two (numpy.hanning's symmetric form); 1 for N = 1.
    hann,
};
enum class fft_scale { amplitude, power };

struct fft_options {
    fft_window window = fft_window::hann;
    fft_scale scale = fft_scale::amplitude;
};

// What is wrong with a map of nx x ny pixels spaced dx, dy nm for a
// transform (an empty map, a spacing that is not positive and finite, a
// size FFTW's int cannot hold); "" when nothing is.
std::string fft_problem(size_t nx, size_t ny, double dx, double dy);

// The transform of one map (ny x nx floats, row-major, x fastest) with
// its q axes, the count of filled pixels and where they were.  A map with
// no finite pixel transforms to NaN everywhere.  Returns "" or the reason.
std::string fft_map(const float* map, size_t nx, size_t ny, double dx, double dy,
                    const fft_options& options, q_map& out);

// The transforms of nslices maps stored one after another (bias x ny x
// nx) into out (the same shape: bias x qy x qx), on up to `threads`
// threads (0: one per core), each with one slice of scratch (padded to an
// even row length); missing, if
// given, receives each slice's count of filled pixels.  The axes are
// q_axis(nx, dx) and q_axis(ny, dy).
std::string fft_maps(const float* stack, size_t nslices, size_t nx, size_t ny,
                     const fft_options& options, unsigned threads, float* out,
                     std::vector<size_t>* missing = nullptr);

// One thread's transforms of map after map of one size (what fft_maps
// does on each of its threads), for a caller that streams slices through
// reusable buffers: the plan, the window and one slice of scratch, made
// once.  Not to be shared between threads.
class map_transform {
public:
    map_transform();
    ~map_transform();
    map_transform(const map_transform&) = delete;
    map_transform& operator=(const map_transform&) = delete;
    // For maps of nx x ny pixels; "" or the reason (as fft_maps gives it).
    std::string make(size_t nx, size_t ny, const fft_options& options);
    // The transform of map into out (both ny x nx; out may be map itself),
    // the same bytes as fft_maps gives; returns the count of filled
    // pixels.
    size_t run(const float* map, float* out);

private:
    struct state;
    state* s_ = nullptr;
};

}  // namespace sts

#endif
