// The instrument-file readers on arbitrary bytes: a clear refusal or
// spectra whose bias and current columns have the same length.
#include "fuzz_input.h"
#include "stsimport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    sts::options o;
    o.dir = static_cast<sts::direction>(data[0] % 3);
    o.each_sweep = data[0] & 4;
    if (data[0] & 8) o.channel = "Input 3";
    std::vector<sts::spectrum> spectra;
    std::string error, warning;
    const std::string kind = sts::detect_format(bytes);
    bool ok = false;
    switch ((data[0] >> 4) % 4) {
        case 0: ok = kind == "dat" && sts::read_nanonis_dat("f", bytes, o, &spectra, &error); break;
        case 1: ok = sts::read_nanonis_grid("f", bytes, o, &spectra, &error, &warning); break;
        case 2: ok = sts::read_delimited("f", bytes, o, &spectra, &error); break;
        default: ok = sts::read_nanonis_dat("f", bytes, o, &spectra, &error); break;
    }
    fuzz_check(ok || !error.empty() || kind != "dat", "a refusal says why");
    for (const auto& s : spectra) {
        fuzz_check(s.bias.size() == s.current.size() && !s.bias.empty(), "paired columns");
        sts::bias_text_cache cache;
        (void)sts::format_pairs(s, &cache);
    }
    return 0;
}
