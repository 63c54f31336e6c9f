#include "fourier/drift_correction.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <thread>

#include "fourier/bilinear.h"


namespace sts {

namespace {

using complex = std::complex<double>;

std::vector<double> gaussian(double sigma_pixels, size_t n) {
    // Three standard deviations, at most the map's size (a longer one adds
    // nothing); below a millionth of a pixel, the pixel alone.
    if (!(sigma_pixels > 1e-6)) return {1.0};
    const long radius = static_cast<long>(std::fmin(std::ceil(3.0 * sigma_pixels), static_cast<double>(n)));
    std::vector<double> k(static_cast<size_t>(2 * radius + 1));
    for (long i = -radius; i <= radius; ++i)
        k[static_cast<size_t>(i + radius)] =
            std::exp(-0.5 * static_cast<double>(i * i) / (sigma_pixels * sigma_pixels));
    return k;
}

// Convolution along one axis (stride 1 for rows, nx for columns), the
// kernel cut at the map's edge: the weights' sum changes the modulus
// only, never the phase.
void smooth_axis(std::vector<complex>& f, size_t n, size_t lines, size_t step, size_t line_step,
                 const std::vector<double>& kernel) {
    const long radius = static_cast<long>(kernel.size() / 2);
    std::vector<complex> line(n);
    for (size_t l = 0; l < lines; ++l) {
        complex* base = f.data() + l * line_step;
        for (size_t i = 0; i < n; ++i) line[i] = base[i * step];
        for (long i = 0; i < static_cast<long>(n); ++i) {
            complex sum = 0;
            const long from = std::max(-radius, -i), to = std::min(radius, static_cast<long>(n) - 1 - i);
            for (long k = from; k <= to; ++k)
                sum += kernel[static_cast<size_t>(k + radius)] * line[static_cast<size_t>(i + k)];
            base[static_cast<size_t>(i) * step] = sum;
        }
    }
}

double wrapped(double d) { return d - 2.0 * std::numbers::pi * std::round(d / (2.0 * std::numbers::pi)); }

// Path-following unwrapping: the middle row outwards from its middle,
// then every column outwards from that row; zero mean at the end.
void unwrap(std::vector<double>& p, size_t nx, size_t ny) {
    const size_t cx = nx / 2, cy = ny / 2;
    auto at = [&](size_t x, size_t y) -> double& { return p[y * nx + x]; };
    for (size_t x = cx + 1; x < nx; ++x) at(x, cy) = at(x - 1, cy) + wrapped(at(x, cy) - at(x - 1, cy));
    for (size_t x = cx; x-- > 0;) at(x, cy) = at(x + 1, cy) + wrapped(at(x, cy) - at(x + 1, cy));
    for (size_t x = 0; x < nx; ++x) {
        for (size_t y = cy + 1; y < ny; ++y) at(x, y) = at(x, y - 1) + wrapped(at(x, y) - at(x, y - 1));
        for (size_t y = cy; y-- > 0;) at(x, y) = at(x, y + 1) + wrapped(at(x, y) - at(x, y + 1));
    }
    double mean = 0;
    for (double v : p) mean += v;
    mean /= static_cast<double>(p.size());
    for (double& v : p) v -= mean;
}

// The unwrapped local phase theta(r) for one Bragg vector.
std::vector<double> local_phase(const std::vector<double>& t, size_t nx, size_t ny, double dx,
                                double dy, bragg_vector q, double lambda) {
    std::vector<complex> f(nx * ny);
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = 0; x < nx; ++x) {
            const double phase = q.qx * static_cast<double>(x) * dx + q.qy * static_cast<double>(y) * dy;
            f[y * nx + x] = t[y * nx + x] * std::polar(1.0, -phase);
        }
    smooth_axis(f, nx, ny, 1, nx, gaussian(lambda / dx, nx));
    smooth_axis(f, ny, nx, nx, 1, gaussian(lambda / dy, ny));
    std::vector<double> theta(nx * ny);
    for (size_t i = 0; i < f.size(); ++i) theta[i] = std::arg(f[i]);
    unwrap(theta, nx, ny);
    return theta;
}

}  // namespace

double default_drift_lambda(bragg_vector q1, bragg_vector q2) {
    std::string problem;
    const lattice_geometry g = lattice_from_bragg(q1, q2, problem);
    return problem.empty() ? 3.0 * std::max(g.a1, g.a2) : 0.0;
}

