// "%d"-style integer input at a prompt.
#include "console/console_input.h"

#include <cctype>
#include <climits>

namespace sts {

scan_status scan_int(std::FILE* in, int* value) {
    int c = std::getc(in);
    while (c != EOF && std::isspace(static_cast<unsigned char>(c))) c = std::getc(in);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = std::getc(in);
    }
    if (c == EOF || !std::isdigit(static_cast<unsigned char>(c))) {
        if (c != EOF) std::ungetc(c, in);
        return scan_status::no_number;
    }
    // Accumulate the magnitude, remembering overflow but still consuming
    // every digit so that the next read starts after the number.
    long long magnitude = 0;
    bool overflow = false;
    while (c != EOF && std::isdigit(static_cast<unsigned char>(c))) {
        if (!overflow) {
            magnitude = magnitude * 10 + (c - '0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1) overflow = true;
        }
        c = std::getc(in);
    }
    if (c != EOF) std::ungetc(c, in);
    const long long signed_value = negative ? -magnitude : magnitude;
    if (overflow || signed_value > INT_MAX || signed_value < INT_MIN)
        return scan_status::out_of_range;
    *value = static_cast<int>(signed_value);
    return scan_status::ok;
}

}  // namespace sts
