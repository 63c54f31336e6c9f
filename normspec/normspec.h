// normspec: normalised differential conductance of STS spectra.
//
// The driver (main.cpp) reads each spectrum into the working arrays and hands
// it to the pipeline (pipeline.cpp), which writes the result files; the
// exponential broadening of I/V lives in broaden.cpp.
#ifndef NORMSPEC_NORMSPEC_H
#define NORMSPEC_NORMSPEC_H

#include <cstdio>
#include <string>
#include <vector>

constexpr int MAX_POINTS = 10000;

// Switch bits.
constexpr int SW_LOOP = 0x01;
constexpr int SW_RAW = 0x02;
constexpr int SW_EXP = 0x04;
constexpr int SW_COFF = 0x08;
constexpr int SW_SUPPRESS = 0x10;
constexpr int SW_HELP = 0x80;

// Fills flags and count (the number of arguments taken as switches).
void parse_switches(int* flags, int* count, int argc, const char* const* argv);

// The program name shown in the help text's usage line.
std::string program_name(const char* argv0);
void print_help(const char* argv0);

// The eight working arrays of a run, MAX_POINTS floats each, indexed from 0.
struct working_arrays {
    std::vector<float> bias, current, iv, iv_raw, iv_coff, didv, vmid, didv_save;
};
// Allocates them; false when the memory is not there.
bool allocate_working_arrays(working_arrays* w);

// Reads pairs with "%f%f" into bias and current until one fails, at most
// MAX_POINTS of them.  *n is the number read; *more is set when a further
// complete pair follows; *read_error when the stream reported an error.
void read_spectrum(std::FILE* in, float* bias, float* current, int* n, bool* more,
                   bool* read_error);

// Causes of values with no defined result (inf or nan) in a spectrum's results.
constexpr int CAUSE_ZERO_BIAS = 0x01;
constexpr int CAUSE_REPEATED_BIAS = 0x02;
constexpr int CAUSE_NONFINITE_INPUT = 0x04;
constexpr int CAUSE_ZERO_DIVISOR = 0x08;
constexpr int CAUSE_RANGE = 0x10;
// The causes as text, "; "-separated, for the console.
std::string describe_causes(int causes);

// Pipeline stages (arrays 0-based, bias ascending).
void remove_offset(const float* bias, float* current, int n);
void differentiate(const float* bias, const float* current, float* didv, float* vmid, int n);
// Returns the number of midpoints at which the interpolated divisor was 0.
int normalise_by(const float* vmid, float* didv, int m, const float* bias, const float* ivar,
                 int n);
void broaden_exp(const float* bias, float* iv, float width, int n);

// Processes one spectrum of n points (2 <= n <= MAX_POINTS) held in
// w->bias and w->current, writing the result files selected by flags under
// the name base.  Returns the causes of any inf or nan in the results (0 when
// every value is a number).
int run_pipeline(working_arrays* w, int n, int flags, const std::string& base);

#endif
