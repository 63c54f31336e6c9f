// gnuplot as a child process: see gnuplot.h.
#include "stsgrid/gnuplot.h"
#include "output/atomic_file.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

extern char** environ;

namespace sts {

namespace {

// The first executable called name in a folder of PATH, or "".
std::string find_on_path(const char* name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return "";
}

// The last few non-empty lines of what gnuplot said: its error message.
std::string last_lines(const std::string& file, int count) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (line.find_first_not_of(" \t^") != std::string::npos) lines.push_back(line);
    std::string text;
    const size_t from = lines.size() > static_cast<size_t>(count) ? lines.size() - count : 0;
    for (size_t k = from; k < lines.size(); ++k) text += (text.empty() ? "" : " / ") + lines[k];
    return text;
}

// Runs program with args, standard input and output on /dev/null and
// standard error into errors; the exit status, or -1 when it could not run
// or was killed.
int run_program(const std::vector<std::string>& args, const std::string& errors) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool non_empty_file(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

}  // namespace

std::string gnuplot_quote(const std::string& s) {
    // Single quotes, since gnuplot runs `commands` inside double-quoted
    // strings; a line break is joined in as a double-quoted "\n".
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "''";
        else if (c == '\n')
            q += "'.\"\\n\".'";
        else
            q += c;
    }
    return q + "'";
}

gnuplot_job::~gnuplot_job() {
    if (folder_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

bool gnuplot_job::open(std::string* error) {
    gnuplot_ = find_on_path("gnuplot");
    if (gnuplot_.empty()) {
        if (error) *error = "gnuplot is not on PATH (install it, e.g. apt-get install gnuplot-nox)";
        return false;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/stsgrid-plot-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        if (error) *error = "cannot make a temporary folder in " + pattern.substr(0, pattern.rfind('/')) +
                            ": " + std::strerror(errno);
        return false;
    }
    folder_ = pattern;
    return true;
}

std::string gnuplot_job::put(const std::string& name, const std::string& contents,
                             std::string* error) {
    const std::string path = folder_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
        if (error) *error = "cannot write the temporary file " + path;
        return "";
    }
    return path;
}

bool gnuplot_job::draw(const std::string& script, int width, int height, const std::string& png,
                       std::string* error) {
    // gnuplot writes into a temporary file made for it (it opens the name
    // it is given), which takes the PNG's name only when it is complete.
    atomic_file picture;
    if (!picture.create(png, error)) return false;
    const std::string size = std::to_string(width) + "," + std::to_string(height);
    // pngcairo draws smooth lines and text; the plain png terminal is the
    // fallback of a gnuplot built without cairo.
    const std::string head =
        "set encoding utf8\n"
        "if (strstrt(GPVAL_TERMINALS, 'pngcairo') > 0) {\n"
        "  set terminal pngcairo size " + size + " font 'Sans,10' noenhanced\n"
        "} else {\n"
        "  set terminal png size " + size + " noenhanced\n"
        "}\n"
        "set output " + gnuplot_quote(picture.temporary()) + "\n";
    const std::string path = put("picture.gp", head + script + "\nunset output\n", error);
    if (path.empty()) return false;
    const std::string errors = folder_ + "/gnuplot.err";
    const int status = run_program({gnuplot_, "-d", path}, errors);
    if (status == 0 && non_empty_file(picture.temporary())) return picture.commit(error);
    if (error) {
        const std::string said = last_lines(errors, 3);
        if (status != 0)
            *error = "gnuplot failed drawing " + png + (said.empty() ? "" : ": " + said);
        else
            *error = "gnuplot wrote no picture for " + png;
    }
    return false;  // the temporary picture goes with `picture`
}

}  // namespace sts
