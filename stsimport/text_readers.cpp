// Nanonis bias-spectroscopy .dat files and delimited text with a header row.
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "stsimport.h"

namespace sts {

namespace {

std::vector<std::string> split(const std::string& line, char delimiter) {
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == delimiter) {
            fields.push_back(field);
            field.clear();
        } else {
            field.push_back(c);
        }
    }
    fields.push_back(field);
    return fields;
}

std::string strip(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r' || s[a] == '"')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r' || s[b - 1] == '"')) --b;
    return s.substr(a, b - a);
}

bool parse_number(const std::string& field, double* value) {
    const std::string t = strip(field);
    if (t.empty()) return false;
    errno = 0;
    char* end = nullptr;
    *value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size();
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    if (!lines.empty() && lines.front().rfind("\xef\xbb\xbf", 0) == 0) lines.front().erase(0, 3);
    return lines;
}

// The rows after a header row, split at the delimiter: a table by column.
bool read_table(const std::vector<std::string>& lines, size_t first_row, char delimiter,
                size_t width, std::vector<std::vector<double>>* table, std::string* error) {
    table->assign(width, {});
    for (size_t n = first_row; n < lines.size(); ++n) {
        if (strip(lines[n]).empty()) continue;
        std::vector<std::string> fields = split(lines[n], delimiter);
        while (fields.size() > width && strip(fields.back()).empty()) fields.pop_back();
        if (fields.size() != width) {
            *error = "line " + std::to_string(n + 1) + ": " + std::to_string(fields.size()) +
                     " values where the header names " + std::to_string(width);
            return false;
        }
        for (size_t c = 0; c < width; ++c) {
            double v;
            if (!parse_number(fields[c], &v)) {
                *error = "line " + std::to_string(n + 1) + ": '" + strip(fields[c]) +
                         "' is not a number";
                return false;
            }
            (*table)[c].push_back(v);
        }
    }
    if (table->empty() || (*table)[0].empty()) {
        *error = "no data rows";
        return false;
    }
    return true;
}

std::vector<column_name> header_columns(const std::string& line, char delimiter) {
    std::vector<std::string> fields = split(line, delimiter);
    while (!fields.empty() && strip(fields.back()).empty()) fields.pop_back();
    std::vector<column_name> columns;
    for (const auto& f : fields) columns.push_back(parse_column_name(strip(f)));
    return columns;
}

}  // namespace

bool read_nanonis_dat(const std::string& path, const std::string& text, const options& o,
                      std::vector<spectrum>* out, std::string* error) {
    const std::vector<std::string> lines = lines_of(text);
    size_t data = lines.size();
    for (size_t n = 0; n < lines.size(); ++n)
        if (strip(lines[n]) == "[DATA]") {
            data = n;
            break;
        }
    if (data == lines.size()) {
        *error = "not a Nanonis spectroscopy file (no [DATA] section)";
        return false;
    }
    size_t header = data + 1;
    while (header < lines.size() && strip(lines[header]).empty()) ++header;
    if (header == lines.size()) {
        *error = "the [DATA] section has no column names";
        return false;
    }
    const auto columns = header_columns(lines[header], '\t');
    std::vector<std::vector<double>> table;
    if (!read_table(lines, header + 1, '\t', columns.size(), &table, error)) return false;
    return select_spectra(path, columns, table, o, out, error);
}

bool read_delimited(const std::string& path, const std::string& text, const options& o,
                    std::vector<spectrum>* out, std::string* error) {
    const std::vector<std::string> lines = lines_of(text);
    size_t header = 0;
    while (header < lines.size() && (strip(lines[header]).empty() || lines[header][0] == '#'))
        ++header;
    if (header == lines.size()) {
        *error = "no header row";
        return false;
    }
    const std::string& names = lines[header];
    const char delimiter = names.find('\t') != std::string::npos   ? '\t'
                           : names.find(';') != std::string::npos ? ';'
                                                                  : ',';
    const auto columns = header_columns(names, delimiter);
    double ignored;
    for (const auto& c : split(names, delimiter))
        if (parse_number(c, &ignored)) {
            *error = "the first row holds numbers, not column names";
            return false;
        }
    std::vector<std::vector<double>> table;
    if (!read_table(lines, header + 1, delimiter, columns.size(), &table, error)) return false;
    return select_spectra(path, columns, table, o, out, error);
}

}  // namespace sts
