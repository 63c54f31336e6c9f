// Records of floats kept on disk between the two passes of the grid
// statistics: appended in pixel order during the run, read back in the same
// order afterwards.  The file has no name (it goes when it is closed), and
// memory holds only a buffer, however large the grid.
#ifndef GRID_RECORD_SPILL_H
#define GRID_RECORD_SPILL_H

#include <cstdint>
#include <string>
#include <vector>

#include "grid/scratch_disk.h"

namespace sts {

class record_spill {
public:
    record_spill() = default;
    record_spill(const record_spill&) = delete;
    record_spill& operator=(const record_spill&) = delete;
    record_spill(record_spill&& other) noexcept;
    ~record_spill();

    // Makes the file in folder, on disk, for records of `length` floats;
    // false with *error when it cannot.
    bool open(const std::string& folder, size_t length, std::string* error,
              scratch_disk* disk = &system_scratch_disk());
    // Appends one record; a failure is kept and reported by finish().
    void append(const float* record);
    // Writes what is buffered; false with *error when anything failed.
    bool finish(std::string* error);
    uint64_t records() const { return records_; }
    // Gives the file up (it goes, being nameless); nothing can be read after.
    void close();
    // Calls visit(record) for every record in order; false with *error on a
    // read error.  Safe to run for different spills on different threads.
    template <typename F>
    bool replay(F&& visit, std::string* error) const;

private:
    bool read_block(uint64_t first, uint64_t count, std::vector<float>* out,
                    std::string* error) const;
    scratch_disk* disk_ = &system_scratch_disk();
    int fd_ = -1;
    size_t length_ = 0;
    uint64_t records_ = 0;
    std::vector<float> buffer_;
    int failure_ = 0;  // errno of the first failed write
};

template <typename F>
bool record_spill::replay(F&& visit, std::string* error) const {
    const uint64_t per_read = std::max<uint64_t>(1, (1u << 20) / std::max<size_t>(length_, 1));
    std::vector<float> block;
    for (uint64_t first = 0; first < records_; first += per_read) {
        const uint64_t count = std::min(per_read, records_ - first);
        if (!read_block(first, count, &block, error)) return false;
        for (uint64_t k = 0; k < count; ++k) visit(block.data() + k * length_);
    }
    return true;
}

}  // namespace sts

#endif
