// Text tables with a header row: comma, semicolon or tab separated.
#include "readers/delimited_text.h"

#include "readers/channel_selection.h"
#include "readers/number_text.h"
#include "readers/text_split.h"
#include "readers/text_table.h"

namespace sts {

bool read_delimited(const std::string& path, std::string_view text, const import_options& o,
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
    double ignored;
    for (const auto& c : split(names, delimiter))
        if (parse_number(c, &ignored)) {
            *error = "the first row holds numbers, not column names";
            return false;
        }
    const auto columns = header_columns(names, delimiter);
    std::vector<std::vector<double>> table;
    if (!read_table(lines, header + 1, delimiter, columns.size(), &table, error)) return false;
    return select_spectra(path, columns, table, o, out, error);
}

}  // namespace sts
