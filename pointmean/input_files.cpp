// The input series: files kept open from point to point within the
// process's open-file limit, the others opened anew and resumed.
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "numlib/numlib.h"
#include "pointmean/pointmean.h"
#include "output/row_writer.h"

namespace {

// Descriptors left free besides the kept files: standard input, output and
// error, the summary, the point file, one re-opened input, and a few the C
// library or a sanitizer may open for itself.
constexpr int RESERVED_DESCRIPTORS = 16;

bool out_of_descriptors(int error) { return error == EMFILE || error == ENFILE; }

// Gives back the kept file with the highest number: it is re-opened and
// resumed from then on, and no further file is kept.  False when none is.
bool give_back_one(input_series* series) {
    for (auto it = series->files.rbegin(); it != series->files.rend(); ++it) {
        if (it->kept == nullptr) continue;
        const off_t position = ftello(it->kept);
        if (position >= 0) it->state.position = position;
        std::fclose(it->kept);
        it->kept = nullptr;
        --series->kept;
        series->keep_limit = series->kept;
        return true;
    }
    return false;
}

std::FILE* open_input(input_series* series, const char* name) {
    for (;;) {
        std::FILE* in = std::fopen(name, "r");
        if (in != nullptr || !out_of_descriptors(errno)) return in;
        const int error = errno;
        if (!give_back_one(series)) {
            errno = error;
            return nullptr;
        }
    }
}

}  // namespace

std::string input_name(int k) { return std::string("stxt") + int_text(k) + "p.txt"; }

int input_keep_limit(int count) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const rlim_t wanted = static_cast<rlim_t>(count) + RESERVED_DESCRIPTORS;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
        if (raised.rlim_cur > limit.rlim_cur && setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= wanted) return count;
    return static_cast<int>(limit.rlim_cur) > RESERVED_DESCRIPTORS
               ? static_cast<int>(limit.rlim_cur) - RESERVED_DESCRIPTORS
               : 0;
}

bool read_input_pair(input_series* series, int k, float* x, float* y) {
    if (static_cast<int>(series->files.size()) < k) series->files.emplace_back();
    input_file& file = series->files[static_cast<size_t>(k - 1)];
    if (file.kept != nullptr) {
        read_pair(file.kept, &file.state, x, y);
        return true;
    }
    const std::string name = input_name(k);
    std::FILE* in = open_input(series, name.c_str());
    if (in == nullptr) return false;
    if (!file.seen && series->kept < series->keep_limit) {
        file.seen = true;
        file.kept = in;
        ++series->kept;
        read_pair(in, &file.state, x, y);
        return true;
    }
    file.seen = true;
    read_next_pair(in, &file.state, x, y);
    std::fclose(in);
    return true;
}

bool open_output(input_series* series, row_writer* out, const char* name) {
    while (!out->open(name)) {
        if (!out_of_descriptors(errno) || !give_back_one(series)) return false;
    }
    return true;
}

void close_inputs(input_series* series) {
    for (input_file& file : series->files) {
        if (file.kept != nullptr) std::fclose(file.kept);
        file.kept = nullptr;
    }
    series->kept = 0;
}
