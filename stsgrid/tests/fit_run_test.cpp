// stsgrid --fit end to end: a generated grid whose currents integrate a
// Dynes dI/dV of known gap per pixel (the midpoint rule, so that the
// run's finite-difference dI/dV is the model at the midpoints); fit_gap,
// its error, the statuses and the fitted curve checked against the truth,
// which is computed here by a plain quadrature written from the formula.
#include <netcdf.h>

#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "stsgrid/tests/run_in.h"
#include "testkit/instrument_files.h"
#include "testkit/testkit.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;
using testkit::write_file;
using stsgrid_tests::stsgrid;

constexpr long nx = 3, ny = 2, points = 201;
constexpr double v_lo = -0.003, v_hi = 0.003;  // V
constexpr double g_n = 1e-7;                    // S: 100 nA/V
constexpr double gamma_true = 0.05, kelvin = 1.0, k_b = 0.08617333262;  // meV, K, meV/K

// Pixel 4 has no spectrum, pixel 5 no gap (a plain resistor).
double gap_of(long p) { return 0.6 + 0.1 * static_cast<double>(p); }

// G(V)/G_N = int rho(E) (-f'(E - eV)) dE, rho Dynes's, by the trapezoid
// rule on 0.002 meV over +-40 kT (the weight beyond is below 1e-17).
double dynes(double mev, double gap) {
    const double kt = k_b * kelvin, h = 0.002;
    double sum = 0;
    for (double e = mev - 40 * kt; e <= mev + 40 * kt; e += h) {
        const std::complex<double> z(e, -gamma_true);
        const double rho = std::abs(std::real(z / std::sqrt(z * z - gap * gap)));
        const double c = std::cosh((e - mev) / (2 * kt));
        sum += rho / (4 * kt * c * c) * h;
    }
    return sum;
}

double bias(long k) { return v_lo + (v_hi - v_lo) * static_cast<double>(k) / (points - 1); }

std::vector<float> currents(long p) {
    std::vector<float> i(points);
    double sum = 0;
    for (long k = 0; k < points; ++k) {
        i[k] = static_cast<float>(sum);
        if (k + 1 < points) {
            const double mid = 0.5 * (bias(k) + bias(k + 1)), h = bias(k + 1) - bias(k);
            sum += h * g_n * (p == 5 ? 1.0 : dynes(mid * 1000, gap_of(p)));
        }
    }
    if (p == 4) i.assign(points, NAN);
    return i;
}

void write_grid(const temp_dir& dir) {
    testkit::nanonis_grid_layout g = testkit::raster_grid(nx, ny, points);
    g.start = static_cast<float>(v_lo);
    g.end = static_cast<float>(v_hi);
    std::vector<std::vector<float>> all;
    for (long p = 0; p < nx * ny; ++p) all.push_back(currents(p));
    write_file(dir / "g.3ds", testkit::nanonis_grid(g, [all](long p, int, long k) {
                   return all[static_cast<size_t>(p)][static_cast<size_t>(k)];
               }));
}

struct nc_file {
    int id = -1;
    explicit nc_file(const std::string& path) { nc_open(path.c_str(), NC_NOWRITE, &id); }
    ~nc_file() { if (id >= 0) nc_close(id); }
    std::vector<float> floats(const char* name, size_t n) const {
        std::vector<float> v(n, -1);
        int var = -1;
        if (nc_inq_varid(id, name, &var) != NC_NOERR || nc_get_var_float(id, var, v.data()) != NC_NOERR)
            ADD_FAILURE() << "no variable " << name;
        return v;
    }
    std::vector<signed char> bytes(const char* name, size_t n) const {
        std::vector<signed char> v(n, -1);
        int var = -1;
        if (nc_inq_varid(id, name, &var) != NC_NOERR || nc_get_var_schar(id, var, v.data()) != NC_NOERR)
            ADD_FAILURE() << "no variable " << name;
        return v;
    }
    std::string text(int var, const char* att) const {
        size_t len = 0;
        if (nc_inq_attlen(id, var, att, &len) != NC_NOERR) return "";
        std::string s(len, '\0');
        nc_get_att_text(id, var, att, s.data());
        return s;
    }
};

}  // namespace

