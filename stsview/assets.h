// The page's files (HTML, style, modules, the plotting library), read once
// at start from the tool's asset folder by a fixed list of names and then
// served from memory: no part of a URL ever reaches the file system.
#ifndef STSVIEW_ASSETS_H
#define STSVIEW_ASSETS_H

#include <map>
#include <string>
#include <vector>

namespace sts {

struct asset {
    std::string type;  // Content-Type
    std::string body;
};

// The names the page consists of, in the asset folder.
const std::vector<std::string>& asset_names();

// The folder holding the assets: folder when given, else the installed one
// beside the executable (<prefix>/share/stsview/web for <prefix>/bin),
// else the build tree's (the compile-time STSVIEW_BUILD_ASSETS).
std::string asset_folder(const std::string& folder);

// Reads every name of asset_names() from folder; false with *error naming
// the first that is missing.
bool load_assets(const std::string& folder, std::map<std::string, asset>* out, std::string* error);

}  // namespace sts

#endif
