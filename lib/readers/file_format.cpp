// The instrument file formats and how a file shows which it is.
#include "readers/file_format.h"

#include <string>
#include <utility>
#include <vector>

#include "readers/binary_content.h"
#include "readers/number_text.h"
#include "readers/omicron_text.h"
#include "readers/rhk_sm4_pages.h"
#include "readers/text_split.h"

namespace sts {

namespace {

struct named {
    file_format format;
    const char* name;
};
constexpr named names[] = {{file_format::automatic, "auto"},
                           {file_format::nanonis_dat, "dat"},
                           {file_format::nanonis_grid, "3ds"},
                           {file_format::delimited_text, "csv"},
                           {file_format::createc_vert, "vert"},
                           {file_format::plain_pairs, "pairs"},
                           {file_format::omicron_matrix, "mtrx"},
                           {file_format::omicron_text, "omicron-text"},
                           {file_format::rhk_sm4, "sm4"},
                           {file_format::nanonis_sxm, "sxm"}};

// The lines that are neither blank nor "#" comments, at most two.
std::vector<std::string> first_lines(std::string_view head) {
    std::vector<std::string> found;
    size_t at = 0;
    while (at < head.size() && found.size() < 2) {
        size_t end = head.find('\n', at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(at, end - at);
        at = end + 1;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos || line[0] == '#') continue;
        found.emplace_back(line);
    }
    return found;
}

// How many of the blank-separated fields are numbers, and how many fields.
std::pair<size_t, size_t> numbers_in(const std::string& line, bool decimal_comma) {
    const std::vector<std::string> fields = split_blanks(line);
    size_t numbers = 0;
    double ignored;
    for (const auto& f : fields) numbers += parse_number(f, &ignored, decimal_comma) ? 1 : 0;
    return {numbers, fields.size()};
}

file_format from_first_lines(std::string_view head) {
    const std::vector<std::string> lines = first_lines(head);
    if (lines.empty()) return file_format::unknown;
    const auto [numbers, fields] = numbers_in(lines[0], false);
    if (numbers == 2 && fields == 2) return file_format::plain_pairs;
    if (lines[0].find_first_of(",;\t") != std::string::npos) return file_format::delimited_text;
    if (numbers > 0 || fields < 2 || lines.size() < 2) return file_format::unknown;
    const auto [row_numbers, row_fields] = numbers_in(lines[1], true);
    return row_numbers == row_fields && row_fields >= 2 ? file_format::delimited_text
                                                        : file_format::unknown;
}

// The formats of spectra.
file_format spectrum_format(std::string_view bytes) {
    if (has_rhk_signature(bytes)) return file_format::rhk_sm4;
    std::string_view head = bytes.substr(0, 4096);
    if (head.substr(0, 3) == "\xef\xbb\xbf") head.remove_prefix(3);  // a UTF-8 byte-order mark
    if (head.substr(0, 9) == "Grid dim=") return file_format::nanonis_grid;
    if (head.substr(0, 8) == "[ParVERT") return file_format::createc_vert;
    if (head.substr(0, 11) == "Experiment\t") return file_format::nanonis_dat;
    if (head.substr(0, 12) == "ONTMATRX0101") return file_format::omicron_matrix;
    // Binary data is never read as text (a "[DATA]" or a tab in it means nothing).
    if (looks_binary(head)) return file_format::unknown;
    if (looks_like_omicron_text(head)) return file_format::omicron_text;
    if (bytes.find("\n[DATA]") != std::string_view::npos) return file_format::nanonis_dat;
    return from_first_lines(head);
}

}  // namespace

file_format detect_format(std::string_view bytes) {
    const file_format f = spectrum_format(bytes);
    // An image where no spectrum is found, by the first bytes (no byte-order
    // mark) by which the spectrum readers' refusal names it
    // (binary_content.cpp): every file they refused as an image, and no other.
    if (f == file_format::unknown && bytes.substr(0, 17) == ":NANONIS_VERSION:")
        return file_format::nanonis_sxm;
    return f;
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
