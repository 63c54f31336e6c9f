#include "stsview/grid_inputs.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

#include "grid/grid_setup.h"

extern char** environ;

namespace sts {

bool looks_like_netcdf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[8] = {};
    in.read(head, sizeof head);
    if (in.gcount() < 4) return false;
    return std::memcmp(head, "CDF", 3) == 0 ||
           (in.gcount() == 8 && std::memcmp(head, "\x89HDF\r\n\x1a\n", 8) == 0);
}

namespace {

// stsgrid beside this executable (installed, or the build tree's), else
// the one on PATH.
std::string stsgrid_program() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) {
        const std::string self(path, static_cast<size_t>(n));
        const std::string folder = self.substr(0, self.rfind('/'));
        for (const std::string& candidate : {folder + "/stsgrid", folder + "/../stsgrid/stsgrid"})
            if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "stsgrid";
}

bool run_stsgrid(const std::string& input, std::string* error) {
    const std::string program = stsgrid_program();
    std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--"),
                               const_cast<char*>(input.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
        *error = "cannot run stsgrid for " + input + " (is stsgrid installed?)";
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) break;
    // stsgrid's status 3: done, some pixels unprocessed (they show grey).
    if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3)) return true;
    *error = "stsgrid could not make a grid file of " + input + " (its message is above)";
    return false;
}

}  // namespace

bool netcdf_files(const std::vector<std::string>& args, std::vector<std::string>* out,
                  std::string* error) {
    for (const auto& a : args) {
        if (access(a.c_str(), R_OK) != 0) {
            *error = "cannot read " + a + ": " + std::strerror(errno);
            return false;
        }
        if (looks_like_netcdf(a)) {
            out->push_back(a);
            continue;
        }
        if (!run_stsgrid(a, error)) return false;
        out->push_back(default_output(a));
    }
    return true;
}

}  // namespace sts
