// Which columns of an instrument table make which spectra.
#include "readers/channel_selection.h"

#include <algorithm>
#include <cctype>

#include "readers/text_split.h"
#include "readers/units.h"

namespace sts {

namespace {

enum { FWD = 0, BWD = 1 };

// A column of the current channel: its direction and its sweep ("1", "2",
// ... without leading zeros, "AVG", or "" for a plain column).
struct current_column {
    int index;
    int dir;
    std::string sweep;
};

bool has_tag(const column_name& c, const char* tag) {
    return std::find(c.tags.begin(), c.tags.end(), tag) != c.tags.end();
}

bool all_digits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char ch) {
        return std::isdigit(static_cast<unsigned char>(ch)) != 0;
    });
}

std::string names_of(const std::vector<column_name>& columns) {
    std::string names;
    for (const auto& c : columns) names += (names.empty() ? "" : ", ") + c.name;
    return names;
}

// The first plain (neither backward nor filtered) column with the wanted
// name, trying the default names in turn; -1 when there is none.
int find_bias_column(const std::vector<column_name>& columns, const import_options& o) {
    const std::vector<std::string> wanted =
        o.bias_channel.empty() ? std::vector<std::string>{"Bias calc", "Bias", "Voltage", "V"}
                               : std::vector<std::string>{o.bias_channel};
    for (const auto& name : wanted)
        for (size_t i = 0; i < columns.size(); ++i)
            if (!has_tag(columns[i], "bwd") && !has_tag(columns[i], "filt") &&
                same_channel(columns[i].name, name))
                return static_cast<int>(i);
    return -1;
}

bool plan_bias(const std::vector<column_name>& columns, const import_options& o,
               selection_plan* plan, std::string* error) {
    plan->bias_column = find_bias_column(columns, o);
    if (plan->bias_column < 0) {
        *error = "no bias column" +
                 (o.bias_channel.empty() ? std::string() : " '" + o.bias_channel + "'") +
                 " (columns: " + names_of(columns) + ")";
        return false;
    }
    const column_name& bias = columns[plan->bias_column];
    if (bias.unit.empty() && o.bias_unit_given) {
        plan->bias_multiplier = 1.0;  // already in the output unit
        return true;
    }
    const double factor = volts_per(bias.unit);
    if (factor == 0.0) {
        *error = "the bias column '" + bias.name + "' has no voltage unit ('" + bias.unit + "')" +
                 (bias.unit.empty() ? "; give its unit with --bias-unit=V or mV" : "");
        return false;
    }
    plan->bias_multiplier = factor * o.bias_scale;
    return true;
}

current_column classify(const column_name& c, int index, bool* filtered) {
    current_column found{index, FWD, ""};
    *filtered = false;
    for (const auto& tag : c.tags) {
        if (tag == "bwd") {
            found.dir = BWD;
        } else if (tag == "filt") {
            *filtered = true;
        } else if (same_name(tag, "AVG")) {
            found.sweep = "AVG";
        } else if (all_digits(tag)) {
            const size_t nz = tag.find_first_not_of('0');
            found.sweep = nz == std::string::npos ? "0" : tag.substr(nz);
        }
    }
    return found;
}

// The columns of the current channel other than the bias column: the
// unfiltered ones, or the "[filt]" ones when the channel is named with that
// tag ("Input 3 [filt]").
std::vector<current_column> channel_columns(const std::vector<column_name>& columns,
                                            const import_options& o, int bias) {
    const column_name named = parse_column_name(o.channel);
    const bool want_filtered = has_tag(named, "filt");
    const std::string channel = want_filtered ? named.name : o.channel;
    auto is_channel = [&](const std::string& name) {
        return same_channel(name, channel) ||
               (same_channel(channel, "Current") && trim(name) == "I");
    };
    std::vector<current_column> found;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (static_cast<int>(i) == bias || !is_channel(columns[i].name)) continue;
        bool filtered = false;
        const current_column c = classify(columns[i], static_cast<int>(i), &filtered);
        if (filtered == want_filtered) found.push_back(c);
    }
    return found;
}

