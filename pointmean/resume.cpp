// Reading a spectrum file on from where its previous read stopped.
#include "pointmean/pointmean.h"

void read_pair(std::FILE* in, file_state* state, float* x, float* y) {
    float read_x = 0.0f;
    float read_y = 0.0f;
    const int stored = std::fscanf(in, "%f%f", &read_x, &read_y);
    if (stored >= 1) {
        state->has_x = true;
        state->x = read_x;
    }
    if (stored >= 2) {
        state->has_y = true;
        state->y = read_y;
    }
    if (state->has_x) *x = state->x;
    if (state->has_y) *y = state->y;
}

void read_next_pair(std::FILE* in, file_state* state, float* x, float* y) {
    // Reading on from where the previous point's reads of this file stopped
    // gives the same pair as reading the file again from its start.
    if (state->position != 0) fseeko(in, state->position, SEEK_SET);
    read_pair(in, state, x, y);
    const off_t position = ftello(in);
    if (position >= 0) state->position = position;
}
