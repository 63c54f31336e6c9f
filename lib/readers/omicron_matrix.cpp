// Omicron MATRIX curves: a data file read with its session's parameter file.
#include "readers/omicron_matrix.h"

#include "readers/byte_source.h"
#include "readers/omicron_matrix_curve.h"
#include "readers/omicron_matrix_cursor.h"
#include "readers/omicron_matrix_parameters.h"
#include "readers/text_split.h"
#include "readers/units.h"

namespace sts {

namespace {

const char* const magic = "ONTMATRX0101";

// What a data file holds: the channel's key and the counts.
struct data_file {
    uint64_t channel = 0;
    uint64_t planned = 0;
    std::vector<int32_t> counts;
};

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// What the name's channel says before the parameter file is looked for:
// "X(t)" is against time, "X(Z)" against the tip height, no parentheses an
// image.  (The parameter file's dictionary decides for other names.)
bool check_name(const std::string& name, std::string* error) {
    const std::string suffix = "_mtrx";
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return true;
    const std::string channel = name.substr(dot + 1, name.size() - suffix.size() - dot - 1);
    const auto ends = [&](const char* s) {
        const std::string e = s;
        return channel.size() > e.size() &&
               channel.compare(channel.size() - e.size(), e.size(), e) == 0;
    };
    std::string what;
    if (ends("(t)"))
        what = "an " + channel + " curve, current against time: not bias spectroscopy";
    else if (ends("(Z)"))
        what = "an " + channel + " curve, against the tip height: not bias spectroscopy";
    else if (channel.find('(') == std::string::npos && !channel.empty())
        what = "an Omicron MATRIX image (" + channel + "), not a spectroscopy curve";
    if (what.empty()) return true;
    *error = what;
    return false;
}

bool read_desc(std::string_view content, data_file* d, uint32_t* recorded, std::string* error) {
    matrix_cursor c(content);
    uint32_t planned = 0;
    std::string type;
    if (!c.u64(&d->channel) || !c.skip(12) || !c.u32(&planned) || !c.u32(recorded) ||
        !c.text(&type)) {
        *error = "the data file's DESC block is cut short";
        return false;
    }
    if (type != "SI32") {
        *error = "the data file's counts are of type '" + type + "' (only SI32 is read)";
        return false;
    }
    if (*recorded > planned) {
        *error = "the data file's DESC block announces more points recorded (" +
                 std::to_string(*recorded) + ") than planned (" + std::to_string(planned) + ")";
        return false;
    }
    d->planned = planned;
    return true;
}

void decode_counts(std::string_view data, data_file* d) {
    d->counts.resize(data.size() / 4);
    for (size_t k = 0; k < d->counts.size(); ++k) {
        uint32_t v = 0;
        for (int b = 3; b >= 0; --b) v = (v << 8) | static_cast<unsigned char>(data[4 * k + b]);
        d->counts[k] = static_cast<int32_t>(v);
    }
}

bool read_blocks(matrix_cursor* c, size_t base, data_file* d, std::string* error) {
    uint32_t recorded = 0;
    std::string_view data;
    bool desc = false, counts = false;
    while (c->left() > 0) {
        const size_t at = base + c->offset();
        matrix_block b;
        if (!c->block(&b, false)) {
            *error = "the data file is damaged at byte " + std::to_string(at) +
                     " (a block runs past the end of its BKLT block)";
            return false;
        }
        if (b.tag == "DESC" && !(desc = read_desc(b.content, d, &recorded, error))) return false;
        if (b.tag == "DATA") {
            data = b.content;
            counts = true;
        }
    }
    if (!desc || !counts) {
        *error = std::string("the data file has no ") + (desc ? "DATA" : "DESC") + " block";
        return false;
    }
    if (data.size() != 4 * static_cast<uint64_t>(recorded)) {
        *error = "the data file's DATA block holds " + std::to_string(data.size()) +
                 " bytes where its DESC block announces " + std::to_string(recorded) +
                 " counts of 4 bytes";
        return false;
    }
    decode_counts(data, d);
    return true;
}

bool read_data_file(std::string_view bytes, data_file* d, std::string* error) {
    matrix_cursor top(bytes, 12);
    matrix_block whole;
    if (!top.block(&whole, true)) {
        *error = "the data file is cut short: " + std::to_string(bytes.size()) +
                 " bytes, fewer than its BKLT block announces";
        return false;
    }
    matrix_cursor c(whole.content);
    if (!c.skip(4)) {
        *error = "the data file's BKLT block is empty";
        return false;
    }
    return read_blocks(&c, static_cast<size_t>(whole.content.data() - bytes.data()), d, error);
}

// Everything that can be checked without the parameter file.
bool read_data_part(const std::string& path, std::string_view data, const import_options& o,
                    data_file* d, std::string* error) {
    if (!check_curve_names(o, error)) return false;
    if (data.substr(0, 12) != magic) {
        *error = "not an Omicron MATRIX file (no ONTMATRX0101 at its start)";
        return false;
    }
    if (data.size() >= 16 && data.substr(12, 4) != "TLKB") {
        *error = "an Omicron MATRIX parameter file: it holds a session's settings, not its "
                 "curves; give the session's data files (*.I(V)_mtrx) instead";
        return false;
    }
    return check_name(base_name(path), error) && read_data_file(data, d, error);
}

bool check_channel(const matrix_channel& ch, std::string* error) {
    const std::string bias_axis = "Spectroscopy::V";
    if (ch.axis.size() < bias_axis.size() ||
        ch.axis.compare(ch.axis.size() - bias_axis.size(), bias_axis.size(), bias_axis) != 0) {
        *error = "channel " + ch.name + " is recorded against " + ch.axis +
                 ", not the bias: not bias spectroscopy";
        return false;
    }
    if (!ch.has_transfer) {
        *error = "the parameter file gives no transfer function for channel " + ch.name;
        return false;
    }
    if (amperes_per(ch.unit) == 0 || amperes_per(ch.transfer.unit) == 0) {
        *error = "channel " + ch.name + " is in " +
                 (amperes_per(ch.unit) == 0 ? ch.unit : ch.transfer.unit) + ", not a current";
        return false;
    }
    return usable_transfer(ch.transfer, error);
}

bool read_with_parameters(const std::string& path, data_file* d, const std::string& name,
                          std::string_view parameters, const import_options& o,
                          std::vector<imported_spectrum>* out, std::string* error,
                          std::string* warning) {
    matrix_experiment e;
    if (!read_matrix_parameters(parameters, base_name(path), &e, error)) {
        *error = "the parameter file " + name + " " + *error;
        return false;
    }
    const auto ch = e.channels.find(d->channel);
    if (ch == e.channels.end()) {
        *error = "the parameter file " + name + " has no channel for this data file (key " +
                 std::to_string(d->channel) + ")";
        return false;
    }
    matrix_curve c;
    if (!check_channel(ch->second, error) || !bias_sweep(e, &c.sweep, error)) return false;
    c.planned = d->planned;
    c.counts = std::move(d->counts);
    c.transfer = ch->second.transfer;
    import_options in_amperes = o;
    in_amperes.current_scale *= amperes_per(ch->second.transfer.unit);
    return curve_spectra(path, c, in_amperes, out, error, warning);
}

}  // namespace

std::string matrix_parameter_path(const std::string& data_path) {
    const size_t slash = data_path.rfind('/');
    const size_t dashes = data_path.rfind("--");
    if (dashes == std::string::npos || (slash != std::string::npos && dashes < slash)) return "";
    return data_path.substr(0, dashes) + "_0001.mtrx";
}

bool read_omicron_matrix(const std::string& path, std::string_view bytes,
                         const import_options& o, std::vector<imported_spectrum>* out,
                         std::string* error, std::string* warning) {
    data_file d;
    if (!read_data_part(path, bytes, o, &d, error)) return false;
    const std::string parameters_path = matrix_parameter_path(path);
    if (parameters_path.empty()) {
        *error = "an Omicron MATRIX data file is read with its session's parameter file, found "
                 "by name (<session>--<n>_<m>.I(V)_mtrx beside <session>_0001.mtrx), and this "
                 "name has no \"--\"; give the file its recorded name";
        return false;
    }
    const std::string name = base_name(parameters_path);
    std::string parameters, reason;
    const std::unique_ptr<file_source> file = file_source::open(parameters_path, &reason);
    if (!file || !file->read_all(&parameters, &reason)) {
        *error = "needs its parameter file " + name + " from the same folder (" +
                 parameters_path + ": " + reason + ")";
        return false;
    }
    return read_with_parameters(path, &d, name, parameters, o, out, error, warning);
}

bool read_matrix_curve(const std::string& path, std::string_view data, std::string_view parameters,
                       const import_options& o, std::vector<imported_spectrum>* out,
                       std::string* error, std::string* warning) {
    data_file d;
    const std::string parameters_path = matrix_parameter_path(path);
    const std::string name = parameters_path.empty() ? "given" : base_name(parameters_path);
    return read_data_part(path, data, o, &d, error) &&
           read_with_parameters(path, &d, name, parameters, o, out, error, warning);
}

}  // namespace sts
