// stsgrid --fft end to end: the transforms against NumPy's from the
// grid's own file, the peaks of a synthetic QPI grid on a turned frame,
// the symmetrisation's invariance (tests/fft_check.py, written from the
// documented layout), the refusals, the pictures, and every real grid.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using stsgrid_tests::run_in;
using stsgrid_tests::stsgrid;
using testkit::temp_dir;

constexpr double pi = std::numbers::pi;
constexpr long side = 48;        // pixels each way, 2 nm apart (testkit's raster)
constexpr long points = 6;       // five midpoints: five QPI maps
constexpr double lattice = 8.0;  // nm, square, in the topography

struct wave {
    double qx, qy;  // nm^-1
};

// The QPI wave of midpoint j in the laboratory's axes.
wave qpi_wave(long j) {
    const double q = 0.3 + 0.12 * static_cast<double>(j);
    const double angle = (20.0 + 15.0 * static_cast<double>(j)) * pi / 180;
    return {q * std::cos(angle), q * std::sin(angle)};
}

// The lattice's Bragg vectors in the laboratory's axes, turned by 10 degrees.
wave bragg(int i) {
    const double q = 2 * pi / lattice, a = (10.0 + 90.0 * i) * pi / 180;
    return {q * std::cos(a), q * std::sin(a)};
}

// A vector of the laboratory's axes in the frame's, turned by `degrees`
// clockwise (testkit: the row axis (cos, -sin), the column axis (sin, cos)).
wave in_frame(wave q, double degrees) {
    const double a = degrees * pi / 180;
    return {q.qx * std::cos(a) - q.qy * std::sin(a), q.qx * std::sin(a) + q.qy * std::cos(a)};
}

// Uniform noise from a counter, the same on every run.
float noise(long p, long k) {
    uint32_t s = static_cast<uint32_t>(p * 7919 + k * 104729 + 17);
    s = s * 1664525u + 1013904223u;
    s = s * 1664525u + 1013904223u;
    return static_cast<float>(s >> 8) / 16777216.0f - 0.5f;
}

// A grid on the frame turned by `degrees` whose dI/dV at midpoint j is
// 1 + 0.5 cos(q_j . r) plus noise, r where the instrument recorded the
// pixel (X, Y), and whose topography (Z) holds the square lattice; the
// last `missing` pixels never measured, as when a run is interrupted.
// The current is the running sum of the conductance over the sweep, so
// that its numerical derivative is the conductance itself.
std::string qpi_grid(double degrees, long missing, bool topography) {
    testkit::nanonis_grid_layout g = testkit::turned_raster_grid(side, side, points, degrees);
    g.written = side * side - missing;
    const auto where = g.experiment_of;
    if (topography) {
        g.experiment_parameters = {"X (m)", "Y (m)", "Z (m)"};
        g.experiment_of = [where](long p) {
            std::vector<float> e = where(p);
            const double x = e[0] * 1e9, y = e[1] * 1e9;
            double z = 2.0;
            for (int i = 0; i < 2; ++i) z += 0.05 * std::cos(bragg(i).qx * x + bragg(i).qy * y);
            e.push_back(static_cast<float>(z * 1e-9));
            return e;
        };
    }
    const double step = (g.end - g.start) / static_cast<double>(points - 1);
    return testkit::nanonis_grid(g, [where, step](long p, int, long k) {
        const std::vector<float> e = where(p);
        const double x = e[0] * 1e9, y = e[1] * 1e9;
        double current = 0;
        for (long j = 0; j < k; ++j) {
            const wave q = qpi_wave(j);
            current += (1.0 + 0.5 * std::cos(q.qx * x + q.qy * y) + 0.2 * noise(p, j)) * step;
        }
        return static_cast<float>(current * 1e-9);
    });
}

std::string number(double v) { return testkit::format("%.9g", v); }

testkit::outcome check(const temp_dir& dir, std::vector<std::string> args) {
    if (!testkit::python_imports("numpy, netCDF4"))
        ADD_FAILURE() << testkit::missing_package("python3-netcdf4");
    args.insert(args.begin(), {"/usr/bin/python3", STSGRID_TEST_DIR "/fft_check.py"});
    return run_in(dir, args);
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

// Every slice of dI/dV and of norm_raw, with the window and without,
// against NumPy in float64 from the grid's own file, with the missing
// pixels counted; the grid's file the same bytes with --fft as without.
TEST(Fft, TransformsAgreeWithNumpy) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", qpi_grid(30, 3, true));
    ASSERT_EQ(stsgrid(dir, {"--no-progress", "-o", "plain.nc", "g.3ds"}).status, 3);
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--fft"}, {"--fft=norm_raw", "--fft-window=none"}}) {
        std::vector<std::string> args = {"--no-progress", "-o", "g.nc", "g.3ds"};
        args.insert(args.end(), options.begin(), options.end());
        const auto r = stsgrid(dir, args);
        ASSERT_EQ(r.status, 3) << r.err;  // three pixels never measured
        EXPECT_TRUE(has(r.out, "wrote g_fft.nc: |FFT| of ")) << r.out;
        EXPECT_TRUE(has(r.out, "maps had missing pixels (at most 3)")) << r.out;
        const auto c = check(dir, {"numpy", dir / "g.nc", dir / "g_fft.nc"});
        EXPECT_EQ(c.status, 0) << options[0] << "\n" << c.out << c.err;
        EXPECT_EQ(testkit::read_file(dir / "g.nc"), testkit::read_file(dir / "plain.nc"));
    }
}

