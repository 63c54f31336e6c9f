// The closing lines of a run.
#include "stsgrid/summary.h"

#include <cstdio>

#include "output/printable.h"

namespace sts {

void report_written(const std::string& out, const grid_description& d, const grid_collector& c) {
    std::printf("stsgrid: wrote %s: %ld x %ld pixels, %d points; statistics over %d pixels\n",
                printable(out).c_str(), d.nx, d.ny, d.points, c.statistics_count());
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

void report_fit(const grid_collector& c) {
    const fit_maps& f = c.fit();
    if (!f.given) return;
    std::string counts;
    size_t code = 0;
    for (const char* at = gap_fit_status_names; *at; ++code) {
        const char* end = at;
        while (*end && *end != ' ') ++end;
        if (code < f.by_status.size() && f.by_status[code] > 0)
            counts += (counts.empty() ? "" : ", ") + std::to_string(f.by_status[code]) + " " +
                      std::string(at, end);
        at = *end ? end + 1 : end;
    }
    std::printf("stsgrid: gap fit: %s (codes in the variable 'fit_status')\n",
                counts.empty() ? "no pixels" : counts.c_str());
    if (f.by_status[static_cast<size_t>(gap_fit_status::poor_fit)] > 0)
        std::printf("stsgrid: gap fit: poor_fit: the fitted curve misses the data's dip (a bias "
                    "offset? try --fit-free=offset; or the model, the temperature)\n");
}

}  // namespace sts
