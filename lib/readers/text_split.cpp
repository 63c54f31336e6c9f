// Splitting and trimming the lines and fields of instrument text files.
#include "readers/text_split.h"

#include <cctype>

namespace sts {

namespace {

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

std::vector<std::string> lines_of(std::string_view text) {
    if (text.substr(0, 3) == "\xef\xbb\xbf") text.remove_prefix(3);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        at = end + 1;
    }
    return lines;
}

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

std::vector<std::string> split_blanks(const std::string& line) {
    std::vector<std::string> fields;
    size_t at = 0;
    while (at < line.size()) {
        at = line.find_first_not_of(" \t", at);
        if (at == std::string::npos) break;
        size_t end = line.find_first_of(" \t", at);
        if (end == std::string::npos) end = line.size();
        fields.push_back(line.substr(at, end - at));
        at = end;
    }
    return fields;
}

std::string trim(const std::string& text) {
    size_t a = 0, b = text.size();
    while (a < b && is_space(text[a])) ++a;
    while (b > a && is_space(text[b - 1])) --b;
    return text.substr(a, b - a);
}

std::string strip(const std::string& text) {
    auto loose = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '"'; };
    size_t a = 0, b = text.size();
    while (a < b && loose(text[a])) ++a;
    while (b > a && loose(text[b - 1])) --b;
    return text.substr(a, b - a);
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool same_channel(const std::string& a, const std::string& b) {
    return same_name(trim(a), trim(b));
}

}  // namespace sts
