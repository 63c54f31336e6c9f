// The software extended type against the x87 unit (clang on x86-64): two
// operands of any bits, every operation, compared bit for bit.
#include <cmath>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "numlib/soft_extended.h"

namespace {

struct pair_bits {
    std::uint64_t significand;
    std::uint16_t sign_exponent;
};

pair_bits take(fuzz_input& in) {
    pair_bits p{};
    for (int i = 0; i < 8; ++i) p.significand = p.significand << 8 | in.byte();
    p.sign_exponent = static_cast<std::uint16_t>(in.byte() << 8 | in.byte());
    return p;
}

long double unit(pair_bits p) {
    unsigned char bytes[sizeof(long double)] = {};
    std::memcpy(bytes, &p.significand, 8);
    std::memcpy(bytes + 8, &p.sign_exponent, 2);
    long double v;
    std::memcpy(&v, bytes, sizeof v);
    return v;
}

void same(long double u, soft_extended s, const char* what) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &u, sizeof u);
    std::uint64_t significand;
    std::uint16_t sign_exponent;
    std::memcpy(&significand, bytes, 8);
    std::memcpy(&sign_exponent, bytes + 8, 2);
    fuzz_check(significand == s.significand() && sign_exponent == s.sign_exponent(), what);
}

template <typename T>
bool same_bits(T a, T b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const pair_bits pa = take(in);
    const pair_bits pb = take(in);
    const long double x = unit(pa), y = unit(pb);
    const soft_extended s = soft_extended::from_bits(pa.sign_exponent, pa.significand);
    const soft_extended t = soft_extended::from_bits(pb.sign_exponent, pb.significand);
    same(x + y, s + t, "add");
    same(x - y, s - t, "subtract");
    same(x * y, s * t, "multiply");
    same(x / y, s / t, "divide");
    same(std::sqrt(x), soft_sqrt(s), "sqrt");
    fuzz_check((x < y) == (s < t) && (x == y) == (s == t) && (x > y) == (s > t), "compare");
    fuzz_check(same_bits(static_cast<float>(x), static_cast<float>(s)), "to float");
    fuzz_check(same_bits(static_cast<double>(x), static_cast<double>(s)), "to double");
    const float f = in.any_float();
    same(static_cast<long double>(f), soft_extended(f), "from float");
    const std::uint64_t d_bits = pa.significand ^ pb.significand;
    double d;
    std::memcpy(&d, &d_bits, sizeof d);
    same(static_cast<long double>(d), soft_extended(d), "from double");
    const auto i = static_cast<std::int64_t>(pb.significand);
    same(static_cast<long double>(i), soft_extended(i), "from integer");
    return 0;
}
