// format_fixed against the C library's snprintf("%f") on every float the
// fuzzer's bytes spell, four bytes a value.
#include <string>

#include "output/fixed_format.h"
#include "fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    while (!in.empty()) {
        const float value = in.any_float();
        char expected[64];
        const int length = std::snprintf(expected, sizeof expected, "%f", static_cast<double>(value));
        char got[FIXED_TEXT_MAX];
        const char* end = format_fixed(got, value);
        fuzz_check(end - got == length && std::memcmp(got, expected, static_cast<size_t>(length)) == 0,
                   "format_fixed writes what printf writes");
    }
    return 0;
}
