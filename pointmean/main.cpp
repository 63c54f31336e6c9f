// pointmean: asks for the number of files and of points, then writes
// statp<i>.txt and a line of pointmean.txt for every point.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "numlib.h"
#include "pointmean.h"

namespace {

constexpr int EXIT_DONE = 1;  // a completed run
constexpr int EXIT_STOP = 99;

[[noreturn]] void stop(const char* message) {
    std::printf("%s", message);
    std::exit(EXIT_STOP);
}

// An answer at a prompt, read as "%d" reads it.
int ask(const char* prompt, const char* none, const char* out_of_range) {
    std::printf("%s", prompt);
    std::fflush(stdout);
    int value = 0;
    const scan_status status = scan_int(stdin, &value);
    if (status == SCAN_NO_NUMBER) stop(none);
    if (status == SCAN_OUT_OF_RANGE) stop(out_of_range);
    return value;
}

// Closes a file that was written; false when anything failed to reach it.
bool close_written(std::FILE* out) {
    const bool failed = std::ferror(out) != 0;
    return std::fclose(out) == 0 && !failed;
}

[[noreturn]] void write_failed(const std::string& name, std::FILE* summary) {
    if (summary != nullptr) std::fclose(summary);
    std::printf("Couldn't write %s. Exiting..\n\n", name.c_str());
    std::exit(EXIT_STOP);
}

}  // namespace

int main() {
    const int files = ask("Enter number of spectroscopy files:",
                          "No number of spectroscopy files given!!\nExiting...\n\n",
                          "Number of spectroscopy files out of range!!\nExiting...\n\n");
    if (files < 1) stop("Have to have some specta!!\nExiting...\n\n");
    // One file has no spread: its sample variance would divide by zero.
    if (files == 1) stop("Need at least two spectra for statistics!!\nExiting...\n\n");
    const int points = ask("Enter number of points:", "No number of points given!!\nExiting...\n\n",
                           "Number of points out of range!!\nExiting...\n\n");
    if (points < 1) stop("Have to have a point!!\nExiting...\n\n");

    std::printf("\nSaving to pointmean.txt (individual files to statp#.txt)");
    std::printf("\nProcessing...\n\n");

    std::FILE* summary = std::fopen("pointmean.txt", "w");
    if (summary == nullptr) stop("Couldn't open pointmean.txt. Exiting..\n\n");

    // One value and one reading state per file; they grow as the files of
    // the first point are found, so a huge count costs nothing until the
    // files are really there.
    std::vector<float> values;
    std::vector<file_state> states;
    float x = 0.0f;
    float y = 0.0f;

    for (int i = 1; i <= points; ++i) {
        const std::string point_name = std::string("statp") + int_text(i) + ".txt";
        std::FILE* point_file = std::fopen(point_name.c_str(), "w");
        if (point_file == nullptr) {
            std::fclose(summary);
            std::printf("Couldn't open %s. Exiting..\n\n", point_name.c_str());
            return EXIT_STOP;
        }
        for (int k = 1; k <= files; ++k) {
            const std::string input_name = std::string("stxt") + int_text(k) + "p.txt";
            std::FILE* in = std::fopen(input_name.c_str(), "r");
            if (in == nullptr) {
                std::fclose(point_file);
                std::fclose(summary);
                std::printf("Couldn't open %s. Exiting..\n\n", input_name.c_str());
                return EXIT_STOP;
            }
            if (static_cast<int>(states.size()) < k) {
                try {
                    states.emplace_back();
                    values.push_back(0.0f);
                } catch (const std::bad_alloc&) {
                    std::fclose(in);
                    std::fclose(point_file);
                    std::fclose(summary);
                    stop("Not enough memory for so many files. Exiting..\n\n");
                }
            }
            read_next_pair(in, &states[k - 1], &x, &y);
            std::fprintf(point_file, "%f\n", y);
            values[k - 1] = y;
            std::fclose(in);
        }
        if (!close_written(point_file)) write_failed(point_name, summary);

        const point_stats s = compute_stats(values.data(), files);
        std::fprintf(summary, "%f %f %f ", x, s.mean, s.deviation);
        std::fprintf(summary, "%f ", s.error);
        std::fprintf(summary, "%f\n", s.twice_error);
        if (std::ferror(summary)) write_failed("pointmean.txt", summary);
        std::printf("Value of point %d is %f +/- %f", i, s.mean, s.twice_error);
        std::printf("  (%f%% error)\n", s.percentage);
    }

    if (!close_written(summary)) write_failed("pointmean.txt", nullptr);
    std::printf("\nFinished!\n\n");
    return EXIT_DONE;
}
