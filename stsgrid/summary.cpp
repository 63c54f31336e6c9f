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

void report_fourier(const fourier_outcome& f) {
    std::printf("stsgrid: wrote %s: |FFT| of %s, %zu maps of %zu x %zu, q steps %.6g, %.6g "
                "nm^-1\n",
                printable(f.file).c_str(), f.variable.c_str(), f.slices, f.nx, f.ny,
                f.qx[1] - f.qx[0], f.qy[1] - f.qy[0]);
    if (f.slices_with_missing)
        std::printf("stsgrid: %zu maps had missing pixels (at most %zu) filled with their mean "
                    "(variable 'missing_pixels')\n",
                    f.slices_with_missing, f.most_missing);
    if (f.lattice)
        std::printf("stsgrid: Bragg vectors (%s) Q1 = (%.6g, %.6g), Q2 = (%.6g, %.6g) nm^-1: "
                    "a1 = %.6g nm, a2 = %.6g nm at %.4g degrees, Q1 at %.4g degrees\n",
                    f.lattice_found ? "found in the topography" : "as given", f.q1x, f.q1y,
                    f.q2x, f.q2y, f.a1, f.a2, f.lattice_angle, f.q1_angle);
    if (!f.group.empty()) std::printf("stsgrid: symmetrised by %s\n", f.group.c_str());
    if (!f.corrected.empty())
        std::printf("stsgrid: wrote %s: drift corrected over Lambda = %.4g nm, rms |u| = %.4g "
                    "nm; Q1's peak width %.4g -> %.4g nm^-1\n",
                    printable(f.corrected).c_str(), f.drift_lambda, f.drift_rms, f.width_before,
                    f.width_after);
}

}  // namespace sts
