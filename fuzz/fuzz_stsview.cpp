// stsview's request handling on arbitrary requests: the method, target,
// Host and Cookie lines of the input (split at newlines) go through the
// guards, the query parser and every data route over a small grid file
// written once.  Every reply is a 2xx or a 4xx with a message; none is a
// 5xx (the file is good), a crash or a hang.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_grid_file.h"
#include "grid/netcdf_writer.h"
#include "stsview/request_handler.h"

using namespace sts;

namespace {

// A 5 x 4 grid of 6 points; pixel 7 unprocessed; the last two missing.
std::string& grid_path() {
    static std::string path;
    return path;
}

std::string write_grid() {
    static char folder[] = "/tmp/fuzz_stsview.XXXXXX";
    fuzz_check(mkdtemp(folder) != nullptr, "a scratch folder");
    const std::string path = std::string(folder) + "/g.nc";
    const grid_description d = fuzz_grid_description();
    pixel_block b;
    b.count = 18;
    b.points = 6;
    for (int p = 0; p < b.count; ++p) {
        for (int i = 0; i < 6; ++i) {
            b.current.push_back(static_cast<float>(p) * 0.1f + static_cast<float>(i));
            b.iv.push_back(static_cast<float>(i) - 2.5f);
        }
        for (int i = 0; i < 5; ++i)
            for (auto* v : {&b.didv, &b.norm_raw, &b.norm_exp, &b.norm_coff})
                v->push_back(p == 7 ? NAN : static_cast<float>(p + i) * 0.25f);
        b.status.push_back(p == 7 ? PIXEL_ROUTINE_FAILURE : PIXEL_PROCESSED);
    }
    netcdf_writer w;
    std::string error;
    fuzz_check(w.create(path, d, &error) && w.write(b, &error) && w.commit(&error), "the grid file");
    return path;
}

struct world {
    grid_store store;
    std::map<std::string, asset> assets;
    site s;
    world() {
        std::string error;
        const std::string path = write_grid();
        fuzz_check(store.open({path}, &error), "the grid opens");
        // The file stays while the process runs (stsview reports a file
        // that changes or goes under it as an error, rightly), and goes
        // with its folder when the process ends.
        grid_path() = path;
        std::atexit([] {
            unlink(grid_path().c_str());
            rmdir(grid_path().substr(0, grid_path().rfind('/')).c_str());
        });
        for (const auto& name : asset_names()) assets[name] = {"text/plain", name};
        s.store = &store;
        s.assets = &assets;
        s.token = "t";  // short, so that the fuzzer gets past the guard
        s.port = 1;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static world w;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string lines[4];
    size_t at = 0;
    for (int i = 0; i < 4 && at <= text.size(); ++i) {
        const size_t end = std::min(text.find('\n', at), text.size());
        lines[i] = text.substr(at, end - at);
        at = end + 1;
    }
    const reply r = answer(w.s, {lines[0], lines[1], lines[2], lines[3]});
    fuzz_check(r.status == 200 || (r.status >= 400 && r.status < 500), "a 2xx or a 4xx");
    if (r.status != 200) fuzz_check(r.body.find("\"error\":\"") == 1, "a refusal says why");
    return 0;
}
