// What an import must not do to the files already there.
#include "output_guard.h"

#include <cstdlib>
#include <set>

namespace {

// The canonical path of the file a path leads to, every link followed; ""
// when it does not exist.
std::string canonical(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return "";
    std::string result = resolved;
    std::free(resolved);
    return result;
}

// The canonical path of the folder entry a path names: its folder resolved,
// its last part not (the atomic rename replaces that entry, a link there
// included, never a file behind it).
std::string entry(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string folder = canonical(dir);
    return folder.empty() ? "" : folder + "/" + path.substr(slash + 1);
}

}  // namespace

bool outputs_spare_inputs(const command_line& c, const std::vector<std::string>& outputs,
                          std::string* error) {
    std::set<std::string> inputs;
    for (const auto& path : c.inputs) {
        const std::string file = canonical(path);
        if (!file.empty()) inputs.insert(file);
    }
    for (const auto& path : outputs) {
        if (inputs.count(entry(path)) != 0) {
            *error = path + " is one of the inputs and would be overwritten; "
                            "choose another folder with --out (nothing was written)";
            return false;
        }
    }
    return true;
}
