// The page index of an RHK .sm4 file and what each page holds.
#include "readers/rhk_sm4_pages.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <utility>

#include "readers/units.h"

namespace sts {

namespace {

constexpr uint64_t header_bytes = 180;   // a page header before its objects
constexpr uint64_t position_bytes = 28;  // one position record
constexpr uint64_t max_objects = 1024;
constexpr uint32_t line_data = 1, sequential_data = 6, iv_line = 7, iz_line = 8, iz_page = 18;

// Reads of little-endian values at checked offsets: every read first asks
// whether the bytes are there.
class le_bytes {
public:
    explicit le_bytes(std::string_view b) : b_(b) {}
    bool has(uint64_t at, uint64_t count) const {
        return at <= b_.size() && count <= b_.size() - at;
    }
    uint32_t u16(uint64_t at) const { return byte(at) | byte(at + 1) << 8; }
    uint32_t u32(uint64_t at) const { return u16(at) | u16(at + 2) << 16; }
    float f32(uint64_t at) const {
        const uint32_t bits = u32(at);
        float v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }

private:
    uint32_t byte(uint64_t at) const { return static_cast<unsigned char>(b_[at]); }
    std::string_view b_;
};

// An object list: the first object of each type, {offset, size}.
using objects = std::map<uint32_t, std::pair<uint64_t, uint64_t>>;

bool read_objects(const le_bytes& b, uint64_t at, uint64_t count, objects* out,
                  std::string* error) {
    // Real lists hold a few dozen objects; a damaged count must not make
    // every page cost a pass over the file.
    if (count > max_objects) {
        *error = "the RHK .sm4 file is damaged (an object list of " + std::to_string(count) +
                 " entries)";
        return false;
    }
    if (!b.has(at, count * 12)) {
        *error = "the RHK .sm4 file is cut short (an object list runs past its end)";
        return false;
    }
    out->clear();
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t entry = at + 12 * k;
        out->emplace(b.u32(entry),
                     std::make_pair(uint64_t{b.u32(entry + 4)}, uint64_t{b.u32(entry + 8)}));
    }
    return true;
}

// The object of a type, whole inside the file; false with *error naming
// `what` when it is missing or runs past the end.
bool find_object(const le_bytes& b, const objects& list, uint32_t type, uint64_t least,
                 const char* what, uint64_t* offset, std::string* error) {
    const auto it = list.find(type);
    if (it == list.end() || it->second.first == 0) {
        *error = std::string("the RHK .sm4 file has no ") + what;
        return false;
    }
    if (!b.has(it->second.first, std::max(least, it->second.second))) {
        *error = std::string("the RHK .sm4 file is cut short (the ") + what + " runs past its end)";
        return false;
    }
    *offset = it->second.first;
    return true;
}

void append_utf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
        return;
    }
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static constexpr unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
    *out += static_cast<char>(lead[tail] | c >> (6 * tail));
    for (int k = tail - 1; k >= 0; --k) *out += static_cast<char>(0x80 | (c >> (6 * k) & 0x3F));
}

// UTF-16 units as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8(const le_bytes& b, uint64_t at, uint32_t units) {
    std::string out;
    for (uint32_t k = 0; k < units; ++k) {
        uint32_t c = b.u16(at + 2 * k);
        const uint32_t next = k + 1 < units ? b.u16(at + 2 * k + 2) : 0;
        if (c >= 0xD800 && c < 0xDC00 && next >= 0xDC00 && next < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++k;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        append_utf8(c, &out);
    }
    return out;
}

// The first strings of a page (label to x label), as many as it has.
bool read_strings(const le_bytes& b, uint64_t at, uint32_t count, sm4_page* p, std::string* error) {
    std::string* wanted[11] = {&p->label, nullptr,    nullptr, nullptr,    nullptr,    nullptr,
                               nullptr,   &p->x_unit, nullptr, &p->z_unit, &p->x_label};
    for (uint32_t k = 0; k < count && k < 11; ++k) {
        if (!b.has(at, 2) || !b.has(at + 2, 2 * uint64_t{b.u16(at)})) {
            *error = "the RHK .sm4 file is cut short (a page's strings run past its end)";
            return false;
        }
        const uint32_t units = b.u16(at);
        if (wanted[k] != nullptr) *wanted[k] = utf8(b, at + 2, units);
        at += 2 + 2 * uint64_t{units};
    }
    return true;
}

void read_header_fields(const le_bytes& b, uint64_t h, sm4_page* p) {
    p->page_type = b.u32(h + 4);
    p->line_type = b.u32(h + 12);
    p->points = b.u32(h + 24);
    p->spectra = b.u32(h + 28);
    p->scan_direction = b.u32(h + 36);
    p->x_scale = b.f32(h + 56);
    p->y_scale = b.f32(h + 60);
    p->z_scale = b.f32(h + 64);
    p->x_offset = b.f32(h + 72);
    p->y_offset = b.f32(h + 76);
    p->z_offset = b.f32(h + 80);
    p->angle = b.f32(h + 96);
    p->grid_x = b.u32(h + 104);
    p->grid_y = b.u32(h + 108);
}

