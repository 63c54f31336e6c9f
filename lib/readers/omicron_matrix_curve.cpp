// An Omicron MATRIX I(V) curve as spectra.
#include "readers/omicron_matrix_curve.h"

#include <cmath>

#include "readers/text_split.h"

namespace sts {

namespace {

const matrix_setting* setting(const matrix_experiment& e, const std::string& key) {
    const auto it = e.settings.find(key);
    return it == e.settings.end() || it->second.value.is_text ? nullptr : &it->second;
}

// A whole number in [low, high]; the range is checked before the value is
// converted (converting a double beyond the range is undefined).
bool whole(double v, double low, double high, uint64_t* n) {
    if (!(v >= low && v <= high) || v != std::floor(v)) return false;
    *n = static_cast<uint64_t>(v);
    return true;
}

bool sweep_figures(const matrix_experiment& e, const std::string& device, matrix_sweep* s,
                   std::string* error) {
    const std::string key = "Spectroscopy." + device;
    const matrix_setting* start = setting(e, key + "_Start");
    const matrix_setting* end = setting(e, key + "_End");
    const matrix_setting* points = setting(e, key + "_Points");
    const matrix_setting* repetitions = setting(e, key + "_Repetitions");
    const matrix_setting* reversal = setting(e, "Spectroscopy.Enable_" + device + "_Ramp_Reversal");
    if (!end || !points) {
        *error = "the parameter file gives no " + device + (end ? "_Points" : "_End") +
                 " for the bias sweep";
        return false;
    }
    s->start = start->value.number;
    s->end = end->value.number;
    s->reversal = reversal && reversal->value.number != 0;
    s->repetitions = 1;
    if (!std::isfinite(s->start) || !std::isfinite(s->end) ||
        !whole(points->value.number, 2, 1e8, &s->points) ||
        (repetitions && !whole(repetitions->value.number, 1, 1e6, &s->repetitions))) {
        *error = "the parameter file's bias sweep is not one: " + device + " from " +
                 std::to_string(s->start) + " V to " + std::to_string(s->end) + " V in " +
                 std::to_string(points->value.number) + " points, " +
                 (repetitions ? std::to_string(repetitions->value.number) : "1") + " repetitions";
        return false;
    }
    return true;
}

double amperes(const matrix_transfer& t, int32_t counts) {
    const auto p = [&](const char* name) { return t.parameters.at(name); };
    const double raw = static_cast<double>(counts);
    if (t.function == "TFF_Linear1D") return (raw - p("Offset")) / p("Factor");
    if (t.function == "TFF_MultiLinear1D")
        return (p("Raw_1") - p("PreOffset")) * (raw - p("Offset")) /
               (p("NeutralFactor") * p("PreFactor"));
    return raw;  // TFF_Identity
}

// Evenly from start to end, both ends exact.
double bias_at(const matrix_sweep& s, uint64_t k) {
    if (k == s.points - 1) return s.end;
    return s.start + (s.end - s.start) * static_cast<double>(k) / static_cast<double>(s.points - 1);
}

// The current (A) of one sweep of repetition r at its recorded position j.
double recorded(const matrix_curve& c, uint64_t r, bool backward, uint64_t j) {
    const uint64_t at = r * c.sweep.per_repetition() + (backward ? c.sweep.points : 0) + j;
    return amperes(c.transfer, c.counts[at]);
}

// The mean over repetitions first .. first + count - 1 (one alone as it is):
// summed from 0 in order, then divided, as the numbered sweeps of a table.
double over(const matrix_curve& c, uint64_t first, uint64_t count, bool backward, uint64_t j) {
    if (count == 1) return recorded(c, first, backward, j);
    double sum = 0.0;
    for (uint64_t r = first; r < first + count; ++r) sum += recorded(c, r, backward, j);
    return sum / static_cast<double>(count);
}

// The forward sweep, the backward one in its recorded order (from the end
// of the ramp back to its start), or their mean on the forward bias.
void fill_spectrum(const matrix_curve& c, const import_options& o, uint64_t first,
                   uint64_t count, imported_spectrum* s) {
    const uint64_t n = c.sweep.points;
    for (uint64_t k = 0; k < n; ++k) {
        double bias = bias_at(c.sweep, k), current = 0.0;
        if (o.dir == direction::forward) {
            current = over(c, first, count, false, k);
        } else if (o.dir == direction::backward) {
            bias = bias_at(c.sweep, n - 1 - k);
            current = over(c, first, count, true, k);
        } else {
            double both = 0.0;
            both += over(c, first, count, false, k);
            both += over(c, first, count, true, n - 1 - k);
            current = both / 2.0;
        }
        s->bias.push_back(bias * o.bias_scale);
        s->current.push_back(current * o.current_scale);
    }
    s->direction = direction_name(o.dir);
}

// The repetitions the file holds: all of those set, or one.
bool held_repetitions(const matrix_curve& c, uint64_t* held, std::string* error) {
    const uint64_t per = c.sweep.per_repetition();
    if (c.planned == per * c.sweep.repetitions || c.planned == per) {
        *held = c.planned / per;
        return true;
    }
    *error = "the data file announces " + std::to_string(c.planned) +
             " points where its settings make " + std::to_string(per * c.sweep.repetitions) +
             " (" + std::to_string(c.sweep.points) + " a sweep" +
             (c.sweep.reversal ? ", there and back" : "") + ", " +
             std::to_string(c.sweep.repetitions) + " repetitions)";
    return false;
}

// How many repetitions, from the first, have the sweeps o asks for complete.
uint64_t complete_repetitions(const matrix_curve& c, uint64_t held, const import_options& o) {
    const uint64_t per = c.sweep.per_repetition();
    const uint64_t need = o.dir == direction::forward ? c.sweep.points : per;
    const uint64_t recorded = c.counts.size();
    if (recorded < need) return 0;
    const uint64_t n = (recorded - need) / per + 1;
    return n < held ? n : held;
}

std::string sweep_name(const import_options& o) {
    return o.dir == direction::forward    ? "forward sweep"
           : o.dir == direction::backward ? "backward sweep"
                                          : "pair of sweeps for the mean";
}

std::string stopped(const matrix_curve& c) {
    return std::to_string(c.counts.size()) + " of its " + std::to_string(c.planned) +
           " points recorded (the measurement was stopped)";
}

bool check_complete(const matrix_curve& c, uint64_t held, uint64_t complete,
                    const import_options& o, std::string* error, std::string* warning) {
    if (o.dir != direction::forward && !c.sweep.reversal) {
        *error = o.dir == direction::backward
                     ? "no backward sweep: the ramp was not reversed"
                     : "the ramp was not reversed, so there is no backward sweep for the mean";
        return false;
    }
    if (complete == 0) {
        *error = (c.counts.size() < c.sweep.points ? "an almost empty curve: " : "a cut curve: ") +
                 stopped(c) + ", no complete " + sweep_name(o);
        return false;
    }
    if (c.counts.size() < c.planned)
        *warning = "a cut curve: " + stopped(c) + "; " +
                   (held == 1 ? "its complete " + sweep_name(o) + " is read"
                              : "the complete first " + std::to_string(complete) + " of " +
                                    std::to_string(held) + " repetitions are read");
    return true;
}

}  // namespace

bool bias_sweep(const matrix_experiment& e, matrix_sweep* s, std::string* error) {
    for (const char* device : {"Device_1", "Device_2"}) {
        const matrix_setting* start = setting(e, std::string("Spectroscopy.") + device + "_Start");
        if (start && start->unit == "Volt") return sweep_figures(e, device, s, error);
    }
    *error = "the parameter file sweeps no bias (neither spectroscopy device is in volts)";
    return false;
}

bool check_curve_names(const import_options& o, std::string* error) {
    if (!same_channel(o.channel, "Current") && !same_channel(o.channel, "I") &&
        !same_channel(o.channel, "I(V)")) {
        *error = "no channel '" + o.channel + "' (an Omicron I(V) curve holds the current only)";
        return false;
    }
    if (!o.bias_channel.empty() && !same_channel(o.bias_channel, "V") &&
        !same_channel(o.bias_channel, "Bias")) {
        *error = "no bias column '" + o.bias_channel + "' (an Omicron I(V) curve's bias is V)";
        return false;
    }
    return true;
}

bool usable_transfer(const matrix_transfer& t, std::string* error) {
    std::vector<const char*> needed;
    if (t.function == "TFF_Linear1D") needed = {"Offset", "Factor"};
    else if (t.function == "TFF_MultiLinear1D")
        needed = {"Raw_1", "PreOffset", "Offset", "NeutralFactor", "PreFactor"};
    else if (t.function != "TFF_Identity") {
        *error = "the current's transfer function " + t.function + " is not read";
        return false;
    }
    for (const char* name : needed)
        if (t.parameters.count(name) == 0) {
            *error = "the current's transfer function " + t.function + " lacks " + name;
            return false;
        }
    const double divisor = t.function == "TFF_Linear1D" ? t.parameters.at("Factor")
                           : t.function == "TFF_MultiLinear1D"
                               ? t.parameters.at("NeutralFactor") * t.parameters.at("PreFactor")
                               : 1.0;
    if (divisor == 0 || !std::isfinite(divisor)) {
        *error = "the current's transfer function " + t.function + " has a zero or endless factor";
        return false;
    }
    return true;
}

bool curve_spectra(const std::string& path, const matrix_curve& c, const import_options& o,
                   std::vector<imported_spectrum>* out, std::string* error, std::string* warning) {
    uint64_t held = 0;
    if (!held_repetitions(c, &held, error)) return false;
    const uint64_t complete = complete_repetitions(c, held, o);
    if (!check_complete(c, held, complete, o, error, warning)) return false;
    const bool each = o.each_sweep && held > 1;
    for (uint64_t first = 0; first < complete; first += each ? 1 : complete) {
        imported_spectrum s;
        fill_spectrum(c, o, first, each ? 1 : complete, &s);
        s.source = path;
        s.sweep = each ? std::to_string(first + 1) : "";
        out->push_back(std::move(s));
    }
    return true;
}

}  // namespace sts
