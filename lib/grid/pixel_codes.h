// The codes of a pixel's status, in one table: the value the file stores,
// the word its flag_meanings lists (CF flags) and the phrase the closing
// summary says.  The writer, the summary and stsview all read this table.
#ifndef GRID_PIXEL_CODES_H
#define GRID_PIXEL_CODES_H

#include <string>

namespace sts {

// Pixel codes of the status variable; 0 is a processed pixel.
enum pixel_code : signed char {
    PIXEL_PROCESSED = 0,
    PIXEL_TOO_FEW_POINTS = 1,    // fewer than 2 distinct bias values
    PIXEL_TWO_POINTS = 2,        // exactly 2: the broadening needs three
    PIXEL_ROUTINE_FAILURE = 3,   // a numerical routine refused the spectrum
    PIXEL_TOO_MANY_POINTS = 4,   // more than 10000 points
    PIXEL_NOT_MEASURED = 5,      // every value missing (NaN), never measured
    PIXEL_MISSING = 6,           // not in the file (an interrupted grid)
    PIXEL_UNREADABLE = 7,        // the bytes could not be read
    PIXEL_PARTLY_MEASURED = 8,   // some currents missing (NaN): a sweep cut short
    PIXEL_LOCKIN_FAILED = 9,     // the lock-in channel could not be calibrated
                                 // (only with --didv-channel; the numerical
                                 // curves are written, the lock-in's are NaN)
    PIXEL_LOCKIN_POOR_FIT = 10,  // --lockin-fit=pixel: the pixel's line has R^2
                                 // below --lockin-min-r2 (its values are written)
};
constexpr int PIXEL_CODES = 11;
// The codes a run without a lock-in channel can give (and its file lists).
constexpr int PIXEL_CODES_WITHOUT_LOCKIN = 9;

struct pixel_code_entry {
    pixel_code code;
    const char* flag;     // in the file's flag_meanings: "not_measured"
    const char* message;  // in the summary: "all values missing"
};

// The entry of code, or nullptr for a value outside the table.
const pixel_code_entry* find_pixel_code(int code);

// The file's flag_meanings for codes 0 .. count - 1, blank-separated.
std::string pixel_flag_meanings(int count);

// The summary's phrase for a code ("unknown" outside the table).
const char* describe_code(int code);

}  // namespace sts

#endif
