// Spectra as the text pair files that normspec and pointmean read.
#include "output/pair_format.h"

#include <charconv>
#include <string_view>

namespace sts {

namespace {

// The shortest decimal that reads back (strtof, scanf "%f") as v rounded
// to float: -0.2 V is written "-0.2", not "-0.200000003".
struct shortest {
    char buffer[32];
    std::string_view operator()(double v) {
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v));
        return std::string_view(buffer, static_cast<size_t>(r.ptr - buffer));
    }
};

}  // namespace

std::string format_pairs(const std::vector<double>& bias, const std::vector<double>& current,
                         bias_text_cache* cache) {
    shortest format;
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
