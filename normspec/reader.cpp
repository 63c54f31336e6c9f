// Reading spectrum files and owning the working arrays.
#include <new>

#include "normspec.h"

bool allocate_working_arrays(working_arrays* w) {
    try {
        for (std::vector<float>* array : {&w->bias, &w->current, &w->iv, &w->iv_raw, &w->iv_coff,
                                          &w->didv, &w->vmid, &w->didv_save})
            array->assign(MAX_POINTS, 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

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
