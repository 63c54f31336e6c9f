// One netCDF-4 file of the tools, under every writer (netcdf_writer.cpp,
// line_file.cpp) and stsview's reader: one error model and one way of
// making, finishing and giving up a file.
//
// Errors: the first failed library call is kept with the system's errno
// of that moment (a full disk shows up as HDF5's "HDF error" alone, so
// the errno is what tells the user why); every later call is skipped.
// Messages name the file.
//
// Writing: the library creates the temporary file itself (it opens files
// by name) beside its target, through output/atomic_file.h; reserve()
// takes the whole file's room on disk and checks the file size limit
// before HDF5 writes a byte; commit() syncs, closes, gives back the room
// not used and renames the file into place.
//
// Why the descriptor is silenced: once HDF5 has failed to write (a full
// disk), closing the file fails as well and leaves HDF5 with a half-closed
// file that crashes the process in nc_abort or at exit (netCDF 4.9.0,
// HDF5 1.10.8).  After any failed call the library's descriptor of the
// file is pointed at /dev/null, so that the doomed file closes without
// error and is removed.  That holds for chunked variables (the grid
// file's); a write that fails into a contiguous variable (the line file's)
// leaves HDF5 1.10.8 with a file it crashes on when it closes it or at
// exit, silenced or not, so there the reservation is the only guard.
//
// The netCDF library is not thread-safe: all calls on all files of a
// process must come from one thread at a time.
#ifndef GRID_NETCDF_FILE_H
#define GRID_NETCDF_FILE_H

#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "grid/file_description.h"
#include "output/atomic_file.h"

namespace sts {

class netcdf_file {
public:
    netcdf_file() = default;
    netcdf_file(const netcdf_file&) = delete;
    netcdf_file& operator=(const netcdf_file&) = delete;
    // A file being written is given up (abandon()); one read is closed.
    ~netcdf_file();

    // Writing.  Creates the temporary file ".<name>.part<pid>-<serial>"
    // beside the file path leads to (a folder, device, FIFO or socket there
    // is refused) as a netCDF-4 file.  false with *error ("cannot create
    // <path>: ...").
    bool create(const std::string& path, std::string* error);
    // Takes bytes of room on disk for the file (file systems without
    // fallocate go unreserved) after checking them against the file size
    // limit.  false with *error ("cannot write <path>: File too large (the
    // file needs up to N MiB)").
    bool reserve(uint64_t bytes, std::string* error);
    // nc_sync, nc_close, the reserved room beyond the end given back, then
    // synced and renamed over the target.  On failure false with *error and
    // the temporary file is gone.
    bool commit(std::string* error);
    // Gives the file up: the temporary file is removed.
    void abandon();
    const std::string& temporary() const { return file_.temporary(); }

    // Reading.  Opens path read-only and notes its size and modification
    // time for unchanged().  false with *error ("<path>: cannot open as
    // netCDF: ...").
    bool open(const std::string& path, std::string* error);
    // false with *error when the file under the name is no longer the one
    // opened: another size, modification time or inode.
    bool unchanged(std::string* error) const;
    // The file's format, dimensions, variables and attributes, for
    // check_grid_layout() (no data is read).  false with *error.
    bool describe(file_description* out, std::string* error);

    // Runs one library call unless an earlier one failed; keeps the first
    // failure with the system's reason for it, and silences the file.
    template <typename call>
    bool run(call&& c) {
        if (status_ != 0) return false;
        errno = 0;
        status_ = c();
        status_errno_ = errno;
        if (status_ != 0) silence();
        return status_ == 0;
    }
    void text(int var, const char* name, const std::string& value);

    int id() const { return ncid_; }
    bool ok() const { return status_ == 0; }
    const std::string& path() const { return path_; }
    // false with *error = what + ": " + the library's message of the first
    // failure (with the system's reason where HDF5 gave none).
    bool fail(const std::string& what, std::string* error) const;

private:
    void silence();
    std::string path_;
    atomic_file file_;  // while writing: the temporary file until it takes its name
    bool writing_ = false;
    int ncid_ = -1;
    int descriptor_ = -1;  // the library's descriptor of the file, -1 when unknown
    int status_ = 0;       // NC_NOERR, or the first failure
    int status_errno_ = 0;
    // Of the file opened for reading.
    off_t size_ = 0;
    long long mtime_ns_ = 0;
    ino_t inode_ = 0;
    dev_t device_ = 0;
};

}  // namespace sts

#endif
