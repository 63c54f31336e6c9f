// normspec: the run over a list of spectrum files or a numbered series.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "numlib.h"
#include "normspec.h"

namespace {

// One spectrum: read it, report, run the pipeline.  Every way it can end
// short of the pipeline completes the "data points read" line.
void process(working_arrays* w, const std::string& input, const std::string& base, int flags) {
    std::FILE* in = std::fopen(input.c_str(), "r");
    if (in == nullptr) {
        std::printf("Can't open %s; skipping..\n", input.c_str());
        return;
    }
    int n = 0;
    bool more = false;
    bool read_error = false;
    read_spectrum(in, w->bias.data(), w->current.data(), &n, &more, &read_error);
    std::printf("%s: %d data points read", input.c_str(), n);
    std::fclose(in);

    if (read_error) {
        std::printf(" ..read error, file not processed; skipping..\n");
        return;
    }
    if (more) {
        std::printf(" ..the file holds more than %d points; skipping..\n", MAX_POINTS);
        return;
    }
    if (n < 2) {
        std::printf(" ..fewer than 2 points, nothing to process; skipping..\n");
        return;
    }
    const int causes = run_pipeline(w, n, flags, base);
    std::printf(" ..done\n");
    if (causes != 0)
        std::printf("%s: warning: results hold inf/nan values (%s)\n", input.c_str(),
                    describe_causes(causes).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    working_arrays w;
    if (!allocate_working_arrays(&w)) {
        std::printf("Not enough memory for the working arrays. Exit\n\n");
        return 1;
    }

    int flags = 0;
    int count = 0;
    parse_switches(&flags, &count, argc, argv);
    // A process may be started with no arguments at all, not even its name.
    const int file_count = argc > 0 ? argc - count - 1 : 0;
    const char* argv0 = argc > 0 ? argv[0] : nullptr;

    if (file_count == 0 && (flags & (SW_LOOP | SW_HELP)) == 0) {
        std::printf("\nDon't know which files to process!\n");
        flags |= SW_HELP;
    }
    if (flags & SW_HELP) {
        print_help(argv0);
        return 0;
    }
    if ((flags & (SW_RAW | SW_EXP | SW_COFF)) == 0) flags |= SW_RAW | SW_EXP | SW_COFF;

    std::printf("\nNormspec 3.0 running...\n\n");

    int files = file_count;
    if (flags & SW_LOOP) {
        std::printf("Enter number of spectroscopy files to process: ");
        std::fflush(stdout);
        int typed = 0;
        const scan_status status = scan_int(stdin, &typed);
        if (status == SCAN_NO_NUMBER) {
            std::printf("\nNo number given; nothing to process.\n");
            return 0;
        }
        if (status == SCAN_OUT_OF_RANGE) {
            std::printf("\nNumber out of range; nothing to process.\n");
            return 0;
        }
        if (typed < 1) return 0;
        files = typed;
        std::printf("\nProcessing %d spectroscopy files...\n", files);
    }

    for (int k = 1; k <= files; ++k) {
        if (flags & SW_LOOP) {
            const std::string input = std::string("s") + int_text(k);
            const std::string base = std::string("stxt") + int_text(k);
            process(&w, input, base, flags);
        } else {
            const std::string name = argv[count + k];
            process(&w, name, name, flags);
        }
    }

    std::printf("\nAll files done!!\n\n");
    return 0;
}
