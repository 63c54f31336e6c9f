// The reciprocal-space routes through the whole handler, on a synthetic
// QPI grid (make_plane_wave_grid: a plane wave per midpoint on q-pixels, a square
// lattice in the topography): the q-map against stsgrid --fft's file bit
// for bit (plain and symmetrised), against NumPy's fft2 of the slice read
// with netCDF4 (qpane_check.py), the cut against NumPy read bilinearly,
// the cut's netCDF read back with netCDF4 and xarray, the text exports'
// headers, the wave and Bragg peaks where they were put, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "stsview/fourier_query.h"
#include "stsview/request_handler.h"
#include "grid_fixture.h"
#include "testkit/testkit.h"

namespace {

using stsview_test::read_whole;

const std::string token(64, 'b');
constexpr double dq = 2 * std::numbers::pi / 64;  // nm^-1: one q-pixel of the 32 x 2 nm scan

// The QPI grid, its stsgrid file and the two Fourier files stsgrid writes
// beside it (plain, and symmetrised by 4mm), with a flat grid (no lattice
// in its topography) and a grid of one row.
struct qpi_fixture {
    testkit::temp_dir dir;
    std::string nc, fft, sym_fft, flat, row;
    bool ok = false;
    qpi_fixture() {
        const std::string g = dir / "qpi.3ds", f = dir / "flat.3ds", r = dir / "row.3ds";
        nc = dir / "qpi.nc";
        fft = dir / "qpi_fft.nc";
        sym_fft = dir / "sym_fft.nc";
        flat = dir / "flat.nc";
        row = dir / "row.nc";
        const auto a = testkit::run({MAKE_PLANE_WAVE_GRID_BIN, g});
        const auto b = testkit::run({STSGRID_BIN, "-o", nc, "--fft", g});
        const auto c = testkit::run({STSGRID_BIN, "-o", dir / "sym.nc", "--fft", "--symmetrise=4mm", g});
        const auto d = testkit::run({MAKE_GRID_BIN, "8", "6", "10", f});
        const auto e = testkit::run({STSGRID_BIN, "-o", flat, f});
        const auto h = testkit::run({MAKE_GRID_BIN, "8", "1", "10", r});
        const auto i = testkit::run({STSGRID_BIN, "-o", row, r});
        ok = a.status == 0 && b.status == 0 && c.status == 0 && d.status == 0 && e.status == 0 &&
             h.status == 0 && i.status == 0;
        if (!ok) ADD_FAILURE() << a.err << b.err << c.err << d.err << e.err << h.err << i.err;
    }
    static qpi_fixture& get() {
        static qpi_fixture f;
        return f;
    }
};

struct handler {
    sts::grid_store store;
    std::map<std::string, sts::asset> assets;
    sts::site site;
    handler() {
        auto& q = qpi_fixture::get();
        std::string error;
        EXPECT_TRUE(store.open({q.nc, q.flat, q.row}, &error)) << error;
        site.store = &store;
        site.assets = &assets;
        site.token = token;
        site.port = 8123;
    }
    sts::reply api(const std::string& route) {
        return sts::answer(site, {"GET", "/api/" + route + "&token=" + token, "127.0.0.1:8123", ""});
    }
};

// The numbers of "name":[...] in a JSON reply, as doubles, nested arrays
// flattened (null as NaN).
std::vector<double> numbers(const std::string& body, const std::string& name) {
    std::vector<double> out;
    size_t at = body.find("\"" + name + "\":[");
    if (at == std::string::npos) return out;
    at += name.size() + 4;
    for (int depth = 1; depth > 0 && at < body.size();) {
        const char c = body[at];
        if (c == '[' || c == ']') {
            depth += c == '[' ? 1 : -1;
            ++at;
        } else if (c == ',') {
            ++at;
        } else if (body.compare(at, 4, "null") == 0) {
            out.push_back(NAN);
            at += 4;
        } else {
            char* end = nullptr;
            out.push_back(std::strtod(body.c_str() + at, &end));
            if (end == body.c_str() + at) break;  // not JSON of numbers
            at = static_cast<size_t>(end - body.c_str());
        }
    }
    return out;
}

std::vector<float> floats(const std::vector<double>& v) { return std::vector<float>(v.begin(), v.end()); }

bool same_bits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }

