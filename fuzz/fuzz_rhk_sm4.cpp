// The RHK .sm4 reader on arbitrary bytes: a refusal with a reason, or
// spectra laid out as the reader promises (every position its spectra of
// the page's points, pixels inside the grid), and the format found by the
// signature alone; the image pages as their reader promises.
#include <cmath>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "readers/file_format.h"
#include "readers/rhk_sm4.h"
#include "readers/rhk_sm4_image.h"
#include "readers/rhk_sm4_pages.h"

namespace {

// The first byte chooses the options: direction, sweeps, channel, the
// lock-in page (and whether any unit will do).
sts::import_options options_from(uint8_t b) {
    sts::import_options o;
    o.dir = static_cast<sts::direction>(b % 3);
    o.each_sweep = b & 4;
    if (b & 8) o.channel = "LIA Current";
    if (b & 16) o.bias_channel = "Bias";
    if (b & 32) o.signal_channel = b & 8 ? "Current " : "LIA Current";
    if (b & 64) o.signal_any_unit = true;
    return o;
}

void check_layout(const sts::sm4_spectra& s, bool signal) {
    const size_t positions = s.x_nm.size();
    fuzz_check(positions > 0 && s.y_nm.size() == positions, "one place per position");
    fuzz_check(s.nx > 0 && s.ny > 0 && static_cast<size_t>(s.nx * s.ny) == positions,
               "the grid holds the positions");
    fuzz_check(s.per_position > 0 && s.spectra.size() == positions * s.per_position,
               "every position its spectra");
    fuzz_check(!s.raster || (s.step_x >= 0 && std::isfinite(s.step_x) && std::isfinite(s.step_y)),
               "finite steps");
    for (const auto& sp : s.spectra) {
        fuzz_check(!sp.bias.empty() && sp.bias.size() == s.spectra.front().bias.size() &&
                       sp.current.size() == sp.bias.size(),
                   "the page's points");
        fuzz_check(sp.signal.size() == (signal ? sp.bias.size() : 0), "the lock-in page's points");
        fuzz_check(sp.pixel_x >= -1 && sp.pixel_x < s.nx && sp.pixel_y >= -1 && sp.pixel_y < s.ny,
                   "pixels inside the grid");
    }
}

// The image pages: nx * ny values each, no more than the bytes hold, and a
// value (or none) at each frame's centre.
void check_images(const std::string& bytes) {
    std::vector<sts::sm4_image> images;
    std::string error;
    if (!sts::read_sm4_images(bytes, &images, &error)) {
        fuzz_check(!error.empty(), "a refusal of the images says why");
        return;
    }
    size_t values = 0;
    for (const sts::sm4_image& im : images) {
        fuzz_check(im.values.size() == static_cast<size_t>(im.nx * im.ny), "nx * ny values");
        values += im.values.size();
        double v = 0;
        sts::sample_sm4_image(im, im.centre_x, im.centre_y, &v);
    }
    fuzz_check(4 * values <= bytes.size(), "no more than the bytes hold");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    fuzz_check((sts::detect_format(bytes) == sts::file_format::rhk_sm4) == sts::has_rhk_signature(bytes),
               "found by the signature");
    sts::sm4_spectra s;
    std::string error;
    const sts::import_options o = options_from(data[0]);
    if (sts::read_sm4_spectra("f", bytes, o, &s, &error)) {
        check_layout(s, !o.signal_channel.empty());
    } else {
        fuzz_check(!error.empty(), "a refusal says why");
    }
    check_images(bytes);
    return 0;
}
