// normspec: normalised differential conductance of STS spectra.
//
// The driver (main.cpp) reads each spectrum (reader.cpp), has the spectrum
// library compute it and writes the result files (result_files.cpp).
#ifndef NORMSPEC_NORMSPEC_H
#define NORMSPEC_NORMSPEC_H

#include <cstdio>
#include <string>

#include "spectrum/spectrum.h"

class row_writer;

// Switch bits.
constexpr int SW_LOOP = 0x01;
constexpr int SW_RAW = 0x02;
constexpr int SW_EXP = 0x04;
constexpr int SW_COFF = 0x08;
constexpr int SW_SUPPRESS = 0x10;
constexpr int SW_HELP = 0x80;

// Fills flags and count (the number of arguments taken as switches).
void parse_switches(int* flags, int* count, int argc, const char* const* argv);

// The program name shown in the help text's usage line.
std::string program_name(const char* argv0);
void print_help(const char* argv0);

// Reads pairs with "%f%f" into bias and current until one fails, at most
// MAX_POINTS of them.  *n is the number read; *more is set when a further
// complete pair follows; *read_error when the stream reported an error.
void read_spectrum(std::FILE* in, float* bias, float* current, int* n, bool* more,
                   bool* read_error);

// Writes the result files of a computed spectrum under the name base: those
// selected by flags, of every step that the computation completed, in the
// fixed order didv, iv, i, exp, coff, raw, each through out (the run's one
// buffered writer).  A file that cannot be opened or written ends the run
// with status 1 and a message on standard output.
void write_results(row_writer* out, const spectrum_arrays& a, const spectrum_report& r,
                   int flags, const std::string& base);

#endif
