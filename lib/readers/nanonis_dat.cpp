// Nanonis bias-spectroscopy files (.dat): a header of tab-separated
// key/value lines, then "[DATA]" and a tab-separated table.
#include "readers/nanonis_dat.h"

#include "readers/channel_selection.h"
#include "readers/text_split.h"
#include "readers/text_table.h"

namespace sts {

bool read_nanonis_dat(const std::string& path, std::string_view text, const import_options& o,
                      std::vector<imported_spectrum>* out, std::string* error) {
    const std::vector<std::string> lines = lines_of(text);
    size_t data = 0;
    while (data < lines.size() && strip(lines[data]) != "[DATA]") ++data;
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

}  // namespace sts
