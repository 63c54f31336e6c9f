// RHK .sm4 files made up by the tests and the fuzz seeds: the layout that
// lib/readers/rhk_sm4_pages.h describes, with only the objects a reader
// needs (page header, data, strings, spectrum positions).
#ifndef TESTKIT_SM4_FILE_H
#define TESTKIT_SM4_FILE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testkit {

struct sm4_made_page {
    std::string label = "Current";
    uint32_t data_type = 1;   // 0 image, 1 line
    uint32_t page_type = 38;  // 38 ramp spectroscopy, 16 interactive spectra, 18 I(z) spectra
    uint32_t line_type = 7;   // 7 I(V), 8 I(z)
    std::string x_unit = "V", z_unit = "A", x_label = "Voltage";
    float x_offset = 0.6f, x_scale = -0.6f;   // point k at x_offset + k * x_scale
    float z_scale = 1e-12f, z_offset = 0.0f;  // value = raw * z_scale + z_offset
    uint32_t grid_x = 0, grid_y = 0;
    uint32_t points = 3;                             // values of each spectrum
    std::vector<std::vector<int32_t>> raw;           // the spectra, `points` values each
    std::vector<std::pair<float, float>> positions;  // per spectrum (m); none when empty
    uint32_t data_size = 0;  // the data object's size when not 0 (a damaged file)
};

// The whole file, pages in order.
std::string sm4_file(const std::vector<sm4_made_page>& pages);

}  // namespace testkit

#endif
