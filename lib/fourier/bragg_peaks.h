// The Bragg peaks of a lattice in a topography's transform (amplitude or
// power, as fft_map makes it).  Peaks are the local maxima that stand out
// most from their background: the median of the ring of pixels at their
// |q|, which a 1/q background does not fool, or on the axes the axis
// line's median where higher, which scan-line noise along qx = 0 does not
// fool.  Each is refined below a pixel by a parabola through the
// logarithms of the three values along each axis (exact for a Gaussian
// peak).  Of the strongest few (only those within a factor 20 of the
// strongest), the lattice is the pair of vectors, among the peaks and
// their differences, that indexes them best as integer combinations: the
// largest sum of the contrasts it indexes times the share of its own
// points within their reach that are peaks, a half or more counting as
// all (a finer lattice indexes as many but predicts points that are not
// there; ties go to the coarsest).
// It is fitted to all the peaks it indexes by least squares and reduced
// to its two shortest vectors.
#ifndef FOURIER_BRAGG_PEAKS_H
#define FOURIER_BRAGG_PEAKS_H

#include <cstddef>
#include <string>

#include "fourier/lattice.h"
#include "fourier/q_map.h"

namespace sts {

struct bragg_options {
    double q_min = 0;        // nm^-1, also the shortest Bragg vector; 0: three q-pixels
                             // (away from the leakage of the mean and the window)
    double q_max = 0;        // nm^-1; 0: the whole map
    size_t candidates = 12;  // the strongest peaks the lattice must index (2 ... 40; the
                             // search grows as its fourth power)
};

struct bragg_peak {
    bragg_vector q;       // nm^-1
    double height = 0;    // the map's value at the peak's pixel
    double contrast = 0;  // that value over its background (the ring's median)
    double width = 0;     // nm^-1: the rms radius of the peak above its background, within 3 pixels
};

struct bragg_pair {
    bragg_peak first, second;
    size_t indexed = 0;  // how many of the strongest peaks the lattice indexes
};

// Finds the two Bragg vectors (ordered as reduce_bragg orders them) in a
// centred map with its axes; "" or the reason (no two independent peaks).
std::string find_bragg_peaks(const q_map& map, const bragg_options& options, bragg_pair& out);

// Height, contrast and width of the peak nearest to q (the largest value
// within a pixel of it), for vectors the caller gives, or before and
// after a correction.  q is left as given.
bragg_peak measure_bragg_peak(const q_map& map, bragg_vector q);

// The peak nearest to a guess: the value that stands out most from its
// background (as the finder's candidates do) within `radius` pixels of
// it, refined below a pixel as the finder refines its peaks, measured as
// measure_bragg_peak measures; for vectors a caller knows roughly (a QPI
// wave vector, Bragg vectors typed by hand).  q is the guess when the
// search finds no finite value.
bragg_peak refine_peak(const q_map& map, bragg_vector guess, int radius);

}  // namespace sts

#endif
