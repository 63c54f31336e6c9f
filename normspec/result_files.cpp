// The result files of one spectrum: names, rows and the order they are
// written in.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "normspec/normspec.h"
#include "output/row_writer.h"

namespace {

// Writes rows "%f   %f" of x and y to base + suffix through out, the file
// in few large writes; a failure to open or to write ends the run with
// status 1.
void write_result(row_writer* out, const std::string& base, const char* suffix, const float* x,
                  const float* y, int rows) {
    const std::string name = base + suffix;
    if (!out->open(name.c_str())) {
        if (std::string(suffix) == "didv.txt")
            std::printf("Couldn't open di/dv output file. Exit\n\n");
        else
            std::printf("Couldn't open output file %s. Exit\n\n", name.c_str());
        std::exit(1);
    }
    // The row format "%f %s %f\n" with " " as the string: three blanks.
    for (int j = 0; j < rows; ++j) {
        out->put_fixed(x[j]);
        out->put("   ");
        out->put_fixed(y[j]);
        out->put('\n');
    }
    // A full disk or a file-size limit fails a write, at the latest the
    // last one when the file is closed.
    if (!out->close()) {
        std::printf("Error writing output file %s. Exit\n\n", name.c_str());
        std::exit(1);
    }
}

// Whether the computation got past a step.
bool past(const spectrum_report& r, spectrum_step step) {
    return static_cast<int>(r.reached) > static_cast<int>(step);
}

}  // namespace

void write_results(row_writer* out, const spectrum_arrays& a, const spectrum_report& r,
                   int flags, const std::string& base) {
    const int n = r.n;
    const int m = n - 1;
    const bool full = (flags & SW_SUPPRESS) == 0;
    if (full && past(r, spectrum_step::offset))
        write_result(out, base, "didv.txt", a.vmid.data(), a.didv.data(), m);
    if (full && past(r, spectrum_step::broaden)) {
        write_result(out, base, "iv.txt", a.bias.data(), a.iv_raw.data(), n);
        write_result(out, base, "i.txt", a.bias.data(), a.current.data(), n);
    }
    if ((flags & SW_EXP) && past(r, spectrum_step::norm_exp))
        write_result(out, base, "exp.txt", a.vmid.data(), a.norm_exp.data(), m);
    if ((flags & SW_COFF) && past(r, spectrum_step::norm_coff))
        write_result(out, base, "coff.txt", a.vmid.data(), a.norm_coff.data(), m);
    if ((flags & SW_RAW) && past(r, spectrum_step::norm_raw))
        write_result(out, base, "raw.txt", a.vmid.data(), a.norm_raw.data(), m);
}
