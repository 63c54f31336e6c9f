#include "testkit/testkit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace testkit {
namespace {

// Feeds `input` to fd_in and collects fd_out and fd_err until both close.
void pump(int fd_in, int fd_out, int fd_err, const std::string& input, outcome& result,
          pid_t child, double timeout_seconds) {
    size_t written = 0;
    if (input.empty()) {
        close(fd_in);
        fd_in = -1;
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(timeout_seconds * 1000));
    char buffer[65536];
    while (fd_out >= 0 || fd_err >= 0) {
        pollfd fds[3];
        int count = 0;
        int idx_in = -1, idx_out = -1, idx_err = -1;
        if (fd_in >= 0) { fds[count] = {fd_in, POLLOUT, 0}; idx_in = count++; }
        if (fd_out >= 0) { fds[count] = {fd_out, POLLIN, 0}; idx_out = count++; }
        if (fd_err >= 0) { fds[count] = {fd_err, POLLIN, 0}; idx_err = count++; }
        const int ready = poll(fds, static_cast<nfds_t>(count), 200);
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
        }
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (idx_in >= 0 && (fds[idx_in].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t n = write(fd_in, input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n < 0 || written == input.size()) {
                close(fd_in);
                fd_in = -1;
            }
        }
        auto drain = [&](int idx, int& fd, std::string& sink) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                sink.append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fd);
                fd = -1;
            }
        };
        drain(idx_out, fd_out, result.out);
        drain(idx_err, fd_err, result.err);
    }
    if (fd_in >= 0) close(fd_in);
}

void finish(pid_t child, outcome& result) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signalled = true;
        result.status = 128 + WTERMSIG(status);
    }
}

}  // namespace

outcome run(const std::vector<std::string>& argv, const run_options& options) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (pipe(in_pipe) || pipe(out_pipe) || pipe(err_pipe)) throw std::runtime_error("pipe");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) {
        dup2(in_pipe[0], 0);
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            close(fd);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
        for (const std::string& entry : options.env) putenv(strdup(entry.c_str()));
        if (options.file_size_limit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                         static_cast<rlim_t>(options.file_size_limit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (options.memory_limit >= 0) {
            rlimit limit{static_cast<rlim_t>(options.memory_limit),
                         static_cast<rlim_t>(options.memory_limit)};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (options.open_file_limit >= 0 || options.open_file_hard_limit >= 0) {
            rlimit limit{};
            getrlimit(RLIMIT_NOFILE, &limit);
            if (options.open_file_hard_limit >= 0)
                limit.rlim_max = static_cast<rlim_t>(options.open_file_hard_limit);
            if (options.open_file_limit >= 0)
                limit.rlim_cur = static_cast<rlim_t>(options.open_file_limit);
            if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(125);
        }
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        if (options.use_argv0) args[0] = const_cast<char*>(options.argv0.c_str());
        if (options.empty_argv) args.clear();
        args.push_back(nullptr);
        execv(argv[0].c_str(), args.data());
        _exit(127);
    }
    close(in_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    // A child that exits before reading all of its input must not kill us.
    signal(SIGPIPE, SIG_IGN);
    outcome result;
    pump(in_pipe[1], out_pipe[0], err_pipe[0], options.input, result, child,
         options.timeout_seconds);
    finish(child, result);
    return result;
}

outcome run_in_child(const std::function<void()>& fn) {
    int out_pipe[2], err_pipe[2];
    if (pipe(out_pipe) || pipe(err_pipe)) throw std::runtime_error("pipe");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) {
        dup2(out_pipe[1], 1);
        dup2(err_pipe[1], 2);
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) close(fd);
        fn();
        std::fflush(nullptr);
        _exit(0);
    }
    close(out_pipe[1]);
    close(err_pipe[1]);
    int devnull = open("/dev/null", O_WRONLY);
    outcome result;
    pump(devnull, out_pipe[0], err_pipe[0], "", result, child, 120);
    finish(child, result);
    return result;
}

temp_dir::temp_dir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/normspec-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = buffer.data();
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    // Make everything removable again first (tests may drop permissions).
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool file_exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

void write_file(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out << contents;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> list_dir(const std::string& path) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, fmt, args);
    va_end(args);
    return text;
}

std::vector<float> random_floats(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(count);
    for (float& x : v) x = u(rng);
    return v;
}

std::string realdata_dir() {
    const char* configured = std::getenv("NORMSPEC_REALDATA");
    std::string dir = configured && *configured ? configured : NORMSPEC_DEFAULT_REALDATA;
    struct stat info;
    if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    return dir;
}

std::string missing_package(const std::string& package) {
    return "missing Debian package " + package + ": install the tests' packages with "
           "`bash scripts/deps tests`";
}

bool python_imports(const std::string& modules) {
    const std::string command = "/usr/bin/python3 -c 'import " + modules + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

bool have_program(const std::string& name) {
    const std::string command = "command -v " + name + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace testkit
