// Running the real normspec binary in a temporary directory.
#ifndef NORMSPEC_TESTS_E2E_H
#define NORMSPEC_TESTS_E2E_H

#include <cstdio>
#include <string>
#include <vector>

#include "testkit/testkit.h"

namespace e2e {

inline const std::string banner = "\nNormspec 3.0 running...\n\n";
inline const std::string all_done = "\nAll files done!!\n\n";
inline const std::string prompt = "Enter number of spectroscopy files to process: ";

inline std::string help_text(const std::string& name) {
    return "\nThis is normspec v3.0\n\nUsage:\n\n" + name +
           " [switches] [filelist]\n\nThe following switches are supported:\n"
           "-l Loop sequentially over files s#, # being an integer\n"
           "-n Output raw result (no broadening etc)\n"
           "-e Output result with broadening by convolution with exponential\n"
           "-c Output result with broadening by offset\n"
           "-a Equivalent to -n -e -c (Default)\n"
           "-s Suppress output other than normalised curve\n"
           "-h Display this help\n\n";
}

inline testkit::outcome normspec(const testkit::temp_dir& dir, std::vector<std::string> args,
                                 const std::string& input = "") {
    args.insert(args.begin(), NORMSPEC_BIN);
    testkit::run_options options;
    options.cwd = dir.path();
    options.input = input;
    // The usage line shows argument 0; a fixed one keeps it independent of
    // where the build lives.
    options.use_argv0 = true;
    options.argv0 = "normspec";
    return testkit::run(args, options);
}

// The rows of a result file: "%f   %f\n" each.
inline std::string rows(const std::vector<double>& x, const std::vector<double>& y) {
    std::string text;
    for (size_t j = 0; j < x.size(); ++j) text += testkit::format("%f   %f\n", x[j], y[j]);
    return text;
}

// Pairs as a spectrum file, with enough digits to give the intended floats.
inline std::string spectrum(const std::vector<float>& bias, const std::vector<float>& current) {
    std::string text;
    for (size_t j = 0; j < bias.size(); ++j)
        text += testkit::format("%.9g %.9g\n", bias[j], current[j]);
    return text;
}

// The two columns of a result file, parsed back.
struct columns {
    std::vector<double> x, y;
};
inline columns parse(const std::string& text) {
    columns c;
    const char* p = text.c_str();
    double a, b;
    int used;
    while (std::sscanf(p, "%lf %lf%n", &a, &b, &used) == 2) {
        c.x.push_back(a);
        c.y.push_back(b);
        p += used;
    }
    return c;
}

// How many pairs the C library's own "%f%f" takes from a text (at most
// 10000, as the tool reads).
inline int library_pairs(const std::string& text) {
    if (text.empty()) return 0;
    std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    int count = 0;
    float a, b;
    while (count < 10000 && std::fscanf(in, "%f%f", &a, &b) == 2) ++count;
    std::fclose(in);
    return count;
}

}  // namespace e2e

#endif
