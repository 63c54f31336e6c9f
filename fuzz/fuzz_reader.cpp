// The spectrum reader on arbitrary bytes: never past MAX_POINTS, and the
// same pairs as the C library's own "%f%f" loop.
#include "fuzz/fuzz_input.h"
#include "normspec/normspec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    static std::vector<float> bias(MAX_POINTS), current(MAX_POINTS);
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    int n = -1;
    bool more = false, read_error = false;
    read_spectrum(in, bias.data(), current.data(), &n, &more, &read_error);
    std::fclose(in);
    fuzz_check(n >= 0 && n <= MAX_POINTS, "count in range");
    fuzz_check(!more || n == MAX_POINTS, "more only after a full table");

    in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    float a, b;
    for (int k = 0; k < n; ++k) {
        fuzz_check(std::fscanf(in, "%f%f", &a, &b) == 2, "library reads as many pairs");
        fuzz_check(std::memcmp(&a, &bias[k], 4) == 0 && std::memcmp(&b, &current[k], 4) == 0,
                   "same values");
    }
    if (n < MAX_POINTS) fuzz_check(std::fscanf(in, "%f%f", &a, &b) != 2, "stops where it stops");
    std::fclose(in);
    return 0;
}