// The QPI wave of each slice, given in the laboratory's axes, shows within
// one q-pixel of where it lies in the frame turned by 30 degrees; the
// Bragg vectors found in the topography likewise.
TEST(Fft, QpiPeaksAndBraggVectorsOnATurnedFrame) {
    temp_dir dir;
    const double degrees = 30;
    testkit::write_file(dir / "g.3ds", qpi_grid(degrees, 3, true));
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "g.3ds", "--fft", "--bragg"});
    ASSERT_EQ(r.status, 3) << r.err;
    EXPECT_TRUE(has(r.out, "Bragg vectors (found in the topography)")) << r.out;
    std::vector<std::string> args = {"peak", dir / "g_fft.nc"};
    for (long j = 0; j < points - 1; ++j) {
        const wave q = in_frame(qpi_wave(j), degrees);
        for (double v : {static_cast<double>(j), q.qx, q.qy}) args.push_back(number(v));
    }
    const auto peaks = check(dir, args);
    EXPECT_EQ(peaks.status, 0) << peaks.out << peaks.err;
    const wave b1 = in_frame(bragg(0), degrees), b2 = in_frame(bragg(1), degrees);
    const auto lattice_check = check(dir, {"bragg", dir / "g_fft.nc", number(b1.qx),
                                           number(b1.qy), number(b2.qx), number(b2.qy)});
    EXPECT_EQ(lattice_check.status, 0) << lattice_check.out << lattice_check.err;
    // a = 2 pi / |Q| for a square lattice: 8 nm, within a per cent.
    for (const char* key : {"a1 = ", "a2 = "}) {
        const size_t at = r.out.find(key);
        ASSERT_NE(at, std::string::npos) << r.out;
        EXPECT_NEAR(std::stod(r.out.substr(at + 5)), lattice, 0.01 * lattice) << r.out;
    }
}

// 4mm about Bragg vectors along the axes of a square map: the
// symmetrised maps unchanged by each of its operations.
TEST(Fft, SymmetrisedMapsAreInvariant) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", qpi_grid(0, 0, false));
    const std::string q = number(2 * pi / lattice);
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "g.3ds", "--fft", "--bragg=" + q +
                                 ",0:0," + q, "--symmetrise=4mm"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(has(r.out, "symmetrised by 4mm")) << r.out;
    const auto c = check(dir, {"invariant", dir / "g_fft.nc"});
    EXPECT_EQ(c.status, 0) << c.out << c.err;
}

// Drift correction of an undistorted lattice: the corrected file beside
// the transforms, a displacement far below a lattice constant.
TEST(Fft, DriftCorrectionWritesTheCorrectedMaps) {
    temp_dir dir;
    testkit::write_file(dir / "g.3ds", qpi_grid(0, 0, true));
    const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", "g.3ds", "--fft", "--drift-correct"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testkit::file_exists(dir / "g_corrected.nc"));
    const size_t at = r.out.find("rms |u| = ");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_LT(std::stod(r.out.substr(at + 10)), 0.01 * lattice) << r.out;
}

// What cannot be done is refused before any work, saying what to do.
TEST(Fft, RefusesWhatCannotBeDone) {
    temp_dir dir;
    testkit::write_file(dir / "line.3ds", testkit::nanonis_grid(testkit::raster_grid(8, 1, 5),
                                                                [](long p, int, long k) {
                                                                    return 1e-9f * static_cast<float>(k + p);
                                                                }));
    testkit::write_file(dir / "flat.3ds", qpi_grid(0, 0, false));
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"line.3ds", "--fft"}, "this grid is 8 x 1"},
        {{"flat.3ds", "--fft", "--symmetrise=6mm"}, "give them with --bragg="},
        {{"flat.3ds", "--fft", "--drift-correct"}, "does not record: leave --drift-correct out"},
        {{"flat.3ds", "--fft=gap_low"}, "not a map at every bias of this run: give one of"},
        {{"flat.3ds", "--fft=didv_lockin"}, "not a map at every bias of this run"},
        {{"flat.3ds", "--symmetrise=4mm"}, "give --fft as well"},
        {{"flat.3ds", "--fft-window=hann"}, "--fft-window works on the Fourier maps"},
        {{"flat.3ds", "--fft", "--symmetrise=5mm"}, "--symmetrise=5mm: "},
        {{"flat.3ds", "--fft", "--bragg=1,0:2,0"}, "parallel"},
        {{"flat.3ds", "--fft", "--bragg=1,0"}, "bragg must be auto or two vectors"},
        {{"flat.3ds", "--fft", "--drift-correct=-1"}, "positive length"},
        {{"flat.3ds", "--fft", "--fft-window=flat"}, "hann or none"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--no-progress", "-o", "r.nc"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = stsgrid(dir, args);
        EXPECT_EQ(r.status, 2) << c.args.back() << r.err;
        EXPECT_TRUE(has(r.err, c.says)) << r.err;
        EXPECT_FALSE(testkit::file_exists(dir / "r_fft.nc"));
    }
}

