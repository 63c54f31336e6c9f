// The transform against NumPy's in float64 (numpy_fft.py, written from the
// definition), the stack against the single map, and the failures.
//
// Tolerance: a float FFT's error in one coefficient is about
// eps log2(N) ||x||_2 (the rms over the N coefficients of an error whose
// 2-norm is at most c eps log2(N) ||F||_2 = c eps log2(N) sqrt(N) ||x||_2),
// with eps = FLT_EPSILON, plus the rounding of the windowed input to float
// (eps/2 |x_i| each, at most eps/2 ||x||_2 sqrt(N) in a coefficient but
// about eps/2 ||x||_2 for rounding errors of random sign), plus the
// output's own rounding to float (eps/2 of the value).  We allow
// 4 eps (log2 N + 1) ||x||_2 and that rounding: with c = 2 the worst case
// seen was 1.8 times over (at zero frequency of a 256 x 256 map, a sum of
// all its pixels), so c = 4 keeps a margin of about 1.1 over that; the
// worst seen over these cases is printed.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <thread>

#include "fourier/fft_map.h"
#include "fourier_testing.h"
#include "testkit/testkit.h"

namespace {

using namespace fourier_testing;

struct reference {
    std::vector<double> values, qx, qy;
    double norm = 0;
};

reference numpy_transform(const std::vector<float>& map, size_t nx, size_t ny, double dx,
                          double dy, const sts::fft_options& o) {
    const testkit::temp_dir dir;
    write_floats(dir / "map.f32", map);
    std::istringstream out(python(
        "numpy_fft.py", {dir / "map.f32", std::to_string(nx), std::to_string(ny),
                         testkit::format("%.17g", dx), testkit::format("%.17g", dy),
                         o.window == sts::fft_window::hann ? "hann" : "none",
                         o.scale == sts::fft_scale::power ? "power" : "amplitude", dir / "f.f64"}));
    reference r;
    out >> r.norm;
    r.qx.resize(nx);
    r.qy.resize(ny);
    for (double& q : r.qx) out >> q;
    for (double& q : r.qy) out >> q;
    r.values = read_doubles(dir / "f.f64");
    return r;
}

double worst_ratio = 0;

void expect_values_agree(const sts::q_map& ours, const std::vector<float>& map, size_t nx,
                         size_t ny, double dx, double dy, const sts::fft_options& o,
                         const std::string& what);

void expect_agrees(const std::vector<float>& map, size_t nx, size_t ny, double dx, double dy,
                   const sts::fft_options& o, const std::string& what) {
    sts::q_map ours;
    ASSERT_EQ(sts::fft_map(map.data(), nx, ny, dx, dy, o, ours), "") << what;
    expect_values_agree(ours, map, nx, ny, dx, dy, o, what);
}

void expect_values_agree(const sts::q_map& ours, const std::vector<float>& map, size_t nx,
                         size_t ny, double dx, double dy, const sts::fft_options& o,
                         const std::string& what) {
    const reference theirs = numpy_transform(map, nx, ny, dx, dy, o);
    ASSERT_EQ(theirs.values.size(), nx * ny) << what;
    const double n = static_cast<double>(nx * ny);
    const double tol_f = 4 * FLT_EPSILON * (std::log2(n) + 1) * theirs.norm;
    double largest = 0;
    for (size_t i = 0; i < nx * ny; ++i) {
        // A power |F|^2 errs by about 2 |F| times the error of F.
        const double tol = (o.scale == sts::fft_scale::power
                                ? tol_f * (2 * std::sqrt(theirs.values[i]) + tol_f) : tol_f) +
                           FLT_EPSILON / 2 * theirs.values[i];
        const double err = std::fabs(ours.values[i] - theirs.values[i]);
        EXPECT_LE(err, tol + 1e-300) << what << " at " << i << ": " << ours.values[i] << " vs "
                                     << theirs.values[i];
        if (tol > 0) largest = std::fmax(largest, err / tol);
    }
    worst_ratio = std::fmax(worst_ratio, largest);
    for (size_t k = 0; k < nx; ++k) EXPECT_NEAR(ours.qx[k], theirs.qx[k], 1e-12 * std::fabs(theirs.qx[k]) + 1e-12) << what;
    for (size_t k = 0; k < ny; ++k) EXPECT_NEAR(ours.qy[k], theirs.qy[k], 1e-12 * std::fabs(theirs.qy[k]) + 1e-12) << what;
}

const sts::fft_options all_options[] = {
    {sts::fft_window::none, sts::fft_scale::amplitude},
    {sts::fft_window::hann, sts::fft_scale::amplitude},
    {sts::fft_window::hann, sts::fft_scale::power},
    {sts::fft_window::none, sts::fft_scale::power},
};

TEST(FftMap, AgreesWithNumpyOnRandomMaps) {
    const struct {
        size_t nx, ny;
    } sizes[] = {{64, 64}, {100, 60}, {17, 33}, {1, 8}, {8, 1}, {256, 256}, {2, 3}};
    unsigned seed = 1;
    for (const auto& s : sizes)
        for (const auto& o : all_options) {
            std::vector<float> map = testkit::random_floats(s.nx * s.ny, seed++);
            for (float& v : map) v = 3.0f + 1e-3f * v;  // an offset the mean must remove
            expect_agrees(map, s.nx, s.ny, 0.078125, 0.1, o, testkit::format("%zux%zu", s.nx, s.ny));
        }
    std::printf("worst error over tolerance: %.3f\n", worst_ratio);
}

TEST(FftMap, AgreesWithNumpyOnStructuredMaps) {
    // A lattice with a QPI wave, a step edge and missing pixels.
    const size_t nx = 128, ny = 96;
    std::vector<float> map = plane_waves(nx, ny, 0.05, 0.06, {{15.7, 3.1, 1.0, 0.2}, {-4.4, 14.9, 0.7, 1.0}, {2.1, 0.9, 0.1, 0}});
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = nx / 2; x < nx; ++x) map[y * nx + x] += 2.5f;
    map[5] = map[700] = map[nx * ny - 1] = std::numeric_limits<float>::quiet_NaN();
    for (const auto& o : all_options) expect_agrees(map, nx, ny, 0.05, 0.06, o, "structured");
}

