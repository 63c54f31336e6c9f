// The closing lines of a run.
#include "stsgrid/summary.h"

#include <algorithm>
#include <cmath>
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

}  // namespace sts
