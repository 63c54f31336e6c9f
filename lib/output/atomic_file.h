// The one way the tools put a finished file in place: no partial file ever
// stands under its name, and nothing but a regular file is ever replaced.
//
// The steps: find the file the name leads to (links followed), refuse it
// when it is anything but a regular file or nothing yet; create a temporary
// file exclusively beside it; write; sync; rename it over the name; sync
// the folder.  Every failure removes the temporary file and leaves what
// stood under the name as it was.  (What the name leads to is looked at
// when the temporary file is made, not again at the rename: a node put
// there meanwhile by someone else would be replaced.)
//
// Why not write through: a rename over a device node, a FIFO or a socket
// replaces the node itself (a netCDF file once took the place of
// /dev/full), and a rename over a link replaces the link, not the file the
// user meant.  Why refuse rather than stream into them: what these files
// hold (netCDF, PNG) cannot be streamed, and one rule for every output is
// easier to predict than one per format.
#ifndef OUTPUT_ATOMIC_FILE_H
#define OUTPUT_ATOMIC_FILE_H

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sts {

// The file that writing path replaces: path with its symbolic links
// followed (a link's own folder is where a relative target starts), or
// path itself when nothing stands there yet (a link to nowhere gives the
// name it points at).  "" with *error when that is a folder, a device, a
// FIFO or a socket ("<path> is a FIFO, not a regular file; name a file to
// write, or a new one"), when the links go round in circles, or when path
// is "".
std::string output_target(const std::string& path, std::string* error);

class atomic_file {
public:
    atomic_file() = default;
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;
    // discard() unless commit() succeeded.
    ~atomic_file();

    // Makes the temporary file for a writer that creates it itself (a
    // library that opens files by name): creates exactly the name it is
    // given, failing when it exists; returns 0, or an errno value (EEXIST:
    // the name is taken and another is tried) after removing whatever it
    // made.
    using maker = std::function<int(const std::string& temporary)>;

    // Prepares to replace path (see output_target): creates the temporary
    // file ".<name>.part<pid>-<serial>" in the folder of the target (so
    // that the rename stays within one file system), exclusively and with
    // the usual permissions under the umask.  false with *error ("cannot
    // create a file in <folder>: ...") when it cannot; once per object.
    //
    // Before its first temporary file in a folder, a process removes the
    // temporary files there of processes that are gone (see
    // remove_stale_temporaries): a run killed (SIGKILL, a power cut) leaves
    // its ".part" file behind, 376 MB reserved for a grid.
    bool create(const std::string& path, std::string* error);
    bool create(const std::string& path, const maker& make, std::string* error);

    // As create(path, error), but the temporary file has no name until
    // commit() (O_TMPFILE, then linkat and the rename), so that nothing is
    // left behind by a process killed while writing; where the file system
    // has no O_TMPFILE, create(path, error).  For files this object writes
    // itself (temporary() is "" until commit()).
    bool create_unnamed(const std::string& path, std::string* error);

    // The temporary file's name, "" before create() and after commit() or
    // discard().
    const std::string& temporary() const { return temporary_; }

    // Appends bytes (only to a file create(path, error) opened).  false
    // with *error ("cannot write <path>: ...") on failure; the temporary
    // file is then gone.
    bool write(std::string_view bytes, std::string* error);

    // Syncs the temporary file to disk, renames it over the target and
    // syncs the folder (best effort: the file is complete either way), so
    // that a crash cannot leave an empty or partial file under the name.
    // false with *error ("cannot write <path>: ...") on failure; the
    // temporary file is then gone and the target untouched.
    bool commit(std::string* error);

    // Removes the temporary file; the target stays as it was.
    void discard();

private:
    friend class atomic_file_set;
    std::string path_;       // as the caller named it, for messages
    std::string target_;     // what commit() replaces
    std::string temporary_;  // "" when there is none
    int fd_ = -1;            // the temporary file, when this object opened it
    bool unnamed_ = false;   // fd_ is an O_TMPFILE file without a name yet
    bool name_unnamed(std::string* error);
    bool fail(int code, std::string* error);
    bool close_temporary(std::string* error);
    bool install(std::string* error);
};

// Many files that take their names together, for a series of thousands
// of small files: one sync of the file system for all of them instead of
// one per file (a 900-file import took 13 s with a sync each, against
// 0.3 s without), and, as a bonus, a failure before commit() replaces
// none of them.  Each file is written and closed as it is added, so that
// the set holds no descriptors.
class atomic_file_set {
public:
    // Writes contents to a new atomic_file for path (see atomic_file).
    // false with *error when that fails (the set keeps what it has).
    bool add(const std::string& path, std::string_view contents, std::string* error);

    // Syncs the file systems the files are on, renames every file over its
    // target in the order they were added, and syncs their folders.  false
    // with *error on failure: every file not yet renamed is removed.
    bool commit(std::string* error);

private:
    // Pointers: an atomic_file stays where it is (its temporary file is
    // removed when it goes).
    std::vector<std::unique_ptr<atomic_file>> files_;
};

// Removes, once per process and folder, the temporary files in folder
// (".<name>.part<pid>-<serial>", regular files) whose process is gone: no
// process has that pid (one of another user counts as alive).  A pid in use
// again keeps its file until that process ends; a file of a process in
// another pid namespace sharing the folder looks stale (its run then fails
// at the rename, leaving the target as it was).
void remove_stale_temporaries(const std::string& folder);

// Wherever a function here takes error, it may be nullptr (no message
// wanted).

// An atomic_file written in one go (create_unnamed).  Safe to call from several threads at
// once.
bool write_atomically(const std::string& path, std::string_view contents, std::string* error);

}  // namespace sts

#endif
