// Text tables with a header row: comma, semicolon, tab or blank separated.
#include "readers/delimited_text.h"

#include "readers/channel_selection.h"
#include "readers/number_text.h"
#include "readers/text_split.h"
#include "readers/text_table.h"

namespace sts {

namespace {

bool blank_or_comment(const std::string& line) { return strip(line).empty() || line[0] == '#'; }

char delimiter_of(const std::string& names) {
    if (names.find('\t') != std::string::npos) return '\t';
    if (names.find(';') != std::string::npos) return ';';
    if (names.find(',') != std::string::npos) return ',';
    return blanks;
}

// Names between runs of two or more blanks ("Bias (V)   Current (A)").
std::vector<std::string> split_wide(const std::string& line) {
    auto gap = [&line](size_t at) {
        return line[at] == '\t' || (line[at] == ' ' && at + 1 < line.size() &&
                                    (line[at + 1] == ' ' || line[at + 1] == '\t'));
    };
    std::vector<std::string> names;
    size_t at = 0;
    while ((at = line.find_first_not_of(" \t", at)) != std::string::npos) {
        size_t end = at;
        while (end < line.size() && !gap(end)) ++end;
        names.push_back(trim(line.substr(at, end - at)));
        at = end;
    }
    return names;
}

// Names that each end in a unit ("Bias calc (V) Current (A)").
std::vector<std::string> split_after_units(const std::string& line) {
    std::vector<std::string> names;
    std::string name;
    for (const std::string& word : split_blanks(line)) {
        name += (name.empty() ? "" : " ") + word;
        if (!parse_column_name(word).unit.empty() || !parse_column_name(name).unit.empty()) {
            names.push_back(name);
            name.clear();
        }
    }
    if (!name.empty()) names.push_back(name);
    return names;
}

// A header of blank-separated names has as many names as the first row has
// numbers: one name per word, or names parted by wide gaps, or names that
// each end in a unit, whichever fits.
std::vector<column_name> blank_header(const std::string& names, size_t width) {
    std::vector<std::string> words = split_blanks(names);
    for (const auto& fit : {split_wide(names), split_after_units(names)})
        if (words.size() != width && fit.size() == width) words = fit;
    std::vector<column_name> columns;
    for (const auto& w : words) columns.push_back(parse_column_name(strip(w)));
    return columns;
}

}  // namespace

bool read_delimited(const std::string& path, std::string_view text, const import_options& o,
                    std::vector<imported_spectrum>* out, std::string* error) {
    const std::vector<std::string> lines = lines_of(text);
    size_t header = 0;
    while (header < lines.size() && blank_or_comment(lines[header])) ++header;
    if (header == lines.size()) {
        *error = "no header row";
        return false;
    }
    const std::string& names = lines[header];
    const char delimiter = delimiter_of(names);
    double ignored;
    for (const auto& c : row_fields(names, delimiter))
        if (parse_number(c, &ignored)) {
            *error = "the first row holds numbers, not column names";
            return false;
        }
    size_t first = header + 1;
    while (first < lines.size() && strip(lines[first]).empty()) ++first;
    const auto columns = delimiter != blanks ? header_columns(names, delimiter)
                         : first < lines.size()
                             ? blank_header(names, row_fields(lines[first], blanks).size())
                             : header_columns(names, blanks);
    std::vector<std::vector<double>> table;
    if (!read_table(lines, header + 1, delimiter, columns.size(), &table, error)) return false;
    return select_spectra(path, columns, table, o, out, error);
}

}  // namespace sts
