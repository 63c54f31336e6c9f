// Reading spectrum files.
#include "normspec.h"

void read_spectrum(std::FILE* in, float* bias, float* current, int* n, bool* more,
                   bool* read_error) {
    // The C library's own "%f" decides what a number is and where it ends,
    // so every spelling it accepts (exponents, hex, inf, nan) reads the same.
    int count = 0;
    float v = 0.0f, i = 0.0f;
    while (count < MAX_POINTS && std::fscanf(in, "%f%f", &v, &i) == 2) {
        bias[count] = v;
        current[count] = i;
        ++count;
    }
    *n = count;
    *more = count == MAX_POINTS && std::fscanf(in, "%f%f", &v, &i) == 2;
    *read_error = std::ferror(in) != 0;
}

bool starts_with_text(std::FILE* in) {
    std::rewind(in);
    float v = 0.0f;
    return std::fscanf(in, "%f", &v) == 0;
}
