// Two spectra computed in step against each computed alone, on arbitrary
// values: biases on a grid of steps or anywhere (repeats, NaNs, infinities
// and subnormals included), the second spectrum's biases the first's in
// another order or its own.  The reports and every array must agree bit
// for bit.
#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "spectrum/spectrum.h"

namespace {

constexpr int capacity = 300;

struct spectrum {
    std::vector<float> bias, current;
};

spectrum read_spectrum(fuzz_input* in, int n) {
    spectrum s;
    const bool swept = in->byte() & 1;
    const float start = in->ranged_float(-2.0f, 0.5f);
    const float step = in->ranged_float(1e-4f, 0.05f);
    for (int j = 0; j < n; ++j) {
        const uint8_t kind = in->byte();
        s.bias.push_back(swept && kind % 8 != 0 ? start + step * static_cast<float>(j)
                                                : in->any_float());
        s.current.push_back(kind & 0x10 ? in->any_float() : in->ranged_float(-50.0f, 50.0f));
    }
    return s;
}

struct computation {
    spectrum_workspace w;
    spectrum_arrays a;
    spectrum_report r;
    int load(const spectrum& s) {
        std::copy(s.bias.begin(), s.bias.end(), a.bias.begin());
        std::copy(s.current.begin(), s.current.end(), a.current.begin());
        return static_cast<int>(s.bias.size());
    }
};

bool same(const std::vector<float>& x, const std::vector<float>& y) {
    return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * sizeof(float)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const int n0 = 1 + static_cast<int>(in.u32() % capacity);
    spectrum s[2];
    s[0] = read_spectrum(&in, n0);
    const uint8_t how = in.byte();
    if (how % 3 == 0) {  // one axis, another order, other currents
        s[1] = s[0];
        for (size_t j = 0; j + 1 < s[1].bias.size(); ++j)
            if (in.byte() & 1) {
                std::swap(s[1].bias[j], s[1].bias[j + 1]);
                std::swap(s[1].current[j], s[1].current[j + 1]);
            }
        for (float& c : s[1].current) c = in.ranged_float(-50.0f, 50.0f);
    } else {
        s[1] = read_spectrum(&in, 1 + static_cast<int>(in.u32() % capacity));
    }
    static computation alone[2], pair[2];
    static bool reserved = false;
    if (!reserved) {
        for (computation* c : {&alone[0], &alone[1], &pair[0], &pair[1]})
            fuzz_check(reserve_workspace(&c->w, capacity) && reserve_arrays(&c->a, capacity) &&
                           keep_divisors(&c->a),
                       "workspace");
        reserved = true;
    }
    const norm_options o;
    int n_read[2];
    for (int k = 0; k < 2; ++k) {
        alone[k].r = compute_spectrum(alone[k].load(s[k]), o, &alone[k].w, &alone[k].a);
        n_read[k] = pair[k].load(s[k]);
    }
    spectrum_workspace* w[2] = {&pair[0].w, &pair[1].w};
    spectrum_arrays* a[2] = {&pair[0].a, &pair[1].a};
    spectrum_report r[2];
    compute_spectra_in_step(n_read, o, w, a, r);
    for (int k = 0; k < 2; ++k) {
        const spectrum_report& e = alone[k].r;
        fuzz_check(e.status == r[k].status && e.reached == r[k].reached &&
                       e.failure == r[k].failure && e.n == r[k].n && e.merged == r[k].merged &&
                       e.causes == r[k].causes,
                   "the same report in step as alone");
        const spectrum_arrays& x = alone[k].a;
        const spectrum_arrays& y = pair[k].a;
        fuzz_check(same(x.bias, y.bias) && same(x.current, y.current) &&
                       same(x.iv_raw, y.iv_raw) && same(x.iv_exp, y.iv_exp) &&
                       same(x.iv_coff, y.iv_coff) && same(x.vmid, y.vmid) &&
                       same(x.didv, y.didv) && same(x.norm_exp, y.norm_exp) &&
                       same(x.norm_coff, y.norm_coff) && same(x.norm_raw, y.norm_raw) &&
                       same(x.divisors, y.divisors),
                   "the same values in step as alone");
    }
    return 0;
}
