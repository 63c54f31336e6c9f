// What an import must not do to the files already there.
#include "stsimport/output_guard.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>

#include "output/atomic_file.h"
#include "output/input_guard.h"

namespace {

bool digits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

// The numbered files in a folder, sorted by name.
std::vector<std::string> numbered_files(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = readdir(d))
        if (numbered_name(e->d_name)) names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

std::string base_name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// "a", "a and b", or "a ... z (n files)".
std::string some_of(const std::vector<std::string>& names) {
    if (names.size() == 1) return names[0];
    if (names.size() == 2) return names[0] + " and " + names[1];
    return names.front() + " ... " + names.back() + " (" + std::to_string(names.size()) + " files)";
}

}  // namespace

bool outputs_spare_inputs(const command_line& c, const std::vector<std::string>& outputs,
                          std::string* error) {
    const sts::input_guard inputs(c.inputs);
    for (const auto& path : outputs) {
        if (!inputs.replaced_input(path).empty()) {
            *error = path + " is one of the inputs and would be overwritten; "
                            "choose another folder with --out (nothing was written)";
            return false;
        }
        // Every name checked before the first file is written, so that a
        // FIFO or folder among them cannot leave half a series.
        if (sts::output_target(path, error).empty()) {
            *error += " (nothing was written)";
            return false;
        }
    }
    return true;
}

bool numbered_name(const std::string& name) {
    if (name.size() > 1 && name[0] == 's' && digits(name.substr(1))) return true;
    return name.size() > 9 && name.rfind("stxt", 0) == 0 &&
           name.compare(name.size() - 5, 5, "p.txt") == 0 &&
           digits(name.substr(4, name.size() - 9));
}

std::vector<std::string> indexed_outputs(const command_line& c) {
    std::vector<std::string> names;
    std::ifstream index(c.out_dir + "/stsimport-index.tsv");
    std::string line;
    std::getline(index, line);  // the column names
    while (std::getline(index, line)) names.push_back(line.substr(0, line.find('\t')));
    return names;
}

bool folder_is_ours(const command_line& c, const std::vector<std::string>& outputs,
                    std::string* error) {
    if (c.force) return true;
    std::set<std::string> ours, indexed;
    for (const auto& path : outputs) ours.insert(base_name(path));
    for (const auto& name : indexed_outputs(c)) indexed.insert(name);
    const sts::input_guard inputs(c.inputs);
    std::vector<std::string> foreign, unindexed;
    for (const auto& name : numbered_files(c.out_dir)) {
        // This import's own source, which outputs_spare_inputs() protects.
        if (!inputs.replaced_input(c.out_dir + "/" + name).empty()) continue;
        if (ours.count(name) == 0) foreign.push_back(name);
        else if (indexed.count(name) == 0) unindexed.push_back(name);
    }
    const std::string advice = "; give another folder with --out, or --force (nothing was written)";
    if (!foreign.empty())
        *error = c.out_dir + " already holds " + some_of(foreign) + ", which this import would "
                 "not replace: two series would mix" + advice;
    else if (!unindexed.empty())
        *error = c.out_dir + ": " + some_of(unindexed) +
                 " would be replaced, yet no import wrote " +
                 (unindexed.size() == 1 ? "it (stsimport-index.tsv does not list it)"
                                        : "them (stsimport-index.tsv does not list them)") +
                 advice;
    return foreign.empty() && unindexed.empty();
}