template <typename T>
std::string bytes_of(const std::vector<T>& v) {
    return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

testkit::outcome check(const testkit::temp_dir&, std::vector<std::string> args) {
    if (!testkit::python_imports("numpy, netCDF4, xarray"))
        ADD_FAILURE() << testkit::missing_package("python3-netcdf4 python3-xarray");
    args.insert(args.begin(), {"/usr/bin/python3", STSVIEW_TEST_DIR "/qpane_check.py"});
    return testkit::run(args);
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// Every slice, plain and symmetrised by 4mm, equals stsgrid --fft's file
// bit for bit; the q axes equal the file's.
TEST(QMap, EqualsStsgridsFourierFile) {
    auto& q = qpi_fixture::get();
    ASSERT_TRUE(q.ok);
    handler h;
    const auto plain = read_whole(q.fft, "fft_didv");
    const auto sym = read_whole(q.sym_fft, "fft_didv_symmetrised");
    const auto fqx = read_whole(q.fft, "qx"), fqy = read_whole(q.fft, "qy");
    const size_t pixels = 32 * 32;
    ASSERT_EQ(plain.size(), 5 * pixels);
    ASSERT_EQ(sym.size(), 5 * pixels);
    for (size_t k = 0; k < 5; ++k) {
        for (const bool symmetrised : {false, true}) {
            const sts::reply r = h.api("qmap?file=0&variable=didv&index=" + std::to_string(k) +
                                       (symmetrised ? "&group=4mm" : ""));
            ASSERT_EQ(r.status, 200) << r.body;
            const auto v = floats(numbers(r.body, "values"));
            ASSERT_EQ(v.size(), pixels);
            const auto& want = symmetrised ? sym : plain;
            size_t differ = 0;
            for (size_t p = 0; p < pixels; ++p) differ += !same_bits(v[p], want[k * pixels + p]);
            EXPECT_EQ(differ, 0u) << "slice " << k << (symmetrised ? " symmetrised" : "");
        }
    }
    // The floats the page's bias steps take: the same slice's bytes, little-endian.
    const sts::reply binary = h.api("qmap.f32?file=0&variable=didv&index=3");
    ASSERT_EQ(binary.status, 200) << binary.body;
    ASSERT_EQ(binary.body.size(), pixels * 4);
    for (size_t p = 0; p < pixels; ++p) {
        uint32_t bits = 0;
        for (int b = 0; b < 4; ++b)
            bits |= static_cast<uint32_t>(static_cast<unsigned char>(binary.body[p * 4 + static_cast<size_t>(b)]))
                    << (8 * b);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        ASSERT_TRUE(same_bits(v, plain[3 * pixels + p])) << p;
    }
    const sts::reply r = h.api("qmap?file=0&variable=didv&index=0");
    const auto qx = floats(numbers(r.body, "qx")), qy = floats(numbers(r.body, "qy"));
    ASSERT_EQ(qx.size(), 32u);
    for (size_t i = 0; i < 32; ++i) EXPECT_TRUE(same_bits(qx[i], fqx[i]) && same_bits(qy[i], fqy[i])) << i;
    EXPECT_TRUE(has(r.body, "\"q_units\":\"nm^-1\"")) << r.body.substr(0, 200);
}

// Each slice with and without the window against NumPy float64 from the
// grid's own file; and the wave and the lattice where the grid put them.
TEST(QMap, AgreesWithNumPyAndFindsTheWaves) {
    auto& q = qpi_fixture::get();
    ASSERT_TRUE(q.ok);
    handler h;
    testkit::temp_dir dir;
    for (const std::string window : {"hann", "none"})
        for (size_t k = 0; k < 5; ++k) {
            const sts::reply r =
                h.api("qmap?file=0&variable=didv&index=" + std::to_string(k) + "&window=" + window);
            ASSERT_EQ(r.status, 200) << r.body;
            testkit::write_file(dir / "v.f32", bytes_of(floats(numbers(r.body, "values"))));
            testkit::write_file(dir / "qx.f64", bytes_of(numbers(r.body, "qx")));
            testkit::write_file(dir / "qy.f64", bytes_of(numbers(r.body, "qy")));
            const auto c = check(dir, {"qmap", q.nc, "didv", std::to_string(k), window, dir / "v.f32",
                                       dir / "qx.f64", dir / "qy.f64"});
            EXPECT_EQ(c.status, 0) << window << " slice " << k << ": " << c.out << c.err;
            // The strongest |F| beyond three q-pixels of q = 0: the wave +-dq (5 + k, 3).
            const auto v = numbers(r.body, "values");
            const auto qx = numbers(r.body, "qx"), qy = numbers(r.body, "qy");
            size_t best = 0;
            for (size_t p = 0; p < v.size(); ++p)
                if (std::hypot(qx[p % 32], qy[p / 32]) > 3 * dq && !(v[p] <= v[best])) best = p;
            EXPECT_NEAR(std::fabs(qx[best % 32]), dq * static_cast<double>(5 + k), 1e-9) << k;
            EXPECT_NEAR(std::fabs(qy[best / 32]), dq * 3, 1e-9) << k;
        }
    const sts::reply r = h.api("qmap?file=0&variable=didv&index=0");
    const auto b = numbers(r.body, "bragg");
    ASSERT_EQ(b.size(), 4u) << r.body.substr(0, 300);
    // Up to sign and order, (8 dq, 0) and (0, 8 dq), within a q-pixel.
    const double q1 = std::hypot(b[0], b[1]), q2 = std::hypot(b[2], b[3]);
    EXPECT_NEAR(q1, 8 * dq, dq);
    EXPECT_NEAR(q2, 8 * dq, dq);
    EXPECT_NEAR(std::fabs(b[0] * b[2] + b[1] * b[3]), 0, dq * 8 * dq);
    EXPECT_TRUE(has(h.api("qmap?file=1&variable=didv&index=0").body, "\"bragg\":null"));
}

// The cut against NumPy's transforms read bilinearly at its samples; its
// netCDF read back with netCDF4 and xarray; the text's header and numbers.
TEST(QCut, AgreesWithNumPyAndItsExports) {
    auto& q = qpi_fixture::get();
    ASSERT_TRUE(q.ok);
    handler h;
    testkit::temp_dir dir;
    const std::string ends = "&q0x=-0.5&q0y=0.1&q1x=0.9&q1y=0.4";
    for (const std::string window : {"hann", "none"}) {
        const sts::reply r = h.api("qcut?file=0&variable=didv&window=" + window + ends);
        ASSERT_EQ(r.status, 200) << r.body;
        const auto distance = numbers(r.body, "distance");
        // One q-pixel apart at most: ceil(|q1 - q0| / dq) + 1 samples.
        EXPECT_EQ(distance.size(), static_cast<size_t>(std::ceil(std::hypot(1.4, 0.3) / dq)) + 1);
        EXPECT_EQ(numbers(r.body, "values").size(), 5 * distance.size());
        testkit::write_file(dir / "c.f32", bytes_of(floats(numbers(r.body, "values"))));
        testkit::write_file(dir / "d.f64", bytes_of(distance));
        testkit::write_file(dir / "qx.f64", bytes_of(numbers(r.body, "qx")));
        testkit::write_file(dir / "qy.f64", bytes_of(numbers(r.body, "qy")));
        const auto c = check(dir, {"qcut", q.nc, "didv", window, dir / "c.f32", dir / "d.f64", dir / "qx.f64",
                                   dir / "qy.f64"});
        EXPECT_EQ(c.status, 0) << window << ": " << c.out << c.err;
        if (window == "hann") {
            const sts::reply nc = h.api("export/qcut.nc?file=0&variable=didv" + ends);
            ASSERT_EQ(nc.status, 200) << nc.body;
            EXPECT_EQ(nc.download, "fft_didv_qcut.nc");
            testkit::write_file(dir / "cut.nc", nc.body);
            const auto f = check(dir, {"cutfile", dir / "cut.nc", dir / "c.f32", "-0.5", "0.1", "0.9", "0.4"});
            EXPECT_EQ(f.status, 0) << f.out << f.err;
        }
    }
    const sts::reply t = h.api("export/qcut.txt?file=0&variable=didv" + ends);
    ASSERT_EQ(t.status, 200) << t.body;
    EXPECT_TRUE(t.body.rfind("# variable fft_didv", 0) == 0) << t.body.substr(0, 300);
    for (const char* part : {"q0 = (-0.5, 0.1) -> q1 = (0.9, 0.4) nm^-1", "bias in V", "# distance (nm^-1)",
                             "window hann"})
        EXPECT_TRUE(has(t.body, part)) << part << "\n" << t.body.substr(0, 400);
    const sts::reply m = h.api("export/qmap.txt?file=0&variable=didv&index=2");
    ASSERT_EQ(m.status, 200) << m.body;
    EXPECT_TRUE(has(m.body, "# qx qy |F|\n")) << m.body.substr(0, 300);
    size_t rows = 0;
    for (char c : m.body) rows += c == '\n';
    EXPECT_EQ(rows, 32u * 32 + 4);
}

// Bad parameters and what stsgrid --fft refuses, with its words.
TEST(QRoutes, RefusalsSayWhy) {
    auto& q = qpi_fixture::get();
    ASSERT_TRUE(q.ok);
    handler h;
    const std::string cut = "qcut?file=0&variable=didv&q0x=0&q0y=0&q1x=0.5&q1y=0.5";
    const std::pair<std::string, std::string> cases[] = {
        {"qmap?file=0&variable=didv&index=5", "index"},
        {"qmap?file=0&variable=topography&index=0", "not a map at every bias"},
        {"qmap?file=0&variable=didv&index=0&group=4x", "--symmetrise=4x"},
        {"qmap?file=0&variable=didv&index=0&group=4%20mm", "group must be"},
        {"qmap?file=0&variable=didv&index=0&window=hamming", "window must be hann or none"},
        {"qmap?file=0&variable=didv&index=0&extra=1", "unknown query parameter"},
        {"qmap?file=1&variable=didv&index=0&group=4mm", "no lattice in the transform of the topography"},
        {"qmap?file=2&variable=didv&index=0", "at least 2 x 2 pixels"},
        {"qcut?file=0&variable=didv&q0x=0&q0y=0&q1x=0.5", "give q1y"},
        {cut + "&window=", "window must be"},
        {"qcut?file=0&variable=didv&q0x=nan&q0y=0&q1x=0.5&q1y=0.5", "q0x must be a finite decimal"},
        {"qcut?file=0&variable=didv&q0x=1e999&q0y=0&q1x=0.5&q1y=0.5", "q0x must be a finite decimal"},
        {"qcut?file=0&variable=didv&q0x=0x1&q0y=0&q1x=0.5&q1y=0.5", "q0x must be a finite decimal"},
        {"qcut?file=0&variable=didv&q0x=0&q0y=0&q1x=5&q1y=0.5", "within the map"},
        {"export/qcut.nc?file=0&variable=didv&q0x=0&q0y=0&q1x=5&q1y=0.5", "within the map"},
    };
    for (const auto& [route, words] : cases) {
        const sts::reply r = h.api(route);
        EXPECT_EQ(r.status, 400) << route << " " << r.body;
        EXPECT_TRUE(has(r.body, words)) << route << ": " << r.body;
    }
    EXPECT_EQ(h.api(cut).status, 200);
}

// The cut's numbers, the group's text and the window, parsed strictly.
TEST(QRoutes, ParametersParseStrictly) {
    auto parsed = [](const std::string& text) {
        sts::query q;
        std::string error;
        EXPECT_TRUE(q.parse(text, &error)) << text << error;
        return q;
    };
    std::string error;
    double v = 0;
    for (const auto& [text, want] : std::vector<std::pair<std::string, double>>{
             {"0.25", 0.25}, {"-1.5e-1", -0.15}, {"3", 3}, {"1E2", 100}, {"-0", 0}, {".5", 0.5}}) {
        EXPECT_TRUE(sts::query_number(parsed("a=" + text), "a", &v, &error)) << text << error;
        EXPECT_EQ(v, want) << text;
    }
    for (const std::string& text : std::vector<std::string>{"", "+1", "1,2", "inf", "nan", "0x10", "%201", "1e400", "1..2", "e5", "-",
                                   std::string(33, '1')}) {
        error.clear();
        EXPECT_FALSE(sts::query_number(parsed("a=" + text), "a", &v, &error)) << text;
        EXPECT_NE(error.find("a must be a finite decimal number"), std::string::npos) << text << error;
    }
    EXPECT_FALSE(sts::query_number(parsed("b=1"), "a", &v, &error));
    EXPECT_EQ(error, "give a (a number, nm^-1)");
    std::string g;
    EXPECT_TRUE(sts::query_group(parsed("x=1"), &g, &error) && g.empty());
    EXPECT_TRUE(sts::query_group(parsed("group=r90,m0"), &g, &error) && g == "r90,m0");
    for (const std::string& text : std::vector<std::string>{"group=", "group=4mm;", "group=a%20b", "group=" + std::string(65, 'm')})
        EXPECT_FALSE(sts::query_group(parsed(text), &g, &error)) << text;
    bool hann = false;
    EXPECT_TRUE(sts::query_window(parsed("x=1"), &hann, &error) && hann);
    EXPECT_TRUE(sts::query_window(parsed("window=none"), &hann, &error) && !hann);
    EXPECT_FALSE(sts::query_window(parsed("window=Hann"), &hann, &error));
}
