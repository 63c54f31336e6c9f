// Helpers shared by the tests: child processes with captured output,
// temporary directories and whole-file reads and writes.
#ifndef TESTKIT_TESTKIT_H
#define TESTKIT_TESTKIT_H

#include <functional>
#include <string>
#include <vector>

namespace testkit {

struct outcome {
    std::string out;   // everything written to standard output
    std::string err;   // everything written to standard error
    int status = -1;   // exit status, or 128 + signal number when killed
    bool signalled = false;
};

struct run_options {
    std::string input;                 // fed to standard input, then closed
    std::string cwd;                   // working directory ("" keeps the current one)
    std::vector<std::string> env;      // extra NAME=value entries
    long file_size_limit = -1;         // RLIMIT_FSIZE in bytes (SIGXFSZ then ignored)
    long memory_limit = -1;            // RLIMIT_AS in bytes
    long open_file_limit = -1;         // RLIMIT_NOFILE soft limit (descriptors)
    long open_file_hard_limit = -1;    // RLIMIT_NOFILE hard limit (-1 keeps it)
    double timeout_seconds = 120;      // the child is killed after this long
    bool use_argv0 = false;            // pass argv0 as argument 0 instead of the path
    std::string argv0;
    bool empty_argv = false;           // start the program with no arguments at all
};

// Runs argv[0] (a path) with the arguments argv[1..].
outcome run(const std::vector<std::string>& argv, const run_options& options = {});

// Runs fn in a forked child and reports how the child ended; fn's own
// output to the standard streams is captured.
outcome run_in_child(const std::function<void()>& fn);

// A fresh directory under $TMPDIR, removed with its contents on destruction.
class temp_dir {
public:
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
bool file_exists(const std::string& path);
void write_file(const std::string& path, const std::string& contents);
// Names of the entries of a directory, sorted, without "." and "..".
std::vector<std::string> list_dir(const std::string& path);

// printf-style formatting into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// count floats drawn evenly from [-1, 1), the same for the same seed.
std::vector<float> random_floats(size_t count, unsigned seed);

// The folder of shared real measured curves, or "" when it is not there.
std::string realdata_dir();

// The one reason a test may skip for: the real-data folder is absent.
// scripts/check-skips fails the test command on a skip with any other
// reason, but for those that start with `unavailable_here`.
inline constexpr const char* no_realdata = "no real data folder";
// The prefix of a skip for what no package gives (a device node needs root;
// an x87 unit needs an x86 processor).
inline constexpr const char* unavailable_here = "cannot be had here: ";

// The message a test fails with when a Debian package that
// `bash scripts/deps tests` installs is missing.
std::string missing_package(const std::string& package);
// Whether /usr/bin/python3 imports each of the modules ("numpy, netCDF4").
bool python_imports(const std::string& modules);
// Whether a program is on the PATH.
bool have_program(const std::string& name);

}  // namespace testkit

#endif
