// The grid's netCDF-4 file: written under a temporary name beside its final
// one and renamed into place only when complete, so that no partial file
// ever stands under the name (output/atomic_file.h: links are followed,
// and only a regular file is ever replaced).
//
// Layout (names are an interface: scripts rely on them; spelled once in
// file_layout.h, and judged on reading by layout_check.h):
//   dimensions  y, x, point, midpoint
//   coordinates x(x), y(y)          nm along the grid's axes, or pixel numbers
//               bias(point)         bias unit ("V")
//               vmid(midpoint)      bias unit
//   per pixel   current(y,x,point)  offset-corrected current, current unit
//               iv(y,x,point)       current unit / bias unit
//               didv, norm_raw, norm_exp, norm_coff (y,x,midpoint)
//               status(y,x)         0 = processed, flag_values/flag_meanings
//               position_x, position_y (y,x), nm       (when known)
//               pixel_bias(y,x,point), pixel_vmid(y,x,midpoint) (per-pixel axes)
//               with --gap: gap_low, gap_high, gap_width, peak_low, peak_high
//               (bias unit), peak_low_height, peak_high_height (y,x), and
//               gap_status(y,x): 0 = found, flag_values/flag_meanings
//   statistics  mean_<name>, sd_<name>, se_<name> over point or midpoint,
//               <name> one of current, didv, norm_raw, norm_exp, norm_coff;
//               attribute "pixels": how many pixels they are over (0 until
//               written)
//   global      Conventions, title, source, software ("stsgrid 3.0"), then
//               the description's attributes in their order
// Every variable has CF-style "units" and "long_name"; floats use NaN as
// _FillValue.  The bytes of the file depend only on what is written and
// in which order, never on threads or time.
//
// Memory: the per-pixel variables are chunked by runs of pixels of one row
// (at most 256 KiB a chunk) and the library caches two chunks of each, so
// what the writer holds does not grow with the number of pixels.
//
// The file itself (made, reserved, silenced after a failure, committed):
// netcdf_file.h.
//
// The netCDF library is not thread-safe: all calls on all writers of a
// process must come from one thread at a time.  After a failed library
// call every later call fails too; a refused block (wrong order or size)
// leaves the writer as it was.
#ifndef GRID_NETCDF_WRITER_H
#define GRID_NETCDF_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "grid/grid_description.h"
#include "grid/pixel_block.h"

namespace sts {

class netcdf_writer {
public:
    netcdf_writer() = default;
    netcdf_writer(const netcdf_writer&) = delete;
    netcdf_writer& operator=(const netcdf_writer&) = delete;
    // Removes the temporary file unless commit() succeeded (so destroy the
    // writer before exit(), which does not run destructors).
    ~netcdf_writer();

    // Creates the temporary file ".<name>.part<pid>-<serial>" beside the file
    // path leads to (a folder, device, FIFO or socket there is refused, with a
    // message that says so) and defines every dimension, coordinate, variable
    // and attribute (statistics variables included, filled later), then writes
    // the coordinates.  The room for the whole file is reserved on disk first
    // (given back at commit), so that a disk or file size limit too small fails
    // here, before any work, with the size needed in the message.  The
    // description needs nx, ny >= 1, points >= 2, x, y, bias and vmid of
    // matching lengths and every unit.  false with *error when it does not or
    // the file cannot be created; once per writer.
    bool create(const std::string& path, const grid_description& d, std::string* error);

    // Writes a block of pixel results.  Blocks come in pixel order, each
    // starting where the last one ended (the first at pixel 0); b.points is
    // the description's points, and every array of b that the file holds has
    // b.count records (pixel_bias/pixel_vmid only with per-pixel axes,
    // positions only when known).  false with *error otherwise or when the
    // file cannot be written.
    bool write(const pixel_block& b, std::string* error);

    // Asks the system to start writing to disk what the file holds so far,
    // so that commit() finds less left to sync.  Touches no netCDF state,
    // so it may run on another thread while nothing else writes.
    void start_writeback();

    // Reads back count records of a per-pixel variable ("current", "didv",
    // ...) from pixel first on, into out (count * record length floats):
    // for a second pass over values too many to hold.  Pixels not written
    // yet read as NaN.  false with *error for an unknown variable, pixels
    // beyond the grid, or before create() / after commit().
    bool read(const std::string& variable, uint64_t first, int count, float* out,
              std::string* error);

    // Writes the statistics mean_<name>, sd_<name> and se_<name> (each the
    // record length of <name>) and the number of pixels they are over.
    // false with *error for another name or length, or a write failure.
    bool write_statistics(const std::string& name, const std::vector<float>& mean,
                          const std::vector<float>& sd, const std::vector<float>& se,
                          long pixels, std::string* error);

    // Marks every pixel never written as PIXEL_MISSING (its values stay NaN),
    // closes the file, flushes it to disk and renames it into place (replacing
    // the regular file the name leads to, if any).  On failure (a full disk
    // shows here or in write()) false with *error, and the temporary file is
    // gone.
    bool commit(std::string* error);

private:
    struct impl;
    impl* impl_ = nullptr;
};

}  // namespace sts

#endif
