// Statistics over the pixels of a grid, point by point, in exactly the
// float arithmetic of pointmean: every value is seen twice, in pixel order,
// first for the sums and then for the squares about the mean, so nothing
// of the grid is held between the passes.
#ifndef GRID_GRID_STATISTICS_H
#define GRID_GRID_STATISTICS_H

#include <cmath>
#include <string>
#include <vector>

#include "spectrum/spectrum.h"

namespace sts {

class series_statistics {
public:
    explicit series_statistics(int length) : sums_(static_cast<size_t>(length), 0.0f),
                                             squares_(static_cast<size_t>(length), 0.0f) {}
    // First pass: one pixel's record of `length` values.
    void add(const float* record);
    // Second pass, after the first has seen every pixel: the same records
    // in the same order.
    void add_square(const float* record);
    int count() const { return count_; }
    // The statistics of point i; needs count() >= 2.
    point_stats at(size_t i) const { return stats_finish(means_[i], squares_[i], count_); }
    size_t length() const { return sums_.size(); }

private:
    std::vector<float> sums_, squares_, means_;
    int count_ = 0;
};

}  // namespace sts

#endif
