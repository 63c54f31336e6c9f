// pointmean: asks for the number of files and of points, then writes
// statp<i>.txt and a line of pointmean.txt for every point.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "console/console_input.h"
#include "numlib/numlib.h"
#include "output/fixed_format.h"
#include "output/row_writer.h"
#include "pointmean/pointmean.h"
#include "sts/version.h"

namespace {

constexpr int EXIT_DONE = 1;  // a completed run
constexpr int EXIT_STOP = 99;

const char* const USAGE =
    "Usage: pointmean\n"
    "\n"
    "Point-by-point statistics over the spectrum files stxt1p.txt ... stxt<M>p.txt\n"
    "(bias/V and current pairs) in the current directory.  Asks for the number of\n"
    "files M (at least 2) and of points P, then writes for each point i = 1 ... P\n"
    "statp<i>.txt (the current of row i of every file) and one line of\n"
    "pointmean.txt: bias, mean, standard deviation, standard error of the mean and\n"
    "twice that error (the last four in the current's unit).  The answers may come\n"
    "on one line: echo 12 400 | pointmean\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n";

[[noreturn]] void stop(const char* message) {
    std::printf("%s", message);
    std::exit(EXIT_STOP);
}

// An answer at a prompt, read as "%d" reads it.
int ask(const char* prompt, const char* none, const char* out_of_range) {
    std::printf("%s", prompt);
    std::fflush(stdout);
    int value = 0;
    const sts::scan_status status = sts::scan_int(stdin, &value);
    if (status == sts::scan_status::no_number) stop(none);
    if (status == sts::scan_status::out_of_range) stop(out_of_range);
    return value;
}

// The summary's buffer is the size the C library gives a file's stream,
// so that a disk that fills up fails the same write, and stops the run after
// the same point, as a summary written through that stream; a point file is
// written in one piece when it is closed.
constexpr std::size_t SUMMARY_BUFFER = 4096;

// What a run holds open: the summary, the point file in hand, the inputs.
struct run_files {
    row_writer summary{SUMMARY_BUFFER};
    row_writer point;
    input_series inputs;
};

// Ends the run at a failure: what is open is written out and closed
// (outcomes ignored: the message is about the first failure), then the
// message.
[[noreturn]] void stop_run(run_files* f, const char* format, const char* name) {
    if (f->point.is_open()) f->point.close();
    close_inputs(&f->inputs);
    if (f->summary.is_open()) f->summary.close();
    std::printf(format, name);
    std::exit(EXIT_STOP);
}

// Collects the current of row i from every file into the point file and
// values; stops the run at a file that cannot be opened.
void collect_point(run_files* f, int files, std::vector<float>* values, float* x, float* y) {
    for (int k = 1; k <= files; ++k) {
        bool read = false;
        try {
            if (static_cast<int>(values->size()) < k) values->push_back(0.0f);
            read = read_input_pair(&f->inputs, k, x, y);
        } catch (const std::bad_alloc&) {
            stop_run(f, "%s", "Not enough memory for so many files. Exiting..\n\n");
        }
        if (!read) stop_run(f, "Couldn't open %s. Exiting..\n\n", input_name(k).c_str());
        f->point.put_fixed(*y);
        f->point.put('\n');
        (*values)[static_cast<size_t>(k - 1)] = *y;
    }
}

// "x mean deviation error twice_error" as "%f %f %f " "%f " "%f\n" write it.
void put_summary_line(row_writer* summary, float x, const point_stats& s) {
    for (float v : {x, s.mean, s.deviation, s.error}) {
        summary->put_fixed(v);
        summary->put(' ');
    }
    summary->put_fixed(s.twice_error);
    summary->put('\n');
}

char* append(char* out, const char* text) {
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

// "Value of point %d is %f +/- %f" and "  (%f%% error)\n" on standard output.
void print_point_line(int i, const point_stats& s) {
    char line[64 + 3 * FIXED_TEXT_MAX];
    char* end = append(line, "Value of point ");
    end = std::to_chars(end, line + sizeof line, i).ptr;
    end = format_fixed(append(end, " is "), s.mean);
    end = format_fixed(append(end, " +/- "), s.twice_error);
    end = format_fixed(append(end, "  ("), s.percentage);
    end = append(end, "% error)\n");
    std::fwrite(line, 1, static_cast<std::size_t>(end - line), stdout);
}

int run(int files, int points) {
    run_files f;
    if (!f.summary.open("pointmean.txt")) stop("Couldn't open pointmean.txt. Exiting..\n\n");
    f.inputs.keep_limit = input_keep_limit(files);
    // One value per file; the table grows as the files of the first point
    // are found, so a huge count costs nothing until the files are there.
    std::vector<float> values;
    float x = 0.0f;
    float y = 0.0f;

    for (int i = 1; i <= points; ++i) {
        const std::string point_name = std::string("statp") + int_text(i) + ".txt";
        if (!open_output(&f.inputs, &f.point, point_name.c_str()))
            stop_run(&f, "Couldn't open %s. Exiting..\n\n", point_name.c_str());
        collect_point(&f, files, &values, &x, &y);
        if (!f.point.close()) stop_run(&f, "Couldn't write %s. Exiting..\n\n", point_name.c_str());

        const point_stats s = compute_stats(values.data(), files);
        put_summary_line(&f.summary, x, s);
        if (f.summary.failed()) stop_run(&f, "Couldn't write %s. Exiting..\n\n", "pointmean.txt");
        print_point_line(i, s);
    }

    close_inputs(&f.inputs);
    if (!f.summary.close()) stop_run(&f, "Couldn't write %s. Exiting..\n\n", "pointmean.txt");
    std::printf("\nFinished!\n\n");
    return EXIT_DONE;
}

}  // namespace

int main(int argc, char** argv) {
    // The only arguments looked at: either alone.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s", USAGE);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("pointmean " STS_VERSION "\n");
        return 0;
    }
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
    return run(files, points);
}