bool plan_units(const std::vector<column_name>& columns, const std::vector<current_column>& found,
                const import_options& o, selection_plan* plan, std::string* error) {
    plan->amperes.assign(columns.size(), 0.0);
    plan->current_scale = o.current_scale;
    size_t unitless = 0;
    for (const auto& c : found) {
        const std::string& unit = columns[c.index].unit;
        unitless += unit.empty() ? 1 : 0;
        plan->amperes[c.index] = unit.empty() && o.current_unit_given ? 1.0 : amperes_per(unit);
        const double volts = unit.empty() ? 0.0 : volts_per(unit);
        if (o.current_gain > 0 && plan->amperes[c.index] != 0.0) {
            *error = "channel '" + o.channel + "' is in '" + unit + "' already: --current-gain " +
                     "is for a current recorded in volts; leave it out";
            return false;
        }
        if (o.current_gain > 0 && volts > 0) plan->amperes[c.index] = volts / o.current_gain;
        if (plan->amperes[c.index] == 0.0) {
            *error = "channel '" + o.channel + "' is in '" + unit + "', not a current unit" +
                     (unit.empty()  ? "; give its unit with --current-unit=nA or pA"
                      : volts > 0   ? "; if it is a pre-amplifier's output, give the gain with "
                                      "--current-gain=V/A (1e9 for 1 V per nA)"
                                    : "");
            return false;
        }
    }
    if (unitless > 0 && unitless < found.size()) {
        *error = "channel '" + o.channel + "' has columns with and without a unit";
        return false;
    }
    // Columns without a unit are in the output unit already.
    if (unitless > 0) plan->current_scale = 1.0;
    return true;
}

// What to give -c when the channel is not there: the columns in amperes.
std::string channel_hint(const std::vector<column_name>& columns, int bias) {
    std::vector<std::string> names;
    for (size_t i = 0; i < columns.size(); ++i)
        if (static_cast<int>(i) != bias && amperes_per(columns[i].unit) > 0 &&
            !has_tag(columns[i], "filt") &&
            std::find(names.begin(), names.end(), columns[i].name) == names.end())
            names.push_back(columns[i].name);
    if (names.empty()) return "";
    if (names.size() == 1) return "; try -c \"" + names[0] + "\"";
    std::string list;
    for (const auto& n : names) list += (list.empty() ? "\"" : ", \"") + n + "\"";
    return "; the current channels are " + list + " (choose one with -c)";
}

// The sources of one direction: each numbered sweep, sweep K alone, or the
// one the file offers best (plain, then average, then the mean of the
// numbered sweeps).
std::vector<selection_plan::planned> gather(const std::vector<current_column>& found, int dir,
                                            const import_options& o) {
    std::vector<int> plain, avg, numbered;
    std::vector<std::string> labels;
    for (const auto& c : found) {
        if (c.dir != dir) continue;
        if (c.sweep.empty()) {
            plain.push_back(c.index);
        } else if (c.sweep == "AVG") {
            avg.push_back(c.index);
        } else {
            numbered.push_back(c.index);
            labels.push_back(c.sweep);
        }
    }
    std::vector<selection_plan::planned> result;
    if (o.sweep > 0) {
        for (size_t k = 0; k < numbered.size(); ++k)
            if (labels[k] == std::to_string(o.sweep))
                result.push_back({labels[k], {{numbered[k]}, false}, {}});
    } else if (o.each_sweep && !numbered.empty()) {
        for (size_t k = 0; k < numbered.size(); ++k)
            result.push_back({labels[k], {{numbered[k]}, false}, {}});
    } else if (!plain.empty()) {
        result.push_back({"", {{plain.front()}, false}, {}});
    } else if (!avg.empty()) {
        result.push_back({"", {{avg.front()}, false}, {}});
    } else if (!numbered.empty()) {
        result.push_back({"", {numbered, true}, {}});
    }
    return result;
}

// The numbered sweeps of a channel, for the message when --sweep names
// one it does not have.
std::string sweep_labels(const std::vector<current_column>& found) {
    std::vector<std::string> labels;
    for (const auto& c : found)
        if (!c.sweep.empty() && c.sweep != "AVG" &&
            std::find(labels.begin(), labels.end(), c.sweep) == labels.end())
            labels.push_back(c.sweep);
    if (labels.empty()) return "it has no numbered sweeps";
    std::string list;
    for (const auto& l : labels) list += (list.empty() ? "" : ", ") + l;
    return "its numbered sweeps are " + list;
}

std::string missing_sweep(const std::vector<current_column>& found, const import_options& o,
                          const std::string& channel, int dir) {
    const char* which = dir == FWD ? "forward" : "backward";
    if (o.sweep > 0)
        return "no " + std::string(which) + " sweep " + std::to_string(o.sweep) + " of channel '" +
               channel + "' (" + sweep_labels(found) + ")";
    return "no " + std::string(which) + " sweep of channel '" + channel + "'";
}

