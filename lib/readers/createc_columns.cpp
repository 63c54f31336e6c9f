// The columns of a Createc point spectrum (.VERT).
#include "readers/createc_columns.h"

#include "readers/number_text.h"
#include "readers/text_split.h"

namespace sts {

namespace {

constexpr const char* channel_bits[] = {"I",    "dI/dV", "d2I/dV2", "ADC0", "ADC1",
                                        "ADC2", "ADC3",  "NA01",    "NA02", "NA03",
                                        "di_q", "di2_q", "DAC0"};
constexpr int known_bits = sizeof channel_bits / sizeof channel_bits[0];

// A whole number within [low, high] from a field.
bool whole(const std::string& field, double low, double high, long* value) {
    double v = 0;
    if (!parse_number(field, &v) || !(v >= low && v <= high) || v != static_cast<long>(v))
        return false;
    *value = static_cast<long>(v);
    return true;
}

}  // namespace

bool parse_vert_columns(const std::string& line, vert_columns* out, std::string* error) {
    const std::vector<std::string> f = split_blanks(line);
    long positions = 2;
    if (f.size() < 4 || !whole(f[0], 1, 1e8, &out->rows) ||
        !whole(f[3], 0, 1e9, &out->selection) ||
        (f.size() >= 7 && !whole(f[6], 2, 3, &positions))) {
        *error = "the line after DATA is not \"<rows> <x> <y> <channel selection>\" (with "
                 "\"... <n> <n> <2 or 3> <x> <y>\" after it in [ParVERT32] files)";
        return false;
    }
    if (out->selection == 0 || out->selection >= (1L << known_bits)) {
        *error = "Createc channel selection " + f[3] +
                 " is not read (a bit set of the channels " + vert_channel_names() + ")";
        return false;
    }
    out->names = {"idx", "V", "Z"};
    if (positions == 3) out->names.push_back("X");
    for (int bit = 0; bit < known_bits; ++bit)
        if (out->selection & (1L << bit)) out->names.push_back(channel_bits[bit]);
    return true;
}

std::string vert_channel_names() {
    std::string names;
    for (const char* n : channel_bits) names += (names.empty() ? "" : ", ") + std::string(n);
    return names;
}

}  // namespace sts
