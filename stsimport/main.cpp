// stsimport: converts instrument files to the (bias, current) pair files
// that normspec and pointmean read, named as those tools expect.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "output/output_lock.h"
#include "output/printable.h"
#include "readers/read_spectra.h"
#include "stsimport/command_line.h"
#include "stsimport/defined_values.h"
#include "stsimport/output_guard.h"
#include "stsimport/series_files.h"
#include "sts/version.h"

namespace {

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "stsimport: %s\nTry 'stsimport --help' for more information.\n",
                 sts::printable(message).c_str());
    std::exit(2);
}

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "stsimport: %s\n", sts::printable(message).c_str());
    std::exit(1);
}

// Every input is read and checked before anything is written; true when a
// grid was incomplete (its complete pixels are kept).
bool read_inputs(const command_line& c, std::vector<sts::imported_spectrum>* spectra) {
    bool incomplete = false;
    for (const auto& path : c.inputs) {
        std::string error, warning;
        const size_t first = spectra->size();
        if (!sts::read_spectra_file(path, c.import, spectra, &error, &warning) ||
            !values_defined(*spectra, first, &error))
            fail(path + ": " + error);
        if (!warning.empty()) {
            std::fprintf(stderr, "stsimport: %s\n", sts::printable(path + ": " + warning).c_str());
            incomplete = true;
        }
    }
    return incomplete;
}

void make_folder(const std::string& dir) {
    std::error_code made, found;
    std::filesystem::create_directories(dir, made);
    if (!std::filesystem::is_directory(dir, found))
        fail(dir + ": cannot create the output folder" +
             (made ? ": " + made.message() : found ? ": " + found.message() : std::string()));
}

int run(int argc, char** argv) {
    command_line c;
    command what;
    std::string error;
    if (!parse_command_line(argc, argv, &c, &what, &error)) usage_error(error);
    if (what == command::help) {
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    }
    if (what == command::version) {
        std::puts("stsimport " STS_VERSION);
        return 0;
    }
    std::vector<sts::imported_spectrum> spectra;
    const bool incomplete = read_inputs(c, &spectra);
    make_folder(c.out_dir);
    // Held from the look at the folder to the last rename; static, so that
    // it goes (and its file with it) on every exit().
    static sts::output_lock lock;
    bool busy = false;
    if (!lock.acquire(c.out_dir + "/.stsimport.lock", &busy, &error) && busy)
        fail(c.out_dir + ": another import is writing into this folder; " + error);
    const std::vector<std::string> outputs = output_paths(c, spectra.size());
    if (!outputs_spare_inputs(c, outputs, &error) || !folder_is_ours(c, outputs, &error))
        fail(error);
    if (!write_series(c, spectra, &error)) fail(error);
    std::printf("%s\n", sts::printable(summary(c, spectra.size())).c_str());
    return incomplete ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Nothing below is meant to throw; should it all the same (no memory
    // left, a library surprise), the run still ends with a message and a
    // documented status, not an abort.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        fail("out of memory");
    } catch (const std::exception& e) {
        fail(e.what());
    }
}
