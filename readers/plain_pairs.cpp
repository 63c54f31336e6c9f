// Reading plain pair files exactly as the C library's "%f%f" reads them.
#include "readers/plain_pairs.h"

namespace sts {

void read_pairs(std::FILE* in, float* bias, float* current, int limit, int* n, bool* more,
                bool* read_error) {
    int count = 0;
    float v = 0.0f, i = 0.0f;
    while (count < limit && std::fscanf(in, "%f%f", &v, &i) == 2) {
        bias[count] = v;
        current[count] = i;
        ++count;
    }
    *n = count;
    *more = count == limit && std::fscanf(in, "%f%f", &v, &i) == 2;
    *read_error = std::ferror(in) != 0;
}

bool starts_with_text(std::FILE* in) {
    std::rewind(in);
    float v = 0.0f;
    return std::fscanf(in, "%f", &v) == 0;
}

}  // namespace sts
