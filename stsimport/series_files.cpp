// The files an import writes: the numbered pair files and the index.
#include "series_files.h"

#include "output/atomic_write.h"
#include "output/pair_format.h"

namespace {

const char* const index_name = "stsimport-index.tsv";

std::string or_dash(const std::string& v) { return v.empty() ? std::string("-") : v; }

std::string position(int v) { return v < 0 ? std::string("-") : std::to_string(v); }

// One row per output: its name, source file, grid pixel, sweep, direction.
std::string index_text(const command_line& c, const std::vector<sts::spectrum>& spectra) {
    std::string index = "output\tsource\tpixel_x\tpixel_y\tsweep\tdirection\n";
    for (size_t k = 0; k < spectra.size(); ++k) {
        const auto& s = spectra[k];
        index += output_name(c, k) + "\t" + s.source + "\t" + position(s.pixel_x) + "\t" +
                 position(s.pixel_y) + "\t" + or_dash(s.sweep) + "\t" + s.direction + "\n";
    }
    return index;
}

}  // namespace

std::string output_name(const command_line& c, size_t k) {
    const std::string number = std::to_string(c.start + static_cast<long>(k));
    return c.names == "s" ? "s" + number : "stxt" + number + "p.txt";
}

bool write_series(const command_line& c, const std::vector<sts::spectrum>& spectra,
                  std::string* error) {
    sts::bias_text_cache cache;
    for (size_t k = 0; k < spectra.size(); ++k) {
        const std::string text = sts::format_pairs(spectra[k].bias, spectra[k].current, &cache);
        if (!sts::write_atomically(c.out_dir + "/" + output_name(c, k), text, error)) return false;
    }
    return sts::write_atomically(c.out_dir + "/" + index_name, index_text(c, spectra), error);
}
