// The instrument formats as one table of drivers, one row per format (as
// GDAL's and Gwyddion's file modules are): its name on the command line,
// how sure it is that some bytes are its own (identify), how it reads
// spectra, what it can give (directions, a lock-in channel, numbered
// sweeps, a grid), and the titles its messages use.  Detection asks every
// row and takes the best score; reading goes through the row of the format
// found.  A new format is one reader file and one row here (CONTRIBUTING).
#ifndef READERS_FORMAT_DRIVERS_H
#define READERS_FORMAT_DRIVERS_H

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readers/file_format.h"
#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

struct format_capabilities {
    bool directions = false;  // forward and backward sweeps (-d)
    bool lockin = false;      // a measured dI/dV channel beside the current (--didv-channel)
    bool sweeps = false;      // numbered sweeps, one picked (--sweep)
    bool grid = false;        // opens as a grid of pixels, read one by one (lib/grid)
    bool image = false;       // a scan image: no spectra (its own reader, nanonis_sxm.h)
};

// How sure a row is that bytes are of its format: 0 not at all; the best
// score wins, so a magic number outranks a guess from text.
enum identify_score : int {
    not_mine = 0,
    image_first_line = 1,  // an image's first line, where no spectrum format claims the bytes
    text_guess = 20,     // the shape of the first lines
    text_marker = 50,    // a marker line somewhere ("[DATA]")
    text_header = 60,    // a header of its own ("# ... Ramp value [")
    magic = 90,          // the file's first bytes
    signature = 100,     // a binary signature (looked at before any text)
};

struct format_driver {
    file_format format;
    const char* name;        // on the command line: "dat"
    const char* title;       // what a refusal is prefixed with: "Nanonis .dat"
    const char* text_title;  // a text format's name in "binary data, not ...", else nullptr
    const char* maker;       // what a reader's own messages name, so no prefix is added
    // The score of bytes (the whole file, or at least its first 4096 bytes).
    int (*identify)(std::string_view bytes);
    // Appends every spectrum of the bytes to *out (path as their source);
    // false with *error, *warning set on success for an incomplete file.
    bool (*read)(const std::string& path, std::string_view bytes, const import_options& o,
                 std::vector<imported_spectrum>* out, std::string* error, std::string* warning);
    format_capabilities can;
};

// Every row, in the order the command line lists the names (the images'
// last: the spectrum tools' -f takes none of them).
std::span<const format_driver> format_drivers();

// The row of f, or nullptr (automatic, unknown).
const format_driver* find_driver(file_format f);

// The row whose identify scores the bytes best, or nullptr when none does.
const format_driver* identify(std::string_view bytes);

// "auto, dat, 3ds, ..., sm4 or pairs": the names -f takes.
std::string format_names_phrase();

}  // namespace sts

#endif
