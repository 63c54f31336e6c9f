// The three transforms on arbitrary lengths and values; for bounded values
// the round trips return the input scaled as documented.
#include <cmath>

#include "fuzz/fuzz_input.h"
#include "numlib/numlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const int count = 1 << (in.byte() % 13);  // 1 ... 4096 points
    const bool bounded = in.byte() & 1;
    std::vector<float> v(2 * count);
    for (float& x : v) x = bounded ? in.ranged_float(-1.0f, 1.0f) : in.any_float();
    const std::vector<float> original = v;

    fft_complex(one_based(v.data(), 2 * count), count, 1);
    fft_complex(one_based(v.data(), 2 * count), count, -1);
    if (bounded)
        for (int i = 0; i < 2 * count; ++i)
            fuzz_check(std::fabs(v[i] - count * original[i]) <= 1e-3f * count, "complex round trip");

    v = original;
    fft_real(one_based(v.data(), 2 * count), count, 1);
    fft_real(one_based(v.data(), 2 * count), count, static_cast<int>(in.byte()) - 128);
    std::vector<float> a(original.begin(), original.begin() + count);
    std::vector<float> b(original.begin() + count, original.end());
    std::vector<float> sa(2 * count), sb(2 * count);
    fft_two_real(one_based(a.data(), count), one_based(b.data(), count),
                 one_based(sa.data(), 2 * count), one_based(sb.data(), 2 * count), count);
    fuzz_check(sa[1] == 0.0f && sb[1] == 0.0f, "zero frequency is real");
    return 0;
}
