// What the run gathers from the blocks as they pass in pixel order: the
// counts by pixel code, the first pass of the statistics, and the values
// of the maps.
#ifndef GRID_GRID_COLLECTOR_H
#define GRID_GRID_COLLECTOR_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "grid/bias_map.h"
#include "grid/gap_maps.h"
#include "grid/fit_maps.h"
#include "grid/grid_description.h"
#include "grid/grid_run.h"
#include "grid/grid_statistics.h"
#include "grid/grid_plan.h"
#include "grid/pixel_block.h"
#include "grid/quantities.h"
#include "grid/record_spill.h"

namespace sts {

class grid_collector {
public:
    // d must outlive the collector.
    grid_collector(const grid_description& d, const grid_plan& o);

    // Makes the scratch files that keep the counted records between the
    // passes, in folder on disk; false with *error.
    bool open_spills(const std::string& folder, std::string* error,
                     scratch_disk* disk = &system_scratch_disk());

    // First pass over one block; the scratch files must be open.
    void add(const pixel_block& b, const input_block& in);
    // Second pass over every counted record, each quantity (and the
    // measured current, the last) on a thread of its own, at most `threads`
    // at a time; false with *error when a scratch file failed.
    bool add_squares(int threads, std::string* error);
    // Closes the scratch files (the system frees their pages then, which
    // takes a while for a large grid); after add_squares.
    void close_spills();

    uint64_t pixels_seen() const { return seen_; }
    const std::array<uint64_t, PIXEL_CODES>& by_code() const { return by_code_; }
    // The statistics of the run's quantities with statistics, in the order
    // of quantities().
    const std::vector<const pixel_quantity*>& quantities() const { return quantities_; }
    series_statistics& statistics(size_t q) { return stats_[q]; }
    // The pixels the statistics are over (processed, in the region).
    int statistics_count() const { return stats_.front().count(); }
    series_statistics& measured() { return measured_; }
    // The imported bias of the last pixel whose current the measured
    // statistics take.
    const std::vector<float>& measured_bias() const { return measured_bias_; }
    std::vector<bias_map>& maps() { return maps_; }
    // The gap's maps (--gap with --map), else empty.
    const gap_maps& gap() const { return gap_; }
    // The fit's maps (--fit with --map) and its statuses (--fit).
    const fit_maps& fit() const { return fit_; }

    bool in_region(uint64_t pixel) const;

private:
    void add_map_values(const pixel_block& b, int k);
    void add_topography(const pixel_block& b, int k);
    void add_gap_values(const pixel_block& b, int k);
    void add_fit_values(const pixel_block& b, int k);
    void add_measured(const input_block& in, int k);
    // A pointmean-style record: the pixel's own values, its last one
    // standing in beyond its end.
    void measured_record(const float* values, int n, std::vector<float>* record) const;

    // A copy: the run_outcome that holds the run's description moves (out of
    // run_plan), and a reference to it would be left pointing at the old place.
    const grid_description d_;
    pixel_region region_;
    bool want_measured_;
    std::vector<const pixel_quantity*> quantities_;
    std::vector<series_statistics> stats_;
    series_statistics measured_;
    std::vector<float> measured_bias_;
    std::vector<float> record_;
    std::vector<record_spill> spills_;  // one per quantity
    record_spill measured_spill_;
    std::vector<bias_map> maps_;
    std::vector<int> map_index_;  // nearest midpoint per map on the common axis
    std::vector<std::vector<const pixel_quantity*>> map_quantities_;  // per map, its panels
    gap_maps gap_;
    fit_maps fit_;
    std::array<uint64_t, PIXEL_CODES> by_code_{};
    uint64_t seen_ = 0;
};

}  // namespace sts

#endif
