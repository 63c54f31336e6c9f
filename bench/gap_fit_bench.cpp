// The gap fit over a generated grid of superconducting curves, one thread:
// the time per pixel and the statuses.  Writes the first curves with their
// start values for bench/gap_fit_bench.py to fit again with SciPy.
//   gap_fit_bench PIXELS SUBSET OUT.json
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "spectrum/gap_fit.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gap_fit_bench PIXELS SUBSET OUT.json\n");
        return 2;
    }
    const int pixels = std::atoi(argv[1]), subset = std::atoi(argv[2]), n = 400;
    std::mt19937_64 random(2026);
    std::uniform_real_distribution<double> gap(1.1, 1.4), gamma(0.02, 0.08), scale(0.5, 2);
    std::normal_distribution<double> noise(0, 0.01);
    std::vector<double> bias(n);
    std::vector<float> fbias(n);
    for (int i = 0; i < n; ++i) fbias[static_cast<size_t>(i)] = static_cast<float>(-0.004 + 0.008 * i / (n - 1));
    bias.assign(fbias.begin(), fbias.end());
    sts::gap_fit_workspace w;
    sts::gap_fit_settings s;
    s.window = 0.004;
    s.temperature = 0.5;
    // The curves first, so that the timing holds the fits alone.
    std::vector<std::vector<float>> curves(static_cast<size_t>(pixels), std::vector<float>(n));
    std::vector<double> clean(n);
    for (auto& y : curves) {
        sts::gap_curve c;
        c.gap = gap(random);
        c.gamma = gamma(random);
        c.temperature = 0.5;
        c.scale = scale(random);
        sts::evaluate_gap_curve(c, bias.data(), n, clean.data(), &w);
        for (int i = 0; i < n; ++i) y[static_cast<size_t>(i)] = static_cast<float>(clean[static_cast<size_t>(i)] + c.scale * noise(random));
    }
    std::vector<sts::gap_fit_result> results(static_cast<size_t>(pixels));
    long evaluations = 0;
    // Processor time: less at the mercy of other jobs on a shared machine.
    const std::clock_t t0 = std::clock();
    for (int p = 0; p < pixels; ++p) {
        results[static_cast<size_t>(p)] = sts::fit_gap(fbias.data(), curves[static_cast<size_t>(p)].data(), n, s, &w);
        evaluations += results[static_cast<size_t>(p)].evaluations;
    }
    const double seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC;
    int counts[sts::gap_fit_status_count] = {};
    for (const auto& r : results) ++counts[static_cast<int>(r.status)];
    std::printf("pixels %d seconds %.3f per_pixel_ms %.4f evaluations_per_pixel %.1f converged %d at_bound %d other %d\n",
                pixels, seconds, 1e3 * seconds / pixels, static_cast<double>(evaluations) / pixels,
                counts[0], counts[1], pixels - counts[0] - counts[1]);
    FILE* out = std::fopen(argv[3], "w");
    if (!out) return 1;
    std::fprintf(out, "{\"bias\": [");
    for (int i = 0; i < n; ++i) std::fprintf(out, "%s%.9g", i ? "," : "", static_cast<double>(fbias[static_cast<size_t>(i)]));
    std::fprintf(out, "], \"curves\": [");
    for (int p = 0; p < subset && p < pixels; ++p) {
        const auto& y = curves[static_cast<size_t>(p)];
        const sts::gap_fit_result start = sts::gap_fit_start(fbias.data(), y.data(), n, s, &w);
        const sts::gap_fit_result& r = results[static_cast<size_t>(p)];
        std::fprintf(out, "%s{\"didv\": [", p ? ", " : "");
        for (int i = 0; i < n; ++i) std::fprintf(out, "%s%.9g", i ? "," : "", static_cast<double>(y[static_cast<size_t>(i)]));
        std::fprintf(out, "], \"p0\": [%.9g, %.9g, %.9g], \"ours\": [%.9g, %.9g, %.9g]}", start.gap,
                     start.gamma, start.scale, r.gap, r.gamma, r.scale);
    }
    std::fprintf(out, "]}\n");
    std::fclose(out);
    return 0;
}
