// The values an import refuses: see defined_values.h.
#include "stsimport/defined_values.h"

#include <cmath>

namespace {

// The first value that fails ok, as "bias 5 of 256 is nan", or "".
template <typename Ok>
std::string first_bad(const std::vector<double>& values, const char* what, Ok ok) {
    for (size_t i = 0; i < values.size(); ++i)
        if (!ok(values[i]))
            return std::string(what) + " " + std::to_string(i + 1) + " of " +
                   std::to_string(values.size()) + " is " +
                   (std::isnan(values[i]) ? "nan" : values[i] > 0 ? "inf" : "-inf") +
                   (std::isfinite(values[i]) ? " as a float" : "");
    return "";
}

}  // namespace

bool values_defined(const std::vector<sts::imported_spectrum>& spectra, size_t first,
                    std::string* error) {
    for (size_t k = first; k < spectra.size(); ++k) {
        const sts::imported_spectrum& s = spectra[k];
        // As floats: the pair files hold floats, where 3e47 nA is inf.
        std::string bad = first_bad(s.bias, "bias", [](double v) {
            return std::isfinite(static_cast<float>(v));
        });
        if (bad.empty())
            bad = first_bad(s.current, "current", [](double v) {
                return !std::isinf(static_cast<float>(v));
            });
        if (bad.empty()) continue;
        const std::string where =
            s.pixel_x < 0 ? ""
                          : " (pixel " + std::to_string(s.pixel_x) + ", " +
                                std::to_string(s.pixel_y) + ")";
        *error = "spectrum " + std::to_string(k - first + 1) + where + ": " + bad +
                 "; a bias sweep must be numbers and a current finite";
        return false;
    }
    return true;
}
