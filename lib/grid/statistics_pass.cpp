// The second pass of the grid statistics and the files of their results.
#include "grid/statistics_pass.h"

#include <limits>

#include "output/atomic_file.h"
#include "grid/grid_setup.h"
#include "grid/quantities.h"
#include "grid/text_outputs.h"

namespace sts {

bool second_pass(int threads, grid_collector* c, std::string* error) {
    return c->add_squares(threads, error);
}

namespace {

// The statistics of point i, NaN where fewer than two pixels count.
point_stats stats_or_nan(const series_statistics& s, size_t i) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return s.count() >= 2 ? s.at(i) : point_stats{nan, nan, nan, nan, nan};
}

}  // namespace

bool write_statistics(netcdf_writer* w, grid_collector* c, std::string* error) {
    for (size_t q = 0; q < c->quantities().size(); ++q) {
        const series_statistics& s = c->statistics(q);
        std::vector<float> mean, sd, se;
        for (size_t i = 0; i < s.length(); ++i) {
            const point_stats p = stats_or_nan(s, i);
            mean.push_back(p.mean);
            sd.push_back(p.deviation);
            se.push_back(p.error);
        }
        if (!w->write_statistics(c->quantities()[q]->name, mean, sd, se, s.count(), error))
            return false;
    }
    return true;
}

bool write_pointmean(const grid_plan& o, grid_collector* c, std::string* error) {
    if (c->measured().count() < 2) {
        *error = o.pointmean + ": the statistics need at least two pixels with data";
        return false;
    }
    return sts::write_atomically(o.pointmean, statistics_rows(c->measured_bias(), c->measured()),
                                 error);
}

bool write_mean_texts(const grid_description& d, const std::string& out, grid_collector* c,
                      std::string* error) {
    for (size_t q = 0; q < c->quantities().size(); ++q) {
        const bool midpoints = c->quantities()[q]->along == quantity_axis::midpoint;
        const auto& axis = midpoints ? d.vmid : d.bias;
        const std::string name = companion(out, std::string("_mean_") +
                                                    c->quantities()[q]->name + ".txt");
        if (!sts::write_atomically(name, statistics_rows(axis, c->statistics(q)), error))
            return false;
    }
    return true;
}

std::vector<mean_curve> mean_curves(grid_collector& c) {
    std::vector<mean_curve> curves;
    // The normalised curves.
    for (size_t q = 0; q < c.quantities().size(); ++q) {
        if (c.quantities()[q]->unit != quantity_unit::ratio) continue;
        mean_curve m;
        m.name = c.quantities()[q]->name;
        const series_statistics& s = c.statistics(q);
        for (size_t i = 0; i < s.length(); ++i) {
            const point_stats p = stats_or_nan(s, i);
            m.mean.push_back(p.mean);
            m.se.push_back(p.error);
        }
        curves.push_back(std::move(m));
    }
    return curves;
}

}  // namespace sts
