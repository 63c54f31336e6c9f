// Header lines as (key, value): see header_entries.h.
#include "readers/header_entries.h"

#include "readers/text_split.h"

namespace sts {

namespace {

std::vector<header_entry> nanonis_header(const std::vector<std::string>& lines) {
    std::vector<header_entry> out;
    for (const std::string& line : lines) {
        if (strip(line) == "[DATA]") break;
        std::vector<std::string> fields = split(line, '\t');
        while (fields.size() > 1 && trim(fields.back()).empty()) fields.pop_back();
        std::string key = trim(fields.front()), value;
        for (size_t k = 1; k < fields.size(); ++k) value += (k > 1 ? "\t" : "") + trim(fields[k]);
        if (!key.empty()) out.emplace_back(std::move(key), std::move(value));
    }
    return out;
}

std::vector<header_entry> createc_header(const std::vector<std::string>& lines) {
    std::vector<header_entry> out;
    for (size_t k = 1; k < lines.size() && trim(lines[k]) != "DATA"; ++k) {
        const size_t equals = lines[k].find('=');
        if (equals == std::string::npos) continue;
        std::string key = trim(lines[k].substr(0, equals));
        if (key.find_first_not_of(" /") == std::string::npos) continue;  // "  /  = "
        out.emplace_back(std::move(key), trim(lines[k].substr(equals + 1)));
    }
    return out;
}

}  // namespace

std::vector<header_entry> header_entries(file_format f, std::string_view bytes) {
    switch (f) {
        case file_format::nanonis_dat: return nanonis_header(lines_of(bytes));
        case file_format::createc_vert: return createc_header(lines_of(bytes));
        default: return {};
    }
}

}  // namespace sts
