// pointmean: point-by-point statistics over a numbered series of spectra.
#ifndef POINTMEAN_POINTMEAN_H
#define POINTMEAN_POINTMEAN_H

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "spectrum/spectrum.h"

class row_writer;

// What a spectrum file's reads have left behind: where the next read of the
// file starts, and the last values its own reads stored into x and into y.
struct file_state {
    off_t position = 0;
    bool has_x = false;
    bool has_y = false;
    float x = 0.0f;
    float y = 0.0f;
};

// One "%f%f" read from in where it stands.  x and y are the current pair:
// they take the file's own last values where its reads have stored any,
// and keep what they hold otherwise.
void read_pair(std::FILE* in, file_state* state, float* x, float* y);

// The same read of a file opened anew as in: from state->position on, which
// it then moves past what the read took.
void read_next_pair(std::FILE* in, file_state* state, float* x, float* y);

// The input series stxt<k>p.txt, k = 1 ... M.  A file stays open from point
// to point while the open-file limit allows (kept); the others are opened
// for every point and read on from where their previous point stopped.
// Both read the same pairs as reading i pairs from the file's start for
// point i.
struct input_file {
    std::FILE* kept = nullptr;  // the open stream of a kept file
    bool seen = false;          // opened at least once
    file_state state;
};
struct input_series {
    std::vector<input_file> files;  // entry k - 1 for file k; grows as files are first read
    int keep_limit = 0;             // how many files may be kept
    int kept = 0;                   // how many are
};

// The name of input file k: "stxt", the decimal k, "p.txt".
std::string input_name(int k);

// How many input files of a series of count may stay open: raises the soft
// open-file limit towards count plus a reserve (the standard streams, the
// two output files, one re-opened input, and room for the C library) where
// the hard limit allows, and leaves that reserve free.  0 when the limit
// cannot be read.
int input_keep_limit(int count);

// The next pair of file k (1-based) into x and y, opening the file if it is
// not kept (and keeping it at its first opening while there is room).
// Files 1 ... k - 1 must exist in series->files.  False when the file cannot
// be opened: errno tells why.  Throws std::bad_alloc when the table of
// files cannot grow.
bool read_input_pair(input_series* series, int k, float* x, float* y);

// Opens name for writing through out; when the process has run out of file
// descriptors, kept input files are given back one at a time (they are
// re-opened from then on) and the opening is tried again.  False when it
// cannot be opened.
bool open_output(input_series* series, row_writer* out, const char* name);

// Closes every kept file.
void close_inputs(input_series* series);

#endif
