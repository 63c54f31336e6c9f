// Spline coefficients and evaluation on strictly ascending tables with
// arbitrary ordinates and evaluation points: every interval has a width, so
// the evaluation must never be refused.
#include <cmath>

#include "fuzz/fuzz_input.h"
#include "numlib/numlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const int n = 2 + in.byte() % 200;
    std::vector<float> x(n), y(n), d2(n);
    x[0] = in.ranged_float(-100.0f, 100.0f);
    for (int i = 1; i < n; ++i) x[i] = x[i - 1] + in.ranged_float(1e-3f, 10.0f);
    for (int i = 0; i < n; ++i) y[i] = in.byte() & 1 ? in.any_float() : in.ranged_float(-1e3f, 1e3f);
    const float first = in.byte() & 1 ? 1e30f : in.ranged_float(-10.0f, 10.0f);
    const float last = in.byte() & 1 ? 1e30f : in.ranged_float(-10.0f, 10.0f);
    spline_coeffs(one_based(x.data(), n), one_based(y.data(), n), n, first, last,
                  one_based(d2.data(), n));
    bool finite = true;
    for (int i = 0; i < n; ++i) finite = finite && std::isfinite(y[i]) && std::isfinite(d2[i]);
    while (!in.empty()) {
        const float t = in.byte() & 1 ? in.any_float() : x[in.byte() % n];
        float value = 0.0f;
        const num_status s = num_splint(one_based(x.data(), n), one_based(y.data(), n),
                                        one_based(d2.data(), n), n, t, &value);
        fuzz_check(s.ok(), "an ascending table is never refused");
        if (finite && t == x[0]) fuzz_check(value == y[0], "a knot gives its ordinate");
    }
    return 0;
}