std::string drift_field_of(const float* topography, size_t nx, size_t ny, double dx, double dy,
                           bragg_vector q1, bragg_vector q2, double lambda, drift_field& out) {
    if (nx == 0 || ny == 0 || nx > (size_t{1} << 20) || ny > (size_t{1} << 20))
        return "the topography has no pixels, or too many";
    if (!(std::isfinite(dx) && dx > 0 && std::isfinite(dy) && dy > 0))
        return "the pixel spacing must be positive and finite";
    std::string problem;
    lattice_from_bragg(q1, q2, problem);
    if (!problem.empty()) return problem;
    if (lambda == 0) lambda = default_drift_lambda(q1, q2);
    if (!(std::isfinite(lambda) && lambda > 0)) return "the averaging length must be positive";
    double sum = 0;
    size_t finite = 0;
    for (size_t i = 0; i < nx * ny; ++i)
        if (std::isfinite(topography[i])) sum += topography[i], ++finite;
    if (finite == 0) return "the topography has no finite pixel";
    const double mean = sum / static_cast<double>(finite);
    std::vector<double> t(nx * ny);
    for (size_t i = 0; i < nx * ny; ++i)
        t[i] = std::isfinite(topography[i]) ? topography[i] - mean : 0.0;
    // The two phases apart from each other, the second on a thread of its own.
    std::vector<double> theta2;
    std::thread second([&] { theta2 = local_phase(t, nx, ny, dx, dy, q2, lambda); });
    const std::vector<double> theta1 = local_phase(t, nx, ny, dx, dy, q1, lambda);
    second.join();
    // [Q1; Q2] u = -[theta1; theta2], by Cramer's rule.
    const double det = q1.qx * q2.qy - q1.qy * q2.qx;
    out = drift_field{nx, ny, dx, dy, lambda, std::vector<float>(nx * ny), std::vector<float>(nx * ny)};
    for (size_t i = 0; i < nx * ny; ++i) {
        const double b1 = -theta1[i], b2 = -theta2[i];
        out.ux[i] = static_cast<float>((b1 * q2.qy - q1.qy * b2) / det);
        out.uy[i] = static_cast<float>((q1.qx * b2 - b1 * q2.qx) / det);
    }
    return "";
}

std::string drift_resampler::make(const drift_field& field) {
    points_.clear();
    const size_t n = field.nx * field.ny;
    if (n == 0 || field.ux.size() != n || field.uy.size() != n || !(field.dx > 0 && field.dy > 0))
        return "the displacement field does not fit its size";
    if (n > UINT32_MAX) return "the map is too large";
    right_ = field.nx > 1 ? 1 : 0;
    down_ = field.ny > 1 ? static_cast<uint32_t>(field.nx) : 0;
    points_.resize(n);
    for (size_t y = 0; y < field.ny; ++y)
        for (size_t x = 0; x < field.nx; ++x) {
            const size_t at = y * field.nx + x;
            point& p = points_[at];
            size_t i = 0, j = 0;
            p.inside = bilinear_cell(field.nx, field.ny,
                                     static_cast<double>(x) + field.ux[at] / field.dx,
                                     static_cast<double>(y) + field.uy[at] / field.dy, i, j, p.tx, p.ty);
            p.corner = static_cast<uint32_t>(j * field.nx + i);
        }
    return "";
}

void drift_resampler::correct(const float* map, float* out) const {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (size_t at = 0; at < points_.size(); ++at) {
        const point& p = points_[at];
        if (!p.inside) {
            out[at] = nan;
            continue;
        }
        // bilinear_at's weights, and bilinear_read's sums over those not
        // zero, in the same order.
        const double weight[4] = {(1 - p.tx) * (1 - p.ty), p.tx * (1 - p.ty), (1 - p.tx) * p.ty,
                                  p.tx * p.ty};
        const uint32_t pixel[4] = {p.corner, p.corner + right_, p.corner + down_,
                                   p.corner + down_ + right_};
        double total = 0, sum = 0;
        for (int k = 0; k < 4; ++k)
            if (weight[k] != 0) {
                total += weight[k];
                sum += weight[k] * map[pixel[k]];
            }
        out[at] = total > 0 ? static_cast<float>(sum / total) : nan;
    }
}

std::string drift_correct(const drift_field& field, const float* maps, size_t nslices,
                          unsigned threads, float* out) {
    drift_resampler resampler;
    if (std::string why = resampler.make(field); !why.empty()) return why;
    const size_t n = field.nx * field.ny;
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(nslices, 1)));
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t k; (k = next++) < nslices;) resampler.correct(maps + k * n, out + k * n);
    };
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (auto& th : pool) th.join();
    return "";
}

}  // namespace sts
