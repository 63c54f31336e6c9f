// The table of format drivers: see format_drivers.h.  Each identify
// function looks only at what its format's documentation (or its files)
// fix: a signature, a first line, a header of its own; the text formats
// never claim bytes that are binary (binary_content.h).
#include "readers/format_drivers.h"

#include <memory>
#include <utility>

#include "readers/binary_content.h"
#include "readers/byte_source.h"
#include "readers/createc_vert.h"
#include "readers/delimited_text.h"
#include "readers/nanonis_dat.h"
#include "readers/nanonis_grid.h"
#include "readers/number_text.h"
#include "readers/omicron_matrix.h"
#include "readers/omicron_text.h"
#include "readers/plain_pairs.h"
#include "readers/rhk_sm4.h"
#include "readers/rhk_sm4_pages.h"
#include "readers/text_split.h"

namespace sts {

namespace {

// The first 4096 bytes without a UTF-8 byte-order mark.
std::string_view head_of(std::string_view bytes) {
    std::string_view head = bytes.substr(0, 4096);
    if (head.substr(0, 3) == "\xef\xbb\xbf") head.remove_prefix(3);
    return head;
}

int starts_with(std::string_view bytes, std::string_view magic_bytes) {
    return head_of(bytes).substr(0, magic_bytes.size()) == magic_bytes ? magic : not_mine;
}

// Text of a head that holds no binary bytes, else nothing.
bool text_head(std::string_view bytes) { return !looks_binary(head_of(bytes)); }

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

// Of the text files without a header of their own, the first line that is
// neither blank nor a comment decides: two numbers make plain pairs; a
// comma, semicolon or tab a delimited table; blank-separated names one
// when the next line holds numbers.
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

int identify_sm4(std::string_view bytes) { return has_rhk_signature(bytes) ? signature : not_mine; }
int identify_3ds(std::string_view bytes) { return starts_with(bytes, "Grid dim="); }
int identify_vert(std::string_view bytes) { return starts_with(bytes, "[ParVERT"); }
int identify_mtrx(std::string_view bytes) { return starts_with(bytes, "ONTMATRX0101"); }
int identify_dat(std::string_view bytes) {
    if (starts_with(bytes, "Experiment\t")) return magic;
    // A .dat without its header line is known by its "[DATA]" line.
    return text_head(bytes) && bytes.find("\n[DATA]") != std::string_view::npos ? text_marker
                                                                               : not_mine;
}
int identify_omicron_text(std::string_view bytes) {
    return text_head(bytes) && looks_like_omicron_text(head_of(bytes)) ? text_header : not_mine;
}
int identify_csv(std::string_view bytes) {
    return text_head(bytes) && from_first_lines(head_of(bytes)) == file_format::delimited_text
               ? text_guess
               : not_mine;
}
int identify_pairs(std::string_view bytes) {
    return text_head(bytes) && from_first_lines(head_of(bytes)) == file_format::plain_pairs
               ? text_guess
               : not_mine;
}

// A Nanonis scan image (.sxm): its first line, with no byte-order mark,
// where no spectrum format claims the bytes (the lowest score).
int identify_sxm(std::string_view bytes) {
    return bytes.substr(0, 17) == ":NANONIS_VERSION:" ? image_first_line : not_mine;
}

bool read_3ds(const std::string& path, std::string_view bytes, const import_options& o,
              std::vector<imported_spectrum>* out, std::string* error, std::string* warning) {
    return read_nanonis_grid(path, std::make_shared<memory_source>(bytes), o, out, error, warning);
}
bool read_dat(const std::string& path, std::string_view bytes, const import_options& o,
              std::vector<imported_spectrum>* out, std::string* error, std::string*) {
    return read_nanonis_dat(path, bytes, o, out, error);
}
bool read_csv(const std::string& path, std::string_view bytes, const import_options& o,
              std::vector<imported_spectrum>* out, std::string* error, std::string*) {
    return read_delimited(path, bytes, o, out, error);
}
bool read_vert(const std::string& path, std::string_view bytes, const import_options& o,
               std::vector<imported_spectrum>* out, std::string* error, std::string*) {
    return read_createc_vert(path, bytes, o, out, error);
}
bool read_pairs(const std::string& path, std::string_view bytes, const import_options& o,
                std::vector<imported_spectrum>* out, std::string* error, std::string*) {
    return read_plain_pairs(path, bytes, o, out, error);
}
bool read_omicron_export(const std::string& path, std::string_view bytes, const import_options& o,
                         std::vector<imported_spectrum>* out, std::string* error, std::string*) {
    return read_omicron_text(path, bytes, o, out, error);
}
// An image holds no spectrum: refused as the spectrum readers name it.
bool refuse_image(const std::string&, std::string_view bytes, const import_options&,
                  std::vector<imported_spectrum>*, std::string* error, std::string*) {
    *error = unreadable_kind(bytes.substr(0, 4096));
    return false;
}

bool read_sm4(const std::string& path, std::string_view bytes, const import_options& o,
              std::vector<imported_spectrum>* out, std::string* error, std::string*) {
    return read_rhk_sm4(path, bytes, o, out, error);
}

// Createc and RHK readers refuse a lock-in channel themselves, naming the
// channels they have, so their rows say they take one.
constexpr format_driver drivers[] = {
    {.format = file_format::nanonis_dat, .name = "dat", .title = "Nanonis .dat",
     .text_title = "a Nanonis .dat file", .maker = "Nanonis", .identify = identify_dat,
     .read = read_dat, .can = {.directions = true, .lockin = true, .sweeps = true}},
    {.format = file_format::nanonis_grid, .name = "3ds", .title = "Nanonis .3ds",
     .text_title = nullptr, .maker = "Nanonis", .identify = identify_3ds, .read = read_3ds,
     .can = {.directions = true, .lockin = true, .sweeps = true, .grid = true}},
    {.format = file_format::delimited_text, .name = "csv", .title = "delimited text",
     .text_title = "delimited text", .maker = nullptr, .identify = identify_csv,
     .read = read_csv, .can = {.directions = true, .lockin = true, .sweeps = true}},
    {.format = file_format::createc_vert, .name = "vert", .title = "Createc .VERT",
     .text_title = nullptr, .maker = "Createc", .identify = identify_vert, .read = read_vert,
     .can = {.directions = true, .lockin = true}},
    {.format = file_format::omicron_matrix, .name = "mtrx", .title = "Omicron MATRIX",
     .text_title = nullptr, .maker = "Omicron", .identify = identify_mtrx,
     .read = read_omicron_matrix, .can = {.directions = true}},
    {.format = file_format::omicron_text, .name = "omicron-text", .title = "Omicron text export",
     .text_title = "an Omicron text export", .maker = "Omicron",
     .identify = identify_omicron_text, .read = read_omicron_export, .can = {.directions = true}},
    {.format = file_format::rhk_sm4, .name = "sm4", .title = "RHK .sm4", .text_title = nullptr,
     .maker = "RHK", .identify = identify_sm4, .read = read_sm4,
     .can = {.lockin = true, .sweeps = true, .grid = true}},
    {.format = file_format::plain_pairs, .name = "pairs", .title = "plain pairs",
     .text_title = "plain pairs of numbers", .maker = nullptr, .identify = identify_pairs,
     .read = read_pairs, .can = {}},
    {.format = file_format::nanonis_sxm, .name = "sxm", .title = "Nanonis .sxm",
     .text_title = nullptr, .maker = "Nanonis", .identify = identify_sxm, .read = refuse_image,
     .can = {.image = true}},
};

}  // namespace

std::span<const format_driver> format_drivers() { return drivers; }

const format_driver* find_driver(file_format f) {
    for (const format_driver& d : drivers)
        if (d.format == f) return &d;
    return nullptr;
}

const format_driver* identify(std::string_view bytes) {
    const format_driver* best = nullptr;
    int best_score = not_mine;
    for (const format_driver& d : drivers) {
        const int score = d.identify(bytes);
        if (score > best_score) {
            best = &d;
            best_score = score;
        }
    }
    return best;
}

std::string format_names_phrase() {
    std::vector<const char*> names = {"auto"};
    for (const format_driver& d : drivers)
        if (!d.can.image) names.push_back(d.name);
    std::string text;
    for (size_t k = 0; k < names.size(); ++k)
        text += (k == 0 ? "" : k + 1 == names.size() ? " or " : ", ") + std::string(names[k]);
    return text;
}

}  // namespace sts
