// One netCDF-4 file of the tools: netcdf_file.h.
#include "grid/netcdf_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <netcdf.h>
#include <netcdf_filter.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace sts {

namespace {

// The library's message, with the system's reason where the library only
// says that HDF5 failed (a full disk shows up as "HDF error").
std::string describe_status(int status, int saved_errno) {
    std::string text = nc_strerror(status);
    if (status == NC_EHDFERR && saved_errno != 0)
        text += std::string(" (") + std::strerror(saved_errno) + ")";
    return text;
}

// The descriptor through which this process has the file at path open
// (the library's), or -1 when there is none or no /proc to find it in.
int open_descriptor(const std::string& path) {
    struct stat file;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds || stat(path.c_str(), &file) != 0) {
        if (fds) closedir(fds);
        return -1;
    }
    int found = -1;
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        struct stat st;
        if (entry->d_name[0] != '.' && fd != dirfd(fds) && fstat(fd, &st) == 0 &&
            st.st_dev == file.st_dev && st.st_ino == file.st_ino)
            found = fd;
    }
    closedir(fds);
    return found;
}

long long nanoseconds(const struct timespec& t) {
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

}  // namespace

netcdf_file::~netcdf_file() {
    if (writing_)
        abandon();
    else if (ncid_ >= 0)
        nc_close(ncid_);
}

void netcdf_file::silence() {
    const int null = descriptor_ >= 0 ? ::open("/dev/null", O_RDWR | O_CLOEXEC) : -1;
    if (null >= 0) {
        dup2(null, descriptor_);
        close(null);
    }
    descriptor_ = -1;
}

bool netcdf_file::fail(const std::string& what, std::string* error) const {
    if (error) *error = what + ": " + describe_status(status_, status_errno_);
    return false;
}

void netcdf_file::text(int var, const char* name, const std::string& value) {
    run([&] { return nc_put_att_text(ncid_, var, name, value.size(), value.c_str()); });
}

// The temporary file, made by the library itself (it opens files by
// name), exclusively, beside the regular file the path leads to; a folder,
// device, FIFO or socket there is refused before anything is made.
bool netcdf_file::create(const std::string& path, std::string* error) {
    path_ = path;
    const bool made = file_.create(path, [this](const std::string& temporary) {
        status_ = NC_NOERR;
        if (run([&] { return nc_create(temporary.c_str(), NC_NETCDF4 | NC_NOCLOBBER, &ncid_); }))
            return 0;
        ncid_ = -1;
        if (status_ == NC_EEXIST) return EEXIST;  // a stale file of an earlier process
        unlink(temporary.c_str());  // whatever the library made of it
        return status_errno_ != 0 ? status_errno_ : EIO;
    }, error);
    // The library's own words where it failed, with the system's reason.
    if (!made) return status_ == NC_NOERR ? false : fail("cannot create " + path, error);
    writing_ = true;
    descriptor_ = open_descriptor(file_.temporary());
    return true;
}

// A disk too full (or a file size limit too small) shows here as a clear
// failure, not later inside HDF5, which cannot give up a file cleanly.
bool netcdf_file::reserve(uint64_t bytes, std::string* error) {
    rlimit limit{};
    int problem = 0;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes > limit.rlim_cur)
        problem = EFBIG;
    else if (descriptor_ >= 0 &&
             fallocate(descriptor_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes)) != 0 &&
             errno != EOPNOTSUPP && errno != ENOSYS)
        problem = errno;
    if (problem == 0) return true;
    if (error)
        *error = "cannot write " + path_ + ": " + std::strerror(problem) + " (the file needs up to " +
                 std::to_string(bytes / (1024 * 1024) + 1) + " MiB)";
    return false;
}

bool netcdf_file::commit(std::string* error) {
    // Everything written before the close, so that a failure shows while
    // the file can still be given up cleanly.
    if (run([&] { return nc_sync(ncid_); })) {
        errno = 0;
        status_ = nc_close(ncid_);
        status_errno_ = errno;
        ncid_ = -1;
    }
    if (status_ != NC_NOERR) {
        fail("cannot write " + path_, error);
        abandon();
        return false;
    }
    // The reserved room beyond the end goes back (a truncation to the same
    // size frees it); then the file goes to disk and takes its name.
    struct stat st;
    if (stat(file_.temporary().c_str(), &st) != 0 ||
        truncate(file_.temporary().c_str(), st.st_size) != 0) {
        if (error) *error = "cannot write " + path_ + ": " + std::strerror(errno);
        abandon();
        return false;
    }
    if (!file_.commit(error)) {
        abandon();
        return false;
    }
    writing_ = false;
    return true;
}

void netcdf_file::abandon() {
    if (ncid_ >= 0) nc_abort(ncid_);
    ncid_ = -1;
    file_.discard();
    writing_ = false;
}

