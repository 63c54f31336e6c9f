// The fit's routes against the files stsgrid --fit wrote, read here
// straight through the netCDF API: a generated superconducting grid
// (make_grid --superconductor, two pixels missing), fitted over a wide
// window (most pixels converge) and over one too narrow to hold a gap (every
// pixel fails), a grid without a fit, and the real Pb line where the shared
// data is present.  Every number the routes send must be the file's, bit for
// bit; every refusal a 4xx that says what to ask instead.
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "grid_fixture.h"
#include "stsview/request_handler.h"

namespace {

using stsview_test::read_whole;

const std::string token(64, 'f');

struct fit_files {
    testkit::temp_dir dir;
    std::string wide, narrow, plain;
    bool ok = false;
    static constexpr int nx = 6, ny = 4, points = 160, missing = 2;
    fit_files() {
        const std::string g = dir / "sc.3ds";
        wide = dir / "wide.nc";
        narrow = dir / "narrow.nc";
        plain = dir / "plain.nc";
        const auto a = testkit::run({MAKE_GRID_BIN, "--superconductor", std::to_string(nx), std::to_string(ny),
                                     std::to_string(points), g, std::to_string(missing)});
        const auto b = testkit::run({STSGRID_BIN, "-o", wide, "--fit=dynes", "--fit-window=0.003",
                                     "--fit-temperature=0.5", g});
        const auto c = testkit::run({STSGRID_BIN, "-o", narrow, "--fit=dynes", "--fit-window=0.0001",
                                     "--fit-temperature=0.5", g});
        const auto d = testkit::run({STSGRID_BIN, "-o", plain, g});
        // stsgrid's status 3: done with unprocessed (here missing) pixels.
        const auto good = [](const testkit::outcome& o) { return o.status == 0 || o.status == 3; };
        ok = a.status == 0 && good(b) && good(c) && good(d);
        if (!ok) ADD_FAILURE() << a.err << b.err << c.err << d.err;
    }
    static fit_files& get() {
        static fit_files f;
        return f;
    }
};

struct handler {
    sts::grid_store store;
    std::map<std::string, sts::asset> assets;
    sts::site site;
    explicit handler(const std::vector<std::string>& files) {
        std::string error;
        EXPECT_TRUE(store.open(files, &error)) << error;
        site.store = &store;
        site.assets = &assets;
        site.token = token;
        site.port = 8124;
    }
    sts::reply api(const std::string& route) {
        const char* join = route.find('?') == std::string::npos ? "?" : "&";
        return sts::answer(site, {"GET", "/api/" + route + join + "token=" + token, "127.0.0.1:8124", ""});
    }
};

// The floats of "name":[...] (null as NaN).
std::vector<float> array_of(const std::string& body, const std::string& name) {
    std::vector<float> out;
    size_t at = body.find("\"" + name + "\":[");
    if (at == std::string::npos) return out;
    at += name.size() + 4;
    while (at < body.size() && body[at] != ']') {
        if (body.compare(at, 4, "null") == 0) {
            out.push_back(NAN);
            at += 4;
        } else {
            char* end = nullptr;
            out.push_back(std::strtof(body.c_str() + at, &end));
            at = static_cast<size_t>(end - body.c_str());
        }
        if (body[at] == ',') ++at;
    }
    return out;
}

// The "value" of the entry named name in "values" (null as NaN).
float value_of(const std::string& body, const std::string& name) {
    const size_t at = body.find("\"name\":\"" + name + "\"");
    if (at == std::string::npos) return -12345;
    const size_t v = body.find("\"value\":", at) + 8;
    return body.compare(v, 4, "null") == 0 ? NAN : std::strtof(body.c_str() + v, nullptr);
}

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

// A text attribute read straight from the file (global with var NC_GLOBAL).
std::string attribute(const std::string& path, const char* variable, const char* name) {
    int id = -1, var = NC_GLOBAL;
    size_t length = 0;
    std::string out;
    if (nc_open(path.c_str(), NC_NOWRITE, &id) != NC_NOERR) return out;
    if ((!variable || nc_inq_varid(id, variable, &var) == NC_NOERR) &&
        nc_inq_attlen(id, var, name, &length) == NC_NOERR) {
        out.resize(length);
        nc_get_att_text(id, var, name, out.data());
    }
    nc_close(id);
    while (!out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Every pixel's /api/fit against the file; returns the fit_status counts by word.
std::map<std::string, int> check_every_pixel(handler& h, size_t file, const std::string& path, size_t nx, size_t ny) {
    const auto status = read_whole(path, "fit_status"), curve = read_whole(path, "fit_curve");
    const auto vmid = read_whole(path, "vmid");
    const auto meanings = words(attribute(path, "fit_status", "flag_meanings"));
    const size_t m = vmid.size();
    std::map<std::string, int> counts;
    for (size_t y = 0; y < ny; ++y)
        for (size_t x = 0; x < nx; ++x) {
            const size_t p = y * nx + x;
            const sts::reply r = h.api("fit?file=" + std::to_string(file) + "&x=" + std::to_string(x) +
                                       "&y=" + std::to_string(y));
            EXPECT_EQ(r.status, 200) << r.body;
            const int code = static_cast<int>(status[p]);
            const std::string word = meanings.at(static_cast<size_t>(code));
            ++counts[word];
            EXPECT_NE(r.body.find("\"status\":" + std::to_string(code) + ","), std::string::npos) << p;
            EXPECT_NE(r.body.find("\"word\":\"" + word + "\""), std::string::npos) << p << r.body;
            for (const char* name : {"fit_gap", "fit_gamma", "fit_scale", "fit_se_gap", "fit_chi2", "fit_iterations"})
                EXPECT_TRUE(same_bits(value_of(r.body, name), read_whole(path, name)[p])) << name << ' ' << p;
            const auto c = array_of(r.body, "curve"), b = array_of(r.body, "bias");
            EXPECT_EQ(c.size(), m);
            EXPECT_EQ(b.size(), m);
            bool finite = false;
            for (size_t k = 0; k < c.size() && k < m; ++k) {
                EXPECT_TRUE(same_bits(c[k], curve[p * m + k])) << p << ' ' << k;
                EXPECT_TRUE(same_bits(b[k], vmid[k]));
                finite = finite || std::isfinite(curve[p * m + k]);
            }
            EXPECT_NE(r.body.find(finite ? "\"drawn\":true" : "\"drawn\":false"), std::string::npos) << p;
            // A pixel without a curve says why, in the file's word.
            if (!finite) EXPECT_NE(r.body.find("\"why\":\"no fit: " + word), std::string::npos) << r.body;
            else EXPECT_NE(r.body.find("\"why\":\"\""), std::string::npos) << r.body;
        }
    return counts;
}

TEST(FitRoutes, TheFilesFitIsDescribed) {
    auto& g = fit_files::get();
    ASSERT_TRUE(g.ok);
    handler h({g.wide, g.plain});
    const sts::reply files = h.api("files");
    ASSERT_EQ(files.status, 200);
    const std::string& b = files.body;
    const size_t fit = b.find("\"fit\":{");
    ASSERT_NE(fit, std::string::npos) << b;
    EXPECT_NE(b.find("\"variable\":\"" + attribute(g.wide, nullptr, "fit_curve_of") + "\"", fit), std::string::npos);
    EXPECT_EQ(attribute(g.wide, nullptr, "fit_curve_of"), "didv");
    EXPECT_NE(b.find("\"window\":\"" + attribute(g.wide, nullptr, "fit_window") + "\"", fit), std::string::npos);
    EXPECT_NE(b.find("\"model\":\"" + attribute(g.wide, nullptr, "fit_model") + "\"", fit), std::string::npos);
    std::string meanings = "\"meanings\":[";
    for (const auto& w : words(attribute(g.wide, "fit_status", "flag_meanings"))) meanings += "\"" + w + "\",";
    meanings.back() = ']';
    EXPECT_NE(b.find(meanings, fit), std::string::npos) << meanings;
    EXPECT_NE(b.find("\"name\":\"fit_gap\",\"units\":\"meV\"", fit), std::string::npos);
    // The grid without --fit: "fit":null, and the route refuses it naming the option.
    EXPECT_NE(b.find("\"fit\":null"), std::string::npos);
    const sts::reply none = h.api("fit?file=1&x=0&y=0");
    EXPECT_EQ(none.status, 400);
    EXPECT_NE(none.body.find("stsgrid --fit"), std::string::npos) << none.body;
}

TEST(FitRoutes, EveryPixelIsTheFiles) {
    auto& g = fit_files::get();
    ASSERT_TRUE(g.ok);
    handler h({g.wide, g.narrow});
    const auto wide = check_every_pixel(h, 0, g.wide, fit_files::nx, fit_files::ny);
    EXPECT_EQ(wide.at("not_computed"), fit_files::missing);
    EXPECT_GE(wide.count("converged") ? wide.at("converged") : 0, 15) << "the wide window's fits";
    // 0.1 mV each side holds four midpoints: too few for a gap's fit.
    const auto narrow = check_every_pixel(h, 1, g.narrow, fit_files::nx, fit_files::ny);
    EXPECT_EQ(narrow.at("too_few_points"), fit_files::nx * fit_files::ny - fit_files::missing);
    EXPECT_EQ(narrow.at("not_computed"), fit_files::missing);
    // A missing pixel: not fitted, and the pixel's own status said.
    const sts::reply r = h.api("fit?file=0&x=5&y=3");
    EXPECT_NE(r.body.find("not_computed"), std::string::npos);
    EXPECT_NE(r.body.find("the pixel is missing"), std::string::npos) << r.body;
}

// The curve's export with fit=1: the plain export's rows with fit_curve beside.
TEST(FitRoutes, CurveExportCarriesTheFit) {
    auto& g = fit_files::get();
    ASSERT_TRUE(g.ok);
    handler h({g.wide});
    const auto didv = read_whole(g.wide, "didv"), curve = read_whole(g.wide, "fit_curve");
    const auto vmid = read_whole(g.wide, "vmid");
    const size_t m = vmid.size(), p = 1 * fit_files::nx + 2;
    const sts::reply r = h.api("export/curve.txt?file=0&variable=didv&x=2&y=1&fit=1");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(r.download, "didv_fit_x2_y1.txt");
    std::istringstream in(r.body);
    size_t rows = 0, fitted = 0, k = 0;
    for (std::string line; std::getline(in, line); ++rows, ++k) {
        while (k < m && !std::isfinite(didv[p * m + k])) ++k;  // rows the pixel lacks are left out
        ASSERT_LT(k, m);
        const auto cols = words(line);
        ASSERT_EQ(cols.size(), 3u) << line;
        EXPECT_TRUE(same_bits(std::strtof(cols[0].c_str(), nullptr), vmid[k])) << line;
        EXPECT_TRUE(same_bits(std::strtof(cols[1].c_str(), nullptr), didv[p * m + k])) << line;
        EXPECT_TRUE(same_bits(std::strtof(cols[2].c_str(), nullptr), curve[p * m + k])) << line;
        fitted += std::isfinite(curve[p * m + k]);
    }
    EXPECT_GT(fitted, 50u);
    EXPECT_LT(fitted, rows) << "the window is narrower than the sweep";
    // Without fit=1, the plain pairs as before.
    EXPECT_EQ(words(h.api("export/curve.txt?file=0&variable=didv&x=2&y=1").body).size(), 2 * rows);
}

TEST(FitRoutes, BadRequestsAreRefusedWithAMessage) {
    auto& g = fit_files::get();
    ASSERT_TRUE(g.ok);
    handler h({g.wide, g.plain});
    for (const char* q : {"fit?file=0&x=6&y=0", "fit?file=0&x=0&y=4", "fit?file=0&x=0", "fit?file=2&x=0&y=0",
                          "fit?file=0&x=0&y=0&variable=didv", "fit?file=0&x=-1&y=0",
                          "curve?file=0&variable=didv&x=0&y=0&fit=1",
                          "export/curve.txt?file=0&variable=didv&x=0&y=0&fit=2",
                          "export/curve.txt?file=0&variable=didv&x=0&y=0&fit=yes",
                          "export/curve.txt?file=1&variable=didv&x=0&y=0&fit=1"}) {
        const sts::reply r = h.api(q);
        EXPECT_EQ(r.status, 400) << q << r.body;
        EXPECT_NE(r.body.find("\"error\":\""), std::string::npos) << q;
    }
    const sts::reply other = h.api("export/curve.txt?file=0&variable=current&x=0&y=0&fit=1");
    EXPECT_EQ(other.status, 400);
    EXPECT_NE(other.body.find("ask for variable=didv"), std::string::npos) << other.body;
}

// A copy of the fitted file with its fit spoiled: the fitted variable named
// wrong, a status beyond the file's words.  The file still opens; the fit
// is refused naming what is wrong, or the status shown as its number.
TEST(FitRoutes, SpoiledFitsAreNamed) {
    auto& g = fit_files::get();
    ASSERT_TRUE(g.ok);
    testkit::temp_dir dir;
    const std::string wrong = dir / "wrong.nc", odd = dir / "odd.nc";
    testkit::write_file(wrong, testkit::read_file(g.wide));
    testkit::write_file(odd, testkit::read_file(g.wide));
    int id = -1, var = -1;
    ASSERT_EQ(nc_open(wrong.c_str(), NC_WRITE, &id), NC_NOERR);
    EXPECT_EQ(nc_put_att_text(id, NC_GLOBAL, "fit_curve_of", 4, "nope"), NC_NOERR);
    nc_close(id);
    ASSERT_EQ(nc_open(odd.c_str(), NC_WRITE, &id), NC_NOERR);
    const signed char code = 100;
    const size_t at[2] = {1, 2};
    EXPECT_EQ(nc_inq_varid(id, "fit_status", &var), NC_NOERR);
    EXPECT_EQ(nc_put_var1_schar(id, var, at, &code), NC_NOERR);
    nc_close(id);
    handler h({wrong, odd});
    const sts::reply files = h.api("files");
    EXPECT_NE(files.body.find("\"present\":false,\"problem\":\"the file's fit cannot be drawn: the fitted "
                              "variable 'nope' (fit_curve_of) is not in the file\""),
              std::string::npos)
        << files.body;
    const sts::reply r = h.api("fit?file=0&x=0&y=0");
    EXPECT_EQ(r.status, 400);
    EXPECT_NE(r.body.find("'nope'"), std::string::npos) << r.body;
    const sts::reply c = h.api("fit?file=1&x=2&y=1");
    EXPECT_EQ(c.status, 200);
    EXPECT_NE(c.body.find("\"status\":100,\"word\":\"code 100\""), std::string::npos) << c.body;
}

// The real Pb line at 0.42 K (man/stsgrid.1, FITS): with V_0 held at 0
// every pixel is poor_fit, its values and curve kept and served as they are.
TEST(FitRoutes, RealPbLine) {
    const std::string raw = testkit::realdata_dir();
    if (raw.empty()) GTEST_SKIP() << testkit::no_realdata;
    const std::string source = raw + "/raw/nanonis2025_Grid_Spectroscopy008.3ds";
    ASSERT_TRUE(testkit::file_exists(source)) << source;
    testkit::temp_dir dir;
    const std::string nc = dir / "pb.nc";
    const auto run = testkit::run({STSGRID_BIN, "-o", nc, "-d", "mean", "--fit=dynes", "--fit-window=0.001",
                                   "--fit-temperature=0.42", source});
    ASSERT_TRUE(run.status == 0 || run.status == 3) << run.err;
    handler h({nc});
    const size_t nx = read_whole(nc, "x").size(), ny = read_whole(nc, "y").size();
    const auto counts = check_every_pixel(h, 0, nc, nx, ny);
    EXPECT_EQ(counts.size(), 1u);
    EXPECT_EQ(counts.count("poor_fit") ? counts.at("poor_fit") : 0, static_cast<int>(nx * ny));
    const sts::reply r = h.api("fit?file=0&x=3&y=0");
    EXPECT_NE(r.body.find("\"drawn\":true"), std::string::npos);
    const float gap = value_of(r.body, "fit_gap");
    EXPECT_TRUE(gap > 0.29f && gap < 0.41f) << gap;
}

}  // namespace
