// numlib: the numerical routines shared by normspec and pointmean.
//
// Every routine works on float arrays addressed from index 1, through the
// index-ranged view `fvec` below.  Values are 32-bit floats; expressions are
// evaluated in x87 extended precision (64-bit significand, the type `xf` of
// extended.h) from float operands and rounded to float exactly where a value
// is stored, so that results come out the same to the last bit on every run,
// every build and every processor.
//
// Failures are returned: every routine that can meet input it cannot handle
// has a form num_splint, num_polint, num_convlv that takes its scratch space
// from the caller and returns a num_status naming the routine and the
// reason; it never ends the process, so that one bad spectrum among many (a
// grid, several threads) costs only itself.  The upper-case SPLINT, POLINT
// and CONVLV, and vector() and num_error(), are the published interface that
// programs outside this tree call: they end the process with num_error()'s
// three lines and exit status 1 (vector() when memory runs out).  The
// upper-case routines only wrap the num_ forms, so both give the same bits.
#ifndef NUMLIB_NUMLIB_H
#define NUMLIB_NUMLIB_H

#include <cstddef>
#include <cstdio>
#include <type_traits>

#if defined(NUMLIB_CHECKED)
#include <cstdlib>
#endif

// ---------------------------------------------------------------------------
// Index-ranged views.
//
// A view reaches the elements v[lo] .. v[hi] of a block that starts at `first`
// (the element with index lo).  Indexing subtracts lo from the index instead
// of keeping a pointer moved back by lo elements, so no pointer before the
// start of an array is ever formed.  In checked builds (NUMLIB_CHECKED, the
// sanitizer configuration) every access outside lo..hi aborts at once.
template <typename T>
struct ranged {
    T* first = nullptr;
    int lo = 1;
    int hi = 0;

    T& operator[](int i) const {
#if defined(NUMLIB_CHECKED)
        if (i < lo || i > hi) {
            std::fprintf(stderr, "numlib: index %d outside %d..%d\n", i, lo, hi);
            std::abort();
        }
#endif
        return first[static_cast<std::ptrdiff_t>(i) - lo];
    }
    // A view of mutable floats may be read through a view of const ones.
    operator ranged<const T>() const
        requires(!std::is_const_v<T>)
    {
        return ranged<const T>{first, lo, hi};
    }

    // The address of element i; an address one past hi is allowed, as for arrays.
    T* at(int i) const { return first + (static_cast<std::ptrdiff_t>(i) - lo); }
};

using fvec = ranged<float>;
using cfvec = ranged<const float>;

// A 1-based view of the n elements starting at a (a[0] becomes index 1).
inline fvec one_based(float* a, int n) { return fvec{a, 1, n}; }
inline cfvec one_based(const float* a, int n) { return cfvec{a, 1, n}; }

// The same elements, renumbered so that the element now at index `from`
// is reached as index `to`.
template <typename T>
ranged<T> renumber(ranged<T> v, int from, int to) {
    return ranged<T>{v.at(from), to, v.hi - from + to};
}


// ---------------------------------------------------------------------------
// Failure status.

// The routine that refused its input.
enum class num_routine : unsigned char { none, vector, SPLINT, POLINT, CONVLV };

// Why it refused it.
enum class num_reason : unsigned char {
    none,
    no_memory,        // vector: the allocation failed
    bad_interval,     // SPLINT: the bracketing interval has zero or NaN width
    equal_distances,  // POLINT: two abscissas equally far from t
    unknown_isign,    // CONVLV: ISIGN neither 1 nor -1
    response_zero,    // CONVLV: deconvolution where the response's spectrum is 0
};

// The outcome of a routine: ok, or the routine and the reason.
struct num_status {
    num_routine routine = num_routine::none;
    num_reason reason = num_reason::none;

    constexpr bool ok() const { return reason == num_reason::none; }
    friend constexpr bool operator==(num_status, num_status) = default;
};

// The outcomes there are; each routine reports only its own.
inline constexpr num_status NUM_OK{};
inline constexpr num_status NUM_NO_MEMORY{num_routine::vector, num_reason::no_memory};
inline constexpr num_status NUM_SPLINT_BAD_INTERVAL{num_routine::SPLINT, num_reason::bad_interval};
inline constexpr num_status NUM_POLINT_EQUAL_DISTANCES{num_routine::POLINT,
                                                       num_reason::equal_distances};
inline constexpr num_status NUM_CONVLV_UNKNOWN_ISIGN{num_routine::CONVLV,
                                                     num_reason::unknown_isign};
inline constexpr num_status NUM_CONVLV_RESPONSE_ZERO{num_routine::CONVLV,
                                                     num_reason::response_zero};

// The message the published routines print for a status, word for word
// ("Bad XA input to routine SPLINT", ...); "" for ok, and "unknown failure
// in numlib" for a pairing of routine and reason that no routine reports.
const char* num_message(num_status status);

// ---------------------------------------------------------------------------
// Support routines.

// Prints "Vantrel run-time error...", the message and "...now exiting to
// system..." as three lines on standard error, then exits with status 1.
// Besides the published routines below, only a tool's main calls it, to
// end a run at a status with num_error(num_message(status)).
[[noreturn]] void num_error(const char* message);

// A float vector reached as v[lo..hi], taken from the heap, not initialised.
// An allocation failure ends the run through num_error with
// "allocation failure in vector()".  For hi < lo nothing is allocated and an
// empty view is returned (every index is then outside it).
fvec vector(int lo, int hi);

