// spectrum: the per-spectrum computation of the STS tools, into arrays.
//
// One spectrum of (bias V, current) points becomes, in this fixed order:
// sorted by bias with repeated biases merged, the current with its offset at
// 0 V removed, I/V (its limit at a point at exactly 0 V), dI/dV at the
// midpoints, and dI/dV normalised by three treatments of I/V: broadened by
// an exponential convolution (exp), broadened by an offset added in
// quadrature (coff) and untreated (raw).  Nothing here prints, writes a file
// or ends the process: failures come back as a status, so that one bad
// spectrum among many (a grid, several threads) costs only itself.
//
// Every value is a float; expressions are evaluated in the 64-bit-significand
// extended format and rounded to float where a value is stored, so the
// results are the same to the last bit wherever they are computed.
#ifndef SPECTRUM_SPECTRUM_H
#define SPECTRUM_SPECTRUM_H

#include <string>
#include <vector>

#include "numlib/fft_plan.h"
#include "numlib/numlib.h"
#include "spectrum/axis_tables.h"

// The most points a spectrum may have.
constexpr int MAX_POINTS = 10000;

// The two broadening constants.  The defaults are the tools' own values.
struct norm_options {
    float exp_width = 1.33f;    // decay width of the exponential weights, V
    float coff_offset = 0.05f;  // added in quadrature to I/V, nA/V
};

// The length of the FFT work arrays for n points: the smallest power of two
// that leaves room for n points, 10 extrapolated ones at each end and 20
// zeros.
int broadening_length(int n);

// Scratch space of one computation, sized once for spectra of up to
// `capacity` points; one per thread.  With it nothing is allocated per
// spectrum.
struct spectrum_workspace {
    int capacity = 0;
    std::vector<float> d2;        // spline second derivatives
    std::vector<float> spline;    // spline_coeffs scratch
    std::vector<float> padded;    // broadening: the extended curve
    std::vector<float> kernel;    // broadening: the weights
    std::vector<float> convolved; // broadening: the convolution's result
    std::vector<float> scratch;   // broadening: the convolution's scratch
    axis_tables axis;             // what the last spectrum's biases alone gave
    convlv_plan plan;             // the broadening's transforms for its length
};
// Sizes w for up to capacity points (1 .. MAX_POINTS); false when the
// memory is not there.
bool reserve_workspace(spectrum_workspace* w, int capacity);

// The arrays of one spectrum, each sized for `capacity` values; the caller
// fills bias and current with the points as read, the computation replaces
// them and fills the rest.  n values of bias .. iv_coff, m = n - 1 of the
// midpoint arrays are defined afterwards.
struct spectrum_arrays {
    int capacity = 0;
    std::vector<float> bias;      // V, sorted ascending, repeated biases merged
    std::vector<float> current;   // offset-corrected current
    std::vector<float> iv_raw;    // I/V, untreated
    std::vector<float> iv_exp;    // I/V broadened by the exponential
    std::vector<float> iv_coff;   // I/V broadened by the offset
    std::vector<float> vmid;      // midpoints between neighbouring biases
    std::vector<float> didv;      // dI/dV at the midpoints
    std::vector<float> norm_exp;  // didv / interpolated iv_exp
    std::vector<float> norm_coff; // didv / interpolated iv_coff
    std::vector<float> norm_raw;  // didv / interpolated iv_raw
    // The three interpolated I/V at the midpoints that norm_exp, norm_coff
    // and norm_raw divide by, at [0, capacity), [capacity, 2 capacity) and
    // [2 capacity, 3 capacity): kept only when sized by keep_divisors, for
    // another dI/dV (a measured one, lockin.h) to be divided by the same.
    std::vector<float> divisors;
};
bool reserve_arrays(spectrum_arrays* a, int capacity);
// Sizes a->divisors after reserve_arrays; false when the memory is not there.
bool keep_divisors(spectrum_arrays* a);

// The steps of the computation, in order; a failure names the step it
// stopped in, and every array of the steps before it is complete.
enum class spectrum_step {
    sort,       // sort and merge
    offset,     // offset removal, I/V, dI/dV
    broaden,    // the exponential and offset broadenings
    norm_exp,   // normalisation by the exponentially broadened I/V
    norm_coff,  // by the offset-broadened I/V
    norm_raw,   // by the untreated I/V
    done,
};

enum class spectrum_status {
    ok,
    too_few_points,   // fewer than 2 distinct bias values
    too_many_points,  // more than the arrays' capacity or MAX_POINTS
    routine_failure,  // a numerical routine met input it cannot handle (see failure)
};

// Causes of values with no defined result (inf or nan) in the results.
constexpr int CAUSE_NONFINITE_INPUT = 0x04;
constexpr int CAUSE_ZERO_DIVISOR = 0x08;
constexpr int CAUSE_RANGE = 0x10;
// The causes as text, "; "-separated, for messages.
std::string describe_causes(int causes);

