// normspec: the run over a list of spectrum files or a numbered series.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/console_input.h"
#include "numlib/numlib.h"
#include "normspec/normspec.h"
#include "output/row_writer.h"
#include "readers/plain_pairs.h"
#include "sts/version.h"

namespace {

// What a run holds for all its spectra.
struct run_state {
    spectrum_arrays arrays;
    spectrum_workspace workspace;
    norm_options options;
    row_writer result_file;  // every result file is written through it
    int opened = 0;  // input files that could be opened
};

// Currents in A rather than nA all print as 0.000000.
bool looks_like_amperes(const float* current, int n) {
    bool nonzero = false;
    for (int j = 0; j < n; ++j) {
        if (!(std::fabs(current[j]) < 1e-6f)) return false;
        nonzero = nonzero || current[j] != 0.0f;
    }
    return nonzero;
}

// The lines that follow " ..done": what was merged, what is undefined, and
// what looks wrong with the input.
void notes(const std::string& input, const spectrum_report& r, bool amperes) {
    if (r.merged > 0)
        std::printf("%s: note: %d point%s at repeated bias values merged into their mean\n",
                    input.c_str(), r.merged, r.merged == 1 ? "" : "s");
    if (r.causes != 0)
        std::printf("%s: warning: results hold inf/nan values (%s)\n", input.c_str(),
                    describe_causes(r.causes).c_str());
    if (amperes)
        std::printf("%s: warning: every current is below 1e-6 in size and prints as 0.000000; "
                    "give currents in nA (stsimport converts instrument files to nA)\n",
                    input.c_str());
}

// Reads a spectrum into the run's arrays; false (the report line completed)
// when there is nothing to compute.
bool read_input(run_state* s, std::FILE* in, const std::string& input, int* n) {
    bool more = false;
    bool read_error = false;
    read_spectrum(in, s->arrays.bias.data(), s->arrays.current.data(), n, &more, &read_error);
    std::printf("%s: %d data points read", input.c_str(), *n);
    if (read_error) {
        std::printf(" ..read error, file not processed; skipping..\n");
        return false;
    }
    if (more) {
        std::printf(" ..the file holds more than %d points; skipping..\n", MAX_POINTS);
        return false;
    }
    if (*n < 2) {
        std::printf(" ..fewer than 2 points, nothing to process; skipping..\n");
        if (*n == 0 && sts::starts_with_text(in))
            std::printf("%s: the file starts with text, not numbers (a header line?); "
                        "stsimport converts files with a header (stsimport --help)\n",
                        input.c_str());
        return false;
    }
    return true;
}

// One spectrum: read it, report, compute, write.  Every way it can end
// short of the computation completes the "data points read" line.  Returns
// the status of a numerical routine that refused the spectrum, which ends
// the run: the files of the steps before it are written first.
num_status process(run_state* s, const std::string& input, const std::string& base, int flags) {
    std::FILE* in = std::fopen(input.c_str(), "r");
    if (in == nullptr) {
        std::printf("Can't open %s; skipping..\n", input.c_str());
        return NUM_OK;
    }
    ++s->opened;
    int n = 0;
    const bool go = read_input(s, in, input, &n);
    std::fclose(in);
    if (!go) return NUM_OK;

    const bool amperes = looks_like_amperes(s->arrays.current.data(), n);
    const spectrum_report r = compute_spectrum(n, s->options, &s->workspace, &s->arrays);
    if (r.status == spectrum_status::too_few_points) {
        std::printf(" ..fewer than 2 distinct bias values, nothing to process; skipping..\n");
        return NUM_OK;
    }
    write_results(&s->result_file, s->arrays, r, flags, base);
    if (r.status == spectrum_status::routine_failure) return r.failure;
    std::printf(" ..done\n");
    notes(input, r, amperes);
    return NUM_OK;
}

// "--help" and "--version" alone on the command line.
bool long_option(int argc, char** argv) {
    if (argc != 2) return false;
    if (std::strcmp(argv[1], "--help") == 0) {
        print_help(argv[0]);
        return true;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("normspec " STS_VERSION "\n");
        return true;
    }
    return false;
}

// The numbered series asks for its length; 0 when there is nothing to do.
int ask_count() {
    std::printf("Enter number of spectroscopy files to process: ");
    std::fflush(stdout);
    int typed = 0;
    const sts::scan_status status = sts::scan_int(stdin, &typed);
    if (status == sts::scan_status::no_number) {
        std::printf("\nNo number given; nothing to process.\n");
        return 0;
    }
    if (status == sts::scan_status::out_of_range) {
        std::printf("\nNumber out of range; nothing to process.\n");
        return 0;
    }
    if (typed < 1) return 0;
    std::printf("\nProcessing %d spectroscopy files...\n", typed);
    return typed;
}

}  // namespace

int main(int argc, char** argv) {
    run_state s;
    if (!reserve_arrays(&s.arrays, MAX_POINTS) || !reserve_workspace(&s.workspace, MAX_POINTS) ||
        !s.result_file.reserve()) {
        std::printf("Not enough memory for the working arrays. Exit\n\n");
        return 1;
    }
    if (long_option(argc, argv)) return 0;

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

    std::printf("\nNormspec " STS_VERSION " running...\n\n");

    const int files = (flags & SW_LOOP) ? ask_count() : file_count;
    if ((flags & SW_LOOP) && files == 0) return 0;

    for (int k = 1; k <= files; ++k) {
        num_status failure;
        if (flags & SW_LOOP) {
            const std::string input = std::string("s") + int_text(k);
            const std::string base = std::string("stxt") + int_text(k);
            failure = process(&s, input, base, flags);
        } else {
            const std::string name = argv[count + k];
            failure = process(&s, name, name, flags);
        }
        // The numerical error exit gives the three lines on standard error
        // and the exit status 1 that scripts around the tool check for.
        if (!failure.ok()) num_error(num_message(failure));
    }
    if ((flags & SW_LOOP) && s.opened == 0)
        std::printf("\nNo file s1 ... s%d was found in this folder: the numbered series reads "
                    "files named s1, s2, ... (stsimport writes them)\n",
                    files);

    std::printf("\nAll files done!!\n\n");
    return 0;
}
