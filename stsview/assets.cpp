#include "stsview/assets.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

namespace sts {

const std::vector<std::string>& asset_names() {
    static const std::vector<std::string> names = {
        "index.html",  "stsview.css",   "main.js",     "api.js",          "colour_maps.js",
        "map_pane.js", "curve_pane.js", "exports.js",  "uPlot.esm.js",    "uPlot.min.css",
        "linecut_pane.js", "page_state.js", "axis_ticks.js",
        "q_pane.js", "q_view.js", "dispersion_pane.js", "fit_overlay.js"};
    return names;
}

namespace {

std::string type_of(const std::string& name) {
    const std::string ext = name.substr(name.rfind('.') + 1);
    if (ext == "html") return "text/html; charset=utf-8";
    if (ext == "css") return "text/css; charset=utf-8";
    return "text/javascript; charset=utf-8";
}

bool exists(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

// The folder of the running executable.
std::string executable_folder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "";
    const std::string p(path, static_cast<size_t>(n));
    return p.substr(0, p.rfind('/'));
}

}  // namespace

std::string asset_folder(const std::string& folder) {
    if (!folder.empty()) return folder;
    const std::string installed = executable_folder() + "/../share/stsview/web";
    if (exists(installed + "/index.html")) return installed;
#ifdef STSVIEW_BUILD_ASSETS
    return STSVIEW_BUILD_ASSETS;
#else
    return installed;
#endif
}

bool load_assets(const std::string& folder, std::map<std::string, asset>* out, std::string* error) {
    for (const auto& name : asset_names()) {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in || text.str().empty()) {
            *error = "cannot read the page's file " + folder + "/" + name +
                     " (reinstall stsview, or name the folder with --assets)";
            return false;
        }
        (*out)[name] = {type_of(name), text.str()};
    }
    return true;
}

}  // namespace sts
