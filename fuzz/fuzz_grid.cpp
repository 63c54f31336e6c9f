// The grid path on arbitrary bytes: a .3ds header and pixels read from
// memory and computed as stsgrid computes them.  A refusal says why; every
// pixel ends with a valid code and values only where it was processed; the
// fast float read of a pixel gives the bits of the general reader's values
// rounded to float, with or without a lock-in channel and a chosen sweep.
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "grid/grid_run.h"
#include "readers/byte_source.h"
#include "readers/nanonis_grid.h"

using namespace sts;

namespace {

bool same_bits(const std::vector<float>& a, const std::vector<double>& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        const float f = static_cast<float>(b[k]);
        if (std::memcmp(&a[k], &f, sizeof f) != 0 && !(std::isnan(a[k]) && std::isnan(f)))
            return false;
    }
    return true;
}

// read_pixel_floats against read_pixel, converted value by value.
void check_float_read(const sts::nanonis_grid& grid, uint64_t p, sts::pixel_status status,
                      const sts::grid_pixel& general) {
    sts::grid_pixel scratch;
    std::vector<float> bias, current, signal;
    const sts::pixel_status fast = grid.read_pixel_floats(p, &scratch, &bias, &current, &signal);
    fuzz_check(fast == status, "both reads agree on the pixel's status");
    if (status != sts::pixel_status::measured) return;
    const sts::imported_spectrum& s = general.spectra.front();
    fuzz_check(same_bits(bias, s.bias), "the float read's bias");
    fuzz_check(same_bits(current, s.current), "the float read's current");
    fuzz_check(same_bits(signal, s.signal), "the float read's lock-in channel");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    sts::import_options o;
    o.partial = true;  // the pixels of a cut grid reached, however few
    o.dir = static_cast<sts::direction>(data[0] % 3);
    if (data[0] & 0x4) o.signal_channel = "LI Demod 1 X";
    if (data[0] & 0x8) o.sweep = 1 + (data[0] >> 4) % 3;
    sts::nanonis_grid grid;
    std::string error;
    if (!grid.open(std::make_shared<sts::memory_source>(bytes), "f", o, &error)) {
        fuzz_check(!error.empty(), "a refusal says why");
        return 0;
    }
    const auto points = static_cast<int>(grid.header().points);
    if (points > 20000) return 0;  // the reader allows it; computing it here is slow
    grid_description d;
    d.nx = grid.header().nx;
    d.ny = grid.header().ny;
    d.points = std::max(2, points);
    spectrum_workspace w;
    spectrum_arrays a;
    const int capacity = std::min(d.points, MAX_POINTS);
    fuzz_check(reserve_workspace(&w, capacity) && reserve_arrays(&a, capacity), "workspace");
    pixel_block b;
    b.count = 1;
    b.points = d.points;
    b.current.assign(static_cast<size_t>(d.points), NAN);
    b.iv = b.current;
    b.didv.assign(static_cast<size_t>(d.points - 1), NAN);
    b.norm_raw = b.norm_exp = b.norm_coff = b.didv;
    b.position_x.assign(1, NAN);
    b.position_y.assign(1, NAN);
    b.status.assign(1, 0);
    pixel_input in;
    const uint64_t pixels = std::min<uint64_t>(grid.complete_pixels(), 8);
    for (uint64_t p = 0; p < pixels; ++p) {
        const sts::pixel_status status = grid.read_pixel(p, &in.scratch);
        check_float_read(grid, p, status, in.scratch);
        in.code = status == sts::pixel_status::measured ? PIXEL_PROCESSED : PIXEL_NOT_MEASURED;
        in.bias.clear();
        in.current.clear();
        if (in.code == PIXEL_PROCESSED) {
            for (double v : in.scratch.spectra.front().bias) in.bias.push_back(static_cast<float>(v));
            for (double v : in.scratch.spectra.front().current) in.current.push_back(static_cast<float>(v));
        }
        compute_pixel(in, norm_options{}, &w, &a, d, 0, &b);
        fuzz_check(b.status[0] >= 0 && b.status[0] < PIXEL_CODES, "a valid pixel code");
    }
    return 0;
}
