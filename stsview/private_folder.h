// A folder of the server's own (mode 0700, from mkdtemp) for a file it
// writes before sending it, removed with everything in it when the object
// goes: a download's file never has a name another user could guess.
#pragma once

#include <string>

namespace sts {

struct private_folder {
    std::string path;  // empty until make() succeeds
    private_folder() = default;
    private_folder(const private_folder&) = delete;
    private_folder& operator=(const private_folder&) = delete;
    ~private_folder();
    // Makes <temporary directory>/<prefix>.XXXXXX.  On failure false, with
    // "cannot make a folder for <what>: <reason>" in *error.
    bool make(const std::string& prefix, const std::string& what, std::string* error);
};

}  // namespace sts