TEST(FftMap, MissingPixelsAreFilledAndMarked) {
    std::vector<float> map = testkit::random_floats(40 * 30, 7);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    map[0] = map[41] = map[1199] = nan;
    sts::q_map q;
    ASSERT_EQ(sts::fft_map(map.data(), 40, 30, 0.1, 0.1, {}, q), "");
    EXPECT_EQ(q.missing, 3u);
    EXPECT_EQ(q.filled[0] + q.filled[41] + q.filled[1199], 3);
    size_t marked = 0;
    for (auto f : q.filled) marked += f;
    EXPECT_EQ(marked, 3u);
    // Filled with the mean: the same as giving the mean there.
    double sum = 0;
    for (float v : map) if (!std::isnan(v)) sum += v;
    std::vector<float> filled = map;
    for (float& v : filled) if (std::isnan(v)) v = static_cast<float>(sum / 1197);
    sts::q_map g;
    ASSERT_EQ(sts::fft_map(filled.data(), 40, 30, 0.1, 0.1, {}, g), "");
    for (size_t i = 0; i < g.values.size(); ++i) EXPECT_NEAR(q.values[i], g.values[i], 1e-5) << i;
    // Nothing finite: NaN everywhere, every pixel counted.
    std::vector<float> none(12, nan);
    ASSERT_EQ(sts::fft_map(none.data(), 4, 3, 0.1, 0.1, {}, g), "");
    EXPECT_EQ(g.missing, 12u);
    for (float v : g.values) EXPECT_TRUE(std::isnan(v));
}

TEST(FftMap, ZeroFrequencyAtTheCentreAndPlaneWavesAtTheirQ) {
    // q = 2 pi n / (N step): a wave of 5 periods over 64 x 0.1 nm lands at
    // index 32 + 5 along x, at 2 pi 5 / 6.4 nm^-1.
    const double q = 2 * M_PI * 5 / 6.4;
    const std::vector<float> map = plane_waves(64, 32, 0.1, 0.1, {{q, 0, 1, 0}});
    sts::q_map f;
    ASSERT_EQ(sts::fft_map(map.data(), 64, 32, 0.1, 0.1, {sts::fft_window::none, sts::fft_scale::amplitude}, f), "");
    EXPECT_NEAR(f.qx[37], q, 1e-12);
    EXPECT_EQ(f.qx[32], 0.0);
    EXPECT_EQ(f.qy[16], 0.0);
    EXPECT_NEAR(f.values[16 * 64 + 37], 64 * 32 / 2.0, 1e-2);  // |F| = N / 2 for a unit cosine
    EXPECT_NEAR(f.values[16 * 64 + 27], 64 * 32 / 2.0, 1e-2);
    EXPECT_NEAR(f.values[16 * 64 + 32], 0.0, 1e-2);            // the mean removed
}

