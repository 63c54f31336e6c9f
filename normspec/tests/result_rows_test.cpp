// Every result file, byte for byte, is what the C library's
// fprintf("%f %s %f\n", x, " ", y) writes for the values the spectrum
// library computes, on spectra whose values span the float range.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "normspec/tests/e2e.h"
#include "normspec/normspec.h"

namespace {

using testkit::read_file;
using testkit::temp_dir;

// The rows as printf writes them.
std::string printf_rows(const std::vector<float>& x, const std::vector<float>& y, int rows) {
    std::string text;
    char row[128];
    for (int j = 0; j < rows; ++j) {
        const int length = std::snprintf(row, sizeof row, "%f %s %f\n", static_cast<double>(x[j]),
                                         " ", static_cast<double>(y[j]));
        text.append(row, static_cast<size_t>(length));
    }
    return text;
}

// Runs normspec on the spectrum file name in dir and compares its six files
// with the rows of the same spectrum computed here.
void expect_printf_rows(const temp_dir& dir, const std::string& name) {
    const auto r = e2e::normspec(dir, {name});
    ASSERT_EQ(r.status, 0) << r.out;

    spectrum_arrays a;
    spectrum_workspace w;
    ASSERT_TRUE(reserve_arrays(&a, MAX_POINTS) && reserve_workspace(&w, MAX_POINTS));
    std::FILE* in = std::fopen((dir / name).c_str(), "r");
    ASSERT_NE(in, nullptr);
    int n = 0;
    bool more = false, read_error = false;
    read_spectrum(in, a.bias.data(), a.current.data(), &n, &more, &read_error);
    std::fclose(in);
    const spectrum_report report = compute_spectrum(n, norm_options{}, &w, &a);
    ASSERT_EQ(report.reached, spectrum_step::done) << name;
    const int m = report.n - 1;
    const struct {
        const char* suffix;
        const std::vector<float>& x;
        const std::vector<float>& y;
        int rows;
    } files[] = {{"didv.txt", a.vmid, a.didv, m},          {"iv.txt", a.bias, a.iv_raw, report.n},
                 {"i.txt", a.bias, a.current, report.n},   {"exp.txt", a.vmid, a.norm_exp, m},
                 {"coff.txt", a.vmid, a.norm_coff, m},     {"raw.txt", a.vmid, a.norm_raw, m}};
    for (const auto& f : files) {
        // (compared as a condition: a difference would print the whole file)
        EXPECT_TRUE(read_file(dir / (name + f.suffix)) == printf_rows(f.x, f.y, f.rows))
            << name << f.suffix;
    }
}

TEST(ResultRows, AsPrintfWritesThem) {
    temp_dir dir;
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<float> v, i;
    // A long noisy curve in nA.
    for (int k = 0; k < 5000; ++k) {
        v.push_back(-1.0f + 2.0f * (static_cast<float>(k) + 0.5f) / 5000.0f);
        i.push_back(std::sinh(2.0f * v.back()) + 0.01f * noise(rng));
    }
    testkit::write_file(dir / "noisy", e2e::spectrum(v, i));
    // Currents of every size from below the last decimal to 1e20, with
    // results of up to 30 integer digits.
    v.clear();
    i.clear();
    for (int k = 0; k < 60; ++k) {
        v.push_back(static_cast<float>(k - 30) * 0.01f + (k == 45 ? 1e-30f : 0.0f));
        i.push_back(std::pow(10.0f, static_cast<float>(k % 31) - 10.0f) * (k % 2 ? -1.0f : 1.0f));
    }
    testkit::write_file(dir / "wide", e2e::spectrum(v, i));
    // Beyond the float range: results of -nan, inf and the largest floats.
    testkit::write_file(dir / "over", "-0.2 1e38\n-0.1 -3e38\n0.1 3e38\n0.2 -1e38\n0.3 2e38\n");
    for (const char* name : {"noisy", "wide", "over"}) expect_printf_rows(dir, name);
}

}  // namespace
