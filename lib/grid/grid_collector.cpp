// Gathering counts, first-pass sums and map values from the passing blocks.
#include "grid/grid_collector.h"
#include "grid/scan_on_grid.h"

#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>
#include <limits>

#include "grid/quantities.h"

namespace sts {

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();

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

grid_collector::grid_collector(const grid_description& d, const grid_plan& o)
    : d_(d),
      region_(o.region),
      want_measured_(!o.pointmean.empty()),
      quantities_(statistics_quantities(d)),
      measured_(d.points) {
    for (const pixel_quantity* q : quantities_)
        stats_.emplace_back(values_per_pixel(*q, static_cast<size_t>(d.points)));
    const auto pixels = static_cast<size_t>(d.nx * d.ny);
    std::vector<quantity_group> groups = {quantity_group::always};
    groups.insert(groups.end(), d.groups.begin(), d.groups.end());
    for (double v : o.maps) {
        for (quantity_group g : groups) {
            const std::vector<const pixel_quantity*> drawn = map_quantities(g);
            if (drawn.empty()) continue;
            bias_map m;
            m.bias = v;
            m.group = g;
            const int j = nearest(d.vmid.data(), d.points - 1, v);
            m.vmid = j >= 0 ? d.vmid[static_cast<size_t>(j)] : NaN;
            for (const pixel_quantity* q : drawn)
                m.panels.push_back({q->name, std::vector<float>(pixels, NaN)});
            // The surface the spectra were taken on, after the spectral
            // panels: the scan's (--topography), else the grid's own Z,
            // gathered from every pixel that records it.
            if (d.scan) m.panels.push_back({"scan_topography", d.scan->on_grid});
            else if (d.writes(quantity_group::topography))
                m.panels.push_back({"topography", std::vector<float>(pixels, NaN)});
            maps_.push_back(std::move(m));
            map_index_.push_back(j);
            map_quantities_.push_back(drawn);
        }
    }
    fit_.given = o.fit.given;
    fit_.curve = o.fit.variable;
    fit_.settings = o.fit.settings;
    if (o.fit_map)
        for (auto* values : {&fit_.gap, &fit_.gamma})
            values->assign(pixels, std::numeric_limits<float>::quiet_NaN());
    if (!o.gap_map) return;
    gap_.curve = o.gap.variable;
    gap_.threshold = o.gap.threshold;
    gap_.window = o.gap.window;
    for (auto* values : {&gap_.low, &gap_.high, &gap_.width, &gap_.peak_low, &gap_.peak_high})
        values->assign(pixels, std::numeric_limits<float>::quiet_NaN());
}

bool grid_collector::open_spills(const std::string& folder, std::string* error,
                                 scratch_disk* disk) {
    for (const auto& s : stats_) {
        spills_.emplace_back();
        if (!spills_.back().open(folder, s.length(), error, disk)) return false;
    }
    return !want_measured_ || measured_spill_.open(folder, measured_.length(), error, disk);
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
        ++seen_;
        if (code == PIXEL_PROCESSED) add_map_values(b, k);
        if (!b.topography.empty()) add_topography(b, k);
        if (code == PIXEL_PROCESSED && !gap_.low.empty()) add_gap_values(b, k);
        if (fit_.given) add_fit_values(b, k);
        if (!in_region(pixel)) continue;
        if (want_measured_ && in.n[static_cast<size_t>(k)] > 0) add_measured(in, k);
        if (code != PIXEL_PROCESSED) continue;
        for (size_t q = 0; q < stats_.size(); ++q) {
            const pixel_quantity& quantity = *quantities_[q];
            const size_t length = values_per_pixel(quantity, p);
            const float* record = (b.*quantity.values).data() + static_cast<size_t>(k) * length;
            stats_[q].add(record);
            spills_[q].append(record);
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
        for (size_t p = 0; p < map_quantities_[i].size(); ++p)
            maps_[i].panels[p].values[pixel] = (b.*map_quantities_[i][p]->values)[at];
    }
}

// The grid's recorded height into each map's topography panel (the last),
// whatever became of the pixel's spectrum.
void grid_collector::add_topography(const pixel_block& b, int k) {
    const auto pixel = static_cast<size_t>(b.first) + static_cast<size_t>(k);
    for (bias_map& m : maps_)
        if (!m.panels.empty() && m.panels.back().name == "topography")
            m.panels.back().values[pixel] = b.topography[static_cast<size_t>(k)];
}

void grid_collector::add_gap_values(const pixel_block& b, int k) {
    const auto at = static_cast<size_t>(k);
    const auto pixel = static_cast<size_t>(b.first) + at;
    gap_.low[pixel] = b.gap_low[at];
    gap_.high[pixel] = b.gap_high[at];
    gap_.width[pixel] = b.gap_width[at];
    gap_.peak_low[pixel] = b.peak_low[at];
    gap_.peak_high[pixel] = b.peak_high[at];
}

void grid_collector::add_fit_values(const pixel_block& b, int k) {
    const auto at = static_cast<size_t>(k);
    const auto code = static_cast<size_t>(b.fit_status[at]);
    if (code < fit_.by_status.size()) ++fit_.by_status[code];
    if (fit_.gap.empty()) return;
    const auto pixel = static_cast<size_t>(b.first) + at;
    // The maps show the fits that follow their data: a poor fit is blank.
    const bool poor = b.fit_status[at] == static_cast<signed char>(gap_fit_status::poor_fit);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    fit_.gap[pixel] = poor ? nan : b.fit_gap[at];
    fit_.gamma[pixel] = poor ? nan : b.fit_gamma[at];
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
    measured_spill_.append(record_.data());
    measured_record(in.bias.data() + at, n, &measured_bias_);
}

void grid_collector::close_spills() {
    for (record_spill& s : spills_) s.close();
    measured_spill_.close();
}

bool grid_collector::add_squares(int threads, std::string* error) {
    // The jobs: each statistics with its scratch file.
    std::vector<std::pair<series_statistics*, record_spill*>> jobs;
    for (size_t q = 0; q < stats_.size(); ++q) jobs.emplace_back(&stats_[q], &spills_[q]);
    if (want_measured_) jobs.emplace_back(&measured_, &measured_spill_);
    for (auto& [stats, spill] : jobs)
        if (!spill->finish(error)) return false;
    std::vector<std::string> errors(jobs.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t j = next++; j < jobs.size(); j = next++) {
            series_statistics* s = jobs[j].first;
            if (s->count() < 2) continue;
            jobs[j].second->replay([s](const float* r) { s->add_square(r); }, &errors[j]);
        }
    };
    std::vector<std::thread> pool;
    // As many helpers as the system gives, up to threads - 1: the calling
    // thread takes whatever jobs they leave.
    try {
        for (int t = 1; t < std::min<int>(threads, static_cast<int>(jobs.size())); ++t)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
    }
    work();
    for (auto& t : pool) t.join();
    for (const auto& e : errors) {
        if (e.empty()) continue;
        *error = e;
        return false;
    }
    return true;
}

}  // namespace sts
