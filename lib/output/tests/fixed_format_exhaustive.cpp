// Compares format_fixed with the C library's snprintf("%f") for every one
// of the 2^32 float bit patterns (or a range of them) and reports every
// difference.  Not part of the test suite: a full run takes many minutes.
//
//   fixed_format_exhaustive [threads [first last]]    (bit patterns, hex or decimal)
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/fixed_format.h"

namespace {

struct tally {
    uint64_t compared = 0;
    uint64_t differing = 0;
};

std::mutex report_lock;

void report(uint32_t bits, const char* expected, const std::string& got) {
    std::lock_guard<std::mutex> hold(report_lock);
    std::printf("DIFFERENCE at 0x%08" PRIx32 ": printf \"%s\", format_fixed \"%s\"\n", bits,
                expected, got.c_str());
}

// Checks the patterns first, first + stride, ... up to last.
tally check(uint64_t first, uint64_t last, uint64_t stride) {
    tally t;
    char expected[64];
    char got[FIXED_TEXT_MAX];
    for (uint64_t b = first; b <= last; b += stride) {
        const uint32_t bits = static_cast<uint32_t>(b);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        const int length = std::snprintf(expected, sizeof expected, "%f", static_cast<double>(value));
        const char* end = format_fixed(got, value);
        ++t.compared;
        if (end - got != length || std::memcmp(got, expected, static_cast<size_t>(length)) != 0) {
            if (++t.differing <= 20) report(bits, expected, std::string(got, static_cast<size_t>(end - got)));
        }
    }
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned threads = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 0)) : 1;
    const uint64_t first = argc > 3 ? std::strtoull(argv[2], nullptr, 0) : 0;
    const uint64_t last = argc > 3 ? std::strtoull(argv[3], nullptr, 0) : 0xffffffffu;
    if (threads < 1 || first > last || last > 0xffffffffu) {
        std::fprintf(stderr, "usage: %s [threads [first last]]\n", argv[0]);
        return 2;
    }
    std::vector<tally> results(threads);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            if (first + t <= last) results[t] = check(first + t, last, threads);
        });
    for (auto& w : workers) w.join();
    tally total;
    for (const tally& r : results) {
        total.compared += r.compared;
        total.differing += r.differing;
    }
    std::printf("compared %" PRIu64 " bit patterns 0x%08" PRIx64 "..0x%08" PRIx64
                " with snprintf(\"%%f\"): %" PRIu64 " differences\n",
                total.compared, first, last, total.differing);
    return total.differing == 0 ? 0 : 1;
}
