#include "fourier/fft_map.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <thread>

#include "fourier/fft_plans.h"

namespace sts {

namespace {

std::vector<double> window_1d(size_t n, fft_window window) {
    std::vector<double> w(n, 1.0);
    if (window == fft_window::hann && n > 1)
        for (size_t i = 0; i < n; ++i)
            w[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) /
                                        static_cast<double>(n - 1));
    return w;
}

// Scratch of one thread, in FFTW's alignment: the windowed real map (rows
// padded to 2 (nx/2 + 1) floats) and, in the same place once transformed,
// its half spectrum.
struct scratch {
    fftwf_complex* half = nullptr;
    float* real = nullptr;
    scratch(size_t nx, size_t ny)
        : half(fftwf_alloc_complex(ny * (nx / 2 + 1))), real(reinterpret_cast<float*>(half)) {}
    ~scratch() { fftwf_free(half); }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;
    bool ok() const { return half != nullptr; }
};

struct transform {
    size_t nx, ny;
    fftwf_plan plan;
    std::vector<double> wx, wy;
    std::vector<size_t> column;  // the frequency index of each output column
    fft_scale scale;
};

// Mean removed, missing pixels at the mean (so zero), window applied.
// Returns the count of missing pixels; all missing: nx * ny.
size_t prepare(const transform& t, const float* map, float* real, uint8_t* filled) {
    double sum = 0.0;
    size_t finite = 0;
    for (size_t i = 0; i < t.nx * t.ny; ++i)
        if (std::isfinite(map[i])) {
            sum += map[i];
            ++finite;
        }
    const double mean = finite ? sum / static_cast<double>(finite) : 0.0;
    const size_t stride = 2 * (t.nx / 2 + 1);
    for (size_t y = 0; y < t.ny; ++y)
        for (size_t x = 0; x < t.nx; ++x) {
            const size_t i = y * t.nx + x;
            const bool ok = std::isfinite(map[i]);
            if (filled) filled[i] = ok ? 0 : 1;
            real[y * stride + x] = ok ? static_cast<float>((map[i] - mean) * t.wy[y] * t.wx[x]) : 0.0f;
        }
    return t.nx * t.ny - finite;
}

// The half spectrum spread over the whole centred map: F(-k) = conj F(k)
// for a real map gives the columns the real-to-complex transform leaves
// (same modulus).  Output column ox holds frequency kx = (ox - nx/2) mod nx,
// read from column kx of row ky, or from column nx - kx of row -ky.
void centre(const transform& t, const fftwf_complex* half, float* out) {
    const size_t hx = t.nx / 2 + 1;
    for (size_t oy = 0; oy < t.ny; ++oy) {
        const size_t ky = (oy + t.ny - t.ny / 2) % t.ny;
        const fftwf_complex* row = half + ky * hx;
        const fftwf_complex* mirrored = half + ((t.ny - ky) % t.ny) * hx;
        float* o = out + oy * t.nx;
        for (size_t ox = 0; ox < t.nx; ++ox) {
            const size_t kx = t.column[ox];
            const fftwf_complex& c = kx < hx ? row[kx] : mirrored[t.nx - kx];
            const double p = static_cast<double>(c[0]) * c[0] + static_cast<double>(c[1]) * c[1];
            o[ox] = static_cast<float>(t.scale == fft_scale::power ? p : std::sqrt(p));
        }
    }
}

size_t one_slice(const transform& t, const float* map, scratch& s, float* out, uint8_t* filled) {
    const size_t missing = prepare(t, map, s.real, filled);
    if (missing == t.nx * t.ny) {
        std::fill(out, out + t.nx * t.ny, std::numeric_limits<float>::quiet_NaN());
        return missing;
    }
    fftwf_execute_dft_r2c(t.plan, s.real, s.half);  // in place
    centre(t, s.half, out);
    return missing;
}

std::string make_transform(size_t nx, size_t ny, const fft_options& options, transform& t) {
    t.nx = nx;
    t.ny = ny;
    t.plan = r2c_plan(nx, ny);
    if (!t.plan) return "FFTW could not plan a transform of this size";
    t.wx = window_1d(nx, options.window);
    t.wy = window_1d(ny, options.window);
    t.scale = options.scale;
    t.column.resize(nx);
    for (size_t ox = 0; ox < nx; ++ox) t.column[ox] = (ox + nx - nx / 2) % nx;
    return "";
}

}  // namespace

struct map_transform::state {
    transform t;
    scratch s;
    state(size_t nx, size_t ny) : s(nx, ny) {}
};

map_transform::map_transform() = default;
map_transform::~map_transform() { delete s_; }

std::string map_transform::make(size_t nx, size_t ny, const fft_options& options) {
    delete s_;
    s_ = nullptr;
    if (std::string problem = fft_problem(nx, ny, 1.0, 1.0); !problem.empty()) return problem;
    auto made = std::make_unique<state>(nx, ny);
    if (!made->s.ok()) return "no memory for the transforms";
    if (std::string problem = make_transform(nx, ny, options, made->t); !problem.empty())
        return problem;
    s_ = made.release();
    return "";
}

size_t map_transform::run(const float* map, float* out) {
    return one_slice(s_->t, map, s_->s, out, nullptr);
}

std::string fft_problem(size_t nx, size_t ny, double dx, double dy) {
    if (nx == 0 || ny == 0) return "the map has no pixels";
    if (nx > INT_MAX || ny > INT_MAX || nx > SIZE_MAX / ny / 2)
        return "the map is too large for one transform";
    if (!(std::isfinite(dx) && dx > 0 && std::isfinite(dy) && dy > 0))
        return "the pixel spacing must be positive and finite";
    return "";
}

std::string fft_map(const float* map, size_t nx, size_t ny, double dx, double dy,
                    const fft_options& options, q_map& out) {
    if (std::string problem = fft_problem(nx, ny, dx, dy); !problem.empty()) return problem;
    transform t;
    if (std::string problem = make_transform(nx, ny, options, t); !problem.empty()) return problem;
    scratch s(nx, ny);
    if (!s.ok()) return "no memory for the transform";
    out.nx = nx;
    out.ny = ny;
    out.values.assign(nx * ny, 0.0f);
    out.filled.assign(nx * ny, 0);
    out.qx = q_axis(nx, dx);
    out.qy = q_axis(ny, dy);
    out.missing = one_slice(t, map, s, out.values.data(), out.filled.data());
    return "";
}

std::string fft_maps(const float* stack, size_t nslices, size_t nx, size_t ny,
                     const fft_options& options, unsigned threads, float* out,
                     std::vector<size_t>* missing) {
    if (std::string problem = fft_problem(nx, ny, 1.0, 1.0); !problem.empty()) return problem;
    transform t;
    if (std::string problem = make_transform(nx, ny, options, t); !problem.empty()) return problem;
    if (missing) missing->assign(nslices, 0);
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<size_t>(threads, std::max<size_t>(nslices, 1)));
    std::atomic<size_t> next{0};
    auto work = [&] {
        scratch s(nx, ny);
        if (!s.ok()) return;  // the other threads take its slices
        for (size_t k; (k = next++) < nslices;) {
            const size_t n = one_slice(t, stack + k * nx * ny, s, out + k * nx * ny, nullptr);
            if (missing) (*missing)[k] = n;
        }
    };
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (auto& th : pool) th.join();
    return next.load() < nslices ? "no memory for the transforms" : "";
}

}  // namespace sts
