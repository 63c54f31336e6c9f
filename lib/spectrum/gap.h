// The gap of a spectrum: the bias interval around 0 V in which a curve (a
// normalised conductance, typically) stays below a threshold, and the
// largest values just beyond it (coherence peaks, band edges).
//
// Definition, on the midpoints vmid[0 .. m) (ascending) and the curve's
// values there:
//   - start at the midpoint nearest 0 V (of two equally near, the one with
//     the smaller value); 0 V must lie within [vmid[0], vmid[m-1]];
//   - no gap unless the curve there is below the threshold T;
//   - extend to each side while the curve stays below T;
//   - each edge is where the curve crosses T: the linear interpolation
//     between the last midpoint below T and the first at or above it;
//   - width = high - low (of the edges as stored);
//   - each peak is the midpoint with the largest value within a window
//     beyond its edge: the midpoints from the first at or above T outwards
//     while no farther than `window` from the edge (the gap's own width
//     when window is 0); the first point beyond the edge is always in it,
//     and of equal values the one nearest the gap wins.
// A value that is not finite (NaN, or an infinity where I/V vanished) is no
// value: meeting one at the start or where the interval would end gives no
// gap (undefined_value); values that are not finite within a peak's window
// are skipped.
//
// Arithmetic in the extended format, results stored as floats.
#ifndef SPECTRUM_GAP_H
#define SPECTRUM_GAP_H

namespace sts {

// Why a spectrum has a gap or has none; the numbers are those written to
// files (stsgrid's gap_status).
enum class gap_reason : signed char {
    found = 0,
    not_below = 1,        // the curve at the midpoint nearest 0 V is not below T
    reaches_end = 2,      // the curve stays below T up to an end of the sweep
    undefined_value = 3,  // a value that is not finite at the start or an edge
    no_zero_bias = 4,     // 0 V is outside the midpoints, or there are none
    not_computed = 5,     // no curve to look at (set by callers, never here)
};
constexpr int gap_reason_count = 6;

// The reasons' names in order, space-separated (a flag_meanings attribute).
extern const char* const gap_reason_names;

struct gap_options {
    float threshold = 0;  // T, in the curve's unit
    float window = 0;     // peak search width beyond each edge (bias unit); 0: the gap's width
};

// NaN everywhere unless reason is found.
struct gap_result {
    gap_reason reason = gap_reason::not_computed;
    float low, high, width;                // edges and their distance, bias unit
    float peak_low, peak_high;             // bias of the largest value beyond each edge
    float peak_low_height, peak_high_height; // those values, in the curve's unit
};

// The gap of curve[0 .. m) over vmid[0 .. m) (ascending, finite).
gap_result find_gap(const float* vmid, const float* curve, int m, const gap_options& o);

}  // namespace sts

#endif
