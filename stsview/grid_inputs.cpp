// The inputs' netCDF files: see grid_inputs.h.
#include "stsview/grid_inputs.h"

#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>

#include "grid/grid_engine.h"
#include "grid/grid_setup.h"

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

// The plan stsview computes with: stsgrid's defaults.
grid_plan default_plan(const std::string& input, const std::string& output) {
    grid_plan p;
    p.inputs = {input};
    p.output = output;
    return p;
}

// The global text attributes of a netCDF file; false when it cannot be
// opened as one.
bool global_texts(const std::string& path, std::map<std::string, std::string>* out) {
    int ncid = -1, count = 0;
    if (nc_open(path.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return false;
    if (nc_inq_natts(ncid, &count) != NC_NOERR) count = 0;
    for (int k = 0; k < count; ++k) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = NC_NAT;
        size_t length = 0;
        if (nc_inq_attname(ncid, NC_GLOBAL, k, name) != NC_NOERR ||
            nc_inq_att(ncid, NC_GLOBAL, name, &type, &length) != NC_NOERR || type != NC_CHAR ||
            length > 65536)
            continue;
        std::string value(length, '\0');
        if (nc_get_att_text(ncid, NC_GLOBAL, name, value.data()) == NC_NOERR) (*out)[name] = value;
    }
    nc_close(ncid);
    return true;
}

// Why the file beside an input is not what the default plan makes of it,
// or "" when it is.
std::string mismatch(const std::string& input, const std::string& nc) {
    std::map<std::string, std::string> file;
    if (!global_texts(nc, &file)) return "it is not a netCDF file stsview can open";
    if (file["source"] != input)
        return "it was made from " + (file["source"].empty() ? "another input" : file["source"]);
    std::map<std::string, std::string> want;
    for (const auto& [name, value] : run_attributes(default_plan(input, nc), "V", "nA"))
        want[name] = value;
    for (const std::string& name : run_attribute_names()) {
        const auto f = file.find(name);
        const auto w = want.find(name);
        const std::string have = f == file.end() ? "" : f->second;
        const std::string should = w == want.end() ? "" : w->second;
        if (have == should) continue;
        if (should.empty()) return "it was made with " + name + " " + have;
        return "its " + name + " is " + (have.empty() ? "not recorded" : "'" + have + "'") +
               ", not '" + should + "'";
    }
    struct stat in_st, nc_st;
    if (stat(input.c_str(), &in_st) == 0 && stat(nc.c_str(), &nc_st) == 0 &&
        (nc_st.st_mtim.tv_sec < in_st.st_mtim.tv_sec ||
         (nc_st.st_mtim.tv_sec == in_st.st_mtim.tv_sec &&
          nc_st.st_mtim.tv_nsec < in_st.st_mtim.tv_nsec)))
        return "it is older than the input";
    return "";
}

// FNV-1a over the input's identity and the plan, as 16 hexadecimal digits.
std::string digest(const std::string& text) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
    char out[17];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h));
    return out;
}

std::string cached_name(const std::string& input, const std::string& folder) {
    char* real = realpath(input.c_str(), nullptr);
    std::string identity = real ? real : input;
    std::free(real);
    struct stat st;
    if (stat(input.c_str(), &st) == 0)
        identity += "\n" + std::to_string(st.st_size) + "\n" + std::to_string(st.st_mtim.tv_sec) +
                    "." + std::to_string(st.st_mtim.tv_nsec);
    for (const auto& [name, value] : run_attributes(default_plan(input, ""), "V", "nA"))
        identity += "\n" + name + "=" + value;
    std::string stem = default_output(input);
    stem = stem.substr(stem.rfind('/') + 1);
    stem.resize(stem.size() - 3);  // ".nc"
    return folder + "/" + stem + "-" + digest(identity) + ".nc";
}

bool make_folders(const std::string& path, std::string* error) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *error = "cannot make the cache folder " + part + ": " + std::strerror(errno) +
                     " (name another with -o)";
            return false;
        }
    }
    return true;
}

// The engine's run of the default plan into output.
bool compute(const std::string& input, const std::string& output, std::vector<std::string>* notes,
             std::string* error) {
    const run_outcome r = run_plan(default_plan(input, output));
    if (r.status != run_status::done) {
        *error = r.error;
        return false;
    }
    const uint64_t seen = r.collector->pixels_seen();
    const uint64_t unprocessed = seen - r.collector->by_code()[PIXEL_PROCESSED];
    notes->push_back("computed " + input + " with stsgrid's default settings into " + output +
                     ": " + std::to_string(r.description.nx) + " x " +
                     std::to_string(r.description.ny) + " pixels, " +
                     std::to_string(r.description.points) + " points" +
                     (unprocessed ? ", " + std::to_string(unprocessed) + " of " +
                                        std::to_string(seen) + " pixels not processed (grey)"
                                  : ""));
    return true;
}

}  // namespace

std::string cache_folder(const input_settings& s, std::string* error) {
    std::string folder = s.cache;
    if (folder.empty()) {
        const char* xdg = std::getenv("XDG_CACHE_HOME");
        const char* home = std::getenv("HOME");
        if (xdg && *xdg == '/') folder = std::string(xdg) + "/stsview";
        else if (home && *home == '/') folder = std::string(home) + "/.cache/stsview";
        else folder = "/tmp/stsview-" + std::to_string(getuid());
    }
    return make_folders(folder, error) ? folder : "";
}

bool netcdf_files(const std::vector<std::string>& args, const input_settings& s,
                  std::vector<std::string>* out, std::vector<std::string>* notes,
                  std::string* error) {
    size_t computed = 0;
    for (const auto& a : args) computed += looks_like_netcdf(a) ? 0 : 1;
    if (!s.output.empty() && computed != 1) {
        *error = "-o names the file of one computed grid; " + std::to_string(computed) +
                 " inputs here are not netCDF files";
        return false;
    }
    for (const auto& a : args) {
        if (access(a.c_str(), R_OK) != 0) {
            *error = "cannot read " + a + ": " + std::strerror(errno);
            return false;
        }
        if (looks_like_netcdf(a)) {
            out->push_back(a);
            continue;
        }
        std::string target = s.output;
        if (target.empty()) {
            const std::string beside = default_output(a);
            const std::string why = access(beside.c_str(), F_OK) == 0 ? mismatch(a, beside) : "-";
            if (why.empty()) {
                notes->push_back("showing " + beside + ", stsgrid's default run of " + a);
                out->push_back(beside);
                continue;
            }
            const std::string folder = cache_folder(s, error);
            if (folder.empty()) return false;
            target = cached_name(a, folder);
            if (why != "-")
                notes->push_back(beside + " is left as it is and not shown (" + why +
                                 "); to see it, run stsview " + beside);
            if (access(target.c_str(), F_OK) == 0 && looks_like_netcdf(target)) {
                notes->push_back("showing " + target + ", computed earlier from " + a);
                out->push_back(target);
                continue;
            }
        }
        if (!compute(a, target, notes, error)) return false;
        out->push_back(target);
    }
    return true;
}

}  // namespace sts