bool netcdf_file::open(const std::string& path, std::string* error) {
    path_ = path;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        size_ = st.st_size;
        mtime_ns_ = nanoseconds(st.st_mtim);
        inode_ = st.st_ino;
        device_ = st.st_dev;
    }
    if (!run([&] { return nc_open(path.c_str(), NC_NOWRITE, &ncid_); })) {
        ncid_ = -1;
        return fail(path + ": cannot open as netCDF", error);
    }
    return true;
}

bool netcdf_file::unchanged(std::string* error) const {
    struct stat st;
    if (stat(path_.c_str(), &st) == 0 && st.st_size == size_ &&
        nanoseconds(st.st_mtim) == mtime_ns_ && st.st_ino == inode_ && st.st_dev == device_)
        return true;
    if (error)
        *error = path_ + ": the file changed on disk since stsview opened it; restart stsview";
    return false;
}

namespace {

// HDF5's filter numbers: deflate, shuffle and the checksum (the last two
// do not change how much a chunk's bytes can hold).
constexpr unsigned filter_deflate = 1, filter_shuffle = 2, filter_fletcher32 = 3;

int describe_attributes(int ncid, int var, int count, std::vector<described_attribute>* out) {
    for (int k = 0; k < count; ++k) {
        char name[NC_MAX_NAME + 1] = {};
        nc_type type = NC_NAT;
        size_t length = 0;
        int s = nc_inq_attname(ncid, var, k, name);
        if (s == NC_NOERR) s = nc_inq_att(ncid, var, name, &type, &length);
        if (s != NC_NOERR) return s;
        out->push_back({name, type, length});
    }
    return NC_NOERR;
}

int describe_filters(int ncid, int var, described_variable* v) {
    size_t count = 0;
    if (const int s = nc_inq_var_filter_ids(ncid, var, &count, nullptr); s != NC_NOERR) return s;
    if (count == 0) return NC_NOERR;
    std::vector<unsigned> ids(count);
    if (const int s = nc_inq_var_filter_ids(ncid, var, &count, ids.data()); s != NC_NOERR) return s;
    for (const unsigned id : ids) {
        if (id == filter_deflate)
            v->deflated = true;
        else if (id != filter_shuffle && id != filter_fletcher32)
            v->other_filter = true;
    }
    return NC_NOERR;
}

int describe_variable(int ncid, int var, const std::vector<int>& dim_ids,
                      described_variable* v) {
    char name[NC_MAX_NAME + 1] = {};
    nc_type type = NC_NAT;
    int ndims = 0, natts = 0;
    int s = nc_inq_varndims(ncid, var, &ndims);
    if (s != NC_NOERR) return s;
    std::vector<int> dims(static_cast<size_t>(ndims > 0 ? ndims : 0));
    s = nc_inq_var(ncid, var, name, &type, &ndims, dims.data(), &natts);
    if (s != NC_NOERR) return s;
    v->name = name;
    v->type = type;
    for (const int id : dims) {
        int index = -1;
        for (size_t k = 0; k < dim_ids.size(); ++k)
            if (dim_ids[k] == id) index = static_cast<int>(k);
        v->dimensions.push_back(index);  // -1: a dimension of another group
    }
    s = describe_filters(ncid, var, v);
    return s == NC_NOERR ? describe_attributes(ncid, var, natts, &v->attributes) : s;
}

netcdf_format format_of(int format) {
    switch (format) {
        case NC_FORMAT_NETCDF4: return netcdf_format::netcdf4;
        case NC_FORMAT_NETCDF4_CLASSIC: return netcdf_format::netcdf4_classic;
        case NC_FORMAT_CLASSIC:
        case NC_FORMAT_64BIT_OFFSET:
        case NC_FORMAT_CDF5: return netcdf_format::netcdf3;
        default: return netcdf_format::other;
    }
}

}  // namespace

bool netcdf_file::describe(file_description* out, std::string* error) {
    *out = file_description{};
    out->file_bytes = static_cast<uint64_t>(size_);
    // A quarter of the machine's memory for the one copy of a variable a
    // reader holds (stsview's maps).
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    out->memory_bytes = pages > 0 && page > 0
                            ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(page) / 4
                            : uint64_t{1} << 30;
    int format = 0, ndims = 0, nvars = 0;
    run([&] { return nc_inq_format(ncid_, &format); });
    out->format = format_of(format);
    run([&] { return nc_inq_dimids(ncid_, &ndims, nullptr, 0); });
    std::vector<int> dim_ids(static_cast<size_t>(ndims > 0 ? ndims : 0));
    run([&] { return nc_inq_dimids(ncid_, &ndims, dim_ids.data(), 0); });
    for (const int id : dim_ids) {
        char name[NC_MAX_NAME + 1] = {};
        size_t length = 0;
        run([&] { return nc_inq_dim(ncid_, id, name, &length); });
        out->dimensions.push_back({name, length});
    }
    run([&] { return nc_inq_nvars(ncid_, &nvars); });
    for (int var = 0; ok() && var < nvars; ++var) {
        described_variable v;
        run([&] { return describe_variable(ncid_, var, dim_ids, &v); });
        out->variables.push_back(std::move(v));
    }
    return ok() || fail(path_ + ": cannot read what the file declares", error);
}

}  // namespace sts
