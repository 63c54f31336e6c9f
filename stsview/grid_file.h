// One netCDF file written by stsgrid, opened for reading.  Nothing is read
// until asked for: the coordinates and the description at open(), then a
// pixel's record, a row of pixels or one bias of one variable on request.
// Layout: grid/netcdf_writer.h; names: grid/file_layout.h.
//
// Hostile files: open() judges everything the file declares
// (grid/layout_check.h: types, shapes, attribute lengths, sizes against the
// file's bytes and memory, netCDF-3 refused) before it reads any data, and
// every read first checks that the file is still the one opened (size,
// modification time, inode): a file changed under a running viewer is an
// error ("the file changed on disk since stsview opened it; restart
// stsview"), never values read from what is no longer there.
//
// The netCDF library is not thread-safe: every call on every grid_file of
// a process must come from one thread at a time (grid_store serialises).
#ifndef STSVIEW_GRID_FILE_H
#define STSVIEW_GRID_FILE_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "grid/layout_check.h"
#include "grid/netcdf_file.h"

namespace sts {

// A per-pixel float variable over (y, x, point) or (y, x, midpoint).
struct grid_variable {
    std::string name, units, long_name;
    bool midpoints = false;  // over vmid (else over bias)
    bool statistics = false;  // the file holds mean_<name> and se_<name>
    int id = -1;
};

class grid_file {
public:
    grid_file() = default;
    grid_file(const grid_file&) = delete;
    grid_file& operator=(const grid_file&) = delete;
    grid_file(grid_file&& other) noexcept;
    ~grid_file();

    // Opens path and reads its coordinates, variables and status meanings;
    // false with *error when it is not a grid file of stsgrid's layout
    // (naming the variable or attribute and what was expected).
    bool open(const std::string& path, std::string* error);

    const std::string& path() const { return path_; }
    size_t nx() const { return x_.size(); }
    size_t ny() const { return y_.size(); }
    size_t pixels() const { return nx() * ny(); }
    const std::vector<double>& x() const { return x_; }
    const std::vector<double>& y() const { return y_; }
    const std::string& xy_units() const { return xy_units_; }
    const std::string& bias_units() const { return bias_units_; }
    const std::vector<float>& bias() const { return bias_; }
    const std::vector<float>& vmid() const { return vmid_; }
    const std::vector<float>& axis_of(const grid_variable& v) const { return v.midpoints ? vmid_ : bias_; }
    size_t length(const grid_variable& v) const { return axis_of(v).size(); }
    const std::vector<grid_variable>& variables() const { return variables_; }
    // The variable of that name, or nullptr.
    const grid_variable* variable(const std::string& name) const;
    // Pixel codes (0 = processed) in row-major order, and the word for each
    // code ("processed", "not_measured", ...).
    const std::vector<signed char>& status() const { return status_; }
    const std::vector<std::string>& status_meanings() const { return meanings_; }
    std::string status_word(int code) const;
    // True when every pixel has axes of its own (pixel_bias, pixel_vmid).
    bool per_pixel_axis() const { return per_pixel_axis_; }

    // count records of v from pixel (x, y) on along its row, into out.
    bool read_row(const grid_variable& v, size_t x, size_t y, size_t count, float* out,
                  std::string* error);
    // The pixel's own axis of v (per-pixel files), or the common one.
    bool read_axis(const grid_variable& v, size_t x, size_t y, std::vector<float>* out,
                   std::string* error);
    // Every pixel's record of v, pixel by pixel, handed to take(pixel, record).
    template <typename sink>
    bool for_each_row(const grid_variable& v, sink&& take, std::string* error);
    // A variable over (y, x) alone (pixel_maps.h), through this file's own
    // handle, row-major.
    bool read_plane(const std::string& name, std::vector<float>* out, std::string* error);
    // One pixel's value of a (y, x) variable (NaN for its _FillValue), and
    // a text attribute of a variable ("" where it has none): the fit's
    // records (fit_records.h).
    bool read_point(const std::string& name, size_t x, size_t y, float* out, std::string* error);
    std::string variable_text(const std::string& name, const char* attribute) const;
    // The file's global text attributes, in its order.
    bool read_globals(std::vector<std::pair<std::string, std::string>>* out, std::string* error);
    // mean_<name>, se_<name> and their "pixels" attribute.
    bool read_statistics(const grid_variable& v, std::vector<float>* mean, std::vector<float>* se,
                         long long* pixels, std::string* error);

private:
    bool fail(int status, const std::string& what, std::string* error) const;
    bool read_coordinates(std::string* error);
    bool read_variables(std::string* error);
    bool read_status(std::string* error);

    bool unchanged(std::string* error) const;

    std::unique_ptr<netcdf_file> file_;
    grid_layout layout_;
    std::string path_, xy_units_, bias_units_;
    std::vector<double> x_, y_;
    std::vector<float> bias_, vmid_;
    std::vector<grid_variable> variables_;
    std::vector<signed char> status_;
    std::vector<std::string> meanings_;
    bool per_pixel_axis_ = false;
};

template <typename sink>
bool grid_file::for_each_row(const grid_variable& v, sink&& take, std::string* error) {
    std::vector<float> row(nx() * length(v));
    for (size_t y = 0; y < ny(); ++y) {
        if (!read_row(v, 0, y, nx(), row.data(), error)) return false;
        for (size_t x = 0; x < nx(); ++x) take(y * nx() + x, row.data() + x * length(v));
    }
    return true;
}

}  // namespace sts

#endif
