// stsimport: instrument files to the plain (bias, current) pair files that
// normspec and pointmean read.
#ifndef STSIMPORT_STSIMPORT_H
#define STSIMPORT_STSIMPORT_H

#include <string>
#include <vector>

namespace sts {

// One spectrum as imported, in the instrument's point order, in the output
// units (V or mV, nA or pA).
struct spectrum {
    std::vector<double> bias;
    std::vector<double> current;
    std::string source;       // the input file
    int pixel_x = -1;         // grid position, or -1
    int pixel_y = -1;
    std::string sweep;        // "1", "2", ... for a single sweep, "" otherwise
    std::string direction;    // "fwd", "bwd" or "mean"
};

enum class direction { forward, backward, mean };

struct options {
    std::string channel = "Current";
    std::string bias_channel;          // "" = "Bias calc", then "Bias"
    direction dir = direction::forward;
    bool each_sweep = false;
    double bias_scale = 1.0;           // output unit per volt
    double current_scale = 1e9;        // output unit per ampere
};

// A column name split into its parts: "Current [00002] [bwd] (A)" has the
// name "Current", the tags "00002" and "bwd" and the unit "A".
struct column_name {
    std::string name;
    std::vector<std::string> tags;
    std::string unit;
};
column_name parse_column_name(const std::string& text);

// Factor from a unit to volts or amperes ("mV" gives 1e-3, "pA" 1e-12);
// 0 when the text is no unit of that kind.
double volts_per(const std::string& unit);
double amperes_per(const std::string& unit);

// The readers.  On failure they return false with *error set to what is
// wrong (the caller names the file); *warning may be set on success.
bool read_nanonis_dat(const std::string& path, const std::string& text, const options& o,
                      std::vector<spectrum>* out, std::string* error);
bool read_nanonis_grid(const std::string& path, const std::string& bytes, const options& o,
                       std::vector<spectrum>* out, std::string* error, std::string* warning);
bool read_delimited(const std::string& path, const std::string& text, const options& o,
                    std::vector<spectrum>* out, std::string* error);

// What a file looks like from its first bytes: "dat", "3ds", "csv" or "".
std::string detect_format(const std::string& bytes);

// Picks the current columns of a table by channel, direction and sweep, and
// turns them into spectra against the given bias column.  Shared by the
// text readers.
bool select_spectra(const std::string& path, const std::vector<column_name>& columns,
                    const std::vector<std::vector<double>>& table, const options& o,
                    std::vector<spectrum>* out, std::string* error);

// Writes a file in one piece: to a temporary name in the same folder, then
// renamed into place, so that no partial file is ever left behind.
bool write_atomically(const std::string& path, const std::string& contents, std::string* error);

// "%.9g %.9g\n" rows of a spectrum.  The bias texts of the last spectrum
// are kept in *cache: the spectra of a grid share one bias axis, and
// formatting it once halves the work.
struct bias_text_cache {
    std::vector<double> bias;
    std::vector<std::string> text;
};
std::string format_pairs(const spectrum& s, bias_text_cache* cache);

}  // namespace sts

#endif
