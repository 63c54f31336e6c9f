// Nanoseconds per value of three ways to write a float in "%f" form:
// snprintf, std::to_chars (fixed, 6) and format_fixed, on value sets like
// the tools write (biases and currents of a few magnitudes) and on random
// bit patterns.  A benchmark, not a test: the figures are ratios on a
// shared machine, timed by the thread's own processor time (time spent
// waiting for the processor does not count), best of five rounds.
#include <time.h>

#include <bit>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "output/fixed_format.h"

namespace {

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

template <typename Write>
double ns_per_value(const std::vector<float>& values, Write write) {
    std::vector<char> sink(values.size() * FIXED_TEXT_MAX + 1);  // + snprintf's NUL
    double best = 1e30;
    for (int round = 0; round < 5; ++round) {
        char* out = sink.data();
        const double start = thread_seconds();
        for (float v : values) out = write(out, v);
        const double spent = thread_seconds() - start;
        best = std::min(best, 1e9 * spent / static_cast<double>(values.size()));
        if (out == sink.data()) std::puts("");  // keeps the writes alive
    }
    return best;
}

std::vector<float> drawn(const char* kind, std::size_t count) {
    std::mt19937 rng(1);
    std::vector<float> v(count);
    const std::string k = kind;
    for (float& x : v) {
        const double u = std::uniform_real_distribution<double>(-1.0, 1.0)(rng);
        if (k == "bias [-1, 1) V") x = static_cast<float>(u);
        if (k == "dI/dV [-1e3, 1e3)") x = static_cast<float>(1e3 * u);
        if (k == "current ~1e-9 A") x = static_cast<float>(1e-9 * u);
        if (k == "random bit patterns") x = std::bit_cast<float>(static_cast<uint32_t>(rng()));
    }
    return v;
}

}  // namespace

int main() {
    const std::size_t count = 2000000;
    std::printf("%-22s %10s %10s %13s %9s\n", "values", "snprintf", "to_chars", "format_fixed",
                "speed-up");
    for (const char* kind :
         {"bias [-1, 1) V", "dI/dV [-1e3, 1e3)", "current ~1e-9 A", "random bit patterns"}) {
        const std::vector<float> values = drawn(kind, count);
        const double t_printf = ns_per_value(values, [](char* out, float v) {
            return out + std::snprintf(out, FIXED_TEXT_MAX + 1, "%f", static_cast<double>(v));
        });
        const double t_to_chars = ns_per_value(values, format_fixed_to_chars);
        const double t_fixed = ns_per_value(values, format_fixed);
        std::printf("%-22s %8.1f ns %8.1f ns %11.1f ns %8.1fx\n", kind, t_printf, t_to_chars, t_fixed,
                    t_printf / t_fixed);
    }
    return 0;
}
