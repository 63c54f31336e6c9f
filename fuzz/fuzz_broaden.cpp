// The exponential broadening on random spectra: ascending biases with
// steps that keep the extrapolation anchors apart, arbitrary I/V values.
// A refusal comes back as a status and must leave the curve as it was.
#include "fuzz/fuzz_input.h"
#include "normspec/normspec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const int n = 3 + static_cast<int>(in.u32() % (MAX_POINTS - 2));
    std::vector<float> bias(n), iv(n);
    bias[0] = in.ranged_float(-10.0f, 10.0f);
    const bool even = in.byte() & 1;
    const float step = in.ranged_float(1e-3f, 0.1f);
    for (int i = 1; i < n; ++i) bias[i] = bias[i - 1] + (even ? step : in.ranged_float(1e-3f, 0.1f));
    for (int i = 0; i < n; ++i) {
        if (in.empty())
            iv[i] = iv[i > 0 ? i - 1 : 0];
        else
            iv[i] = in.byte() & 1 ? in.any_float() : in.ranged_float(-100.0f, 100.0f);
    }
    spectrum_workspace w;
    if (!reserve_workspace(&w, n)) return 0;
    const std::vector<float> before = iv;
    const num_status s = broaden_exp(bias.data(), iv.data(), 1.33f, n, &w);
    if (!s.ok())
        fuzz_check(std::memcmp(before.data(), iv.data(), 4 * before.size()) == 0,
                   "a refused curve is not changed");
    return 0;
}
