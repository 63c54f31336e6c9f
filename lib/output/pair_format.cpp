// Spectra as the text pair files that normspec and pointmean read.
#include "output/pair_format.h"

#include <charconv>
#include <string_view>

namespace sts {

namespace {

// What printf's "%.9g" writes of v rounded to float, without its locale
// and format parsing.
struct g9 {
    char buffer[32];
    std::string_view operator()(double v) {
        const double f = static_cast<float>(v);
        const auto r =
            std::to_chars(buffer, buffer + sizeof buffer, f, std::chars_format::general, 9);
        return std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
    }
};

}  // namespace

std::string format_pairs(const std::vector<double>& bias, const std::vector<double>& current,
                         bias_text_cache* cache) {
    g9 format;
    if (cache->bias != bias) {
        cache->bias = bias;
        cache->text.clear();
        for (double v : bias) cache->text.emplace_back(format(v));
    }
    std::string text;
    text.reserve(bias.size() * 28);
    for (size_t i = 0; i < bias.size(); ++i) {
        text += cache->text[i];
        text += ' ';
        text += format(current[i]);
        text += '\n';
    }
    return text;
}

}  // namespace sts
