// The instrument-file readers on arbitrary bytes: a clear refusal or
// spectra whose bias and current columns have the same length.
#include "fuzz_input.h"
#include "output/pair_format.h"
#include "readers/read_spectra.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    sts::import_options o;
    o.dir = static_cast<sts::direction>(data[0] % 3);
    o.each_sweep = data[0] & 4;
    if (data[0] & 8) o.channel = "Input 3";
    const sts::file_format formats[] = {sts::file_format::automatic, sts::file_format::nanonis_grid,
                                        sts::file_format::delimited_text,
                                        sts::file_format::nanonis_dat};
    o.format = formats[(data[0] >> 4) % 4];
    std::vector<sts::spectrum> spectra;
    std::string error, warning;
    const bool ok = sts::read_spectra("f", bytes, o, &spectra, &error, &warning);
    fuzz_check(ok || !error.empty(), "a refusal says why");
    fuzz_check(ok || spectra.empty(), "a refused file gives no spectra");
    for (const auto& s : spectra) {
        fuzz_check(s.bias.size() == s.current.size() && !s.bias.empty(), "paired columns");
        sts::bias_text_cache cache;
        (void)sts::format_pairs(s.bias, s.current, &cache);
    }
    return 0;
}