// --map with --fft: the q-map at the slice nearest the bias, its axes in
// nm^-1 over the q-pixels' extent, the Bragg vectors circled, the
// symmetrised map beside it.
TEST(Fft, MapPictureShowsTheQAxesAndBraggPeaks) {
    if (!testkit::file_exists("/usr/bin/gnuplot"))
        GTEST_FAIL() << testkit::missing_package("gnuplot-nox");
    temp_dir dir, bin, keep;
    // Each job's folder kept as job<n>, n from 0 in the order drawn.
    testkit::write_file(bin / "gnuplot", "#!/bin/sh\nk='" + keep.path() +
                                             "'\ncp -r \"$(dirname \"$2\")\" \"$k/job$(ls \"$k\" | wc -l)\"\n"
                                             "exec /usr/bin/gnuplot \"$@\"\n");
    chmod((bin / "gnuplot").c_str(), 0755);
    testkit::write_file(dir / "g.3ds", qpi_grid(0, 0, true));
    testkit::run_options options;
    options.cwd = dir.path();
    options.env = {"PATH=" + bin.path() + ":" + std::getenv("PATH")};
    const auto r = testkit::run({STSGRID_BIN, "--no-progress", "-o", "g.nc", "g.3ds", "--fft=didv",
                                 "--symmetrise=4mm", "--map=0.2"},
                                options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testkit::file_exists(dir / "g_fft_0.2.png"));
    // The map at the bias first, then the q-map.
    const std::string script = testkit::read_file(keep / "job1/picture.gp");
    EXPECT_TRUE(has(script, "set multiplot layout 1,2 title")) << script;
    EXPECT_TRUE(has(script, "|FFT| of didv at 0.2 V (the slice nearest 0.2 V)")) << script;
    EXPECT_TRUE(has(script, "set xlabel 'q_x (nm^-1)'")) << script;
    EXPECT_TRUE(has(script, "set ylabel 'q_y (nm^-1)'")) << script;
    EXPECT_TRUE(has(script, "set cblabel '|F| (nA/V)'")) << script;
    // 48 q-pixels of 2 pi / 96 nm^-1 from -24: half a pixel beyond either end.
    const double dq = 2 * pi / 96;
    EXPECT_TRUE(has(script, "set xrange [" + number(-24.5 * dq) + ":" + number(23.5 * dq) + "]"))
        << script;
    EXPECT_TRUE(has(script, "'Q1'")) << script;
    EXPECT_TRUE(has(script, "'-Q2'")) << script;
    EXPECT_TRUE(has(script, "symmetrised by 4mm")) << script;
}

// Every real grid through --fft: a file of transforms that agrees with
// NumPy, or a line refused with its reason; never a fault.
TEST(Fft, EveryRealGrid) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string raw = testkit::realdata_dir() + "/raw/";
    int maps = 0;
    for (const std::string& name : testkit::list_dir(raw)) {
        const bool grid = name.size() > 4 && (name.compare(name.size() - 4, 4, ".3ds") == 0 ||
                                              name.compare(name.size() - 4, 4, ".sm4") == 0);
        if (!grid) continue;
        temp_dir dir;
        const auto r = stsgrid(dir, {"--no-progress", "-o", "g.nc", raw + name, "--fft", "--map=0"});
        EXPECT_FALSE(r.signalled) << name << r.err;
        if (r.status == 2) {
            EXPECT_TRUE(has(r.err, "--fft transforms maps of at least 2 x 2 pixels")) << name << r.err;
            continue;
        }
        EXPECT_TRUE(r.status == 0 || r.status == 3) << name << r.err;
        const auto c = check(dir, {"numpy", dir / "g.nc", dir / "g_fft.nc"});
        EXPECT_EQ(c.status, 0) << name << c.out << c.err;
        ++maps;
    }
    EXPECT_GE(maps, 3);
}
