// pointmean: point-by-point statistics over a numbered series of spectra.
#ifndef POINTMEAN_POINTMEAN_H
#define POINTMEAN_POINTMEAN_H

#include <sys/types.h>

#include <cstdio>

#include "spectrum.h"

// What a spectrum file's reads have left behind: where the next read of the
// file starts, and the last values its own reads stored into x and into y.
struct file_state {
    off_t position = 0;
    bool has_x = false;
    bool has_y = false;
    float x = 0.0f;
    float y = 0.0f;
};

// The next "%f%f" read of the file opened as in, from state->position.
// x and y are the current pair: they take the file's own last values where
// its reads have stored any, and keep what they hold otherwise.
void read_next_pair(std::FILE* in, file_state* state, float* x, float* y);

#endif
