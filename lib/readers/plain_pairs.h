// Plain files of (bias, current) number pairs, the files normspec and
// pointmean read: whitespace-separated numbers read two at a time with the
// C library's "%f%f", no header, no units.
#ifndef READERS_PLAIN_PAIRS_H
#define READERS_PLAIN_PAIRS_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// Reads pairs exactly as normspec does, with the C library's "%f%f" until a
// pair fails to parse (what follows is not read), and appends them as one
// spectrum, each value the float that "%f" gives.  The values are taken to
// be in the output units already: the file names none, and the options'
// units and channel do not apply.  false with *error when no pair reads or
// a direction other than forward is asked for.
bool read_plain_pairs(const std::string& path, std::string_view bytes, const import_options& o,
                      std::vector<imported_spectrum>* out, std::string* error);

// Reads pairs from an open file into bias and current until one fails, at
// most limit of them.  *n is the number read; *more is set when a further
// complete pair follows the limit; *read_error when the stream reported an
// error.  The C library's own "%f" decides what a number is and where it
// ends, so every spelling it accepts (exponents, hex, inf, nan) reads the
// same here as in every tool.
void read_pairs(std::FILE* in, float* bias, float* current, int limit, int* n, bool* more,
                bool* read_error);

// Whether the first token of the file, read from its start, is not a number
// (a header line, most likely).  Moves the file's position.
bool starts_with_text(std::FILE* in);

}  // namespace sts

#endif
