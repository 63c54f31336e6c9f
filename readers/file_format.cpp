// The instrument file formats and how a file shows which it is.
#include "readers/file_format.h"

namespace sts {

namespace {

struct named {
    file_format format;
    const char* name;
};
constexpr named names[] = {{file_format::automatic, "auto"},
                           {file_format::nanonis_dat, "dat"},
                           {file_format::nanonis_grid, "3ds"},
                           {file_format::delimited_text, "csv"}};

// Delimited text: the first line that is neither blank nor a comment names
// the columns.
file_format from_first_line(std::string_view head) {
    size_t at = 0;
    while (at < head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos || line[0] == '#') continue;
        return line.find_first_of(",;\t") != std::string_view::npos ? file_format::delimited_text
                                                                     : file_format::unknown;
    }
    return file_format::unknown;
}

}  // namespace

file_format detect_format(std::string_view bytes) {
    std::string_view head = bytes.substr(0, 4096);
    if (head.substr(0, 3) == "\xef\xbb\xbf") head.remove_prefix(3);  // a UTF-8 byte-order mark
    if (head.substr(0, 9) == "Grid dim=") return file_format::nanonis_grid;
    if (head.substr(0, 11) == "Experiment\t" || bytes.find("\n[DATA]") != std::string_view::npos)
        return file_format::nanonis_dat;
    return from_first_line(head);
}

const char* format_name(file_format f) {
    for (const auto& n : names)
        if (n.format == f) return n.name;
    return "unknown";
}

bool format_from_name(std::string_view name, file_format* f) {
    for (const auto& n : names)
        if (name == n.name) {
            *f = n.format;
            return true;
        }
    return false;
}

}  // namespace sts
