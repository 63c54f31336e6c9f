// The closing lines of a run.
#include "stsgrid/summary.h"

#include <cstdio>

#include "grid/scan_on_grid.h"
#include "output/printable.h"

namespace sts {

void report_written(const std::string& out, const grid_description& d, const grid_collector& c) {
    std::printf("stsgrid: wrote %s: %ld x %ld pixels, %d points; statistics over %d pixels\n",
                printable(out).c_str(), d.nx, d.ny, d.points, c.statistics_count());
    if (!d.scan) return;
    std::printf("stsgrid: scan_topography from %s (%s, %s), sampled bilinearly: %ld of %ld pixels "
                "on the scan\n",
                printable(d.scan->path).c_str(), printable(d.scan->channel).c_str(),
                scan_direction_name(d.scan->backward), d.scan->pixels_on_scan, d.nx * d.ny);
}

bool report_unprocessed(const grid_collector& c) {
    const auto& counts = c.by_code();
    const uint64_t unprocessed = c.pixels_seen() - counts[PIXEL_PROCESSED];
    if (unprocessed == 0) return false;
    std::string causes;
    for (int code = 1; code < PIXEL_CODES; ++code) {
        if (counts[static_cast<size_t>(code)] == 0) continue;
        if (!causes.empty()) causes += ", ";
        causes += std::to_string(counts[static_cast<size_t>(code)]) + " " + describe_code(code);
    }
    std::printf("stsgrid: %llu of %llu pixels not processed: %s (status codes in the variable "
                "'status')\n",
                static_cast<unsigned long long>(unprocessed),
                static_cast<unsigned long long>(c.pixels_seen()), causes.c_str());
    return true;
}

}  // namespace sts
