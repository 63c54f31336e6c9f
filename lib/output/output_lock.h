// A lock that keeps two runs from writing the same outputs at once.
//
// Two imports into one folder mixed their series (3 times in 8, both
// ending well): each checks the folder, then writes, and the other's files
// arrive between the two.  So a run takes this lock (flock on a lock file)
// before it looks at what is there and keeps it until its files are in
// place; a second run is refused at once rather than kept waiting.
//
// The lock file is removed when the lock is let go, so that nothing stays
// behind; a run that opened the old file just before it went away finds
// the name no longer leads to what it locked and tries again.
#ifndef OUTPUT_OUTPUT_LOCK_H
#define OUTPUT_OUTPUT_LOCK_H

#include <string>

namespace sts {

class output_lock {
public:
    output_lock() = default;
    output_lock(const output_lock&) = delete;
    output_lock& operator=(const output_lock&) = delete;
    ~output_lock() { release(); }

    // Creates (if need be) and locks the file path.  false with *error
    // when another process holds it (*busy then true) or when the file
    // cannot be made (*busy false: the caller's own writes will say why).
    bool acquire(const std::string& path, bool* busy, std::string* error);

    // Removes the lock file and lets go of the lock.
    void release();

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace sts

#endif
