// The grid files named on the command line, and the one bias-major copy
// of a variable that makes a map at any bias one contiguous read.
//
// The files are chunked by runs of pixels along a row, whole records in a
// chunk: a pixel's curve is one chunk, but one bias of every pixel touches
// every chunk of the variable.  So the first map of a variable reads the
// whole variable once, row by row, into memory with the bias outermost;
// every later map of that variable is a copy of nx * ny floats.  Only one
// variable is held at a time (of any file): the memory beyond the netCDF
// library's own is at most one variable, nx * ny * points * 4 bytes.
//
// Every method takes the store's lock: the netCDF library is not
// thread-safe, and the server answers on several threads.
#ifndef STSVIEW_GRID_STORE_H
#define STSVIEW_GRID_STORE_H

#include <mutex>
#include <string>
#include <vector>

#include "stsview/grid_file.h"

namespace sts {

class grid_store {
public:
    // Opens every file; false with *error naming the first that fails.
    bool open(const std::vector<std::string>& paths, std::string* error);

    size_t size() const { return files_.size(); }

    // Runs work(file) under the lock; returns what work returns.
    template <typename job>
    auto with(size_t file, job&& work) {
        std::lock_guard<std::mutex> hold(lock_);
        return work(files_[file]);
    }

    // The values of v at record index k for every pixel, row-major.
    bool map(size_t file, const grid_variable& v, size_t k, std::vector<float>* out,
             std::string* error);

    // Makes the bias-major copy of a variable (the page's first map) ahead
    // of the first request; does nothing for a variable the file lacks.
    void warm(size_t file, const std::string& variable);

    // Bytes held by the bias-major copy (for the load test's memory check).
    size_t cached_bytes();

private:
    bool fill_cache(size_t file, const grid_variable& v, std::string* error);

    std::mutex lock_;
    std::vector<grid_file> files_;
    size_t cache_file_ = 0;
    std::string cache_variable_;
    std::vector<float> cache_;  // [k * pixels + pixel]
};

}  // namespace sts

#endif