// Gives back a vector made by vector(lo, ...); hi is not used.
void vector_free(fvec v, int lo, int hi);

// The decimal text of value, in a buffer of the routine's own that stays
// valid until the next call.  The most negative int gives "-2147483648".
const char* int_text(int value);

// ---------------------------------------------------------------------------
// Cubic spline.

// Second derivatives d2[1..n] of the cubic spline through (x[k], y[k]),
// x ascending.  An end slope above 9.9e29 asks for a natural end (zero
// second derivative); pass 1e30f.  For n < 2 there is no interval: d2[1..n]
// is set to 0 and nothing else is done.
void spline_coeffs(cfvec x, cfvec y, int n, float slope_first, float slope_last, fvec d2);

// The spline's value at t, stored in *value.  A bracketing interval of zero
// width (always so for n = 1) ends the run with
// "Bad XA input to routine SPLINT".
void SPLINT(cfvec x, cfvec y, cfvec d2, int n, float t, float* value);

// The same two routines for callers that must not end the process and must
// not allocate (several threads, one bad spectrum among many):
// spline_coeffs_using takes its scratch space work[1..n-1] from the caller;
// num_splint returns NUM_SPLINT_BAD_INTERVAL where SPLINT would end the run,
// leaving *value unchanged.  Results are bit for bit those of the routines
// above.
void spline_coeffs_using(cfvec x, cfvec y, int n, float slope_first, float slope_last, fvec d2,
                         fvec work);
num_status num_splint(cfvec x, cfvec y, cfvec d2, int n, float t, float* value);

// The index left (1 <= left < n) of the interval that SPLINT's bisection
// brackets t with: the largest left below n with x[left] <= t, or 1.
// Needs n >= 2; x need not be ordered (the bisection's answer is returned
// whatever it is).
int spline_bracket(cfvec x, int n, float t);

// The spline's value at t on the interval x[left] .. x[left + 1], the
// formula that SPLINT applies once it has found that interval.  Returns
// NUM_SPLINT_BAD_INTERVAL (and leaves *value) when the interval has zero or
// NaN width.  With x strictly ascending, callers that evaluate at ascending
// points can find left by walking instead of bisecting and get SPLINT's value.
num_status spline_value_on(cfvec x, cfvec y, cfvec d2, int left, float t, float* value);

// ---------------------------------------------------------------------------
// Paired heap sort: keys[1..n] ascending, carried[k] travelling with its key.
// Not stable; equal keys come out in the heap's own fixed order.  For n < 2
// the arrays are left as they are.
void heap_sort2(int n, fvec keys, fvec carried);

// ---------------------------------------------------------------------------
// Polynomial interpolation (Neville): the value at t of the polynomial through
// the n points (x[k], y[k]), with the last correction added as the error
// estimate.  Two abscissas equally far from t end the run with
// "Error in routine POLINT".  For n = 1 *error_estimate is not written.
void POLINT(cfvec x, cfvec y, int n, float t, float* value, float* error_estimate);

// POLINT with its two tables up[1..n] and down[1..n] from the caller;
// returns NUM_POLINT_EQUAL_DISTANCES where POLINT would end the run (*value
// and *error_estimate may then hold partial results).
num_status num_polint(cfvec x, cfvec y, int n, float t, float* value, float* error_estimate,
                      fvec up, fvec down);

// ---------------------------------------------------------------------------
// Fast Fourier transforms, in place, count a power of two.
//
// Direction +1 computes H_k = sum_j h_j exp(+2 pi i jk/N), -1 the conjugate
// sum; neither is normalised.

// data[1..2*count]: count complex points, real and imaginary parts interleaved.
void fft_complex(fvec data, int count, int isign);

// Full spectra (direction +1) of two real sequences first[1..count] and
// second[1..count], into first_spectrum[1..2*count], second_spectrum[1..2*count].
void fft_two_real(cfvec first, cfvec second, fvec first_spectrum, fvec second_spectrum,
                  int count);

// isign == 1: the 2*count reals in data[1..2*count] become their packed
// spectrum (F_0 at 1, F_count at 2, F_k at 2k+1, 2k+2).  Any other isign: the
// inverse, returning count times the real sequence of a packed spectrum.
void fft_real(fvec data, int count, int isign);

// ---------------------------------------------------------------------------
// FFT convolution.
//
// ISIGN == 1.0: result[1..n] = cyclic convolution of signal[1..n] with the
// response given in wrap-around order in response[1..m] (zero lag first,
// positive lags, negative lags at the end).  ISIGN == -1.0: deconvolution.
// n is a power of two, at least 2, and 1 <= m <= n; response needs room for n
// values (it is spread out in place) and result for 2n.  Any other ISIGN ends
// the run with "No meaning for ISIGN in CONVLV"; a deconvolution at a
// response zero with "Deconvolving at response zero in CONVLV".
void CONVLV(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result);

// CONVLV with its scratch vector scratch[1..2n] from the caller.  Returns
// NUM_CONVLV_UNKNOWN_ISIGN or NUM_CONVLV_RESPONSE_ZERO where CONVLV would end
// the run (result then holds partial values).
num_status num_convlv(cfvec signal, int n, fvec response, int m, float ISIGN, fvec result,
                      fvec scratch);

#endif
