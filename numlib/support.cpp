// Support routines: the numerical error exit, index-ranged vectors and
// integer text.
#include "numlib/numlib.h"

#include <climits>
#include <cstdlib>

void num_error(const char* message) {
    std::fprintf(stderr, "Vantrel run-time error...\n");
    std::fprintf(stderr, "%s\n", message);
    std::fprintf(stderr, "...now exiting to system...\n");
    std::exit(1);
}

fvec vector(int lo, int hi) {
    if (hi < lo) return fvec{nullptr, lo, hi};
    // The element count is formed in 64 bits: hi - lo + 1 overflows int for
    // the widest ranges.
    const long long count = static_cast<long long>(hi) - lo + 1;
    void* block = std::malloc(static_cast<std::size_t>(count) * sizeof(float));
    if (block == nullptr) num_error(num_message(NUM_NO_MEMORY));
    return fvec{static_cast<float*>(block), lo, hi};
}

void vector_free(fvec v, int /*lo*/, int /*hi*/) { std::free(v.first); }

const char* int_text(int value) {
    static char text[256];
    // Work on the magnitude as unsigned, which holds that of INT_MIN too.
    unsigned int magnitude = value < 0 ? 0u - static_cast<unsigned int>(value)
                                       : static_cast<unsigned int>(value);
    int length = 0;
    do {
        text[length++] = static_cast<char>('0' + magnitude % 10u);
        magnitude /= 10u;
    } while (magnitude != 0u);
    if (value < 0) text[length++] = '-';
    text[length] = '\0';
    for (int i = 0, j = length - 1; i < j; ++i, --j) {
        const char c = text[i];
        text[i] = text[j];
        text[j] = c;
    }
    return text;
}
