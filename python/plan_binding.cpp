// Keyword arguments to a grid plan: see plan_binding.h.
#include "python/plan_binding.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "grid/plan_settings.h"

namespace sts::python {

namespace {

// How a Python name reaches the plan.
enum class setting_kind {
    import_value,  // a readers' import option with a value (--channel=...)
    import_flag,   // one without (--partial)
    plan_value,    // the engine's setter (grid/plan_settings.h)
    plan_flag,     // a setter without a value (--force): True or False
    plan_maybe,    // one whose value may be left out (--fft[=V]): True for none
    mean_text,     // the grid means as text (stsgrid's --mean-text)
};

struct setting {
    const char* python;  // the keyword
    const char* option;  // stsgrid's long option without its dashes
    setting_kind kind;
    bool file_only;      // only for a run that writes a file
};

constexpr setting settings_table[] = {
    {"channel", "channel", setting_kind::import_value, false},
    {"bias_channel", "bias", setting_kind::import_value, false},
    {"direction", "direction", setting_kind::import_value, false},
    {"sweep", "sweep", setting_kind::import_value, false},
    {"bias_unit", "bias-unit", setting_kind::import_value, false},
    {"current_unit", "current-unit", setting_kind::import_value, false},
    // How the file's current is read: a dataset holds it as read already.
    {"current_gain", "current-gain", setting_kind::import_value, true},
    {"format", "format", setting_kind::import_value, true},
    {"partial", "partial", setting_kind::import_flag, true},
    {"threads", "jobs", setting_kind::plan_value, false},
    {"region", "region", setting_kind::plan_value, false},
    {"exp_width", "exp-width", setting_kind::plan_value, false},
    {"coff_offset", "coff-offset", setting_kind::plan_value, false},
    {"smooth", "smooth", setting_kind::plan_value, false},
    {"didv_channel", "didv-channel", setting_kind::plan_value, false},
    {"lockin_fit", "lockin-fit", setting_kind::plan_value, false},
    {"lockin_min_r2", "lockin-min-r2", setting_kind::plan_value, false},
    {"lockin_cal", "lockin-cal", setting_kind::plan_value, false},
    {"force", "force", setting_kind::plan_flag, false},
    {"fit", "fit", setting_kind::plan_value, false},
    {"fit_window", "fit-window", setting_kind::plan_value, false},
    {"fit_temperature", "fit-temperature", setting_kind::plan_value, false},
    {"fit_tip_gap", "fit-tip-gap", setting_kind::plan_value, false},
    {"fit_tip_gamma", "fit-tip-gamma", setting_kind::plan_value, false},
    {"fit_modulation", "fit-modulation", setting_kind::plan_value, false},
    {"fit_free", "fit-free", setting_kind::plan_value, false},
    // The Fourier maps and the scan image go to files beside the run's
    // (stskit.fft computes the maps of a dataset).
    {"fft", "fft", setting_kind::plan_maybe, true},
    {"fft_window", "fft-window", setting_kind::plan_value, true},
    {"symmetrise", "symmetrise", setting_kind::plan_value, true},
    {"bragg", "bragg", setting_kind::plan_maybe, true},
    {"drift_correct", "drift-correct", setting_kind::plan_maybe, true},
    {"topography", "topography", setting_kind::plan_value, true},
    {"topography_channel", "topography-channel", setting_kind::plan_value, true},
    {"topography_direction", "topography-direction", setting_kind::plan_value, true},
    {"gap", "gap", setting_kind::plan_value, false},
    {"gap_window", "gap-window", setting_kind::plan_value, false},
    {"pointmean", "pointmean", setting_kind::plan_value, true},
    {"line", "line", setting_kind::plan_value, true},
    {"line_vars", "line-vars", setting_kind::plan_value, true},
    {"mean_text", "mean-text", setting_kind::mean_text, true},
};

const setting* find_setting(const std::string& name, plan_use use) {
    for (const setting& s : settings_table)
        if (name == s.python && (use == plan_use::file || !s.file_only)) return &s;
    return nullptr;
}

// A value as the command line would carry it: str() of a number (the
// shortest text that reads back as the same double), a list joined by
// commas.
std::string value_text(const py::handle& value) {
    if (py::isinstance<py::list>(value) || py::isinstance<py::tuple>(value)) {
        std::string text;
        for (const py::handle& v : value) text += (text.empty() ? "" : ",") + value_text(v);
        return text;
    }
    return py::str(value).cast<std::string>();
}

// True or False for an option without a value; ValueError otherwise.
bool flag_value(const std::string& name, const py::handle& value) {
    if (!py::isinstance<py::bool_>(value))
        throw py::value_error(name + " is True or False, not " + value_text(value));
    return value.cast<bool>();
}

}  // namespace

std::vector<std::string> setting_names(plan_use use) {
    std::vector<std::string> names;
    for (const setting& s : settings_table)
        if (use == plan_use::file || !s.file_only) names.emplace_back(s.python);
    return names;
}

grid_plan plan_from_settings(const py::dict& settings, plan_use use) {
    grid_plan p;
    plan_given given;
    std::vector<std::string> import_args;
    for (const auto& [key, value] : settings) {
        const std::string name = py::str(key).cast<std::string>();
        const setting* s = find_setting(name, use);
        if (!s) {
            std::string names;
            for (const std::string& n : setting_names(use))
                names += (names.empty() ? "" : ", ") + n;
            // A file's setting asked of a dataset: say whose it is.
            const std::string whose = find_setting(name, plan_use::file)
                                          ? " for a dataset: it reads or writes a file, as "
                                            "stskit.run does"
                                          : "";
            throw py::type_error("unknown setting '" + name + "'" + whose +
                                 "; the settings: " + names);
        }
        if (value.is_none()) continue;
        std::string error;
        switch (s->kind) {
            case setting_kind::import_value:
                import_args.push_back("--" + std::string(s->option) + "=" + value_text(value));
                break;
            case setting_kind::import_flag:
                if (flag_value(name, value)) import_args.push_back("--" + std::string(s->option));
                break;
            case setting_kind::mean_text: p.mean_texts = flag_value(name, value); break;
            case setting_kind::plan_value:
                if (!set_plan_value(s->option, value_text(value), &p, &given, &error))
                    throw py::value_error(keyword_message(error));
                break;
            case setting_kind::plan_flag:
            case setting_kind::plan_maybe: {
                const bool is_flag = py::isinstance<py::bool_>(value);
                if (is_flag && !value.cast<bool>()) break;
                if (!is_flag && s->kind == setting_kind::plan_flag) flag_value(name, value);
                if (!set_plan_value(s->option, is_flag ? "" : value_text(value), &p, &given,
                                    &error))
                    throw py::value_error(keyword_message(error));
                break;
            }
        }
    }
    // The import options' parser resets the whole of p.import: what the
    // plan's setters put there (the lock-in channel, --force) goes back.
    const std::string signal = p.import.signal_channel;
    const bool any_unit = p.import.signal_any_unit;
    try {
        p.import = options_from_args(import_args, signal);
    } catch (const py::value_error& e) {
        throw py::value_error(keyword_message(e.what()));
    }
    p.import.signal_any_unit = any_unit;
    std::string error;
    if (!finish_plan(&p, given, &error)) throw py::value_error(keyword_message(error));
    return p;
}

// The setting of stsgrid's option (its long name without dashes), or null.
const setting* setting_of_option(const std::string& option) {
    for (const setting& t : settings_table)
        if (option == t.option) return &t;
    return nullptr;
}

std::string keyword_message(const std::string& message) {
    // A message that opens with the option's bare name ("lockin-cal must
    // be ..."): the keyword.
    const std::string first = message.substr(0, message.find(' '));
    if (first.find('-') != std::string::npos && setting_of_option(first))
        return setting_of_option(first)->python + keyword_message(message.substr(first.size()));
    if (first == "jobs") return "threads" + keyword_message(message.substr(first.size()));
    // "--name" or "--name=VALUE": the option, and what follows '=' up to a
    // space or a closing mark; "--fit-*" the keywords fit_*.
    static const std::regex option(R"(--([a-z][a-z0-9-]*)(=[^\s,;)'"]*)?)");
    std::string out;
    auto at = message.cbegin();
    for (std::sregex_iterator m(message.begin(), message.end(), option), end; m != end; ++m) {
        out.append(at, (*m)[0].first);
        at = (*m)[0].second;
        const std::string name = (*m)[1].str();
        if (name.back() == '-' && setting_of_option(name.substr(0, name.size() - 1))) {
            out += std::string(setting_of_option(name.substr(0, name.size() - 1))->python) + "_";
            continue;
        }
        const setting* s = name == "jobs" ? find_setting("threads", plan_use::file)
                                          : setting_of_option(name);
        if (!s) {
            out += (*m)[0].str();  // the command line's alone (--map, --output)
            continue;
        }
        out += s->python;
        if ((*m)[2].matched) out += (*m)[2].str();
        else if (s->kind == setting_kind::plan_flag || s->kind == setting_kind::plan_maybe ||
                 s->kind == setting_kind::import_flag || s->kind == setting_kind::mean_text)
            out += "=True";
    }
    out.append(at, message.cend());
    // "-o", the output's short option ("name another with -o"): run's argument.
    static const std::regex short_output(R"((^|\s)-o(?=\s|$))");
    return std::regex_replace(out, short_output, "$1output");
}

}  // namespace sts::python
