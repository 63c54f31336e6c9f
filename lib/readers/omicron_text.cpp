// Omicron MATRIX text exports of point spectroscopy.
#include "readers/omicron_text.h"

#include <cmath>

#include "readers/omicron_matrix_curve.h"
#include "readers/number_text.h"
#include "readers/text_split.h"
#include "readers/units.h"

namespace sts {

namespace {

const char* const channel_key = "Channel name and data unit";
const char* const reversal_key = "Automatic ramp reversal";
const char* const column_key = "Ramp value [";

// What the header says, and the rows.
struct export_curve {
    std::string channel, channel_unit, bias_unit;
    bool has_channel = false, has_columns = false, reversal = false;
    std::vector<double> bias, current;
};

// The text in the last "[...]" of s, and s before it.
void split_unit(const std::string& s, std::string* name, std::string* unit) {
    const size_t open = s.rfind('['), close = s.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        *name = trim(s);
        unit->clear();
        return;
    }
    *name = trim(s.substr(0, open));
    *unit = trim(s.substr(open + 1, close - open - 1));
}

bool starts(const std::string& s, const char* key) { return s.rfind(key, 0) == 0; }

bool read_header_line(const std::string& body, export_curve* c, std::string* error) {
    if (starts(body, channel_key)) {
        split_unit(body.substr(std::string(channel_key).size()), &c->channel, &c->channel_unit);
        c->has_channel = true;
    } else if (starts(body, reversal_key)) {
        const std::string v = trim(body.substr(std::string(reversal_key).size()));
        if (v != "Yes" && v != "No") {
            *error = "the export's \"Automatic ramp reversal\" is '" + v + "', not Yes or No";
            return false;
        }
        c->reversal = v == "Yes";
    } else if (starts(body, column_key)) {
        const size_t close = body.find(']');
        c->bias_unit = trim(body.substr(12, close == std::string::npos ? 0 : close - 12));
        c->has_columns = true;
    }
    return true;
}

bool read_lines(const std::vector<std::string>& lines, export_curve* c, std::string* error) {
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (!line.empty() && line[0] == '#') {
            if (!read_header_line(trim(line.substr(1)), c, error)) return false;
            continue;
        }
        const std::vector<std::string> fields = split_blanks(trim(line));
        if (fields.empty()) continue;
        double v = 0, i = 0;
        if (fields.size() != 2 || !parse_number(fields[0], &v) || !parse_number(fields[1], &i)) {
            *error = "line " + std::to_string(n + 1) + ": not a row of two numbers (bias, current)";
            return false;
        }
        c->bias.push_back(v);
        c->current.push_back(i);
    }
    return true;
}

bool check_curve(const export_curve& c, const import_options& o, std::string* error) {
    error->clear();
    if (!c.has_channel || !c.has_columns) {
        *error = std::string("the Omicron export has no \"") +
                 (c.has_channel ? "# Ramp value [unit]" : "# Channel name and data unit") +
                 "\" line";
    } else if (volts_per(c.bias_unit) == 0) {
        *error = "the export's ramp is in '" + c.bias_unit + "', not a bias voltage: not bias "
                 "spectroscopy";
    } else if (amperes_per(c.channel_unit) == 0) {
        *error = "the export's channel " + c.channel + " is in '" + c.channel_unit +
                 "', not a current";
    } else if (c.bias.empty()) {
        *error = "the Omicron export holds no rows";
    } else if (c.reversal && c.bias.size() % 2 != 0) {
        *error = "an odd number of rows cannot be a forward and a backward sweep";
    } else if (o.dir != direction::forward && !c.reversal) {
        *error = "no backward sweep: the ramp was not reversed (\"Automatic ramp reversal No\")";
    }
    return error->empty() && check_curve_names(o, error);
}

// Whether the backward half retraces the forward bias points: to a
// thousandth of a step (the export writes a point near 0 V on the way back
// as 1.1102e-016 where it wrote 0 on the way there).
bool retraces(const export_curve& c) {
    const size_t half = c.bias.size() / 2;
    const double step = half > 1 ? std::fabs(c.bias[half - 1] - c.bias[0]) / (half - 1) : 0.0;
    for (size_t k = 0; k < half; ++k)
        if (!(std::fabs(c.bias[c.bias.size() - 1 - k] - c.bias[k]) <= step * 1e-3)) return false;
    return true;
}

void fill(const export_curve& c, const import_options& o, imported_spectrum* s) {
    const size_t n = c.bias.size();
    const size_t half = c.reversal ? n / 2 : n;
    const size_t first = o.dir == direction::backward ? half : 0;
    const double volts = volts_per(c.bias_unit) * o.bias_scale;
    const double amperes = amperes_per(c.channel_unit) * o.current_scale;
    for (size_t k = first; k < first + half; ++k) {
        double current = c.current[k];
        if (o.dir == direction::mean) {
            double both = 0.0;
            both += current;
            both += c.current[n - 1 - k];
            current = both / 2.0;
        }
        s->bias.push_back(c.bias[k] * volts);
        s->current.push_back(current * amperes);
    }
    s->direction = direction_name(o.dir);
}

}  // namespace

bool looks_like_omicron_text(std::string_view head) {
    if (head.substr(0, 3) == "\xef\xbb\xbf") head.remove_prefix(3);
    return head.substr(0, 1) == "#" &&
           head.find(std::string("# ") + channel_key) != std::string_view::npos &&
           head.find(std::string("# ") + column_key) != std::string_view::npos;
}

bool read_omicron_text(const std::string& path, std::string_view text, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error) {
    export_curve c;
    if (!read_lines(lines_of(text), &c, error) || !check_curve(c, o, error)) return false;
    if (o.dir == direction::mean && !retraces(c)) {
        *error = "the backward sweep does not retrace the forward bias points, so they have no "
                 "point-by-point mean";
        return false;
    }
    imported_spectrum s;
    s.source = path;
    fill(c, o, &s);
    out->push_back(std::move(s));
    return true;
}

}  // namespace sts
