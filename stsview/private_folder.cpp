#include "stsview/private_folder.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace sts {

private_folder::~private_folder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
}

bool private_folder::make(const std::string& prefix, const std::string& what, std::string* error) {
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / (prefix + ".XXXXXX")).string();
    if (ec) pattern = "/tmp/" + prefix + ".XXXXXX";
    if (!mkdtemp(pattern.data())) {
        *error = "cannot make a folder for " + what + ": " + std::string(std::strerror(errno));
        return false;
    }
    path = pattern;
    return true;
}

}  // namespace sts
