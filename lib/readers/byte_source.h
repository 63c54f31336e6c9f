// Bytes read at a given offset, from memory or from a file: what the grid
// reader reads pixels from, one at a time and from several threads at once.
#ifndef READERS_BYTE_SOURCE_H
#define READERS_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sts {

class byte_source {
public:
    virtual ~byte_source() = default;
    // The number of bytes there are, fixed when the source was made.
    virtual uint64_t size() const = 0;
    // Copies count bytes from offset on into out.  Safe to call from several
    // threads at once.  false with *error when the bytes cannot be read
    // (offset + count beyond size(), an input/output error, or a file that
    // shrank since it was opened).
    virtual bool read_at(uint64_t offset, size_t count, void* out, std::string* error) const = 0;
};

// Bytes the caller holds in memory; they must outlive the source.
class memory_source final : public byte_source {
public:
    explicit memory_source(std::string_view bytes) : bytes_(bytes) {}
    uint64_t size() const override { return bytes_.size(); }
    bool read_at(uint64_t offset, size_t count, void* out, std::string* error) const override;

private:
    std::string_view bytes_;
};

// A file opened for reading, read with pread: no shared file position, so
// threads need no lock, and nothing of the file is held in memory.  (A
// read-only mapping would do the same, but a file cut short while mapped
// ends the process with SIGBUS; pread reports it.)
class file_source final : public byte_source {
public:
    // Opens path; nullptr with *error (the system's reason) when it cannot
    // be opened or is a directory.
    static std::unique_ptr<file_source> open(const std::string& path, std::string* error);
    ~file_source() override;
    file_source(const file_source&) = delete;
    file_source& operator=(const file_source&) = delete;
    uint64_t size() const override { return size_; }
    bool read_at(uint64_t offset, size_t count, void* out, std::string* error) const override;
    // Whether this is a regular file; size() is 0 for anything else (a pipe,
    // a terminal), whose bytes only read_all can take, and only once.
    bool regular() const { return regular_; }
    // Reads the file from its start (a regular file) or from where it stands
    // to its end; false with *error on a read error.
    bool read_all(std::string* out, std::string* error) const;

private:
    file_source(int fd, uint64_t size, bool regular) : fd_(fd), size_(size), regular_(regular) {}
    int fd_;
    uint64_t size_;
    bool regular_;
};

// Reads the first min(count, size) bytes of a source into *out.
bool read_head(const byte_source& source, size_t count, std::string* out, std::string* error);

}  // namespace sts

#endif
