// Nanonis bias-spectroscopy files (.dat): a header of tab-separated
// key/value lines, then "[DATA]" and a tab-separated table.
#include "readers/nanonis_dat.h"

#include "readers/bias_sweep.h"
#include "readers/channel_selection.h"
#include "readers/text_split.h"
#include "readers/text_table.h"
#include "readers/units.h"

namespace sts {

namespace {

// The value of the header line "Experiment<TAB>name", or "" without one.
std::string experiment_of(const std::vector<std::string>& lines, size_t data) {
    for (size_t n = 0; n < data; ++n) {
        const std::vector<std::string> fields = split(lines[n], '\t');
        if (fields.size() >= 2 && strip(fields[0]) == "Experiment") return strip(fields[1]);
    }
    return "";
}

std::string described(const std::string& experiment) {
    return experiment.empty() ? std::string("this Nanonis spectrum")
                              : "Nanonis experiment \"" + experiment + "\"";
}

// The instrument saves the swept signal as the first column.  An experiment
// other than bias spectroscopy (Z spectroscopy, CLAM, a spectrum over
// frequency) is read only when it sweeps a voltage (a generic sweep of the
// bias) or when the user names the bias column.
bool check_sweep_axis(const std::string& experiment, const std::vector<column_name>& columns,
                      const import_options& o, std::string* error) {
    if (same_name(experiment, "bias spectroscopy") || !o.bias_channel.empty() ||
        volts_per(columns[0].unit) > 0)
        return true;
    const std::string axis =
        columns[0].name + (columns[0].unit.empty() ? "" : " (" + columns[0].unit + ")");
    *error = described(experiment) + " is not bias spectroscopy: it sweeps " + axis +
             ", not the bias; to read it all the same, name its bias column with -b";
    return false;
}

// A spectrum of another experiment whose bias does not move says so by the
// experiment's name.
bool check_sweeps(const std::string& experiment, const std::vector<imported_spectrum>& spectra,
                  size_t first, const import_options& o, std::string* error) {
    if (experiment.empty() || same_name(experiment, "bias spectroscopy")) return true;
    for (size_t k = first; k < spectra.size(); ++k)
        if (!is_bias_sweep(spectra[k].bias, o.bias_scale == 1.0 ? "V" : "mV", error)) {
            *error = described(experiment) + " is " + *error;
            return false;
        }
    return true;
}

}  // namespace

bool read_nanonis_dat(const std::string& path, std::string_view text, const import_options& o,
                      std::vector<imported_spectrum>* out, std::string* error) {
    const std::vector<std::string> lines = lines_of(text);
    size_t data = 0;
    while (data < lines.size() && strip(lines[data]) != "[DATA]") ++data;
    if (data == lines.size()) {
        *error = "not a Nanonis spectroscopy file (no [DATA] section)";
        return false;
    }
    size_t header = data + 1;
    while (header < lines.size() && strip(lines[header]).empty()) ++header;
    if (header == lines.size()) {
        *error = "the [DATA] section has no column names";
        return false;
    }
    const auto columns = header_columns(lines[header], '\t');
    const std::string experiment = experiment_of(lines, data);
    if (columns.empty() || !check_sweep_axis(experiment, columns, o, error)) {
        if (columns.empty()) *error = "the [DATA] section has no column names";
        return false;
    }
    std::vector<std::vector<double>> table;
    if (!read_table(lines, header + 1, '\t', columns.size(), &table, error)) return false;
    const size_t first = out->size();
    return select_spectra(path, columns, table, o, out, error) &&
           check_sweeps(experiment, *out, first, o, error);
}

}  // namespace sts
