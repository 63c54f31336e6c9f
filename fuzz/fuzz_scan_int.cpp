// The "%d"-style prompt reader against strtoll on the same text.
#include <cctype>
#include <cerrno>
#include <climits>
#include <string>

#include "fuzz/fuzz_input.h"
#include "console/console_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    int value = 12345;
    const sts::scan_status status = sts::scan_int(in, &value);
    std::fclose(in);

    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    size_t j = i;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    const bool digits = j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]));
    if (!digits) {
        fuzz_check(status == sts::scan_status::no_number && value == 12345, "no digits, no number");
        return 0;
    }
    size_t end = j;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    errno = 0;
    const long long expected = std::strtoll(text.substr(i, end - i).c_str(), nullptr, 10);
    const bool in_range = errno == 0 && expected >= INT_MIN && expected <= INT_MAX;
    if (in_range)
        fuzz_check(status == sts::scan_status::ok && value == expected, "same value as strtoll");
    else
        fuzz_check(status == sts::scan_status::out_of_range && value == 12345, "out of range");
    return 0;
}