TEST(FitRun, GapsPerPixelAsGenerated) {
    temp_dir dir;
    write_grid(dir);
    const auto r = stsgrid(dir, {"--fit=dynes", "--fit-window=0.0025", "--fit-temperature=1", "g.3ds"});
    ASSERT_EQ(r.status, 3) << r.err;  // pixel 4 not processed
    EXPECT_NE(r.out.find("stsgrid: gap fit: 4 converged, 1 no_gap, 1 not_computed"), std::string::npos)
        << r.out;
    nc_file f(dir / "g.nc");
    ASSERT_GE(f.id, 0);
    const size_t n = nx * ny, m = points - 1;
    const auto gap = f.floats("fit_gap", n), se = f.floats("fit_se_gap", n);
    const auto gamma = f.floats("fit_gamma", n), scale = f.floats("fit_scale", n);
    const auto status = f.bytes("fit_status", n);
    const auto curve = f.floats("fit_curve", n * m), vmid = f.floats("vmid", m);
    for (long p = 0; p < 4; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(status[p], 0);
        EXPECT_NEAR(gap[p], gap_of(p), 2e-3);
        EXPECT_GE(se[p], 0);
        EXPECT_LT(se[p], 1e-3);
        EXPECT_NEAR(gamma[p], gamma_true, 2e-3);
        EXPECT_NEAR(scale[p], 100, 0.1);  // nA/V
        for (size_t j = 0; j < m; ++j) {
            const float c = curve[p * m + j];
            if (std::fabs(vmid[j]) > 0.0025) {
                EXPECT_TRUE(std::isnan(c)) << j;
            } else {
                EXPECT_NEAR(c, 100 * dynes(vmid[j] * 1000.0, gap_of(p)), 0.5) << j;
            }
        }
    }
    EXPECT_EQ(status[4], 6);  // not_computed
    EXPECT_EQ(status[5], 2);  // no_gap
    EXPECT_TRUE(std::isnan(gap[4]) && std::isnan(gap[5]));
    int var = -1;
    ASSERT_EQ(nc_inq_varid(f.id, "fit_status", &var), NC_NOERR);
    EXPECT_EQ(f.text(var, "flag_meanings"),
              "converged at_bound no_gap too_few_points bad_input not_converged not_computed "
              "poor_fit");
    EXPECT_EQ(f.text(NC_GLOBAL, "fit_model"), "dynes (normal tip)");
    EXPECT_EQ(f.text(NC_GLOBAL, "fit_curve_of"), "didv");
    EXPECT_EQ(f.text(NC_GLOBAL, "fit_temperature"), "1 K, held");
}

TEST(FitRun, WithoutItTheFileIsAsBefore) {
    temp_dir dir;
    write_grid(dir);
    ASSERT_EQ(stsgrid(dir, {"-o", "plain.nc", "g.3ds"}).status, 3);
    ASSERT_EQ(stsgrid(dir, {"-o", "fit3.nc", "--fit=dynes", "-j", "3", "g.3ds"}).status, 3);
    ASSERT_EQ(stsgrid(dir, {"-o", "fit1.nc", "--fit=dynes", "-j", "1", "g.3ds"}).status, 3);
    EXPECT_TRUE(read_file(dir / "fit3.nc") == read_file(dir / "fit1.nc")) << "threads change nothing";
    EXPECT_EQ(read_file(dir / "plain.nc").find("fit_"), std::string::npos);
    EXPECT_NE(read_file(dir / "fit1.nc").find("fit_status"), std::string::npos);
}

