// Point statistics over a series, each step stored as a float.
#include <cmath>

#include "numlib/extended.h"
#include "spectrum/spectrum.h"

float stats_add(float sum, float value) { return add_floats(sum, value); }

float stats_mean(float sum, int count) { return static_cast<float>(xf(sum) / count); }

float stats_add_square(float squares, float value, float mean) {
    const float deviation = subtract_floats(value, mean);
    const float square = multiply_floats(deviation, deviation);
    return add_floats(squares, square);
}

point_stats stats_finish(float mean, float squares, int count) {
    point_stats s{};
    s.mean = mean;
    const float variance = static_cast<float>(xf(squares) / (count - 1));
    s.deviation = static_cast<float>(xf_sqrt(xf(variance)));

    // The standard error of the mean.
    const double divisor = std::sqrt(static_cast<double>(count));
    s.error = static_cast<float>(xf(s.deviation) / divisor);
    s.twice_error = static_cast<float>(xf(2) * s.error);
    s.percentage = s.mean != 0.0f ? static_cast<float>((xf(s.twice_error) / s.mean) * xf(100))
                                  : s.mean;
    return s;
}

point_stats compute_stats(const float* values, int count) {
    float sum = 0.0f;
    for (int k = 0; k < count; ++k) sum = stats_add(sum, values[k]);
    const float mean = stats_mean(sum, count);
    float squares = 0.0f;
    for (int k = 0; k < count; ++k) squares = stats_add_square(squares, values[k], mean);
    return stats_finish(mean, squares, count);
}
