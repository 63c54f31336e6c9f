// Putting a finished file in place: see atomic_file.h.
#include "output/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace sts {

namespace {

// Temporary names differ between the threads of a process by this serial
// and between processes by the pid.
std::atomic<unsigned long> serial{0};

// As many links as the kernel follows in one path before it says ELOOP.
constexpr int link_limit = 40;

// "a/b/" for "a/b/c", "" for "c": what a relative name in that folder
// starts with.
std::string folder_prefix(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "device";
    if (S_ISFIFO(mode)) return "FIFO";
    if (S_ISSOCK(mode)) return "socket";
    return "special file";
}

// A rename makes the new name durable only once the folder is on disk too.
// Best effort: the file itself is complete either way.
void sync_folder(const std::string& folder) {
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    (void)fsync(dir);
    close(dir);
}

// "<pid>-<serial>" at the end of name after ".part": the pid, or 0 when
// name is not a temporary file's (".<base>.part<pid>-<serial>").
long temporary_owner(const std::string& name) {
    const size_t part = name.rfind(".part");
    if (name.empty() || name[0] != '.' || part == std::string::npos || part < 2) return 0;
    const size_t dash = name.find('-', part);
    const auto digits = [&](size_t from, size_t to) {
        if (from >= to || to - from > 9) return false;
        for (size_t i = from; i < to; ++i)
            if (name[i] < '0' || name[i] > '9') return false;
        return true;
    };
    if (dash == std::string::npos || !digits(part + 5, dash) || !digits(dash + 1, name.size()))
        return 0;
    return std::stol(name.substr(part + 5, dash - part - 5));
}

// Whether no process has that pid (one of another user is alive too).
bool process_gone(long pid) {
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

void remove_stale_temporaries(const std::string& folder) {
    static std::mutex lock;
    static std::set<std::string> swept;
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (!swept.insert(folder).second) return;
    }
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    const long own = getpid();
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        const long pid = temporary_owner(name);
        if (pid == 0 || pid == own || !process_gone(pid)) continue;
        struct stat st;
        const std::string file = folder + "/" + name;
        if (lstat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) (void)unlink(file.c_str());
    }
    closedir(dir);
}

