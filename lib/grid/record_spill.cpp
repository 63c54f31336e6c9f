// The spill file of the grid statistics.
#include "grid/record_spill.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sts {

namespace {

bool write_all(scratch_disk* disk, int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = disk->write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

record_spill::record_spill(record_spill&& other) noexcept
    : disk_(other.disk_), fd_(other.fd_), length_(other.length_), records_(other.records_),
      buffer_(std::move(other.buffer_)), failure_(other.failure_) {
    other.fd_ = -1;
}

record_spill::~record_spill() { close(); }

void record_spill::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool record_spill::open(const std::string& folder, size_t length, std::string* error,
                       scratch_disk* disk) {
    disk_ = disk;
    fd_ = disk_->make_nameless(folder);
    if (fd_ < 0) {
        *error = "cannot make a scratch file in " + folder + ": " + std::strerror(errno);
        return false;
    }
    length_ = length;
    buffer_.reserve(std::max<size_t>(length, (1u << 20) / sizeof(float)));
    return true;
}

void record_spill::append(const float* record) {
    if (buffer_.size() + length_ > buffer_.capacity()) {
        if (failure_ == 0 && !write_all(disk_, fd_,
                                        reinterpret_cast<const char*>(buffer_.data()),
                                        buffer_.size() * sizeof(float)))
            failure_ = errno;
        buffer_.clear();
    }
    buffer_.insert(buffer_.end(), record, record + length_);
    ++records_;
}

bool record_spill::finish(std::string* error) {
    if (failure_ == 0 && !write_all(disk_, fd_, reinterpret_cast<const char*>(buffer_.data()),
                                    buffer_.size() * sizeof(float)))
        failure_ = errno;
    buffer_.clear();
    buffer_.shrink_to_fit();
    if (failure_ == 0) return true;
    *error = std::string("cannot write a scratch file: ") + std::strerror(failure_);
    return false;
}

bool record_spill::read_block(uint64_t first, uint64_t count, std::vector<float>* out,
                              std::string* error) const {
    out->resize(count * length_);
    char* to = reinterpret_cast<char*>(out->data());
    size_t left = out->size() * sizeof(float);
    auto at = static_cast<off_t>(first * length_ * sizeof(float));
    while (left > 0) {
        const ssize_t n = disk_->pread(fd_, to, left, at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = std::string("cannot read a scratch file: ") +
                     (n == 0 ? "it is shorter than written" : std::strerror(errno));
            return false;
        }
        to += n;
        left -= static_cast<size_t>(n);
        at += n;
    }
    return true;
}

}  // namespace sts
