// stsview's request handling on arbitrary requests: the method, target,
// Host and Cookie lines of the input (split at newlines) go through the
// guards, the query parser and every data route over a small grid file
// written once (with a topography and gap maps, so that the per-pixel maps
// and the line cut's netCDF file have every kind of quantity to carry, and
// a --fit's records, so that the fit's route and export are driven too).
// Every reply is a 2xx or a 4xx with a message; none is a 5xx (the file is
// good), a crash or a hang.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_grid_file.h"
#include "grid/netcdf_writer.h"
#include "spectrum/gap.h"
#include "spectrum/gap_fit.h"
#include "stsview/request_handler.h"

using namespace sts;

namespace {

// A 5 x 4 grid of 6 points; pixel 7 unprocessed; the last two missing;
// pixel 3 without a gap.
std::string& grid_path() {
    static std::string path;
    return path;
}

std::string write_grid() {
    static char folder[] = "/tmp/fuzz_stsview.XXXXXX";
    fuzz_check(mkdtemp(folder) != nullptr, "a scratch folder");
    const std::string path = std::string(folder) + "/g.nc";
    grid_description d = fuzz_grid_description();
    d.groups = {quantity_group::gap, quantity_group::topography, quantity_group::fit};
    d.attributes = {{"fit_model", "dynes (normal tip)"}, {"fit_curve_of", "didv"}, {"fit_window", "|V| <= 0.5 V"}};
    d.has_topography = true;
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
        b.topography.push_back(1.0f + 0.05f * static_cast<float>(p));
        const bool gap = p != 3 && p != 7;
        for (auto* v : {&b.gap_low, &b.gap_high, &b.gap_width, &b.peak_low, &b.peak_high, &b.peak_low_height,
                        &b.peak_high_height})
            v->push_back(gap ? 0.1f * static_cast<float>(p % 5) - 0.2f : NAN);
        b.gap_status.push_back(static_cast<signed char>(gap ? gap_reason::found : gap_reason::not_below));
        // Pixel 7 not fitted, pixel 3 without a gap, the others converged.
        const bool fitted = gap;
        for (auto* v : {&b.fit_gap, &b.fit_gamma, &b.fit_temperature, &b.fit_tip_gap, &b.fit_scale, &b.fit_offset,
                        &b.fit_background, &b.fit_se_gap, &b.fit_se_gamma, &b.fit_se_temperature, &b.fit_se_tip_gap,
                        &b.fit_se_scale, &b.fit_se_offset, &b.fit_se_background, &b.fit_chi2, &b.fit_iterations})
            v->push_back(fitted ? 0.01f * static_cast<float>(p + 1) : NAN);
        for (int i = 0; i < 5; ++i) b.fit_curve.push_back(fitted && i > 0 && i < 4 ? 0.2f * static_cast<float>(i) : NAN);
        b.fit_status.push_back(static_cast<signed char>(
            p == 7 ? gap_fit_status::not_computed : gap ? gap_fit_status::converged : gap_fit_status::no_gap));
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
