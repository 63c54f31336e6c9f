// Gathering counts, first-pass sums and map values from the passing blocks.
#include "grid_collector.h"

#include <cmath>
#include <limits>

const std::array<quantity, 5> statistics_quantities = {{
    {"current", false},
    {"didv", true},
    {"norm_raw", true},
    {"norm_exp", true},
    {"norm_coff", true},
}};

const std::vector<float>& records_of(const pixel_block& b, const std::string& name) {
    if (name == "current") return b.current;
    if (name == "iv") return b.iv;
    if (name == "didv") return b.didv;
    if (name == "norm_raw") return b.norm_raw;
    if (name == "norm_exp") return b.norm_exp;
    return b.norm_coff;
}

namespace {

// The index of the value nearest v among axis[0 .. count), NaN skipped; -1
// when there is none.
int nearest(const float* axis, int count, double v) {
    int best = -1;
    double distance = std::numeric_limits<double>::infinity();
    for (int j = 0; j < count; ++j) {
        const double here = std::fabs(static_cast<double>(axis[j]) - v);
        if (here < distance) {
            distance = here;
            best = j;
        }
    }
    return best;
}

}  // namespace

grid_collector::grid_collector(const grid_description& d, const grid_options& o)
    : d_(d), region_(o.region), want_measured_(!o.pointmean.empty()), measured_(d.points) {
    for (const auto& q : statistics_quantities) stats_.emplace_back(q.midpoints ? d.points - 1 : d.points);
    const auto pixels = static_cast<size_t>(d.nx * d.ny);
    for (double v : o.maps) {
        bias_map m;
        m.bias = v;
        const int j = nearest(d.vmid.data(), d.points - 1, v);
        m.vmid = j >= 0 ? d.vmid[static_cast<size_t>(j)] : std::numeric_limits<float>::quiet_NaN();
        for (auto* values : {&m.didv, &m.norm_raw, &m.norm_exp, &m.norm_coff})
            values->assign(pixels, std::numeric_limits<float>::quiet_NaN());
        maps_.push_back(std::move(m));
        map_index_.push_back(j);
    }
}

bool grid_collector::in_region(uint64_t pixel) const {
    const auto nx = static_cast<uint64_t>(d_.nx);
    return region_.contains(static_cast<long>(pixel % nx), static_cast<long>(pixel / nx));
}

void grid_collector::add(const pixel_block& b, const input_block& in) {
    const auto p = static_cast<size_t>(b.points);
    for (int k = 0; k < b.count; ++k) {
        const uint64_t pixel = b.first + static_cast<uint64_t>(k);
        const auto code = b.status[static_cast<size_t>(k)];
        ++by_code_[static_cast<size_t>(code)];
        codes_.push_back(code);
        ++seen_;
        if (code == PIXEL_PROCESSED) add_map_values(b, k);
        if (!in_region(pixel)) continue;
        if (want_measured_ && in.n[static_cast<size_t>(k)] > 0) add_measured(in, k);
        if (code != PIXEL_PROCESSED) continue;
        for (size_t q = 0; q < stats_.size(); ++q) {
            const size_t length = statistics_quantities[q].midpoints ? p - 1 : p;
            stats_[q].add(records_of(b, statistics_quantities[q].name).data() +
                          static_cast<size_t>(k) * length);
        }
    }
}

void grid_collector::add_map_values(const pixel_block& b, int k) {
    const auto m = static_cast<size_t>(b.points - 1);
    const auto pixel = static_cast<size_t>(b.first) + static_cast<size_t>(k);
    for (size_t i = 0; i < maps_.size(); ++i) {
        int j = map_index_[i];
        // Pixels with axes of their own: the midpoint nearest on their own.
        if (d_.per_pixel_axis)
            j = nearest(b.vmid.data() + static_cast<size_t>(k) * m, b.points - 1, maps_[i].bias);
        if (j < 0) continue;
        const size_t at = static_cast<size_t>(k) * m + static_cast<size_t>(j);
        maps_[i].didv[pixel] = b.didv[at];
        maps_[i].norm_raw[pixel] = b.norm_raw[at];
        maps_[i].norm_exp[pixel] = b.norm_exp[at];
        maps_[i].norm_coff[pixel] = b.norm_coff[at];
    }
}

void grid_collector::measured_record(const float* values, int n, std::vector<float>* record) const {
    record->resize(static_cast<size_t>(d_.points));
    for (int i = 0; i < d_.points; ++i) (*record)[static_cast<size_t>(i)] = values[std::min(i, n - 1)];
}

void grid_collector::add_measured(const input_block& in, int k) {
    const int n = in.n[static_cast<size_t>(k)];
    const size_t at = static_cast<size_t>(k) * static_cast<size_t>(d_.points);
    measured_record(in.current.data() + at, n, &record_);
    measured_.add(record_.data());
    measured_record(in.bias.data() + at, n, &measured_bias_);
}

void grid_collector::add_squares(size_t q, uint64_t first, int count, const float* records,
                                 const signed char* status) {
    const size_t length = stats_[q].length();
    for (int k = 0; k < count; ++k) {
        if (status[k] != PIXEL_PROCESSED || !in_region(first + static_cast<uint64_t>(k))) continue;
        stats_[q].add_square(records + static_cast<size_t>(k) * length);
    }
}

void grid_collector::add_measured_squares(const std::vector<float>& current) {
    measured_record(current.data(), static_cast<int>(current.size()), &record_);
    measured_.add_square(record_.data());
}
