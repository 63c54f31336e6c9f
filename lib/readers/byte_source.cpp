// Bytes read at a given offset, from memory or from a file.
#include "readers/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sts {

bool memory_source::read_at(uint64_t offset, size_t count, void* out, std::string* error) const {
    if (offset > bytes_.size() || count > bytes_.size() - offset) {
        *error = "read beyond the end of the data";
        return false;
    }
    if (count > 0) std::memcpy(out, bytes_.data() + offset, count);
    return true;
}

std::unique_ptr<file_source> file_source::open(const std::string& path, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        *error = std::string("cannot open: ") + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    if (S_ISDIR(info.st_mode)) {
        *error = "is a directory";
        close(fd);
        return nullptr;
    }
    const bool regular = S_ISREG(info.st_mode);
    return std::unique_ptr<file_source>(
        new file_source(fd, regular ? static_cast<uint64_t>(info.st_size) : 0, regular));
}

file_source::~file_source() { close(fd_); }

bool file_source::read_at(uint64_t offset, size_t count, void* out, std::string* error) const {
    auto* to = static_cast<unsigned char*>(out);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = pread(fd_, to + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = n < 0 ? std::string("read error: ") + std::strerror(errno)
                           : std::string("the file became shorter while it was read");
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool file_source::read_all(std::string* out, std::string* error) const {
    out->clear();
    if (regular_) {
        out->resize(static_cast<size_t>(size_));
        return read_at(0, out->size(), out->data(), error);
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = std::string("read error: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) return true;
        out->append(buffer, static_cast<size_t>(n));
    }
}

bool read_head(const byte_source& source, size_t count, std::string* out, std::string* error) {
    out->resize(static_cast<size_t>(std::min<uint64_t>(count, source.size())));
    return source.read_at(0, out->size(), out->data(), error);
}

}  // namespace sts
