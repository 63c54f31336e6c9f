// A text file written through a large buffer: rows are put together in
// memory and reach the file in few, large writes.
#ifndef OUTPUT_ROW_WRITER_H
#define OUTPUT_ROW_WRITER_H

#include <cstddef>
#include <memory>
#include <string_view>

#include "output/fixed_format.h"

class row_writer {
public:
    static constexpr std::size_t DEFAULT_CAPACITY = std::size_t{1} << 18;

    // A writer whose buffer will hold capacity bytes (at least
    // FIXED_TEXT_MAX; smaller values are raised to it).  Takes no memory yet.
    explicit row_writer(std::size_t capacity = DEFAULT_CAPACITY);
    // Closes a file still open, without reporting: call close() to know.
    ~row_writer();
    row_writer(const row_writer&) = delete;
    row_writer& operator=(const row_writer&) = delete;

    // Takes the buffer's memory now (open() takes it otherwise); false when
    // it is not there.
    bool reserve();

    // Creates name, or truncates it if it exists, for writing, as
    // fopen(name, "w") does (mode 0666 less the umask).  A file still open
    // is closed first, unreported.  False when it cannot be opened (or the
    // buffer not taken: ENOMEM); errno then tells why and nothing is open.
    bool open(const char* name);
    bool is_open() const { return fd_ >= 0; }

    // Appends text / one character / value as printf("%f") writes it.
    // The buffer is filled to the brim and written whole, as the C
    // library's streams do, so that every write but the last is of the
    // full capacity; a failed write is remembered (failed()) and what
    // follows is dropped.  Precondition: a file is open.
    void put(std::string_view text);
    void put(char c) {
        if (used_ == capacity_) write_out();
        buffer_[used_++] = c;
    }
    void put_fixed(float value) {
        if (capacity_ - used_ < FIXED_TEXT_MAX) return put_fixed_across(value);
        used_ = static_cast<std::size_t>(format_fixed(buffer_.get() + used_, value) - buffer_.get());
    }

    // Writes what is buffered; false when this or any earlier write of the
    // file failed (a full disk, a file-size limit, an I/O error).
    bool flush();
    // Flushes and closes the file; true only when every byte put since
    // open() reached the file and the close itself succeeded.  Nothing is
    // open afterwards, whatever the result.
    bool close();
    bool failed() const { return failed_; }

private:
    void write_out();
    void put_fixed_across(float value);

    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    int fd_ = -1;
    bool failed_ = false;
};

#endif
