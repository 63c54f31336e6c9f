// The table of a text file: a row of column names, then rows of numbers.
#include "readers/text_table.h"

#include "readers/number_text.h"
#include "readers/text_split.h"

namespace sts {

namespace {

bool read_row(const std::string& line, size_t number, char delimiter, size_t width,
              std::vector<std::vector<double>>* table, std::string* error) {
    std::vector<std::string> fields = row_fields(line, delimiter);
    while (fields.size() > width && strip(fields.back()).empty()) fields.pop_back();
    if (fields.size() != width) {
        *error = "line " + std::to_string(number) + ": " + std::to_string(fields.size()) +
                 " values where the header names " + std::to_string(width);
        return false;
    }
    for (size_t c = 0; c < width; ++c) {
        double v;
        if (!parse_number(fields[c], &v, delimiter != ',')) {
            *error = "line " + std::to_string(number) + ": '" + strip(fields[c]) +
                     "' is not a number";
            return false;
        }
        (*table)[c].push_back(v);
    }
    return true;
}

}  // namespace

std::vector<std::string> row_fields(const std::string& line, char delimiter) {
    return delimiter == blanks ? split_blanks(line) : split(line, delimiter);
}

std::vector<column_name> header_columns(const std::string& line, char delimiter) {
    std::vector<std::string> fields = row_fields(line, delimiter);
    while (!fields.empty() && strip(fields.back()).empty()) fields.pop_back();
    std::vector<column_name> columns;
    for (const auto& f : fields) columns.push_back(parse_column_name(strip(f)));
    return columns;
}

bool read_table(const std::vector<std::string>& lines, size_t first_row, char delimiter,
                size_t width, std::vector<std::vector<double>>* table, std::string* error) {
    table->assign(width, {});
    for (size_t n = first_row; n < lines.size(); ++n) {
        if (strip(lines[n]).empty()) continue;
        if (!read_row(lines[n], n + 1, delimiter, width, table, error)) return false;
    }
    if (table->empty() || (*table)[0].empty()) {
        *error = "no data rows";
        return false;
    }
    return true;
}

}  // namespace sts