std::string output_target(const std::string& path, std::string* error) {
    if (path.empty()) {  // "" is this function's answer for "refused"
        if (error) *error = "an output has an empty name; name a file to write";
        return "";
    }
    std::string file = path;
    for (int hop = 0; hop <= link_limit; ++hop) {
        struct stat st;
        // Nothing there, or a folder on the way that cannot be searched:
        // creating the temporary file beside it says what is wrong.
        if (lstat(file.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return file;
        if (!S_ISLNK(st.st_mode)) {
            if (error)
                *error = path + (file == path ? "" : " leads to " + file + ", which") + " is a " +
                         kind_of(st.st_mode) +
                         ", not a regular file; name a file to write, or a new one";
            return "";
        }
        std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
        const ssize_t n = readlink(file.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<size_t>(n) >= link.size()) return file;  // changed meanwhile
        link.resize(static_cast<size_t>(n));
        file = link[0] == '/' ? link : folder_prefix(file) + link;
    }
    if (error) *error = "cannot write " + path + ": " + std::strerror(ELOOP);
    return "";
}

atomic_file::~atomic_file() { discard(); }

bool atomic_file::create(const std::string& path, std::string* error) {
    return create(path, [this](const std::string& temporary) {
        fd_ = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd_ < 0 ? errno : 0;
    }, error);
}

bool atomic_file::create(const std::string& path, const maker& make, std::string* error) {
    if (!target_.empty()) {
        if (error) *error = "cannot create " + path + ": this file object is in use";
        return false;
    }
    const std::string target = output_target(path, error);
    if (target.empty()) return false;
    remove_stale_temporaries(folder_of(target));
    const std::string prefix = folder_prefix(target);
    const std::string base = target.substr(prefix.size());
    int code = EEXIST;
    // A stale temporary file of an earlier process with our pid is left alone.
    for (int attempt = 0; code == EEXIST && attempt < 100; ++attempt) {
        temporary_ = prefix + "." + base + ".part" + std::to_string(getpid()) + "-" +
                     std::to_string(serial.fetch_add(1));
        code = make(temporary_);
    }
    if (code != 0) {
        temporary_.clear();
        if (error)
            *error = "cannot create a file in " + folder_of(target) + ": " + std::strerror(code);
        return false;
    }
    path_ = path;
    target_ = target;
    return true;
}

bool atomic_file::create_unnamed(const std::string& path, std::string* error) {
    if (!target_.empty()) return create(path, error);  // says it is in use
    const std::string target = output_target(path, error);
    if (target.empty()) return false;
    fd_ = open(folder_of(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0) return create(path, error);  // no O_TMPFILE here: a named one
    path_ = path;
    target_ = target;
    unnamed_ = true;
    return true;
}

// The unnamed file given a temporary name beside the target (linkat
// through /proc, which needs no privilege), for the rename.
bool atomic_file::name_unnamed(std::string* error) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const std::string target = target_, path = path_;
    target_.clear();
    const bool named = create(target, [&](const std::string& temporary) {
        return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) == 0
                   ? 0
                   : errno;
    }, error);
    target_ = target;
    path_ = path;
    unnamed_ = false;
    if (!named) discard();
    return named;
}

bool atomic_file::fail(int code, std::string* error) {
    if (error) *error = "cannot write " + path_ + ": " + std::strerror(code);
    discard();
    return false;
}

bool atomic_file::write(std::string_view bytes, std::string* error) {
    if (fd_ < 0) return fail(EBADF, error);
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : ENOSPC, error);
        done += static_cast<size_t>(n);
    }
    return true;
}

bool atomic_file::commit(std::string* error) {
    // Named first, synced below with the named road's own sync.
    if (unnamed_ && !name_unnamed(error)) return false;
    if (temporary_.empty()) return fail(EBADF, error);
    // A file another writer made is opened here only to be synced.
    if (fd_ < 0) fd_ = open(temporary_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0 || fsync(fd_) != 0) return fail(errno, error);
    if (!install(error)) return false;
    sync_folder(folder_of(target_));
    return true;
}

// close() is where some file systems report a write that failed.
bool atomic_file::close_temporary(std::string* error) {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0 || fail(errno, error);
}

bool atomic_file::install(std::string* error) {
    if (!close_temporary(error)) return false;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) return fail(errno, error);
    temporary_.clear();
    return true;
}

void atomic_file::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    unnamed_ = false;
    if (!temporary_.empty()) unlink(temporary_.c_str());
    temporary_.clear();
}

bool atomic_file_set::add(const std::string& path, std::string_view contents,
                          std::string* error) {
    auto file = std::make_unique<atomic_file>();
    if (!file->create(path, error) || !file->write(contents, error) ||
        !file->close_temporary(error))
        return false;
    files_.push_back(std::move(file));
    return true;
}

bool atomic_file_set::commit(std::string* error) {
    std::set<std::string> folders;
    for (const auto& f : files_) folders.insert(folder_of(f->target_));
    for (const auto& folder : folders) {
        const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = dir >= 0 && syncfs(dir) == 0;
        const int code = errno;
        if (dir >= 0) close(dir);
        if (!synced) {
            if (error) *error = "cannot write the files in " + folder + ": " + std::strerror(code);
            files_.clear();
            return false;
        }
    }
    for (auto& f : files_)
        if (!f->install(error)) {
            files_.clear();
            return false;
        }
    files_.clear();
    for (const auto& folder : folders) sync_folder(folder);
    return true;
}

bool write_atomically(const std::string& path, std::string_view contents, std::string* error) {
    atomic_file file;
    return file.create_unnamed(path, error) && file.write(contents, error) && file.commit(error);
}

}  // namespace sts
