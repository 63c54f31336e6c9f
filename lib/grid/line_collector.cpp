// The line cut's records: see line_collector.h.
#include "grid/line_collector.h"

#include <algorithm>
#include <limits>

#include "spectrum/gap.h"

namespace sts {

line_collector::line_collector(const grid_description& d, std::vector<line_sample> samples)
    : d_(d),
      samples_(std::move(samples)),
      values_(pixel_quantities.size()),
      status_(samples_.size(), PIXEL_MISSING) {
    // A pixel never seen stays "not computed", as in the grid file.
    if (d_.writes(quantity_group::gap))
        gap_status_.assign(samples_.size(), static_cast<signed char>(gap_reason::not_computed));
    for (size_t k = 0; k < pixel_quantities.size(); ++k)
        if (written_in(pixel_quantities[k], d_))
            values_[k].assign(samples_.size() * record(pixel_quantities[k]),
                              std::numeric_limits<float>::quiet_NaN());
}

size_t line_collector::record(const pixel_quantity& q) const {
    return values_per_pixel(q, static_cast<size_t>(d_.points));
}

const std::vector<float>* line_collector::values(const pixel_quantity& q) const {
    const size_t k = static_cast<size_t>(&q - pixel_quantities.data());
    return k < values_.size() && written_in(q, d_) ? &values_[k] : nullptr;
}

void line_collector::add(const pixel_block& b) {
    const uint64_t nx = static_cast<uint64_t>(d_.nx);
    for (size_t s = 0; s < samples_.size(); ++s) {
        const uint64_t pixel = samples_[s].y * nx + samples_[s].x;
        if (pixel < b.first || pixel >= b.first + static_cast<uint64_t>(b.count)) continue;
        const size_t i = static_cast<size_t>(pixel - b.first);
        status_[s] = b.status[i];
        if (!gap_status_.empty() && i < b.gap_status.size()) gap_status_[s] = b.gap_status[i];
        for (size_t k = 0; k < pixel_quantities.size(); ++k) {
            if (values_[k].empty()) continue;
            const size_t n = record(pixel_quantities[k]);
            const std::vector<float>& from = b.*pixel_quantities[k].values;
            std::copy_n(from.begin() + static_cast<std::ptrdiff_t>(i * n), n,
                        values_[k].begin() + static_cast<std::ptrdiff_t>(s * n));
        }
    }
}

}  // namespace sts
