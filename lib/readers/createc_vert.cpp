// Createc point spectra (.VERT).
#include "readers/createc_vert.h"

#include <map>

#include "readers/createc_columns.h"
#include "readers/number_text.h"
#include "readers/text_split.h"

namespace sts {

namespace {

// What the header and the DATA line say about reading the rows.
struct vert_layout {
    double gain = 0;              // preamplifier V/A
    bool backward_half = false;   // the second half of the rows sweeps back
    vert_columns columns;
    size_t channel = 0;           // the column of the chosen channel
    bool raw = false;             // the channel is taken as it is (not the current I)
};

// The bias (mV) and channel (ADC counts, or as recorded) columns of the rows.
struct vert_rows {
    std::vector<double> bias_mV;
    std::vector<double> counts;
};

// "key=value" lines up to the data; "Name / Label" keys are known by Name.
std::map<std::string, std::string> header_entries(const std::vector<std::string>& lines,
                                                  size_t end) {
    std::map<std::string, std::string> entries;
    for (size_t n = 0; n < end; ++n) {
        const std::string& line = lines[n];
        const size_t eq = line.find('=');
        if (eq == std::string::npos || line.find('\0') != std::string::npos) continue;
        std::string key = line.substr(0, eq);
        const size_t label = key.find(" / ");
        if (label != std::string::npos) key.erase(label);
        entries.emplace(trim(key), trim(line.substr(eq + 1)));
    }
    return entries;
}

std::string entry(const std::map<std::string, std::string>& entries, const char* key) {
    const auto it = entries.find(key);
    return it == entries.end() ? std::string("(none)") : it->second;
}

bool check_header(const std::map<std::string, std::string>& h, vert_layout* layout,
                  std::string* error) {
    const std::string dac = entry(h, "DAC-Type"), gain = entry(h, "Gainpreamp");
    const std::string back = entry(h, "VertSpecBack"), channels = entry(h, "Vertchannelselectval");
    if (dac != "20bit") {
        *error = "Createc DAC-Type " + dac +
                 " is not read (only 20bit, whose current scale is known)";
        return false;
    }
    double exponent = 0;
    // The range is checked before the whole-number test: converting a double
    // beyond int's range to int is undefined.
    if (!parse_number(gain, &exponent) || !(exponent >= 0 && exponent <= 15) ||
        exponent != static_cast<int>(exponent)) {
        *error = "Createc preamplifier gain \"GainPre 10^=" + gain + "\" is not a power of ten";
        return false;
    }
    if (channels != "(none)" && channels != std::to_string(layout->columns.selection)) {
        *error = "Createc channel selection Vertchannelselectval=" + channels +
                 " differs from the DATA line's " + std::to_string(layout->columns.selection);
        return false;
    }
    if (back != "0" && back != "1") {
        *error = "Createc VertSpecBack=" + back + " is not read (only 0 or 1)";
        return false;
    }
    layout->gain = 1;
    for (int k = 0; k < static_cast<int>(exponent); ++k) layout->gain *= 10;
    layout->backward_half = back == "1";
    return true;
}

std::string column_list(const vert_columns& c) {
    std::string list;
    for (size_t k = 1; k < c.names.size(); ++k) list += (k > 1 ? ", " : "") + c.names[k];
    return list;
}

// The column of the chosen channel: the current I (also "Current"), or
// any other recorded channel, taken as it is when the output unit is given.
bool choose_channel(const import_options& o, vert_layout* layout, std::string* error) {
    const vert_columns& c = layout->columns;
    // The columns come in two halves of their own layout; a second channel
    // beside the current is not taken from them.
    if (!o.signal_channel.empty()) {
        *error = "a measured dI/dV channel ('" + o.signal_channel +
                 "') is not read from Createc spectra (columns: " + column_list(c) + ")";
        return false;
    }
    const bool current = same_channel(o.channel, "Current") || same_channel(o.channel, "I");
    const std::string wanted = current ? "I" : same_channel(o.channel, "dI") ? "dI/dV" : o.channel;
    for (size_t k = 3; k < c.names.size(); ++k)
        if (same_channel(c.names[k], wanted) && c.names[k] != "X") layout->channel = k;
    if (layout->channel == 0) {
        *error = "no channel '" + o.channel + "' in this Createc spectrum (channel selection " +
                 std::to_string(c.selection) + ": columns " + column_list(c) + ")";
        return false;
    }
    layout->raw = !current;
    if (layout->raw && !o.current_unit_given) {
        *error = "Createc channel '" + c.names[layout->channel] +
                 "' is in instrument units, not a current; give --current-unit=nA or pA to "
                 "take its values as they are";
        return false;
    }
    return true;
}

bool read_row(const std::string& line, size_t number, size_t index, const vert_layout& layout,
              vert_rows* rows, std::string* error) {
    const size_t width = layout.columns.names.size();
    std::vector<std::string> fields = split(line, '\t');
    while (fields.size() > width && strip(fields.back()).empty()) fields.pop_back();
    bool numbers = fields.size() == width;
    double v[3] = {};  // the index, the bias and the channel
    const size_t wanted[3] = {0, 1, layout.channel};
    for (size_t c = 0; c < 3 && numbers; ++c) numbers = parse_number(fields[wanted[c]], &v[c]);
    for (size_t c = 0; c < width && numbers; ++c) {
        double ignored;
        numbers = parse_number(fields[c], &ignored);
    }
    if (!numbers || v[0] != static_cast<double>(index)) {
        *error = "line " + std::to_string(number) + ": not row " + std::to_string(index) +
                 " of " + std::to_string(width) + " numbers (index, " +
                 column_list(layout.columns) + ")";
        return false;
    }
    rows->bias_mV.push_back(v[1]);
    rows->counts.push_back(v[2]);
    return true;
}

// The rows after the line that announces them.
bool read_rows(const std::vector<std::string>& lines, size_t data, const vert_layout& layout,
               vert_rows* rows, std::string* error) {
    for (size_t n = data + 2; n < lines.size(); ++n) {
        if (strip(lines[n]).empty()) continue;
        if (!read_row(lines[n], n + 1, rows->bias_mV.size(), layout, rows, error)) return false;
    }
    if (static_cast<long>(rows->bias_mV.size()) != layout.columns.rows) {
        *error = "the DATA section holds " + std::to_string(rows->bias_mV.size()) +
                 " rows where it announces " + std::to_string(layout.columns.rows);
        return false;
    }
    return true;
}

bool check_bias_name(const import_options& o, std::string* error) {
    if (!o.bias_channel.empty() && !same_channel(o.bias_channel, "V") &&
        !same_channel(o.bias_channel, "Bias")) {
        *error = "no bias column '" + o.bias_channel + "' (a Createc spectrum's bias is V)";
        return false;
    }
    return true;
}

// The current in amperes of row k: +-10 V over +-2^19 counts, through a
// preamplifier of 10^GainPre V/A; another channel as recorded.
double amperes(const vert_rows& rows, const vert_layout& layout, size_t k) {
    if (layout.raw) return rows.counts[k];
    return rows.counts[k] * 10.0 / 524288.0 / layout.gain;
}

bool check_direction(const vert_rows& rows, const vert_layout& layout, const import_options& o,
                     std::string* error) {
    const size_t n = rows.bias_mV.size();
    if (o.dir == direction::forward) return true;
    if (!layout.backward_half) {
        *error = o.dir == direction::backward
                     ? "no backward sweep of channel '" + o.channel + "'"
                     : "channel '" + o.channel + "' needs both a forward and a backward sweep "
                       "for their mean";
        return false;
    }
    for (size_t k = 0; k < n / 2 && o.dir == direction::mean; ++k)
        if (rows.bias_mV[n - 1 - k] != rows.bias_mV[k]) {
            *error = "the backward sweep does not retrace the forward bias points, so they have "
                     "no point-by-point mean";
            return false;
        }
    return true;
}

// The forward half (or all rows without a backward sweep), the backward half
// as recorded, or the mean of the two on the forward bias points.
void fill(const vert_rows& rows, const vert_layout& layout, const import_options& o,
          imported_spectrum* s) {
    const size_t n = rows.bias_mV.size();
    const size_t half = layout.backward_half ? n / 2 : n;
    const size_t first = o.dir == direction::backward ? half : 0;
    const double bias_multiplier = 1e-3 * o.bias_scale;  // from mV
    const double current_scale = layout.raw ? 1.0 : o.current_scale;
    for (size_t k = first; k < first + half; ++k) {
        double current = amperes(rows, layout, k);
        if (o.dir == direction::mean) {
            double both = 0.0;
            both += current;
            both += amperes(rows, layout, n - 1 - k);
            current = both / 2.0;
        }
        s->bias.push_back(rows.bias_mV[k] * bias_multiplier);
        s->current.push_back(current * current_scale);
    }
    s->direction = direction_name(o.dir);
}

bool check_version(std::string_view bytes, std::string* error) {
    const std::string first(bytes.substr(0, bytes.find_first_of("\r\n")).substr(0, 40));
    if (first == "[ParVERT30]" || first == "[ParVERT32]") return true;
    *error = first.rfind("[ParVERT", 0) == 0
                 ? "Createc header " + first + " is not read (only [ParVERT30] and [ParVERT32])"
                 : std::string("not a Createc spectrum (no [ParVERT30] or [ParVERT32] header)");
    return false;
}

// The header and the DATA line: the scale, the halves and the columns.
bool read_layout(const std::vector<std::string>& lines, size_t data, const import_options& o,
                 vert_layout* layout, std::string* error) {
    const std::string announced = data + 1 < lines.size() ? lines[data + 1] : std::string();
    return parse_vert_columns(announced, &layout->columns, error) &&
           check_header(header_entries(lines, data), layout, error) &&
           choose_channel(o, layout, error);
}

}  // namespace

bool read_createc_vert(const std::string& path, std::string_view bytes, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error) {
    if (!check_version(bytes, error) || !check_bias_name(o, error)) return false;
    const std::vector<std::string> lines = lines_of(bytes);
    size_t data = 0;
    while (data < lines.size() && lines[data] != "DATA") ++data;
    if (data == lines.size()) {
        *error = "the Createc spectrum has no DATA section";
        return false;
    }
    vert_layout layout;
    vert_rows rows;
    if (!read_layout(lines, data, o, &layout, error) ||
        !read_rows(lines, data, layout, &rows, error))
        return false;
    if (layout.backward_half && rows.bias_mV.size() % 2 != 0) {
        *error = "an odd number of rows cannot be a forward and a backward sweep";
        return false;
    }
    if (!check_direction(rows, layout, o, error)) return false;
    imported_spectrum s;
    s.source = path;
    fill(rows, layout, o, &s);
    out->push_back(std::move(s));
    return true;
}

}  // namespace sts
