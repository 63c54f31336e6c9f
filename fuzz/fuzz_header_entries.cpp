// Header lines as (key, value) on arbitrary bytes: every entry has a key
// without white space at its ends, and no value is longer than the input.
#include <cctype>
#include <string>

#include "fuzz/fuzz_input.h"
#include "readers/header_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const auto f = data[0] % 2 ? sts::file_format::createc_vert : sts::file_format::nanonis_dat;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    for (const auto& [key, value] : sts::header_entries(f, bytes)) {
        fuzz_check(!key.empty(), "a key");
        fuzz_check(!std::isspace(static_cast<unsigned char>(key.front())) &&
                       !std::isspace(static_cast<unsigned char>(key.back())),
                   "keys trimmed");
        fuzz_check(key.size() + value.size() <= bytes.size(), "within the input");
    }
    return 0;
}
