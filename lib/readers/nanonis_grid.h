// Nanonis grid-spectroscopy files (.3ds), pixel by pixel.
#ifndef READERS_NANONIS_GRID_H
#define READERS_NANONIS_GRID_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "readers/byte_source.h"
#include "readers/channel_selection.h"
#include "readers/column_name.h"
#include "readers/grid_header.h"
#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

enum class pixel_status {
    measured,    // the spectra are there
    missing,     // the file ends before the pixel does (an interrupted grid)
    unmeasured,  // every current value is NaN: the grid never reached the pixel
    unreadable,  // the bytes could not be read, or the pixel's bias does not
                 // sweep (grid_pixel::error says why)
};

// One pixel as read, and the scratch space that one thread reuses from
// pixel to pixel (so that a read allocates nothing once warm).
struct grid_pixel {
    std::vector<imported_spectrum> spectra;   // spectra_per_pixel() of them, unless missing or unreadable
    std::vector<float> parameters;   // as stored: Sweep Start, Sweep End, then the others
    double x_nm = 0, y_nm = 0;       // measured position from "X (m)", "Y (m)"; NaN without
    std::string error;               // why the pixel is unreadable
    std::vector<unsigned char> raw;  // scratch: the pixel's bytes
    std::vector<std::vector<double>> table;  // scratch: the sweep axis and the channels used
    // read_pixel_floats' axis of the last sweep ends it met (their bits),
    // with the verdict of the sweep check on it.
    struct kept_axis {
        bool valid = false;
        uint32_t ends[2] = {0, 0};
        std::vector<float> bias;
        bool sweeps = false;
        std::string error;
    } axis;
};

// A grid whose header is read once; then any pixel can be read, from several
// threads at once, without holding more than that pixel in memory.
class nanonis_grid {
public:
    // Reads and checks the header at the start of source, checks that the
    // file holds at least one complete pixel, and decides from the channel
    // names which channels make each pixel's spectra (as for a table whose
    // first column is "Bias calc" in the sweep signal's unit, followed by
    // the channels).  label becomes the spectra's source.  false with *error
    // (not naming the file) otherwise.
    bool open(std::shared_ptr<const byte_source> source, const std::string& label,
              const import_options& o, std::string* error);

    const grid_header& header() const { return header_; }
    // Pixels wholly inside the file (all of them unless it was cut short).
    uint64_t complete_pixels() const { return complete_; }
    // Spectra each measured pixel gives (one unless each sweep is asked for).
    size_t spectra_per_pixel() const { return plan_.spectra.size(); }
    // The measured dI/dV channel's unit ("" without the channel or a unit).
    const std::string& signal_unit() const { return plan_.signal_unit; }

    // Reads pixel `index` (row by row: index = y * nx + x, below
    // header().pixels()) into *out: bias from the pixel's sweep start to its
    // end in even steps (the header's decimal ends where the pixel's float32
    // ends are those values rounded), currents as selected, both in the
    // output units, pixel_x and pixel_y set.  Safe to call from several
    // threads at once, each with its own *out.
    pixel_status read_pixel(uint64_t index, grid_pixel* out) const;
    // read_pixel's first spectrum with every value rounded to float, into
    // *bias, *current and *signal (left empty unless measured; signal empty
    // too without a measured dI/dV channel), the status, error and
    // position into *out as read_pixel sets them.  The same double
    // arithmetic point by point, but without the tables of doubles, and the
    // sweep axis (with its check) formed once for as long as consecutive
    // pixels share their sweep's ends: what a tool computing in float needs
    // of each pixel, at a fraction of the cost.
    pixel_status read_pixel_floats(uint64_t index, grid_pixel* out, std::vector<float>* bias,
                                   std::vector<float>* current,
                                   std::vector<float>* signal = nullptr) const;

    // read_pixel_floats' current at points k0 <= k < k1 alone, into
    // *current (k1 - k0 values), NaN wherever read_pixel_floats gives no
    // current (a pixel missing, not measured, unreadable or not a sweep: a
    // pixel not measured has NaN at every point, so its points read NaN
    // here too), reading the pixel's bytes only up to the last of those
    // points.  The same arithmetic point by point.
    // false (nothing read) where this grid's reads take the general road
    // (a bias channel, several spectra a pixel, a lock-in channel); needs
    // k0 <= k1 <= header().points.
    bool read_point_floats(uint64_t index, size_t k0, size_t k1, grid_pixel* out,
                           std::vector<float>* current) const;

private:
    void sweep_axis(const grid_pixel& p, std::vector<double>* bias) const;
    bool read_bytes(uint64_t index, grid_pixel* out, size_t count) const;
    void keep_axis(grid_pixel* out) const;
    double current_at(const unsigned char* channels, const selection_plan::source& s,
                      size_t k) const;
    // Point k's current in the output unit (read_pixel_floats' arithmetic).
    double point_current(const unsigned char* channels, const selection_plan::planned& p,
                         size_t k) const;
    // Whether the pixel's sweep (its first two parameters) makes a bias axis.
    bool sweep_ok(grid_pixel* out) const;

    std::shared_ptr<const byte_source> source_;
    std::string label_;
    const char* bias_unit_ = "V";        // the output unit, for messages
    grid_header header_;
    std::vector<column_name> columns_;   // "Bias calc", then the channels
    selection_plan plan_;
    std::vector<int> used_channels_;     // channel indices the plan reads
    uint64_t complete_ = 0;
};

// Reads the leading bytes of a source up to the end of a grid header (at
// most 16 MiB), for parse_grid_header; false with *error on a read error.
bool read_grid_head(const byte_source& source, std::string* head, std::string* error);

// Reads every measured pixel of a grid into *out, in pixel order.  A grid
// with missing or unmeasured pixels gives *warning ("the grid is
// incomplete: ..."); one without any measured pixel is an error.
bool read_nanonis_grid(const std::string& path, std::shared_ptr<const byte_source> source,
                       const import_options& o, std::vector<imported_spectrum>* out, std::string* error,
                       std::string* warning);

}  // namespace sts

#endif
