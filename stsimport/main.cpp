// stsimport: converts instrument files to the (bias, current) pair files
// that normspec and pointmean read, named as those tools expect.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <new>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "output/output_lock.h"
#include "output/printable.h"
#include "readers/byte_source.h"
#include "readers/spectrum_on_scan.h"
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

std::string place_text(const sts::scan_spot& s) {
    char text[64];
    std::snprintf(text, sizeof text, "(%.3f, %.3f)", s.x_nm, s.y_nm);
    return text;
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

// --scan: where each spectrum sits on the scan (one spot a spectrum, the
// spot of the file it came from), and in *said a line per file for
// standard output; a file outside the scan's frame or without a position
// ends the run before any output is written.
std::vector<sts::scan_spot> spots_on_scan(const command_line& c,
                                          const std::vector<sts::imported_spectrum>& spectra,
                                          std::string* said) {
    std::vector<sts::scan_spot> spots;
    if (c.scan.empty()) return spots;
    sts::sxm_scan scan;
    std::string error;
    if (!sts::read_scan_file(c.scan, &scan, &error)) fail(error);
    std::vector<std::pair<std::string, sts::scan_spot>> by_file;
    for (const auto& path : c.inputs) {
        std::string bytes;
        const std::unique_ptr<sts::file_source> file = sts::file_source::open(path, &error);
        sts::scan_spot spot;
        if (!file || !file->read_all(&bytes, &error) ||
            !sts::place_spectrum_on_scan(bytes, scan, &spot, &error))
            fail(path + " on " + c.scan + ": " + error);
        by_file.emplace_back(path, spot);
        *said += sts::printable(path) + " sits on " + sts::printable(c.scan) + " at pixel (" +
                         std::to_string(spot.column) + ", " + std::to_string(spot.row) + ") of " +
                         std::to_string(scan.frame.nx) + " x " + std::to_string(scan.frame.ny) +
                         ", " + place_text(spot) + " nm from its frame's lower left corner\n";
    }
    for (const auto& s : spectra)
        for (const auto& [path, spot] : by_file)
            if (path == s.source) {
                spots.push_back(spot);
                break;
            }
    return spots;
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
    std::string on_scan;
    const std::vector<sts::scan_spot> spots = spots_on_scan(c, spectra, &on_scan);
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
    if (!write_series(c, spectra, spots, &error)) fail(error);
    std::printf("%s\n", sts::printable(summary(c, spectra.size())).c_str());
    std::fputs(on_scan.c_str(), stdout);
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
