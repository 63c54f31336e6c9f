// Buffered writing with every failure kept: a failed write makes the file
// failed for good, so that close() reports it even when later writes would
// have gone through.
#include "output/row_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace {

// Writes all n bytes, going on after short writes and interruptions; false
// at the first error (a write that takes nothing counts as one).
bool write_all(int fd, const char* data, std::size_t n) {
    while (n > 0) {
        const ssize_t written = ::write(fd, data, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        n -= static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

row_writer::row_writer(std::size_t capacity) : capacity_(std::max(capacity, FIXED_TEXT_MAX)) {}

row_writer::~row_writer() {
    if (fd_ >= 0) ::close(fd_);
}

bool row_writer::reserve() {
    if (!buffer_) buffer_.reset(new (std::nothrow) char[capacity_]);
    return buffer_ != nullptr;
}

bool row_writer::open(const char* name) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    used_ = 0;
    failed_ = false;
    if (!reserve()) {
        errno = ENOMEM;
        return false;
    }
    fd_ = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

void row_writer::write_out() {
    if (!failed_ && !write_all(fd_, buffer_.get(), used_)) failed_ = true;
    used_ = 0;
}

void row_writer::put(std::string_view text) {
    while (!text.empty()) {
        if (used_ == capacity_) write_out();
        const std::size_t part = std::min(text.size(), capacity_ - used_);
        std::memcpy(buffer_.get() + used_, text.data(), part);
        used_ += part;
        text.remove_prefix(part);
    }
}

void row_writer::put_fixed_across(float value) {
    char text[FIXED_TEXT_MAX];
    put(std::string_view(text, static_cast<std::size_t>(format_fixed(text, value) - text)));
}

bool row_writer::flush() {
    if (used_ > 0) write_out();
    return !failed_;
}

bool row_writer::close() {
    if (fd_ < 0) return false;
    const bool written = flush();
    // A close that fails (a deferred write error on a network file system)
    // is a failure too; the descriptor is gone either way.
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return written && closed;
}
