// Turning fuzzer bytes into the values a target needs.
#ifndef FUZZ_FUZZ_INPUT_H
#define FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

struct fuzz_input {
    const uint8_t* data;
    size_t size;
    size_t used = 0;

    bool empty() const { return used >= size; }
    uint8_t byte() { return used < size ? data[used++] : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    // Any float, NaNs and infinities included.
    float any_float() {
        const uint32_t bits = u32();
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A float in [lo, hi].
    float ranged_float(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(u32() % 1000001u) / 1000000.0f;
    }
};

inline void fuzz_check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

#endif
