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
#include "grid_statistics.h"

bool series_statistics::finite(const float* record) const {
    bool all = true;
    for (size_t i = 0; i < sums_.size(); ++i) all = all && std::isfinite(record[i]);
    return all;
}

void series_statistics::add(const float* record) {
    float* sums = sums_.data();
    const size_t n = sums_.size();
    if (finite(record)) {
        for (size_t i = 0; i < n; ++i) sums[i] = sums[i] + record[i];
    } else {
        for (size_t i = 0; i < n; ++i) sums[i] = stats_add(sums[i], record[i]);
    }
    ++count_;
}

void series_statistics::add_square(const float* record) {
    if (means_.empty()) {
        for (float sum : sums_) means_.push_back(stats_mean(sum, count_));
    }
    float* squares = squares_.data();
    const float* means = means_.data();
    const size_t n = squares_.size();
    // A finite mean too: an infinite one makes infinities of the deviations.
    bool plain = finite(record);
    for (size_t i = 0; i < n && plain; ++i) plain = std::isfinite(means[i]);
    if (plain) {
        for (size_t i = 0; i < n; ++i) {
            const float deviation = record[i] - means[i];
            squares[i] = squares[i] + deviation * deviation;
        }
    } else {
        for (size_t i = 0; i < n; ++i) squares[i] = stats_add_square(squares[i], record[i], means[i]);
    }
}
