// The floor for pointmean's speed: reads every file of the series once, in
// full, with the C library's "%f%f", and writes the same point files, the
// same summary and the same console lines, each file in one large write
// with the exact formatter.  Unlike pointmean it holds the whole series in
// memory (M x P pairs).  With --printf the rows go through fprintf instead.
//
//   pointmean_floor [--printf] M P      (in the folder of stxt<k>p.txt)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pointmean/pointmean.h"
#include "output/row_writer.h"

namespace {

// Row i of every file: the bias and current of its i-th pair (the last
// pair repeated past its end, 0 before any).
struct series_table {
    std::vector<float> bias, current;  // [k * points + i]
};

series_table read_all(int files, int points) {
    series_table t;
    t.bias.assign(static_cast<size_t>(files) * points, 0.0f);
    t.current.assign(static_cast<size_t>(files) * points, 0.0f);
    for (int k = 0; k < files; ++k) {
        const std::string name = "stxt" + std::to_string(k + 1) + "p.txt";
        std::FILE* in = std::fopen(name.c_str(), "r");
        if (in == nullptr) continue;
        float x = 0.0f, y = 0.0f;
        for (int i = 0; i < points; ++i) {
            (void)std::fscanf(in, "%f%f", &x, &y);
            t.bias[static_cast<size_t>(k) * points + i] = x;
            t.current[static_cast<size_t>(k) * points + i] = y;
        }
        std::fclose(in);
    }
    return t;
}

void write_fast(const series_table& t, int files, int points) {
    row_writer summary;
    row_writer point;
    summary.open("pointmean.txt");
    std::vector<float> values(static_cast<size_t>(files));
    for (int i = 0; i < points; ++i) {
        point.open(("statp" + std::to_string(i + 1) + ".txt").c_str());
        for (int k = 0; k < files; ++k) {
            values[k] = t.current[static_cast<size_t>(k) * points + i];
            point.put_fixed(values[k]);
            point.put('\n');
        }
        point.close();
        const point_stats s = compute_stats(values.data(), files);
        for (float v : {t.bias[static_cast<size_t>(files - 1) * points + i], s.mean, s.deviation,
                        s.error}) {
            summary.put_fixed(v);
            summary.put(' ');
        }
        summary.put_fixed(s.twice_error);
        summary.put('\n');
        std::printf("Value of point %d is %f +/- %f  (%f%% error)\n", i + 1, s.mean, s.twice_error,
                    s.percentage);
    }
    summary.close();
}

void write_printf(const series_table& t, int files, int points) {
    std::FILE* summary = std::fopen("pointmean.txt", "w");
    std::vector<float> values(static_cast<size_t>(files));
    for (int i = 0; i < points; ++i) {
        std::FILE* point = std::fopen(("statp" + std::to_string(i + 1) + ".txt").c_str(), "w");
        for (int k = 0; k < files; ++k) {
            values[k] = t.current[static_cast<size_t>(k) * points + i];
            std::fprintf(point, "%f\n", values[k]);
        }
        std::fclose(point);
        const point_stats s = compute_stats(values.data(), files);
        std::fprintf(summary, "%f %f %f %f %f\n", t.bias[static_cast<size_t>(files - 1) * points + i],
                     s.mean, s.deviation, s.error, s.twice_error);
        std::printf("Value of point %d is %f +/- %f  (%f%% error)\n", i + 1, s.mean, s.twice_error,
                    s.percentage);
    }
    std::fclose(summary);
}

}  // namespace

int main(int argc, char** argv) {
    const bool use_printf = argc == 4 && std::strcmp(argv[1], "--printf") == 0;
    if (argc != 3 + (use_printf ? 1 : 0)) {
        std::fprintf(stderr, "usage: %s [--printf] files points\n", argv[0]);
        return 2;
    }
    const int files = std::atoi(argv[argc - 2]);
    const int points = std::atoi(argv[argc - 1]);
    if (files < 2 || points < 1) return 2;
    const series_table t = read_all(files, points);
    if (use_printf)
        write_printf(t, files, points);
    else
        write_fast(t, files, points);
    return 0;
}
