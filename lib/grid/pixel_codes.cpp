// The table of pixel codes: see pixel_codes.h.
#include "grid/pixel_codes.h"

namespace sts {

namespace {

constexpr pixel_code_entry table[PIXEL_CODES] = {
    {.code = PIXEL_PROCESSED, .flag = "processed", .message = "processed"},
    {.code = PIXEL_TOO_FEW_POINTS, .flag = "too_few_points", .message = "fewer than 2 points"},
    {.code = PIXEL_TWO_POINTS, .flag = "two_points", .message = "exactly 2 points"},
    {.code = PIXEL_ROUTINE_FAILURE, .flag = "routine_failure",
     .message = "a numerical routine failed"},
    {.code = PIXEL_TOO_MANY_POINTS, .flag = "too_many_points", .message = "more than 10000 points"},
    {.code = PIXEL_NOT_MEASURED, .flag = "not_measured", .message = "all values missing"},
    {.code = PIXEL_MISSING, .flag = "missing", .message = "missing from the file"},
    {.code = PIXEL_UNREADABLE, .flag = "unreadable", .message = "unreadable"},
    {.code = PIXEL_PARTLY_MEASURED, .flag = "partly_measured", .message = "some values missing"},
    {.code = PIXEL_LOCKIN_FAILED, .flag = "lockin_fit_failed",
     .message = "lock-in channel not calibrated"},
    {.code = PIXEL_LOCKIN_POOR_FIT, .flag = "lockin_poor_fit",
     .message = "lock-in line fits poorly (R^2 below --lockin-min-r2)"},
};

}  // namespace

const pixel_code_entry* find_pixel_code(int code) {
    return code >= 0 && code < PIXEL_CODES && table[code].code == code ? &table[code] : nullptr;
}

std::string pixel_flag_meanings(int count) {
    std::string words;
    for (int c = 0; c < count && c < PIXEL_CODES; ++c)
        words += (c ? " " : "") + std::string(table[c].flag);
    return words;
}

const char* describe_code(int code) {
    const pixel_code_entry* e = find_pixel_code(code);
    return e ? e->message : "unknown";
}

}  // namespace sts