TEST(FitRun, BadRequestsRefused) {
    temp_dir dir;
    write_grid(dir);
    const std::vector<std::vector<std::string>> bad = {
        {"--fit=dynes", "--fit-window=0", "g.3ds"},
        {"--fit=dynes", "--fit-window=-1", "g.3ds"},
        {"--fit=dynes", "--fit-temperature=0", "g.3ds"},
        {"--fit=dynes", "--fit-temperature=-1:free", "g.3ds"},
        {"--fit=dynes:norm_coff", "g.3ds"},     // a ratio
        {"--fit=dynes:current", "g.3ds"},       // along the points
        {"--fit=dynes:didv_lockin", "g.3ds"},   // no lock-in in this run
        {"--fit=dynes", "--fit-tip-gap=1.3", "g.3ds"},
        {"--fit-window=0.001", "g.3ds"},        // no --fit
        {"--fit=bcs", "g.3ds"},
    };
    for (const auto& args : bad) {
        const auto r = stsgrid(dir, args);
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_NE(r.err.find("stsgrid: "), std::string::npos);
    }
    // A value out of range says the range it must lie in.
    const std::vector<std::pair<std::string, std::string>> ranges = {
        {"--fit-window=0", "fit-window must be E with a value above 0 and below 1e30 bias units"},
        {"--fit-temperature=0", "fit-temperature must be T or T:free with a value above 0 and "
                                "below 1e30 K, not '0'"},
        {"--fit-temperature=-0.4", "above 0 and below 1e30 K, not '-0.4'"},
        {"--fit-modulation=-1", "fit-modulation must be V (zero to peak) with a value above 0"},
    };
    for (const auto& [option, message] : ranges) {
        const auto r = stsgrid(dir, {"--fit=dynes", option, "g.3ds"});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(message), std::string::npos) << option << ": " << r.err;
    }
    const auto tip = stsgrid(dir, {"--fit=dynes", "--fit-tip-gap=1.3", "g.3ds"});
    EXPECT_NE(tip.err.find("they need --fit=dynes-sis"), std::string::npos) << tip.err;
    const auto alone = stsgrid(dir, {"--fit-window=0.001", "g.3ds"});
    EXPECT_NE(alone.err.find("which is not given"), std::string::npos) << alone.err;
}

// The same fits again by scipy.optimize.curve_fit over a model written
// from the formula in fit_check.py, each from its own grid of starts.
TEST(FitRun, AgreesWithAnIndependentScipyFit) {
    ASSERT_TRUE(testkit::python_imports("numpy, scipy, netCDF4")) << "python3-scipy";
    temp_dir dir;
    write_grid(dir);
    ASSERT_EQ(stsgrid(dir, {"--fit=dynes", "--fit-window=0.0025", "--fit-temperature=1",
                            "g.3ds"}).status, 3);
    const auto c = stsgrid_tests::run_in(dir, {"/usr/bin/python3", STSGRID_TEST_DIR "/fit_check.py",
                                               (dir / "g.nc"), "1"});
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    EXPECT_NE(c.out.find("pixels that disagree: 0"), std::string::npos) << c.out;
}

// The real Pb line at 0.42 K: the gap's middle lies at -0.16 mV, so with V_0
// held at 0 the fits miss the dip (poor_fit, SciPy's best curve misses it
// too), and with V_0 free they follow it, as SciPy's do.
TEST(FitRun, RealPbLine) {
    if (testkit::realdata_dir().empty()) GTEST_SKIP() << testkit::no_realdata;
    ASSERT_TRUE(testkit::python_imports("numpy, scipy, netCDF4")) << "python3-scipy";
    const std::string line = testkit::realdata_dir() + "/raw/nanonis2025_Grid_Spectroscopy008.3ds";
    temp_dir dir;
    const std::vector<std::string> fit = {"-d", "mean", "--fit=dynes", "--fit-window=0.001",
                                          "--fit-temperature=0.42", line};
    std::vector<std::string> held = {"-o", "held.nc"}, freed = {"-o", "free.nc",
                                                                 "--fit-free=offset"};
    held.insert(held.end(), fit.begin(), fit.end());
    freed.insert(freed.end(), fit.begin(), fit.end());
    const auto h = stsgrid(dir, held);
    ASSERT_EQ(h.status, 0) << h.err;
    EXPECT_NE(h.out.find("gap fit: 32 poor_fit"), std::string::npos) << h.out;
    EXPECT_NE(h.out.find("try --fit-free=offset"), std::string::npos) << h.out;
    const auto f = stsgrid(dir, freed);
    ASSERT_EQ(f.status, 0) << f.err;
    EXPECT_EQ(f.out.find("poor_fit"), std::string::npos) << f.out;
    for (const auto& [file, extra] : {std::pair<std::string, std::string>{"held.nc", ""},
                                      {"free.nc", "--offset"}}) {
        std::vector<std::string> check = {"/usr/bin/python3", STSGRID_TEST_DIR "/fit_check.py",
                                          dir / file, "0.42", "--pixels", "4"};
        if (!extra.empty()) check.push_back(extra);
        const auto c = stsgrid_tests::run_in(dir, check);
        EXPECT_EQ(c.status, 0) << file << "\n" << c.out << c.err;
    }
}
