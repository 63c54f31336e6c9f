// The Nanonis .sxm reader on arbitrary bytes: a refusal with a reason, or
// a scan laid out as the reader promises (every channel's images of nx * ny
// values, a finite frame whose centre falls on a pixel); memory never
// beyond what the bytes hold.  Bytes found as an image begin as one and are
// refused by the spectrum readers with the image's text.
#include <cmath>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "readers/file_format.h"
#include "readers/frame_position.h"
#include "readers/nanonis_sxm.h"
#include "readers/read_spectra.h"

namespace {

void check_scan(const sts::sxm_scan& s, size_t size) {
    const sts::sxm_frame& f = s.frame;
    fuzz_check(f.nx > 0 && f.ny > 0, "pixels in the frame");
    fuzz_check(std::isfinite(f.frame.centre_x) && std::isfinite(f.frame.centre_y) &&
                   f.frame.width > 0 && f.frame.height > 0 && std::isfinite(f.frame.angle),
               "a finite frame");
    size_t images = 0;
    for (const auto& c : s.channels) images += (c.forward ? 1 : 0) + (c.backward ? 1 : 0);
    fuzz_check(images == s.images.size(), "every direction its image");
    bool measured = false;
    for (const auto& image : s.images) {
        fuzz_check(image.values.size() == static_cast<size_t>(f.nx * f.ny), "nx * ny values");
        fuzz_check(image.channel < s.channels.size(), "an image of a channel");
        for (float v : image.values) measured = measured || !std::isnan(v);
    }
    fuzz_check(measured, "a measured value");
    fuzz_check(4 * images * static_cast<size_t>(f.nx * f.ny) <= size, "no more than the bytes hold");
    const sts::frame_place centre = sts::place_in_frame(f, f.frame.centre_x * 1e-9,
                                                        f.frame.centre_y * 1e-9);
    fuzz_check(!centre.inside || (centre.ix >= 0 && centre.ix < f.nx && centre.iy >= 0 &&
                                  centre.iy < f.ny),
               "the centre on a pixel");
    double value = 0;
    sts::sample_image(f, s.images.front(), centre.u, centre.v, &value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const bool image = sts::detect_format(bytes) == sts::file_format::nanonis_sxm;
    fuzz_check(!image || bytes.rfind(":NANONIS_VERSION:", 0) == 0, "known by its first bytes");
    if (image) {
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        fuzz_check(!sts::read_spectra("f", bytes, {}, &out, &error, &warning) &&
                       error == "a Nanonis image (.sxm), not a spectrum",
                   "no spectrum");
    }
    sts::sxm_scan s;
    std::string error;
    if (sts::read_nanonis_sxm(bytes, &s, &error)) {
        check_scan(s, size);
    } else {
        fuzz_check(!error.empty(), "a refusal says why");
    }
    return 0;
}
