// exp_margin_check: why the exponential cannot change a stored float in
// practice, checked on the arguments the exponential broadening produces.
//
//     exp_margin_check [pairs [seed]]      (default 2000 pairs, seed 1)
//
// The broadening's weights are float(exp(x)) with x = i * (V0 - V1) / width
// evaluated in xf and stored as double (spectrum/broaden.cpp).  The C
// library's exp is not correctly rounded, but its error is below 1 ulp of
// double, and its result is rounded to float at once.  A float has 29 fewer
// significand bits than a double, so the boundaries between two floats (the
// midpoints where rounding to float changes direction) are 2^29 doubles
// apart; the exact exp(x) of a non-zero x is never on one (it is
// transcendental).  If the double y the library returns lies 2 or more
// double ulps from every such boundary, then every exp with an error below 1
// ulp returns a double on the same side, and so the same float: the last bit
// of the library's exp can matter only for arguments within 2 ulps of a
// boundary: 3 doubles in every 2^29, a fraction of about 6e-9 of all arguments.
// (A run over 200000 sweeps, 787 million arguments, found one: x =
// -0x1.1690ebae7d93bp-5, where the correctly rounded exp is itself a
// boundary, 0x1.eee1dfp-1; the C libraries of x86-64 and aarch64 both return
// it, so the stored weights agree there too.)
//
// For `pairs` random sweeps (first bias, spacing from 10 uV to 0.5 V,
// the default width 1.33 V or a random one) and every lag i up to 4999
// until the weight underflows, this counts the arguments whose exp lies
// within 2 double ulps of a float boundary, and prints a digest of all the
// float weights.  The same digest from two builds (another processor,
// another C library) means the same stored weights on the whole sample;
// scripts/cross-check compares it across processors.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "numlib/extended.h"

namespace {

// splitmix64: the same numbers on every platform.
struct random_bits {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1), from 53 bits.
    double unit() { return static_cast<double>(next() >> 11) * 0x1p-53; }
};

// Distance of y from the nearest boundary between two floats, in ulps of y.
double boundary_distance(double y) {
    const float f = static_cast<float>(y);
    if (static_cast<double>(f) == y) return INFINITY;  // exact: no rounding at all
    const float g = std::nextafter(f, y > static_cast<double>(f) ? INFINITY : -INFINITY);
    const double boundary = (static_cast<double>(f) + static_cast<double>(g)) / 2;  // exact
    return std::fabs(y - boundary) / (std::nextafter(y, INFINITY) - y);
}

struct tally {
    std::uint64_t arguments = 0;
    std::uint64_t near = 0;
    double closest = INFINITY;
    std::uint64_t digest = 0xCBF29CE484222325ull;  // FNV-1a over the float bits
};

void sweep(float v0, float v1, float width, tally* t) {
    for (int i = 1; i <= 4999; ++i) {
        const double x = static_cast<double>(xf(i) * (xf(v0) - v1) / width);
        if (x < -105) break;  // far below the smallest float: the weight is 0
        const double y = std::exp(x);
        const float weight = static_cast<float>(y);
        std::uint32_t bits;
        std::memcpy(&bits, &weight, sizeof bits);
        for (int k = 0; k < 4; ++k) t->digest = (t->digest ^ ((bits >> (8 * k)) & 0xFFu)) * 0x100000001B3ull;
        const double d = boundary_distance(y);
        ++t->arguments;
        if (d < 2) ++t->near;
        if (d < t->closest) t->closest = d;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long pairs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    random_bits r{argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1};
    tally t;
    for (long p = 0; p < pairs; ++p) {
        const auto v0 = static_cast<float>(-5 + 10 * r.unit());
        const double spacing = 1e-5 * std::pow(5e4, r.unit());
        const auto v1 = static_cast<float>(static_cast<double>(v0) + spacing);
        const float width = r.next() % 4 != 0 ? 1.33f : static_cast<float>(0.01 * std::pow(1e3, r.unit()));
        if (!(v1 > v0)) continue;
        sweep(v0, v1, width, &t);
    }
    std::printf("exp: %" PRIu64 " arguments, %" PRIu64 " within 2 double ulps of a float boundary "
                "(closest %.3g ulps); float weights digest %016" PRIx64 "\n",
                t.arguments, t.near, t.closest, t.digest);
    return 0;
}
