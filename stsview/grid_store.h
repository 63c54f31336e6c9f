// The grid files named on the command line, and every read the page's
// routes make of them, as named methods: a map at one bias, a pixel's
// curve, the stored grid mean, a rectangle's mean and a line cut.  The
// routes check their parameters and render what these return; they read
// nothing themselves.
//
// The files are chunked by runs of pixels along a row, whole records in a
// chunk: a pixel's curve is one chunk, but one bias of every pixel touches
// every chunk of the variable.  So the first map of a variable reads the
// whole variable once, row by row, into memory with the bias outermost;
// every later map of that variable is a copy of nx * ny floats.  Only one
// variable is held at a time (of any file): the memory beyond the netCDF
// library's own is at most one variable, nx * ny * points * 4 bytes.
//
// Every reading method takes the store's lock: the netCDF library is not
// thread-safe, and the server answers on several threads.  What a file
// holds in memory from its opening (sizes, axes, variables, status) is
// read through file() without the lock: it never changes.
#ifndef STSVIEW_GRID_STORE_H
#define STSVIEW_GRID_STORE_H

#include <mutex>
#include <string>
#include <vector>

#include "grid/line_cut.h"
#include "stsview/fit_records.h"
#include "stsview/grid_file.h"
#include "stsview/pixel_maps.h"
#include "stsview/region_statistics.h"

namespace sts {

// A pixel's record of a variable, on the pixel's own axis.
struct pixel_curve {
    std::vector<float> axis, values;
    int code = 0;        // the pixel's status
    std::string reason;  // its word ("processed", "missing", ...)
};

// Statistics over pixels, point by point: the grid's as stored, or a
// rectangle's as computed.
struct curve_statistics {
    std::vector<float> axis, mean, se;
    long long pixels = 0;
};

// The nearest pixels along a line and their records ([sample][point]).
struct line_records {
    std::vector<line_sample> samples;
    std::vector<float> axis, values;
};

class grid_store {
public:
    // Opens every file; false with *error naming the first that fails.
    bool open(const std::vector<std::string>& paths, std::string* error);

    size_t size() const { return files_.size(); }
    // The description read at opening (no library call).
    const grid_file& file(size_t index) const { return files_[index]; }

    // The values of v at record index k for every pixel, row-major.
    bool map(size_t file, const grid_variable& v, size_t k, std::vector<float>* out,
             std::string* error);
    // Pixel (x, y)'s record of v.  Preconditions of these: x < nx, y < ny.
    bool curve(size_t file, const grid_variable& v, size_t x, size_t y, pixel_curve* out,
               std::string* error);
    // mean_<v> and se_<v> as stsgrid stored them (v.statistics).
    bool mean(size_t file, const grid_variable& v, curve_statistics* out, std::string* error);
    // The mean and standard error over the rectangle's processed pixels,
    // as stsgrid --region computes them (region_statistics.h).
    bool region(size_t file, const grid_variable& v, const pixel_rectangle& r,
                curve_statistics* out, std::string* error);
    // The pixels along the line from (x0, y0) to (x1, y1) and their records.
    bool line(size_t file, const grid_variable& v, size_t x0, size_t y0, size_t x1, size_t y1,
              line_records* out, std::string* error);

    // The line's file as `stsgrid --line` writes it beside this grid file
    // (line_export.h): every quantity of the line's pixels, as bytes.
    bool line_file(size_t file, size_t x0, size_t y0, size_t x1, size_t y1, std::string* bytes,
                   std::string* error);

    // The file's per-pixel variables without a bias axis (listed at opening).
    const std::vector<pixel_map_variable>& pixel_maps(size_t index) const { return maps_[index]; }
    // One of them (a name pixel_maps lists), row-major.
    bool pixel_map(size_t file, const std::string& name, std::vector<float>* out, std::string* error);

    // The file's --fit, as read at opening (fit_records.h), and one
    // pixel's fit from it (x < nx, y < ny; fit(file).present).
    const fit_description& fit(size_t index) const { return fits_[index]; }
    bool pixel_fit(size_t file, size_t x, size_t y, pixel_fit_record* out, std::string* error);

    // Makes the bias-major copy of a variable (the page's first map) ahead
    // of the first request; does nothing for a variable the file lacks.
    void warm(size_t file, const std::string& variable);

    // Bytes held by the bias-major copy (for the load test's memory check).
    size_t cached_bytes();

    // The store's lock, for a caller that calls the netCDF library itself
    // (an export written through the engine's writers): held while it lives.
    std::unique_lock<std::mutex> library_lock() { return std::unique_lock<std::mutex>(lock_); }

private:
    bool fill_cache(size_t file, const grid_variable& v, std::string* error);

    std::mutex lock_;
    std::vector<grid_file> files_;
    std::vector<std::vector<pixel_map_variable>> maps_;
    std::vector<fit_description> fits_;
    size_t cache_file_ = 0;
    std::string cache_variable_;
    std::vector<float> cache_;  // [k * pixels + pixel]
};

}  // namespace sts

#endif
