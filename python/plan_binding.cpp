// Keyword arguments to a grid plan: see plan_binding.h.
#include "python/plan_binding.h"

#include <algorithm>
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
            throw py::type_error("unknown setting '" + name + "'; the settings: " + names);
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
                    throw py::value_error(error);
                break;
        }
    }
    const std::string signal = p.import.signal_channel;
    p.import = options_from_args(import_args, signal);
    std::string error;
    if (!finish_plan(&p, given, &error)) throw py::value_error(error);
    return p;
}

}  // namespace sts::python
