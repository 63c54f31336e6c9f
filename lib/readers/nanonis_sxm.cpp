// Nanonis scan images (.sxm): see nanonis_sxm.h for the layout.
#include "readers/nanonis_sxm.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace sts {

namespace {

using entry_list = std::vector<std::pair<std::string, std::string>>;

const std::string_view first_tag = ":NANONIS_VERSION:";
const std::string_view end_tag = ":SCANIT_END:";
constexpr size_t largest_head = size_t{16} << 20;  // real headers are a few kB
constexpr long largest_side = 1000000;             // pixels per line, lines
constexpr size_t most_channels = 1000;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string> split(std::string_view s, char separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (;;) {
        const size_t end = s.find(separator, at);
        parts.emplace_back(s.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

std::vector<std::string> split_blanks(std::string_view s) {
    std::vector<std::string> words;
    size_t at = 0;
    while (at < s.size()) {
        while (at < s.size() && blank(s[at])) ++at;
        size_t end = at;
        while (end < s.size() && !blank(s[end])) ++end;
        if (end > at) words.emplace_back(s.substr(at, end - at));
        at = end;
    }
    return words;
}

bool is_tag(std::string_view line) {
    return line.size() >= 2 && line.front() == ':' && line.back() == ':';
}

// Appends a value line to the entry, dropping blank lines at its start
// (those at its end are dropped when the entry is closed).
void add_line(std::string* value, std::string_view line) {
    if (value->empty() && line.empty()) return;
    *value += std::string(line) + "\n";
}

void close_entry(entry_list* entries) {
    if (entries->empty()) return;
    std::string& v = entries->back().second;
    while (!v.empty() && v.back() == '\n') v.pop_back();
}

// After ":SCANIT_END:" and the blank lines that follow it, the two bytes
// 0x1A 0x04; *data is the offset just after them.
bool data_start(std::string_view head, size_t at, size_t* data, std::string* error) {
    while (at < head.size() && blank(head[at])) ++at;
    if (head.substr(at, 2) != std::string_view("\x1a\x04", 2)) {
        *error = head.size() - at < 2 ? "the file ends before its images begin"
                                      : "no bytes 0x1A 0x04 after the header's :SCANIT_END:";
        return false;
    }
    *data = at + 2;
    return true;
}

// The ":NAME:" entries up to ":SCANIT_END:", and where the images begin.
bool parse_entries(std::string_view head, entry_list* entries, size_t* data, std::string* error) {
    size_t at = 0;
    while (at < head.size()) {
        size_t end = head.find('\n', at);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = trimmed(head.substr(at, end - at));
        at = end + 1;
        if (!is_tag(line)) {
            if (!entries->empty()) add_line(&entries->back().second, line);
            continue;
        }
        close_entry(entries);
        if (line == end_tag) return data_start(head, std::min(at, head.size()), data, error);
        entries->emplace_back(std::string(line.substr(1, line.size() - 2)), std::string());
    }
    *error = head.size() >= largest_head
                 ? "no :SCANIT_END: in the first 16 MiB: this is no header of a scan"
                 : "the file ends inside its header (no :SCANIT_END:)";
    return false;
}

// Reads the leading bytes up to the images' start (at most largest_head).
bool read_sxm_head(const byte_source& source, std::string* head, std::string* error) {
    for (size_t want = 65536;; want *= 4) {
        if (!read_head(source, std::min(want, largest_head), head, error)) return false;
        const size_t end = head->find(end_tag);
        const size_t mark = end == std::string::npos ? end : head->find("\x1a\x04", end);
        if (mark != std::string::npos || head->size() == source.size() ||
            head->size() >= largest_head)
            return true;  // the parser says what is wrong, if anything
    }
}

bool whole_long(const std::string& s, long* v) {
    char* end = nullptr;
    errno = 0;
    *v = std::strtol(s.c_str(), &end, 10);
    return end != s.c_str() && *end == '\0' && errno == 0;
}

bool whole_double(const std::string& s, double* v) {
    char* end = nullptr;
    *v = std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0' && std::isfinite(*v);
}

// The value of `key` as `count` blank-separated finite numbers.
bool numbers(const sxm_scan& s, const char* key, size_t count, double* v, std::string* error) {
    const std::string* text = s.value(key);
    const std::vector<std::string> words = split_blanks(text ? *text : "");
    bool ok = words.size() == count;
    for (size_t i = 0; ok && i < count; ++i) ok = whole_double(words[i], &v[i]);
    if (!ok)
        *error = text ? "unreadable :" + std::string(key) + ": \"" + *text + "\""
                      : "the header has no :" + std::string(key) + ":";
    return ok;
}

bool parse_kind(const sxm_scan& s, bool* big_endian, std::string* error) {
    const std::string* version = s.value("NANONIS_VERSION");
    if (!version || *version != "2") {
        *error = "a .sxm file of version " + (version ? *version : std::string("?")) +
                 ": only version 2 is read";
        return false;
    }
    const std::string* type = s.value("SCANIT_TYPE");
    const std::vector<std::string> words = split_blanks(type ? *type : "");
    const bool known = words.size() == 2 && words[0] == "FLOAT" &&
                       (words[1] == "MSBFIRST" || words[1] == "LSBFIRST");
    if (!known) {
        *error = "values of type \"" + (type ? *type : std::string()) +
                 "\": only FLOAT (MSBFIRST or LSBFIRST) is read";
        return false;
    }
    *big_endian = words[1] == "MSBFIRST";
    return true;
}

bool parse_pixels(sxm_scan* s, std::string* error) {
    const std::string* text = s->value("SCAN_PIXELS");
    const std::vector<std::string> words = split_blanks(text ? *text : "");
    const bool ok = words.size() == 2 && whole_long(words[0], &s->frame.nx) &&
                    whole_long(words[1], &s->frame.ny) && s->frame.nx > 0 && s->frame.ny > 0 &&
                    s->frame.nx <= largest_side && s->frame.ny <= largest_side;
    if (!ok)
        *error = "unreadable or implausible :SCAN_PIXELS: \"" + (text ? *text : std::string()) +
                 "\"";
    return ok;
}

bool parse_frame(sxm_scan* s, std::string* error) {
    double range[2], offset[2], angle;
    if (!parse_pixels(s, error) || !numbers(*s, "SCAN_RANGE", 2, range, error) ||
        !numbers(*s, "SCAN_OFFSET", 2, offset, error) ||
        !numbers(*s, "SCAN_ANGLE", 1, &angle, error))
        return false;
    if (!(range[0] > 0 && range[1] > 0)) {
        *error = "the frame's :SCAN_RANGE: is not positive";
        return false;
    }
    s->frame.frame = {offset[0] * 1e9, offset[1] * 1e9, range[0] * 1e9, range[1] * 1e9, angle};
    const std::string* direction = s->value("SCAN_DIR");
    if (!direction || (*direction != "up" && *direction != "down")) {
        *error = "the :SCAN_DIR: is neither up nor down";
        return false;
    }
    s->scan_up = *direction == "up";
    return true;
}

bool parse_channel(const std::string& row, sxm_channel* c, std::string* error) {
    const std::vector<std::string> f = split(row, '\t');
    const bool fields = f.size() >= 6 && !f[1].empty();
    if (fields && (f[3] == "both" || f[3] == "forward" || f[3] == "backward")) {
        c->name = f[1];
        c->unit = f[2];
        c->forward = f[3] != "backward";
        c->backward = f[3] != "forward";
        if (whole_double(f[4], &c->calibration) && whole_double(f[5], &c->offset)) return true;
    }
    *error = "unreadable channel in :DATA_INFO: \"" + row + "\"";
    return false;
}

bool parse_channels(sxm_scan* s, std::string* error) {
    const std::string* table = s->value("DATA_INFO");
    const std::vector<std::string> rows = split(table ? *table : "", '\n');
    const std::vector<std::string> names = split(rows.front(), '\t');
    const char* const wanted[] = {"Channel", "Name", "Unit", "Direction", "Calibration", "Offset"};
    bool ok = names.size() >= 6 && rows.size() >= 2 && rows.size() <= most_channels + 1;
    for (size_t i = 0; ok && i < 6; ++i) ok = names[i] == wanted[i];
    if (!ok) {
        *error = "the header's :DATA_INFO: is no table of channels (Channel, Name, Unit, "
                 "Direction, Calibration, Offset)";
        return false;
    }
    s->channels.resize(rows.size() - 1);
    for (size_t i = 1; i < rows.size(); ++i)
        if (!parse_channel(rows[i], &s->channels[i - 1], error)) return false;
    return true;
}

size_t image_count(const sxm_scan& s) {
    size_t n = 0;
    for (const auto& c : s.channels) n += (c.forward ? 1 : 0) + (c.backward ? 1 : 0);
    return n;
}

// The images must fill the file after the header exactly.
bool check_length(const sxm_scan& s, uint64_t data, uint64_t size, std::string* error) {
    const uint64_t image_bytes =
        4 * static_cast<uint64_t>(s.frame.nx) * static_cast<uint64_t>(s.frame.ny);
    const uint64_t wanted = image_bytes * image_count(s);
    const uint64_t held = size - data;
    if (wanted == held) return true;
    const std::string announced =
        std::to_string(image_count(s)) + " images of " + std::to_string(s.frame.nx) + " x " +
        std::to_string(s.frame.ny) + " float32 values (" + std::to_string(wanted) + " bytes)";
    *error = held < wanted ? "the file is cut short: its header announces " + announced +
                                 ", and " + std::to_string(held) + " bytes follow the header"
                           : std::to_string(held) + " bytes follow the header, more than its " +
                                 announced + ": the header does not describe the file";
    return false;
}

float stored_float(const unsigned char* p, bool big_endian) {
    const uint32_t bits =
        big_endian ? (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3]
                   : (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// One image from its stored lines: line k is row k going up, row ny-1-k
// going down; a backward line is stored from the right edge.
bool read_image(const byte_source& source, uint64_t at, const sxm_scan& s, bool big_endian,
                sxm_image* image, std::string* error) {
    const size_t nx = static_cast<size_t>(s.frame.nx), ny = static_cast<size_t>(s.frame.ny);
    std::vector<unsigned char> bytes(4 * nx);
    image->values.resize(nx * ny);
    for (size_t k = 0; k < ny; ++k) {
        if (!source.read_at(at + 4 * nx * k, bytes.size(), bytes.data(), error)) return false;
        float* row = image->values.data() + nx * (s.scan_up ? k : ny - 1 - k);
        for (size_t j = 0; j < nx; ++j)
            row[image->backward ? nx - 1 - j : j] = stored_float(bytes.data() + 4 * j, big_endian);
    }
    return true;
}

bool read_images(const byte_source& source, uint64_t data, bool big_endian, sxm_scan* s,
                 std::string* error) {
    const uint64_t image_bytes =
        4 * static_cast<uint64_t>(s->frame.nx) * static_cast<uint64_t>(s->frame.ny);
    bool measured = false;
    for (size_t c = 0; c < s->channels.size(); ++c) {
        for (bool backward : {false, true}) {
            if (!(backward ? s->channels[c].backward : s->channels[c].forward)) continue;
            s->images.push_back({c, backward, {}});
            if (!read_image(source, data + image_bytes * (s->images.size() - 1), *s, big_endian,
                            &s->images.back(), error))
                return false;
            for (float v : s->images.back().values) measured = measured || !std::isnan(v);
        }
    }
    if (!measured)
        *error = "the scan holds no measured value: every value is NaN (was it aborted before "
                 "its first line?)";
    return measured;
}

}  // namespace

const std::string* sxm_scan::value(std::string_view key) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->first == key) return &it->second;
    return nullptr;
}

const sxm_image* sxm_scan::image(size_t channel, bool backward) const {
    for (const auto& i : images)
        if (i.channel == channel && i.backward == backward) return &i;
    return nullptr;
}

bool read_nanonis_sxm(const byte_source& source, sxm_scan* out, std::string* error) {
    std::string head;
    if (!read_sxm_head(source, &head, error)) return false;
    if (std::string_view(head).substr(0, first_tag.size()) != first_tag) {
        *error = "not a Nanonis scan (.sxm): it does not begin with :NANONIS_VERSION:";
        return false;
    }
    sxm_scan s;
    size_t data = 0;
    bool big_endian = true;
    if (!parse_entries(head, &s.entries, &data, error) || !parse_kind(s, &big_endian, error) ||
        !parse_frame(&s, error) || !parse_channels(&s, error) ||
        !check_length(s, data, source.size(), error) ||
        !read_images(source, data, big_endian, &s, error))
        return false;
    *out = std::move(s);
    return true;
}

bool read_nanonis_sxm(std::string_view bytes, sxm_scan* out, std::string* error) {
    return read_nanonis_sxm(memory_source(bytes), out, error);
}

}  // namespace sts
