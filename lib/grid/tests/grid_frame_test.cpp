// The three layouts of pixels in a frame, worked by hand, and the choice
// among them by recorded positions.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "grid/grid_frame.h"

using namespace sts;

TEST(GridFrame, LayoutsByHand) {
    // 4 pixels over 8 nm: cells of 2 nm.
    EXPECT_EQ(layout_axis(4, 8, pixel_layout::centre), (std::vector<double>{1, 3, 5, 7}));
    EXPECT_EQ(layout_axis(4, 8, pixel_layout::corner), (std::vector<double>{0, 2, 4, 6}));
    // A line of 5 over 8 nm: both ends are pixels, 2 nm apart.
    EXPECT_EQ(layout_axis(5, 8, pixel_layout::ends), (std::vector<double>{0, 2, 4, 6, 8}));
    // One pixel: the middle, or the corner; none for no pixels.
    EXPECT_EQ(layout_axis(1, 6, pixel_layout::centre), (std::vector<double>{3}));
    EXPECT_EQ(layout_axis(1, 6, pixel_layout::ends), (std::vector<double>{3}));
    EXPECT_EQ(layout_axis(1, 6, pixel_layout::corner), (std::vector<double>{0}));
    EXPECT_TRUE(layout_axis(0, 6, pixel_layout::centre).empty());
    EXPECT_STREQ(layout_name(pixel_layout::corner), "corner");
}

namespace {

// Every pixel of an nx x ny grid at its place in layout l, shifted by
// `drift` nm along x.
std::vector<frame_sample> samples_of(long nx, long ny, double w, double h, pixel_layout l,
                                     double drift) {
    const std::vector<double> xs = layout_axis(nx, w, l), ys = layout_axis(ny, h, l);
    std::vector<frame_sample> s;
    for (long iy = 0; iy < ny; ++iy)
        for (long ix = 0; ix < nx; ++ix)
            s.push_back({ix, iy, xs[static_cast<size_t>(ix)] + drift, ys[static_cast<size_t>(iy)]});
    return s;
}

}  // namespace

TEST(GridFrame, RecordedPositionsChooseTheLayout) {
    for (pixel_layout l : {pixel_layout::centre, pixel_layout::corner, pixel_layout::ends}) {
        // Exactly, and with a tenth of a step of drift.
        EXPECT_EQ(fitted_layout(samples_of(6, 5, 12, 10, l, 0), 6, 5, 12, 10, pixel_layout::centre),
                  l);
        EXPECT_EQ(fitted_layout(samples_of(6, 5, 12, 10, l, 0.2), 6, 5, 12, 10,
                                pixel_layout::centre),
                  l);
    }
    // A line with no height: x alone decides.
    EXPECT_EQ(fitted_layout(samples_of(8, 1, 7, 0, pixel_layout::ends, 0), 8, 1, 7, 0,
                            pixel_layout::centre),
              pixel_layout::ends);
}

TEST(GridFrame, WithoutUsablePositionsTheFallback) {
    EXPECT_EQ(fitted_layout({}, 3, 3, 3, 3, pixel_layout::ends), pixel_layout::ends);
    // NaN positions (a pixel never reached) and places outside the grid.
    const std::vector<frame_sample> bad = {{0, 0, NAN, 1}, {5, 0, 1, 1}, {0, -1, 1, 1}};
    EXPECT_EQ(fitted_layout(bad, 3, 3, 3, 3, pixel_layout::corner), pixel_layout::corner);
    // A single pixel fits every layout as well: the fallback stays.
    EXPECT_EQ(fitted_layout({{0, 0, 1.5, 1.5}}, 1, 1, 3, 3, pixel_layout::ends),
              pixel_layout::ends);
}
