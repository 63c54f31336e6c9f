// Never replacing an input: see input_guard.h.
#include "output/input_guard.h"

#include <sys/stat.h>

namespace sts {

input_guard::input_guard(const std::vector<std::string>& inputs) {
    for (const auto& name : inputs) {
        struct stat st;
        if (stat(name.c_str(), &st) == 0) inputs_.push_back({st.st_dev, st.st_ino, name});
    }
}

std::string input_guard::replaced_input(const std::string& output) const {
    struct stat st;
    if (stat(output.c_str(), &st) != 0) return "";  // nothing there yet
    for (const auto& in : inputs_)
        if (in.device == st.st_dev && in.inode == st.st_ino) return in.name;
    return "";
}

}  // namespace sts