// One page from its index entry at `at`; *next is where the next entry is.
bool read_page(const le_bytes& b, uint64_t at, sm4_page* p, uint64_t* next, std::string* error) {
    if (!b.has(at, 32)) {
        *error = "the RHK .sm4 file is cut short (its page index runs past its end)";
        return false;
    }
    p->data_type = b.u32(at + 16);
    const uint64_t count = b.u32(at + 24);
    objects index, own;
    uint64_t h = 0;
    if (!read_objects(b, at + 32, count, &index, error)) return false;
    *next = at + 32 + 12 * count;
    // A sequential page's header has a layout of its own (spym's reader
    // shows it); such a page holds no spectra, so it is only counted.
    if (p->data_type == sequential_data) return true;
    if (!find_object(b, index, 3, header_bytes, "page header", &h, error) ||
        !read_objects(b, h + header_bytes, b.u32(h + 112), &own, error))
        return false;
    read_header_fields(b, h, p);
    const auto data = index.find(4);
    if (data != index.end()) {
        p->data = data->second.first;
        p->data_size = data->second.second;
    }
    const auto positions = own.find(8);
    if (positions != own.end()) p->positions = positions->second.first;
    uint64_t strings = 0;
    return own.count(10) == 0 || own.at(10).first == 0 ||
           (find_object(b, own, 10, 0, "string list of a page", &strings, error) &&
            read_strings(b, strings, b.u16(h + 2), p, error));
}

}  // namespace

bool has_rhk_signature(std::string_view bytes) {
    static constexpr std::string_view signature("S\0T\0i\0M\0a\0g\0e\0 \0", 16);
    return bytes.size() >= 2 + signature.size() && bytes.substr(2, signature.size()) == signature;
}

bool read_sm4_pages(std::string_view bytes, std::vector<sm4_page>* pages, std::string* error) {
    const le_bytes b(bytes);
    if (!has_rhk_signature(bytes)) {
        *error = "not an RHK .sm4 file (no \"STiMage\" signature)";
        return false;
    }
    if (!b.has(0, 58)) {
        *error = "the RHK .sm4 file is cut short (its file header runs past its end)";
        return false;
    }
    std::string version;   // "STiMage 005.004 1", printable ASCII up to a NUL
    for (uint64_t k = 0; k < 17 && b.u16(2 + 2 * k) != 0; ++k) {
        const uint32_t c = b.u16(2 + 2 * k);
        version += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    if (version.compare(0, 12, "STiMage 005.") != 0) {
        *error = "an RHK file of version \"" + version +
                 "\", not read (only .sm4 files, \"STiMage 005\")";
        return false;
    }
    if (b.u32(46) != 12) {
        *error = "RHK .sm4 object size " + std::to_string(b.u32(46)) + " is not read (only 12)";
        return false;
    }
    objects top, index;
    uint64_t index_header = 0, at = 0;
    if (!read_objects(b, 2 + uint64_t{b.u16(0)}, b.u32(42), &top, error) ||
        !find_object(b, top, 1, 16, "page index header", &index_header, error) ||
        !read_objects(b, index_header + 16, b.u32(index_header + 4), &index, error) ||
        !find_object(b, index, 2, 32, "page index", &at, error))
        return false;
    const uint64_t count = b.u32(index_header);
    if (count > bytes.size() / 32) {
        *error =
            "the RHK .sm4 file is cut short (it announces " + std::to_string(count) + " pages)";
        return false;
    }
    pages->assign(count, sm4_page{});
    for (auto& p : *pages)
        if (!read_page(b, at, &p, &at, error)) return false;
    return true;
}

bool is_bias_spectroscopy(const sm4_page& p) {
    return p.data_type == line_data && p.line_type == iv_line && p.page_type != iz_page &&
           volts_per(p.x_unit) > 0;
}

std::string sm4_page_kind(const sm4_page& p) {
    if (p.data_type == 0) return "image";
    if (p.data_type == sequential_data) return "page of sequential data";
    if (p.data_type != line_data) return "page of data type " + std::to_string(p.data_type);
    if (p.line_type == iz_line || p.page_type == iz_page) return "I(z) spectra";
    if (p.line_type == iv_line)
        return volts_per(p.x_unit) > 0 ? "I(V) spectra" : "I(V) spectra over '" + p.x_unit + "'";
    return "line of type " + std::to_string(p.line_type);
}

bool check_sm4_spectra(std::string_view bytes, const sm4_page& p, std::string* error) {
    const le_bytes b(bytes);
    const uint64_t values = uint64_t{p.points} * p.spectra;
    if (p.points == 0 || p.spectra == 0 || p.data == 0 || p.data_size != 4 * values) {
        *error = "the RHK .sm4 page '" + p.label + "' holds " + std::to_string(p.data_size) +
                 " data bytes where " + std::to_string(p.spectra) + " spectra of " +
                 std::to_string(p.points) + " points take " + std::to_string(4 * values);
        return false;
    }
    if (!b.has(p.data, p.data_size) ||
        (p.positions != 0 && !b.has(p.positions, position_bytes * p.spectra))) {
        *error = "the RHK .sm4 file is cut short (page '" + p.label + "' runs past its end)";
        return false;
    }
    return true;
}

void sm4_positions(std::string_view bytes, const sm4_page& p, std::vector<float>* x,
                   std::vector<float>* y) {
    const le_bytes b(bytes);
    x->clear();
    y->clear();
    if (p.positions == 0) return;
    for (uint64_t s = 0; s < p.spectra; ++s) {
        x->push_back(b.f32(p.positions + position_bytes * s + 4));
        y->push_back(b.f32(p.positions + position_bytes * s + 8));
    }
}

void sm4_values(std::string_view bytes, const sm4_page& p, uint32_t s, std::vector<double>* out) {
    const le_bytes b(bytes);
    const double scale = p.z_scale, offset = p.z_offset;
    const uint64_t at = p.data + 4 * uint64_t{p.points} * s;
    out->resize(p.points);
    for (uint64_t k = 0; k < p.points; ++k) {
        const double raw = static_cast<int32_t>(b.u32(at + 4 * k));
        (*out)[k] = raw * scale + offset;
    }
}

}  // namespace sts
