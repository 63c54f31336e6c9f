// The result files of one spectrum: names, rows and the order they are
// written in.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "normspec.h"

namespace {

// Writes rows "%f   %f" of x and y to base + suffix; a failure to open or to
// write ends the run with status 1.
void write_result(const std::string& base, const char* suffix, const float* x, const float* y,
                  int rows) {
    const std::string name = base + suffix;
    std::FILE* out = std::fopen(name.c_str(), "w");
    if (out == nullptr) {
        if (std::string(suffix) == "didv.txt")
            std::printf("Couldn't open di/dv output file. Exit\n\n");
        else
            std::printf("Couldn't open output file %s. Exit\n\n", name.c_str());
        std::exit(1);
    }
    for (int j = 0; j < rows; ++j) std::fprintf(out, "%f %s %f\n", x[j], " ", y[j]);
    // A full disk or a file-size limit shows up in the stream's error state
    // or when the last buffer is flushed at closing.
    const bool failed = std::ferror(out) != 0;
    if (std::fclose(out) != 0 || failed) {
        std::printf("Error writing output file %s. Exit\n\n", name.c_str());
        std::exit(1);
    }
}

// Whether the computation got past a step.
bool past(const spectrum_report& r, spectrum_step step) {
    return static_cast<int>(r.reached) > static_cast<int>(step);
}

}  // namespace

void write_results(const spectrum_arrays& a, const spectrum_report& r, int flags,
                   const std::string& base) {
    const int n = r.n;
    const int m = n - 1;
    const bool full = (flags & SW_SUPPRESS) == 0;
    if (full && past(r, spectrum_step::offset))
        write_result(base, "didv.txt", a.vmid.data(), a.didv.data(), m);
    if (full && past(r, spectrum_step::broaden)) {
        write_result(base, "iv.txt", a.bias.data(), a.iv_raw.data(), n);
        write_result(base, "i.txt", a.bias.data(), a.current.data(), n);
    }
    if ((flags & SW_EXP) && past(r, spectrum_step::norm_exp))
        write_result(base, "exp.txt", a.vmid.data(), a.norm_exp.data(), m);
    if ((flags & SW_COFF) && past(r, spectrum_step::norm_coff))
        write_result(base, "coff.txt", a.vmid.data(), a.norm_coff.data(), m);
    if ((flags & SW_RAW) && past(r, spectrum_step::norm_raw))
        write_result(base, "raw.txt", a.vmid.data(), a.norm_raw.data(), m);
}