struct spectrum_report {
    spectrum_status status = spectrum_status::ok;
    spectrum_step reached = spectrum_step::sort;  // the failing step, or done
    num_status failure;             // the routine's status on routine_failure
    int n = 0;                      // distinct biases (points after merging)
    int merged = 0;                 // points merged into others (n_read - n)
    int causes = 0;                 // CAUSE_* bits when results hold inf or nan
};

// Computes a spectrum whose n_read points the caller has put into
// a->bias[0..n_read) and a->current[0..n_read), in any order.
// Precondition: a and w reserved with a capacity of at least n_read, or the
// status is too_many_points.
spectrum_report compute_spectrum(int n_read, const norm_options& o, spectrum_workspace* w,
                                 spectrum_arrays* a);

// compute_spectrum for two spectra at once, r[k] for a[k] with workspace
// w[k]: the same reports and values, bit for bit.  When the two have the
// same biases once sorted (the pixels of most grids), their splines are
// computed in step, which takes less time than one after the other.
void compute_spectra_in_step(const int* n_read, const norm_options& o,
                             spectrum_workspace* const* w, spectrum_arrays* const* a,
                             spectrum_report* r);

// ---------------------------------------------------------------------------
// The stages, for tools and tests that drive them one by one (0-based arrays,
// bias ascending and distinct unless said otherwise).

// Sorts by ascending bias, each current travelling with its bias, then turns
// each run of equal biases into one point: the run's first bias and the mean
// of its currents (summed in sorted order in extended precision).  Returns
// the number of points left.
int sort_and_merge(float* bias, float* current, int n);

// Subtracts from every current the value at 0 V of the natural cubic spline
// through the points.  The spline routine's status: not ok when it refuses
// the table (the currents are then left as they were).
num_status remove_offset(const float* bias, float* current, int n, spectrum_workspace* w);

// iv[j] = current[j] / bias[j]; at a bias of exactly 0 V the limit, the
// chord slope (current[j+1] - current[j-1]) / (bias[j+1] - bias[j-1]) with
// the point itself standing in for a missing neighbour at either end.
void current_over_bias(const float* bias, const float* current, float* iv, int n);

// didv[i-1] = (current[i] - current[i-1]) / (bias[i] - bias[i-1]) and
// vmid[i-1] = (bias[i-1] + bias[i]) * 0.5, for i = 1 .. n-1.
void differentiate(const float* bias, const float* current, float* didv, float* vmid, int n);

// The exponential broadening of iv in place (weights exp(-k dV / width) by
// FFT convolution on a curve extended by a parabola at each end), with
// scratch space from w, reserved for at least n points.  Returns the failing
// routine's status, iv then unchanged: exactly 2 points always fail
// (NUM_POLINT_EQUAL_DISTANCES: the parabola's anchors coincide).
num_status broaden_exp(const float* bias, float* iv, float width, int n, spectrum_workspace* w);
// The published form, with scratch space of its own: a failure ends the run
// through num_error, as SPLINT's does.  Kept for programs outside this tree
// that call it by that signature; nothing here uses it.
void broaden_exp(const float* bias, float* iv, float width, int n);

// iv_coff[j] = sqrt(iv[j]^2 + offset^2), in place.
void broaden_offset(float* iv, int n, float offset);

// out[j] = didv[j] / (the natural spline through (bias, ivar) at vmid[j]),
// j = 0 .. m-1, counting in *zero_divisors the divisors that were 0.
// Returns the spline routine's status: not ok when it refuses the table
// (out then partly written).  didv and out may be the same array.
num_status normalise_by(const float* vmid, const float* didv, float* out, int m, const float* bias,
                        const float* ivar, int n, spectrum_workspace* w, int* zero_divisors);

// ---------------------------------------------------------------------------
// Point statistics over a series of spectra, each step stored as a float.
struct point_stats {
    float mean;
    float deviation;  // sample standard deviation
    float error;      // standard error of the mean
    float twice_error;
    float percentage;  // twice_error / mean * 100, or the mean itself when it is 0
};

// values[0 .. count-1] in series order, count >= 2.
point_stats compute_stats(const float* values, int count);

// The same statistics for values that arrive one at a time and can be seen
// twice (a grid too large to hold): every value in order through stats_add
// from a sum of 0, the mean from stats_mean, every value again in the same
// order through stats_add_square from 0, then stats_finish.  The results are
// those of compute_stats bit for bit.
float stats_add(float sum, float value);
float stats_mean(float sum, int count);
float stats_add_square(float squares, float value, float mean);
point_stats stats_finish(float mean, float squares, int count);

#endif
