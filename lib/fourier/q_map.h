// A centred Fourier map: zero frequency at index (ny/2, nx/2), as
// numpy.fft.fftshift places it, with its axes in nm^-1.
#ifndef FOURIER_Q_MAP_H
#define FOURIER_Q_MAP_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sts {

// q = 2 pi k / L for the frequency index k in [-N/2, N - N/2) and the
// scan's length L = N * step: angular wave numbers, so that a plane wave
// cos(q . r) peaks at q itself (attributes: units "nm-1", a note
// "q = 2 pi n / L, L = N * step").
std::vector<double> q_axis(size_t n, double step_nm);

struct q_map {
    size_t nx = 0, ny = 0;
    std::vector<float> values;     // ny * nx, row-major (qy rows, qx columns)
    std::vector<double> qx, qy;    // nm^-1, from q_axis
    size_t missing = 0;            // pixels of the map that were missing (NaN) and filled
    std::vector<uint8_t> filled;   // ny * nx real-space pixels: 1 where one was filled
    double dqx() const { return qx.size() > 1 ? qx[1] - qx[0] : 0.0; }
    double dqy() const { return qy.size() > 1 ? qy[1] - qy[0] : 0.0; }
};

}  // namespace sts

#endif
