// The paired sort on arbitrary floats: a permutation of the pairs, in order.
#include <algorithm>
#include <cmath>

#include "fuzz/fuzz_input.h"
#include "numlib/numlib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_input in{data, size};
    const int n = static_cast<int>(size / 4);
    std::vector<float> keys(n), carried(n);
    std::vector<uint64_t> before;
    for (int i = 0; i < n; ++i) {
        keys[i] = in.any_float();
        carried[i] = static_cast<float>(i);
        uint32_t bits;
        std::memcpy(&bits, &keys[i], 4);
        before.push_back((uint64_t(bits) << 32) | uint32_t(i));
    }
    heap_sort2(n, one_based(keys.data(), n), one_based(carried.data(), n));
    std::vector<uint64_t> after;
    bool any_nan = false;
    for (int i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &keys[i], 4);
        after.push_back((uint64_t(bits) << 32) | uint32_t(carried[i]));
        any_nan = any_nan || std::isnan(keys[i]);
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    fuzz_check(before == after, "every key stays with its value, none lost or doubled");
    if (!any_nan)
        for (int i = 1; i < n; ++i) fuzz_check(keys[i - 1] <= keys[i], "ascending");
    return 0;
}
