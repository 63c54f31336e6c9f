// The instrument-file readers on arbitrary bytes: a clear refusal or
// spectra whose bias and current columns have the same length; for a grid,
// each pixel read alone gives what the whole read gives.
#include <memory>

#include "fuzz/fuzz_input.h"
#include "output/pair_format.h"
#include "readers/byte_source.h"
#include "readers/nanonis_grid.h"
#include "readers/read_spectra.h"

namespace {

// The first byte chooses the options: direction, sweeps, channel, units
// given or not, and the format (automatic or forced).
sts::import_options options_from(uint8_t b, uint8_t c) {
    sts::import_options o;
    o.dir = static_cast<sts::direction>(b % 3);
    o.each_sweep = b & 4;
    if (b & 8) o.channel = "Input 3";
    const sts::file_format formats[] = {
        sts::file_format::automatic, sts::file_format::nanonis_grid,
        sts::file_format::delimited_text, sts::file_format::nanonis_dat,
        sts::file_format::createc_vert, sts::file_format::plain_pairs,
        sts::file_format::automatic, sts::file_format::automatic};
    o.format = formats[(b >> 4) % 8];
    o.bias_unit_given = c & 1;
    o.current_unit_given = c & 2;
    if (c & 4) o.bias_scale = 1e3;
    o.partial = c & 8;  // an interrupted grid read, or refused below half its pixels
    return o;
}

void check_pixels(const std::string& bytes, const sts::import_options& o) {
    sts::nanonis_grid grid;
    std::string error;
    if (!grid.open(std::make_shared<sts::memory_source>(bytes), "f", o, &error)) {
        fuzz_check(!error.empty(), "a grid refusal says why");
        return;
    }
    sts::grid_pixel pixel;
    for (uint64_t p = 0; p < grid.complete_pixels() && p < 64; ++p) {
        const sts::pixel_status status = grid.read_pixel(p, &pixel);
        fuzz_check(status != sts::pixel_status::missing, "complete pixels read");
        // A pixel whose bias does not sweep is refused with the reason.
        if (status == sts::pixel_status::unreadable) {
            fuzz_check(!pixel.error.empty(), "an unreadable pixel says why");
            continue;
        }
        fuzz_check(pixel.spectra.size() == grid.spectra_per_pixel(), "spectra per pixel");
        for (const auto& s : pixel.spectra)
            fuzz_check(s.bias.size() == static_cast<size_t>(grid.header().points) &&
                           s.current.size() == s.bias.size(),
                       "a pixel's spectra have the header's points");
    }
    fuzz_check(grid.read_pixel(grid.complete_pixels(), &pixel) == sts::pixel_status::missing,
               "beyond the complete pixels nothing is read");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const sts::import_options o = options_from(data[0], data[1]);
    std::vector<sts::imported_spectrum> spectra;
    std::string error, warning;
    const bool ok = sts::read_spectra("f", bytes, o, &spectra, &error, &warning);
    fuzz_check(ok || !error.empty(), "a refusal says why");
    fuzz_check(ok || spectra.empty(), "a refused file gives no spectra");
    for (const auto& s : spectra) {
        fuzz_check(s.bias.size() == s.current.size() && !s.bias.empty(), "paired columns");
        sts::bias_text_cache cache;
        (void)sts::format_pairs(s.bias, s.current, &cache);
    }
    if (bytes.rfind("Grid dim=", 0) == 0) check_pixels(bytes, o);
    return 0;
}
