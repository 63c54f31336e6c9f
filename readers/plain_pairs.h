// Plain pair files: whitespace-separated numbers read two at a time as
// (bias, current) with the C library's "%f%f", no header, no units.
#ifndef READERS_PLAIN_PAIRS_H
#define READERS_PLAIN_PAIRS_H

#include <cstdio>

namespace sts {

// Reads pairs into bias and current until one fails, at most limit of them.
// *n is the number read; *more is set when a further complete pair follows
// the limit; *read_error when the stream reported an error.  The C
// library's own "%f" decides what a number is and where it ends, so every
// spelling it accepts (exponents, hex, inf, nan) reads the same here as in
// every tool.
void read_pairs(std::FILE* in, float* bias, float* current, int limit, int* n, bool* more,
                bool* read_error);

// Whether the first token of the file, read from its start, is not a number
// (a header line, most likely).  Moves the file's position.
bool starts_with_text(std::FILE* in);

}  // namespace sts

#endif