// The spectra of one channel in the direction asked for.
bool plan_directions(const std::vector<current_column>& found, const import_options& o,
                     const std::string& channel, std::vector<selection_plan::planned>* spectra,
                     std::string* direction_label, std::string* error) {
    if (o.dir != direction::mean) {
        const int dir = o.dir == direction::forward ? FWD : BWD;
        *spectra = gather(found, dir, o);
        *direction_label = dir == FWD ? "fwd" : "bwd";
        if (spectra->empty()) {
            *error = missing_sweep(found, o, channel, dir);
            return false;
        }
        return true;
    }
    const auto fwd = gather(found, FWD, o);
    const auto bwd = gather(found, BWD, o);
    if (o.sweep > 0 && (fwd.empty() || bwd.empty())) {
        *error = missing_sweep(found, o, channel, fwd.empty() ? FWD : BWD);
        return false;
    }
    if (fwd.empty() || bwd.empty() || fwd.size() != bwd.size()) {
        *error = "channel '" + channel + "' needs both a forward and a backward sweep for "
                 "their mean";
        return false;
    }
    spectra->clear();
    for (size_t k = 0; k < fwd.size(); ++k)
        spectra->push_back({fwd[k].sweep, fwd[k].first, bwd[k].first});
    *direction_label = "mean";
    return true;
}

// The columns of the measured dI/dV channel: its name as given ("LockinX
// (V)"), with the unit, when given, agreeing; "[filt]" as for the current.
std::vector<current_column> signal_columns(const std::vector<column_name>& columns,
                                           const std::string& wanted, int bias) {
    const column_name named = parse_column_name(wanted);
    const bool want_filtered = has_tag(named, "filt");
    std::vector<current_column> found;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (static_cast<int>(i) == bias || !same_channel(columns[i].name, named.name)) continue;
        if (!named.unit.empty() && columns[i].unit != named.unit) continue;
        bool filtered = false;
        const current_column c = classify(columns[i], static_cast<int>(i), &filtered);
        if (filtered == want_filtered) found.push_back(c);
    }
    return found;
}

// The channels a table has, each once, as "-c" or "--didv-channel" takes
// them: "LockinX (V)".
std::string channel_list(const std::vector<column_name>& columns, int bias) {
    std::vector<std::string> names;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (static_cast<int>(i) == bias) continue;
        const column_name& c = columns[i];
        const std::string name = c.name + (has_tag(c, "filt") ? " [filt]" : "") +
                                 (c.unit.empty() ? "" : " (" + c.unit + ")");
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    std::string list;
    for (const auto& n : names) list += (list.empty() ? "\"" : ", \"") + n + "\"";
    return list;
}

// Whether a lock-in's dI/dV can be in this unit: a current (the demodulated
// current), a voltage (an external lock-in's output), a share of the
// lock-in's sensitivity ("%", as the real Pb line's 7280DSP channels), or
// none (a table that does not say).  A phase or a frequency cannot.
bool signal_unit_ok(const std::string& unit) {
    return unit.empty() || unit == "%" || amperes_per(unit) > 0 || volts_per(unit) > 0;
}

// A column's unit: the voltage or current column_name found, else what its
// name's last parentheses hold ("deg" of "Phase (deg)", "%" of "7280DSP
// Lockin-X (%)"), which column_name leaves in the name.
std::string unit_of(const column_name& c) {
    if (!c.unit.empty() || c.name.empty() || c.name.back() != ')') return c.unit;
    const size_t open = c.name.rfind('(');
    return open == std::string::npos ? "" : trim(c.name.substr(open + 1, c.name.size() - open - 2));
}

// The channel's unit, refused (unless o says any will do) where no lock-in
// dI/dV is measured in it.
bool check_signal_unit(const std::vector<column_name>& columns,
                       const std::vector<current_column>& found, const import_options& o,
                       selection_plan* plan, std::string* error) {
    plan->signal_unit = unit_of(columns[static_cast<size_t>(found.front().index)]);
    if (o.signal_any_unit || signal_unit_ok(plan->signal_unit)) return true;
    *error = "channel '" + o.signal_channel + "' is in '" + plan->signal_unit +
             "', neither a current nor a voltage, so it is no lock-in's dI/dV; give --force "
             "to calibrate it anyway";
    return false;
}

