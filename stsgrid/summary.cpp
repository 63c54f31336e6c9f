// The closing lines of a run.
#include "stsgrid/summary.h"

#include <algorithm>
#include <cmath>
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

namespace {

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

// "10 mV" or "0.1 V".
std::string amplitude_text(double volts) {
    return volts < 0.1 ? number(volts * 1e3) + " mV" : number(volts) + " V";
}

// "median 1.2e+13 (5.6e+12 to 2e+13 over 32 pixels)" of the finite scales;
// *median NaN when there are none.
std::string scales_text(std::vector<float> scales, double* median) {
    std::vector<float> finite;
    for (float v : scales)
        if (std::isfinite(v)) finite.push_back(v);
    *median = NAN;
    if (finite.empty()) return "no pixel's line fits";
    std::sort(finite.begin(), finite.end());
    const size_t n = finite.size();
    *median = n % 2 ? finite[n / 2] : (static_cast<double>(finite[n / 2 - 1]) + finite[n / 2]) / 2;
    return "median " + number(*median) + " (" + number(finite.front()) + " to " +
           number(finite.back()) + " over " + std::to_string(n) + " pixels)";
}

}  // namespace

std::string lockin_scale_line(const lockin_report& r, const grid_description& d,
                              const std::vector<float>* pixel_scales) {
    if (!r.used) return "";
    std::string line = "stsgrid: lock-in scale (" + d.current_unit + "/" + d.bias_unit + " per " +
                       (r.unit.empty() ? "unit" : r.unit) + "): ";
    double fitted = r.fitted ? r.fitted_scale : NAN;
    line += pixel_scales ? "fitted per pixel, " + scales_text(*pixel_scales, &fitted)
            : r.fitted   ? "fitted " + number(r.fitted_scale)
                         : "no line fits";
    const lockin_modulation& m = r.modulation;
    if (!r.from_amplitude) return line + "; none from the modulation: " + r.why_not;
    line += ", from the " + amplitude_text(m.amplitude_v) + " zero-to-peak modulation (" + m.key +
            ") " + number(r.amplitude_scale);
    if (std::isfinite(fitted))
        line += std::string(pixel_scales ? ": ratio of the median " : ": ratio ") +
                number(fitted / r.amplitude_scale);
    if (m.switched_off) line += "; the header records the lock-in as OFF";
    return line;
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
        std::printf("stsgrid: gap fit: poor_fit: the fitted curve misses the data's dip, or its "
                    "Gamma is at or above its Delta (a bias offset? try --fit-free=offset; a "
                    "narrower --fit-window; or the model, the temperature)\n");
}

}  // namespace sts
