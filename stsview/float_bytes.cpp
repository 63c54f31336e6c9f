#include "stsview/float_bytes.h"

#include <cstdint>
#include <cstring>

namespace sts {

std::string float_bytes(const std::vector<float>& values) {
    std::string out(values.size() * sizeof(float), '\0');
    for (size_t i = 0; i < values.size(); ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        for (int b = 0; b < 4; ++b) out[i * 4 + static_cast<size_t>(b)] = static_cast<char>(bits >> (8 * b));
    }
    return out;
}

}  // namespace sts