TEST(FftMap, StackAgreesWithOneMapAtATimeOnAnyThreads) {
    const size_t nx = 48, ny = 40, slices = 7;
    std::vector<float> stack = testkit::random_floats(nx * ny * slices, 11);
    stack[nx * ny * 3 + 5] = std::numeric_limits<float>::quiet_NaN();
    const sts::fft_options o{sts::fft_window::hann, sts::fft_scale::power};
    for (unsigned threads : {1u, 2u, 3u, 0u}) {
        std::vector<float> out(stack.size());
        std::vector<size_t> missing;
        ASSERT_EQ(sts::fft_maps(stack.data(), slices, nx, ny, o, threads, out.data(), &missing), "");
        ASSERT_EQ(missing.size(), slices);
        for (size_t k = 0; k < slices; ++k) {
            sts::q_map one;
            ASSERT_EQ(sts::fft_map(stack.data() + k * nx * ny, nx, ny, 0.1, 0.1, o, one), "");
            EXPECT_EQ(missing[k], one.missing);
            for (size_t i = 0; i < nx * ny; ++i)
                ASSERT_EQ(out[k * nx * ny + i], one.values[i]) << threads << " threads, slice " << k;
        }
        EXPECT_EQ(missing[3], 1u);
    }
}

// One thread's transform, made once and run on map after map in place (as
// the Fourier pass streams slices through one buffer): each against NumPy,
// and the same bytes as fft_maps gives for the stack.
TEST(FftMap, ReusedTransformInPlaceAgreesWithNumpy) {
    const size_t nx = 100, ny = 60, slices = 3;
    std::vector<float> stack = testkit::random_floats(nx * ny * slices, 21);
    for (size_t i = 0; i < nx * 3; ++i) stack[nx * ny + 2 * i] = std::nanf("");  // slice 1 gaps
    for (size_t i = 0; i < nx * ny; ++i) stack[2 * nx * ny + i] = std::nanf("");  // slice 2 none
    for (const auto& o : all_options) {
        sts::map_transform t;
        ASSERT_EQ(t.make(nx, ny, o), "");
        std::vector<float> stacked(stack.size());
        std::vector<size_t> missing;
        ASSERT_EQ(sts::fft_maps(stack.data(), slices, nx, ny, o, 2, stacked.data(), &missing), "");
        for (size_t k = 0; k < slices; ++k) {
            const std::vector<float> map(stack.begin() + static_cast<long>(k * nx * ny),
                                         stack.begin() + static_cast<long>((k + 1) * nx * ny));
            sts::q_map ours;
            ours.values = map;
            ours.qx = sts::q_axis(nx, 1.0);
            ours.qy = sts::q_axis(ny, 1.0);
            EXPECT_EQ(t.run(ours.values.data(), ours.values.data()), missing[k]);
            EXPECT_EQ(std::memcmp(ours.values.data(), stacked.data() + k * nx * ny,
                                  nx * ny * sizeof(float)), 0) << k;
            if (k == 2) {
                EXPECT_EQ(missing[k], nx * ny);
                EXPECT_TRUE(std::isnan(ours.values[0]));
                continue;
            }
            expect_values_agree(ours, map, nx, ny, 1.0, 1.0, o, testkit::format("reused %zu", k));
        }
    }
    sts::map_transform t;
    EXPECT_NE(t.make(0, 4, {}), "");
}

TEST(FftMap, PlansMadeFromManyThreadsAtOnce) {
    // Planning from several threads together, each its own sizes: every
    // result as when made alone.
    std::vector<std::vector<float>> results(6);
    std::vector<std::thread> pool;
    for (size_t t = 0; t < 6; ++t)
        pool.emplace_back([&, t] {
            const size_t n = 20 + 3 * (t % 3);
            const std::vector<float> map = testkit::random_floats(n * n, 3);
            sts::q_map f;
            if (sts::fft_map(map.data(), n, n, 0.1, 0.1, {}, f).empty()) results[t] = f.values;
        });
    for (auto& th : pool) th.join();
    for (size_t t = 0; t < 6; ++t) {
        const size_t n = 20 + 3 * (t % 3);
        const std::vector<float> map = testkit::random_floats(n * n, 3);
        sts::q_map f;
        ASSERT_EQ(sts::fft_map(map.data(), n, n, 0.1, 0.1, {}, f), "");
        EXPECT_EQ(results[t], f.values) << t;
    }
}

TEST(FftMap, SaysWhatIsWrong) {
    sts::q_map f;
    const float one = 1;
    EXPECT_NE(sts::fft_map(&one, 0, 1, 0.1, 0.1, {}, f), "");
    EXPECT_NE(sts::fft_map(&one, 1, 1, 0.0, 0.1, {}, f), "");
    EXPECT_NE(sts::fft_map(&one, 1, 1, 0.1, std::nan(""), {}, f), "");
    EXPECT_NE(sts::fft_map(&one, 1, 1, -1, 0.1, {}, f), "");
    EXPECT_NE(sts::fft_problem(size_t{1} << 40, 4, 1, 1), "");
    EXPECT_EQ(sts::fft_map(&one, 1, 1, 0.1, 0.1, {}, f), "");
    EXPECT_EQ(f.values, std::vector<float>{0.0f});
}

}  // namespace
