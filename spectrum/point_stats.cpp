// Point statistics over a series, each step stored as a float.
#include <cmath>

#include "extended.h"
#include "spectrum.h"

point_stats compute_stats(const float* values, int count) {
    point_stats s{};
    float sum = 0.0f;
    for (int k = 0; k < count; ++k) sum = static_cast<float>(xf(sum) + values[k]);
    s.mean = static_cast<float>(xf(sum) / count);

    float squares = 0.0f;
    for (int k = 0; k < count; ++k) {
        const float deviation = static_cast<float>(xf(values[k]) - s.mean);
        const float square = static_cast<float>(xf(deviation) * deviation);
        squares = static_cast<float>(xf(squares) + square);
    }
    const float variance = static_cast<float>(xf(squares) / (count - 1));
    s.deviation = static_cast<float>(std::sqrt(xf(variance)));

    // The standard error of the mean.
    const double divisor = std::sqrt(static_cast<double>(count));
    s.error = static_cast<float>(xf(s.deviation) / divisor);
    s.twice_error = static_cast<float>(2.0L * s.error);
    s.percentage = s.mean != 0.0f ? static_cast<float>((xf(s.twice_error) / s.mean) * 100.0L)
                                  : s.mean;
    return s;
}
