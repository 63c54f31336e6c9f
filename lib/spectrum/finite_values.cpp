// The finiteness of float arrays on their bits: see finite_values.h.
#include "spectrum/finite_values.h"

#include <cstdint>
#include <cstring>

namespace sts {

bool any_nonfinite(const float* v, size_t count) {
    typedef uint32_t four_bits __attribute__((vector_size(16)));
    four_bits bad = {0, 0, 0, 0};
    size_t j = 0;
    for (; j + 4 <= count; j += 4) {
        four_bits bits;
        std::memcpy(&bits, v + j, sizeof bits);
        bad |= (bits & 0x7f800000u) == 0x7f800000u;
    }
    uint32_t any = bad[0] | bad[1] | bad[2] | bad[3];
    for (; j < count; ++j) {
        uint32_t bits;
        std::memcpy(&bits, v + j, sizeof bits);
        any |= static_cast<uint32_t>((bits & 0x7f800000u) == 0x7f800000u);
    }
    return any != 0;
}

}  // namespace sts
