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
#include "grid/grid_statistics.h"

#include <cmath>
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

typedef std::uint32_t four_bits __attribute__((vector_size(16)));

// Whether none of the four values is infinite or NaN (exponent all ones).
bool finite(four v) {
    four_bits bits;
    std::memcpy(&bits, &v, sizeof bits);
    const four_bits bad = (bits & 0x7f800000u) == 0x7f800000u;
    return (bad[0] | bad[1] | bad[2] | bad[3]) == 0;
}

bool finite(float v) { return std::isfinite(v); }

}  // namespace

// The choice between the two arithmetics is made four values at a time, as
// the values are read: each point's sum is its own, so the float steps on a
// finite group and pointmean's on the group beside it give what either
// would give on the whole record.
void series_statistics::add(const float* record) {
    float* sums = sums_.data();
    const size_t n = sums_.size();
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const four r = load(record + i);
        if (finite(r)) {
            store(sums + i, load(sums + i) + r);
        } else {
            for (size_t k = i; k < i + 4; ++k) sums[k] = stats_add(sums[k], record[k]);
        }
    }
    for (; i < n; ++i)
        sums[i] = finite(record[i]) ? sums[i] + record[i] : stats_add(sums[i], record[i]);
    ++count_;
}

// squares[i] += (record[i] - means[i])^2, each step rounded to float, in
// float steps where the value and the mean are both finite (an infinite
// mean makes infinities of the deviations).
void series_statistics::add_square(const float* record) {
    if (means_.empty())
        for (float sum : sums_) means_.push_back(stats_mean(sum, count_));
    float* squares = squares_.data();
    const float* means = means_.data();
    const size_t n = squares_.size();
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        const four r = load(record + i);
        const four m = load(means + i);
        if (finite(r) && finite(m)) {
            const four deviation = r - m;
            store(squares + i, load(squares + i) + deviation * deviation);
        } else {
            for (size_t k = i; k < i + 4; ++k)
                squares[k] = stats_add_square(squares[k], record[k], means[k]);
        }
    }
    for (; i < n; ++i) {
        if (finite(record[i]) && finite(means[i])) {
            const float deviation = record[i] - means[i];
            squares[i] = squares[i] + deviation * deviation;
        } else {
            squares[i] = stats_add_square(squares[i], record[i], means[i]);
        }
    }
}

}  // namespace sts
