// The text header of a Nanonis grid-spectroscopy file (.3ds).
#include "readers/grid_header.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "readers/column_name.h"
#include "readers/units.h"

namespace sts {

namespace {

const std::string_view marker = ":HEADER_END:";

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

// A count from the header, refused beyond the limit.
bool positive_int(const std::string& s, long* value, long limit) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtol(s.c_str(), &end, 10);
    return end != s.c_str() && errno == 0 && *value > 0 && *value <= limit;
}

bool decimal(const std::string& s, double* value) {
    char* stop = nullptr;
    *value = std::strtod(s.c_str(), &stop);
    return stop != s.c_str();
}

// The key=value lines before the marker; a quoted value that does not end
// on its line goes on over the following lines that hold no "=".
std::vector<std::pair<std::string, std::string>> entries_of(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> entries;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(at, end - at));
        at = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value = line.substr(eq + 1);
        auto open = [](const std::string& v) {
            const std::string u = unquote(v);
            return !u.empty() && u.front() == '"' && (u.size() == 1 || u.back() != '"');
        };
        while (open(value) && at < text.size()) {
            end = text.find('\n', at);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view more = text.substr(at, end - at);
            if (more.find('=') != std::string_view::npos) break;  // the next entry
            value += "\n" + std::string(more);
            at = end + 1;
        }
        entries.emplace_back(line.substr(0, eq), unquote(value));
    }
    return entries;
}

bool parse_sizes(grid_header* out, std::string* error) {
    const std::string* dim = out->value("Grid dim");
    const std::string d = dim ? *dim : "";
    const size_t x = d.find('x');
    if (x == std::string::npos || !positive_int(d.substr(0, x), &out->nx, 1000000) ||
        !positive_int(d.substr(x + 1), &out->ny, 1000000)) {
        *error = "unreadable grid size \"" + d + "\"";
        return false;
    }
    const std::string* points = out->value("Points");
    const std::string* parameters = out->value("# Parameters (4 byte)");
    if (!points || !parameters || !positive_int(*points, &out->points, 10000000) ||
        !positive_int(*parameters, &out->parameter_count, 100000)) {
        *error = "the header lacks a usable \"Points\" or \"# Parameters (4 byte)\"";
        return false;
    }
    return true;
}

bool parse_layout(grid_header* h, std::string* error) {
    const std::string* type = h->value("Filetype");
    if (type && *type == "MLS") {
        *error = "multi-segment (MLS) sweeps are not supported: their bias points are not "
                 "evenly spaced";
        return false;
    }
    const std::string* channels = h->value("Channels");
    h->channels = split_list(channels ? *channels : "");
    if (h->channels.empty() || h->channels.size() > 100000) {
        *error = "the header names no channels (or implausibly many)";
        return false;
    }
    const std::string* signal = h->value("Sweep Signal");
    h->sweep_signal = signal ? *signal : "";
    if (volts_per(parse_column_name(h->sweep_signal).unit) == 0.0) {
        *error = "the sweep signal \"" + h->sweep_signal + "\" is not a bias";
        return false;
    }
    const std::string* fixed = h->value("Fixed parameters");
    h->parameters = split_list(fixed ? *fixed : "");
    if (h->parameters.size() < 2 || h->parameters[0] != "Sweep Start" ||
        h->parameters[1] != "Sweep End" || h->parameter_count < 2) {
        *error = "the parameters do not begin with \"Sweep Start;Sweep End\"";
        return false;
    }
    return true;
}

// The parameter names, the decimal sweep ends and the frame: things a
// reader may use when they are there.
void parse_extras(grid_header* h) {
    const std::string* more = h->value("Experiment parameters");
    for (const auto& name : split_list(more ? *more : "")) h->parameters.push_back(name);
    h->parameters.resize(static_cast<size_t>(h->parameter_count));
    for (size_t i = 0; i < h->parameters.size(); ++i) {
        if (h->parameters[i] == "X (m)" && h->x_parameter < 0) h->x_parameter = static_cast<int>(i);
        if (h->parameters[i] == "Y (m)" && h->y_parameter < 0) h->y_parameter = static_cast<int>(i);
    }
    const std::string* start = h->value("Bias Spectroscopy>Sweep Start (V)");
    const std::string* end = h->value("Bias Spectroscopy>Sweep End (V)");
    h->has_decimal_sweep =
        start && end && decimal(*start, &h->sweep_start) && decimal(*end, &h->sweep_end);
    const std::string* settings = h->value("Grid settings");
    const std::vector<std::string> frame = split_list(settings ? *settings : "");
    double v[5] = {};
    h->has_frame = frame.size() >= 5;
    for (size_t i = 0; i < 5 && h->has_frame; ++i)
        h->has_frame = decimal(frame[i], &v[i]) && std::isfinite(v[i]);
    if (h->has_frame) h->frame = {v[0] * 1e9, v[1] * 1e9, v[2] * 1e9, v[3] * 1e9, v[4]};
}

}  // namespace

const std::string* grid_header::value(std::string_view key) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->first == key) return &it->second;
    return nullptr;
}

bool parse_grid_header(std::string_view head, grid_header* out, std::string* error) {
    const size_t end = head.find(marker);
    if (head.substr(0, 9) != "Grid dim=" || end == std::string_view::npos) {
        *error = "not a Nanonis grid file (no \"Grid dim\" header ending in :HEADER_END:)";
        return false;
    }
    grid_header h;
    h.entries = entries_of(head.substr(0, end));
    size_t data = end + marker.size();
    if (data < head.size() && head[data] == '\r') ++data;
    if (data < head.size() && head[data] == '\n') ++data;
    h.data_offset = data;
    if (!parse_sizes(&h, error) || !parse_layout(&h, error)) return false;
    parse_extras(&h);
    const uint64_t floats = static_cast<uint64_t>(h.parameter_count) +
                            h.channels.size() * static_cast<uint64_t>(h.points);
    h.pixel_bytes = 4 * floats;
    *out = std::move(h);
    return true;
}

void frame_position_nm(const grid_header& h, double x, double y, double* u, double* v) {
    if (!h.has_frame) {
        *u = x;
        *v = y;
        return;
    }
    turn_into_frame_nm(h.frame, x, y, u, v);
}

}  // namespace sts
