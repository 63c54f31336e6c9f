// The Omicron readers on arbitrary bytes: a MATRIX data file with its
// parameter file, and the same bytes as a text export.  Either a refusal
// with a reason and no spectra, or spectra with paired columns; a warning
// only with spectra.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "readers/import_options.h"
#include "readers/imported_spectrum.h"
#include "readers/omicron_matrix.h"
#include "readers/omicron_text.h"

namespace {

// The first byte chooses direction, sweeps, channel and units.
sts::import_options options_from(uint8_t b) {
    sts::import_options o;
    o.dir = static_cast<sts::direction>(b % 3);
    o.each_sweep = b & 4;
    if (b & 8) o.channel = "I(V)";
    if (b & 16) o.bias_scale = 1e3;
    if (b & 32) o.current_scale = 1e12;
    if (b & 64) o.bias_channel = "V";
    return o;
}

void check(bool ok, const std::vector<sts::imported_spectrum>& spectra, const std::string& error,
           const std::string& warning) {
    fuzz_check(ok || !error.empty(), "a refusal says why");
    fuzz_check(ok || spectra.empty(), "a refused file gives no spectra");
    fuzz_check(ok || warning.empty(), "a warning only with spectra");
    for (const auto& s : spectra)
        fuzz_check(!s.bias.empty() && s.bias.size() == s.current.size(), "paired columns");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const sts::import_options o = options_from(in.byte());
    const uint32_t split = in.u32();
    const std::string rest(reinterpret_cast<const char*>(data) + in.used, size - in.used);
    const size_t cut = rest.empty() ? 0 : split % (rest.size() + 1);
    std::vector<sts::imported_spectrum> spectra;
    std::string error, warning;
    bool ok = sts::read_matrix_curve("s--1_1.I(V)_mtrx", rest.substr(0, cut), rest.substr(cut), o,
                                     &spectra, &error, &warning);
    check(ok, spectra, error, warning);
    spectra.clear();
    error.clear();
    ok = sts::read_omicron_text("e.txt", rest, o, &spectra, &error);
    check(ok, spectra, error, "");
    return 0;
}
