// Convolution on arbitrary lengths, response lengths and values.
#include "fuzz/fuzz_input.h"
#include "numlib/numlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const int n = 2 << (in.byte() % 12);  // 2 ... 8192
    const int m = 1 + static_cast<int>(in.u32() % static_cast<uint32_t>(n));
    std::vector<float> signal(n), response(n), result(2 * n), scratch(2 * n);
    const bool bounded = in.byte() & 1;
    for (float& x : signal) x = bounded ? in.ranged_float(-1.0f, 1.0f) : in.any_float();
    for (int i = 0; i < m; ++i) response[i] = bounded ? in.ranged_float(-1.0f, 1.0f) : in.any_float();
    const std::vector<float> before = signal;
    const num_status s =
        num_convlv(one_based(signal.data(), n), n, one_based(response.data(), n), m, 1.0f,
                   one_based(result.data(), 2 * n), one_based(scratch.data(), 2 * n));
    fuzz_check(s.ok(), "a convolution is never refused");
    fuzz_check(std::memcmp(before.data(), signal.data(), 4 * before.size()) == 0,
               "the signal is not changed");
    return 0;
}