// The measured dI/dV channel's spectra, one for each of the current's.
bool plan_signal(const std::vector<column_name>& columns, const import_options& o,
                 selection_plan* plan, std::string* error) {
    plan->signals.clear();
    plan->signal_unit.clear();
    if (o.signal_channel.empty()) return true;
    const std::vector<current_column> found =
        signal_columns(columns, o.signal_channel, plan->bias_column);
    if (found.empty()) {
        *error = "no channel '" + o.signal_channel + "' for dI/dV (the channels are " +
                 channel_list(columns, plan->bias_column) + ")";
        return false;
    }
    if (!check_signal_unit(columns, found, o, plan, error)) return false;
    std::string direction_label;
    if (!plan_directions(found, o, o.signal_channel, &plan->signals, &direction_label, error))
        return false;
    bool same = plan->signals.size() == plan->spectra.size();
    for (size_t k = 0; same && k < plan->spectra.size(); ++k)
        same = plan->signals[k].sweep == plan->spectra[k].sweep;
    if (!same) *error = "channel '" + o.signal_channel + "' has other sweeps than '" + o.channel + "'";
    return same;
}

// The current of one source at point k, in amperes: the arithmetic of
// scaling each column, then summing from 0 in column order and dividing.
double in_amperes(const selection_plan& plan, const selection_plan::source& s,
                  const std::vector<std::vector<double>>& table, size_t k) {
    if (!s.averaged) return table[s.columns.front()][k] * plan.amperes[s.columns.front()];
    double sum = 0.0;
    for (int c : s.columns) sum += table[c][k] * plan.amperes[c];
    return sum / static_cast<double>(s.columns.size());
}

// The measured dI/dV channel at point k, as stored: the same arithmetic as
// the current's without the unit's factor.
double signal_at(const selection_plan::planned& p, const std::vector<std::vector<double>>& table,
                 size_t k) {
    auto one = [&](const selection_plan::source& s) {
        if (!s.averaged) return table[s.columns.front()][k];
        double sum = 0.0;
        for (int c : s.columns) sum += table[c][k];
        return sum / static_cast<double>(s.columns.size());
    };
    double value = one(p.first);
    if (!p.second.columns.empty()) {
        double both = 0.0;
        both += value;
        both += one(p.second);
        value = both / 2.0;
    }
    return value;
}

}  // namespace

bool plan_selection(const std::vector<column_name>& columns, const import_options& o,
                    selection_plan* plan, std::string* error) {
    if (!plan_bias(columns, o, plan, error)) return false;
    const std::vector<current_column> found = channel_columns(columns, o, plan->bias_column);
    if (found.empty()) {
        *error = "no channel '" + o.channel + "' (columns: " + names_of(columns) + ")" +
                 channel_hint(columns, plan->bias_column);
        return false;
    }
    if (o.each_sweep && o.sweep > 0) {
        *error = "one sweep (--sweep) and each sweep (--each-sweep) exclude each other";
        return false;
    }
    return plan_units(columns, found, o, plan, error) &&
           plan_directions(found, o, o.channel, &plan->spectra, &plan->direction, error) &&
           plan_signal(columns, o, plan, error);
}

void apply_selection(const selection_plan& plan, const std::vector<std::vector<double>>& table,
                     const std::string& source, imported_spectrum* spectra) {
    const std::vector<double>& bias = table[plan.bias_column];
    for (size_t s = 0; s < plan.spectra.size(); ++s) {
        const selection_plan::planned& p = plan.spectra[s];
        imported_spectrum& out = spectra[s];
        out.source = source;
        out.sweep = p.sweep;
        out.direction = plan.direction;
        out.bias.resize(bias.size());
        out.current.resize(bias.size());
        for (size_t k = 0; k < bias.size(); ++k) {
            out.bias[k] = bias[k] * plan.bias_multiplier;
            double value = in_amperes(plan, p.first, table, k);
            if (!p.second.columns.empty()) {
                double both = 0.0;
                both += value;
                both += in_amperes(plan, p.second, table, k);
                value = both / 2.0;
            }
            out.current[k] = value * plan.current_scale;
        }
        out.signal.resize(plan.signals.empty() ? 0 : bias.size());
        for (size_t k = 0; k < out.signal.size(); ++k)
            out.signal[k] = signal_at(plan.signals[s], table, k);
    }
}

bool select_spectra(const std::string& path, const std::vector<column_name>& columns,
                    const std::vector<std::vector<double>>& table, const import_options& o,
                    std::vector<imported_spectrum>* out, std::string* error) {
    selection_plan plan;
    if (!plan_selection(columns, o, &plan, error)) return false;
    const size_t first = out->size();
    out->resize(first + plan.spectra.size());
    apply_selection(plan, table, path, out->data() + first);
    return true;
}

}  // namespace sts
