// The files an import writes: the numbered pair files and the index.
#include "stsimport/series_files.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "output/atomic_file.h"
#include "output/pair_format.h"

namespace {

const char* const index_name = "stsimport-index.tsv";

std::string or_dash(const std::string& v) { return v.empty() ? std::string("-") : v; }

std::string position(int v) { return v < 0 ? std::string("-") : std::to_string(v); }

// The first `fields` fields of a row (a row of an index written with or
// without --scan, kept by one written the other way).
std::string first_fields(const std::string& line, size_t fields) {
    size_t from = 0;
    for (size_t k = 0; k < fields; ++k) {
        const size_t tab = line.find('\t', from);
        if (tab == std::string::npos) return line;
        if (k + 1 == fields) return line.substr(0, tab);
        from = tab + 1;
    }
    return line;
}

// With --force, the rows of the folder's index for the files that stay,
// with as many columns as this index has.
std::string kept_rows(const command_line& c, size_t count) {
    if (!c.force) return "";
    std::set<std::string> ours;
    for (size_t k = 0; k < count; ++k) ours.insert(output_name(c, k));
    std::string rows;
    std::ifstream index(c.out_dir + "/" + index_name);
    std::string line;
    std::getline(index, line);  // the column names
    while (std::getline(index, line)) {
        const std::string name = line.substr(0, line.find('\t'));
        if (ours.count(name) == 0 && access((c.out_dir + "/" + name).c_str(), F_OK) == 0) {
            const std::string row = first_fields(line, 6);
            rows += c.scan.empty() ? row + "\n" : row + "\t-\t-\t-\t-\n";
        }
    }
    return rows;
}

std::string nm(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4f", v);
    return text;
}

// One row per output: its name, source file, grid pixel, sweep, direction;
// with spots, the scan's pixel and the place in its frame.
std::string index_text(const command_line& c, const std::vector<sts::imported_spectrum>& spectra,
                       const std::vector<sts::scan_spot>& spots) {
    const bool scan = spots.size() == spectra.size() && !spots.empty();
    std::string index = std::string("output\tsource\tpixel_x\tpixel_y\tsweep\tdirection") +
                        (scan ? "\tscan_column\tscan_row\tscan_x_nm\tscan_y_nm" : "") + "\n" +
                        kept_rows(c, spectra.size());
    for (size_t k = 0; k < spectra.size(); ++k) {
        const auto& s = spectra[k];
        index += output_name(c, k) + "\t" + s.source + "\t" + position(s.pixel_x) + "\t" +
                 position(s.pixel_y) + "\t" + or_dash(s.sweep) + "\t" + s.direction;
        if (scan)
            index += "\t" + std::to_string(spots[k].column) + "\t" + std::to_string(spots[k].row) +
                     "\t" + nm(spots[k].x_nm) + "\t" + nm(spots[k].y_nm);
        index += "\n";
    }
    return index;
}

}  // namespace

std::string output_name(const command_line& c, size_t k) {
    const std::string number = std::to_string(c.start + static_cast<long>(k));
    return c.names == "s" ? "s" + number : "stxt" + number + "p.txt";
}

std::vector<std::string> output_paths(const command_line& c, size_t count) {
    std::vector<std::string> paths;
    for (size_t k = 0; k < count; ++k) paths.push_back(c.out_dir + "/" + output_name(c, k));
    paths.push_back(c.out_dir + "/" + index_name);
    return paths;
}

bool write_series(const command_line& c, const std::vector<sts::imported_spectrum>& spectra,
                  const std::vector<sts::scan_spot>& spots, std::string* error) {
    const std::vector<std::string> paths = output_paths(c, spectra.size());
    sts::bias_text_cache cache;
    // A set: a grid's thousands of files take one sync, not one each.
    sts::atomic_file_set files;
    for (size_t k = 0; k < spectra.size(); ++k) {
        const std::string text = sts::format_pairs(spectra[k].bias, spectra[k].current, &cache);
        if (!files.add(paths[k], text, error)) return false;
    }
    return files.add(paths.back(), index_text(c, spectra, spots), error) && files.commit(error);
}

std::string summary(const command_line& c, size_t count) {
    const std::string folder = c.out_dir == "." ? "" : c.out_dir + "/";
    const std::string from = c.inputs.size() == 1 ? c.inputs[0]
                                                  : std::to_string(c.inputs.size()) + " files";
    std::string into = folder + output_name(c, 0);
    if (count > 1) into += " ... " + folder + output_name(c, count - 1);
    return "imported " + std::to_string(count) + (count == 1 ? " spectrum" : " spectra") +
           " from " + from + " into " + into;
}
