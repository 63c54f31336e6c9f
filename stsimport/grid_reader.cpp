// Nanonis grid spectroscopy (.3ds): a text header up to ":HEADER_END:",
// then per pixel the parameters and every channel's points as big-endian
// float32.  The sweep runs from the pixel's "Sweep Start" to "Sweep End".
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "stsimport.h"

namespace sts {

namespace {

float big_endian_float(const unsigned char* p) {
    const uint32_t bits = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                          uint32_t(p[3]);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string unquote(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ')) s.pop_back();
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

std::vector<std::string> split_list(const std::string& s) {
    std::vector<std::string> items;
    std::string item;
    for (char c : s) {
        if (c == ';') {
            items.push_back(item);
            item.clear();
        } else {
            item.push_back(c);
        }
    }
    if (!item.empty()) items.push_back(item);
    return items;
}

// A count from the header, refused beyond any real instrument's reach, so
// that a damaged header cannot ask for absurd amounts of memory.
bool positive_int(const std::string& s, long* value, long limit = 100000000) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(s.c_str(), &end, 10);
    return end != s.c_str() && errno == 0 && *value > 0 && *value <= limit;
}

}  // namespace

bool read_nanonis_grid(const std::string& path, const std::string& bytes, const options& o,
                       std::vector<spectrum>* out, std::string* error, std::string* warning) {
    const std::string marker = ":HEADER_END:";
    const size_t end = bytes.find(marker);
    if (bytes.rfind("Grid dim=", 0) != 0 || end == std::string::npos) {
        *error = "not a Nanonis grid file (no \"Grid dim\" header ending in :HEADER_END:)";
        return false;
    }
    std::map<std::string, std::string> header;
    size_t at = 0;
    while (at < end) {
        size_t line_end = bytes.find('\n', at);
        if (line_end == std::string::npos || line_end > end) line_end = end;
        const std::string line = bytes.substr(at, line_end - at);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) header[line.substr(0, eq)] = unquote(line.substr(eq + 1));
        at = line_end + 1;
    }
    size_t data = end + marker.size();
    if (data < bytes.size() && bytes[data] == '\r') ++data;
    if (data < bytes.size() && bytes[data] == '\n') ++data;

    long nx = 0, ny = 0, points = 0, parameters = 0;
    const std::string dim = header["Grid dim"];
    const size_t x = dim.find('x');
    if (x == std::string::npos || !positive_int(dim.substr(0, x), &nx, 1000000) ||
        !positive_int(dim.substr(x + 1), &ny, 1000000)) {
        *error = "unreadable grid size \"" + dim + "\"";
        return false;
    }
    if (!positive_int(header["Points"], &points, 10000000) ||
        !positive_int(header["# Parameters (4 byte)"], &parameters, 100000)) {
        *error = "the header lacks a usable \"Points\" or \"# Parameters (4 byte)\"";
        return false;
    }
    if (header.count("Filetype") && header["Filetype"] == "MLS") {
        *error = "multi-segment (MLS) sweeps are not supported: their bias points are not "
                 "evenly spaced";
        return false;
    }
    const std::vector<std::string> channel_names = split_list(header["Channels"]);
    if (channel_names.empty() || channel_names.size() > 100000) {
        *error = "the header names no channels (or implausibly many)";
        return false;
    }
    const column_name sweep_signal = parse_column_name(header["Sweep Signal"]);
    if (volts_per(sweep_signal.unit) == 0.0) {
        *error = "the sweep signal \"" + header["Sweep Signal"] + "\" is not a bias";
        return false;
    }
    const std::vector<std::string> fixed = split_list(header["Fixed parameters"]);
    if (fixed.size() < 2 || fixed[0] != "Sweep Start" || fixed[1] != "Sweep End" || parameters < 2) {
        *error = "the parameters do not begin with \"Sweep Start;Sweep End\"";
        return false;
    }

    // The sweep's ends as the header writes them in decimal: where a pixel's
    // float32 ends are those values, the decimal ones give a clean axis.
    auto header_number = [&](const std::string& key, double* value) {
        const auto it = header.find(key);
        if (it == header.end()) return false;
        char* stop = nullptr;
        *value = std::strtod(it->second.c_str(), &stop);
        return stop != it->second.c_str();
    };
    double header_start = 0.0, header_stop = 0.0;
    const bool have_header_sweep =
        header_number("Bias Spectroscopy>Sweep Start (V)", &header_start) &&
        header_number("Bias Spectroscopy>Sweep End (V)", &header_stop);

    const size_t channels = channel_names.size();
    const size_t pixel_floats = static_cast<size_t>(parameters) + channels * static_cast<size_t>(points);
    const size_t pixel_bytes = 4 * pixel_floats;
    const size_t pixels = static_cast<size_t>(nx) * static_cast<size_t>(ny);
    const size_t available = bytes.size() - data;
    const size_t complete = std::min(pixels, available / pixel_bytes);
    if (complete == 0) {
        *error = "the grid holds no complete pixel (" + std::to_string(pixels) + " missing)";
        return false;
    }

    // The table of one pixel: the sweep axis as "Bias calc", then the channels.
    std::vector<column_name> columns;
    columns.push_back(parse_column_name("Bias calc (" + sweep_signal.unit + ")"));
    for (const auto& name : channel_names) columns.push_back(parse_column_name(name));
    std::vector<std::vector<double>> table(columns.size(), std::vector<double>(points));

    size_t unmeasured = 0;
    const auto* base = reinterpret_cast<const unsigned char*>(bytes.data()) + data;
    for (size_t p = 0; p < complete; ++p) {
        const unsigned char* pixel = base + p * pixel_bytes;
        double start = big_endian_float(pixel);
        double stop = big_endian_float(pixel + 4);
        if (have_header_sweep && static_cast<float>(header_start) == static_cast<float>(start) &&
            static_cast<float>(header_stop) == static_cast<float>(stop)) {
            start = header_start;
            stop = header_stop;
        }
        for (long k = 0; k < points; ++k)
            table[0][k] = points == 1 ? start : start + (stop - start) * k / (points - 1);
        for (size_t c = 0; c < channels; ++c)
            for (long k = 0; k < points; ++k)
                table[c + 1][k] = big_endian_float(pixel + 4 * (parameters + c * points + k));
        std::vector<spectrum> found;
        if (!select_spectra(path, columns, table, o, &found, error)) return false;
        // A pixel the grid never reached holds only NaN: it is missing, not zero.
        bool measured = false;
        for (const auto& s : found)
            for (double v : s.current) measured = measured || !std::isnan(v);
        if (!measured) {
            ++unmeasured;
            continue;
        }
        for (auto& s : found) {
            s.pixel_x = static_cast<int>(p % static_cast<size_t>(nx));
            s.pixel_y = static_cast<int>(p / static_cast<size_t>(nx));
            out->push_back(std::move(s));
        }
    }
    const size_t missing = pixels - complete + unmeasured;
    if (missing == pixels) {
        *error = "the grid holds no complete pixel (" + std::to_string(pixels) + " missing)";
        return false;
    }
    if (missing > 0)
        *warning = "the grid is incomplete: " + std::to_string(missing) + " of " +
                   std::to_string(pixels) + " pixels missing (" + std::to_string(pixels - missing) +
                   " complete pixels imported)";
    return true;
}

}  // namespace sts
