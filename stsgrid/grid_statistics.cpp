// The two passes of the grid statistics.
//
// pointmean forms each step in extended precision and stores it as a
// float.  For the sum, difference and product of two floats that is the
// float operation itself: rounding the exact result first to 64 bits and
// then to 24 gives the correctly rounded float whenever the wider format
// has at least 2 * 24 + 2 bits (S. A. Figueroa, "When is double rounding
// innocuous?", ACM SIGNUM Newsletter 30(3), 1995), and the extended
// exponent range holds every intermediate.  So a record of finite values
// goes through plain float operations, which the compiler runs several
// points at a time.  NaN and infinity take pointmean's own steps: which of
// two NaNs an operation passes on, and the sign of a NaN made from
// infinities, are the one place where the two arithmetics part.
#include "stsgrid/grid_statistics.h"

#include "spectrum/finite_values.h"

#include <cstdint>
#include <cstring>

namespace sts {

namespace {

// Four floats at a time, each lane its own IEEE float operation (GCC and
// Clang vector extensions: SSE on x86-64, NEON on aarch64).
typedef float four __attribute__((vector_size(16)));

four load(const float* p) {
    four v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store(float* p, four v) { std::memcpy(p, &v, sizeof v); }

// sums[i] += record[i]
void add_floats(float* sums, const float* record, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) store(sums + i, load(sums + i) + load(record + i));
    for (; i < n; ++i) sums[i] = sums[i] + record[i];
}

// squares[i] += (record[i] - means[i])^2, each step rounded to float
void add_square_floats(float* squares, const float* record, const float* means, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const four deviation = load(record + i) - load(means + i);
        store(squares + i, load(squares + i) + deviation * deviation);
    }
    for (; i < n; ++i) {
        const float deviation = record[i] - means[i];
        squares[i] = squares[i] + deviation * deviation;
    }
}

}  // namespace

bool series_statistics::finite(const float* record) const {
    return !any_nonfinite(record, sums_.size());
}

void series_statistics::add(const float* record) {
    float* sums = sums_.data();
    const size_t n = sums_.size();
    if (finite(record)) {
        add_floats(sums, record, n);
    } else {
        for (size_t i = 0; i < n; ++i) sums[i] = stats_add(sums[i], record[i]);
    }
    ++count_;
}

void series_statistics::add_square(const float* record) {
    if (means_.empty()) {
        for (float sum : sums_) means_.push_back(stats_mean(sum, count_));
        // A finite mean too: an infinite one makes infinities of the deviations.
        means_finite_ = finite(means_.data());
    }
    float* squares = squares_.data();
    const float* means = means_.data();
    const size_t n = squares_.size();
    if (means_finite_ && finite(record)) {
        add_square_floats(squares, record, means, n);
    } else {
        for (size_t i = 0; i < n; ++i) squares[i] = stats_add_square(squares[i], record[i], means[i]);
    }
}

}  // namespace sts
