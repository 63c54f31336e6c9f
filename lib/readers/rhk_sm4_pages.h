// The page index of an RHK .sm4 file (STiMage 005) and what each page holds.
//
// The layout, as the open readers of the format describe it (Gwyddion's
// rhk-sm4.c, spym's rhksm4 module) and the three real files of 2020 and
// 2021 confirm.  Everything is little-endian; a string is a uint16 count of
// UTF-16 units followed by the units; an object is {uint32 type, offset,
// size}, the offset counted from the start of the file.
//   file header at 0: uint16 header size (56), "STiMage 005.NNN N" in
//     UTF-16 (36 bytes), uint32 page count, object count, object size (12),
//     two reserved; its objects follow at 2 + header size, type 1 being the
//     page index header
//   page index header: uint32 page count, object count, two reserved, then
//     its objects; type 2 is the page index array
//   page index array, page after page: a 16-byte id, uint32 data type
//     (0 image, 1 line, 6 sequential data: its header has another layout,
//     not read here), source, object count, minor version, then the page's
//     objects: 3 its header, 4 its data
//   page header (180 bytes, its own objects right after): uint16 size,
//     string count; uint32 page type (18 I(z) spectra), sub-source, line
//     type (7 I(V) spectrum, 8 I(z) spectrum); int32 x and y corner; uint32
//     x size (points of a spectrum), y size (spectra), image type, scan
//     direction, group, data size, min and max z; float32 x, y, z and xy
//     scale, x, y and z offset, period, bias, current, angle; uint32 colour
//     count, grid x and y size, object count; 64 reserved bytes.  Its
//     objects: 10 the strings, 8 the spectrum positions
//   strings: label, system, session, user, path, date, time, x unit,
//     y unit, z unit, x label, ...
//   page data: x size int32 values per spectrum, spectrum after spectrum;
//     value = raw * z scale + z offset in the z unit, point k at
//     x offset + k * x scale in the x unit
//   positions: per spectrum float32 time, x and y (m), then four drift
//     values (28 bytes); the object's size is that of one record, the page
//     has y size of them.
#ifndef READERS_RHK_SM4_PAGES_H
#define READERS_RHK_SM4_PAGES_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sts {

// One page as its header and strings tell it, its offsets checked against
// the file.
struct sm4_page {
    uint32_t data_type = 0;  // 0 image, 1 line (spectra), ...
    uint32_t page_type = 0;
    uint32_t line_type = 0;
    uint32_t points = 0;   // x size: points of a spectrum (pixels of an image row)
    uint32_t spectra = 0;  // y size: spectra (image rows)
    uint32_t grid_x = 0, grid_y = 0;
    float x_scale = 0, x_offset = 0, z_scale = 0, z_offset = 0;
    // An image page's frame: y scale and the offsets (m; the offsets are
    // the frame's centre), its angle (degrees) and scan direction (0 right,
    // 1 left, 2 up, 3 down).  rhk_sm4_image.h reads them.
    float y_scale = 0, y_offset = 0, angle = 0;
    uint32_t scan_direction = 0;
    std::string label, x_unit, z_unit, x_label;
    uint64_t data = 0;       // offset of the int32 values
    uint64_t data_size = 0;  // their bytes as the page's object says
    uint64_t positions = 0;  // offset of the position records, 0 when there are none
};

// Whether bytes begin as an RHK file: "STiMage " in UTF-16 at offset 2
// (followed by "005." in an .sm4 file; other versions are refused by name).
bool has_rhk_signature(std::string_view bytes);

// Reads the page index and every page header.  false with *error (not
// naming the file) when the bytes are no .sm4 file or are cut short or
// damaged: an object outside the file, counts the file cannot hold.
bool read_sm4_pages(std::string_view bytes, std::vector<sm4_page>* pages, std::string* error);

// Whether a page holds bias spectroscopy: spectra of line type I(V) on an
// axis in volts, not an I(z) page.
bool is_bias_spectroscopy(const sm4_page& p);

// What a page is, for messages: "image", "I(V) spectra", "I(z) spectra",
// "line of type 4", ...
std::string sm4_page_kind(const sm4_page& p);

// Checks that a spectral page's data and positions lie inside the file;
// false with *error naming the page's label otherwise.
bool check_sm4_spectra(std::string_view bytes, const sm4_page& p, std::string* error);

// The recorded position (m) of each spectrum of a checked spectral page;
// both empty when the page records none.
void sm4_positions(std::string_view bytes, const sm4_page& p, std::vector<float>* x,
                   std::vector<float>* y);

// Spectrum s of a checked spectral page in its z unit: raw * z scale +
// z offset, point by point.
void sm4_values(std::string_view bytes, const sm4_page& p, uint32_t s, std::vector<double>* out);

}  // namespace sts

#endif
