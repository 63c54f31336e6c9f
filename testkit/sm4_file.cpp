#include "testkit/sm4_file.h"

#include <cstring>

namespace testkit {
namespace {

void put16(std::string* b, uint32_t v) {
    b->push_back(static_cast<char>(v & 0xff));
    b->push_back(static_cast<char>(v >> 8 & 0xff));
}

void put32(std::string* b, uint32_t v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

void put_float(std::string* b, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put32(b, bits);
}

void patch32(std::string* b, size_t at, uint64_t v) {
    for (size_t k = 0; k < 4; ++k) (*b)[at + k] = static_cast<char>(v >> (8 * k) & 0xff);
}

// An object whose offset is filled in later; returns where that offset goes.
size_t put_object(std::string* b, uint32_t type, uint32_t size) {
    put32(b, type);
    const size_t at = b->size();
    put32(b, 0);
    put32(b, size);
    return at;
}

// UTF-8 text as a count of UTF-16 units and the units.
void put_string(std::string* b, const std::string& text) {
    std::vector<uint32_t> units;
    for (size_t k = 0; k < text.size();) {
        const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]) & 0x3Fu; };
        const unsigned char lead = static_cast<unsigned char>(text[k]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = length == 1 ? lead : lead & (0x7Fu >> length);
        for (size_t j = 1; j < length; ++j) c = c << 6 | byte(k + j);
        k += length;
        if (c < 0x10000) {
            units.push_back(c);
        } else {
            units.push_back(0xD800 + ((c - 0x10000) >> 10));
            units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
        }
    }
    put16(b, static_cast<uint32_t>(units.size()));
    for (uint32_t u : units) put16(b, u);
}

void put_header(std::string* b, const sm4_made_page& p, size_t* strings_at, size_t* positions_at) {
    const uint32_t spectra = static_cast<uint32_t>(p.raw.size());
    put16(b, 180);
    put16(b, 11);
    for (uint32_t v : {p.page_type, 0u, p.line_type, 0u, 0u, p.points, spectra, 0u, 0u, 0u,
                       4 * p.points * spectra, 0u, 0u})
        put32(b, v);
    for (float v : {p.x_scale, 1.0f, p.z_scale, 0.0f, p.x_offset, 0.0f, p.z_offset, 1e-4f, 0.5f,
                    1e-10f, 0.0f})
        put_float(b, v);
    for (uint32_t v : {0u, p.grid_x, p.grid_y, p.positions.empty() ? 1u : 2u}) put32(b, v);
    b->push_back(1);  // the 32-bit data flag
    b->append(63, '\0');
    std::string strings;
    // label, system, session, user, path, date, time, x, y and z unit, x label
    for (const std::string& s :
         {p.label, std::string("system"), std::string("session"), std::string("user"),
          std::string("C:\\data\\made-up.sm4"), std::string("12/08/26"), std::string("16:40:00"),
          p.x_unit, std::string("m"), p.z_unit, p.x_label})
        put_string(&strings, s);
    *strings_at = put_object(b, 10, static_cast<uint32_t>(strings.size()));
    *positions_at = p.positions.empty() ? 0 : put_object(b, 8, 28);
    patch32(b, *strings_at, b->size());
    b->append(strings);
}

void put_page(std::string* b, const sm4_made_page& p, size_t header_at, size_t data_at) {
    size_t strings_at = 0, positions_at = 0;
    patch32(b, header_at, b->size());
    put_header(b, p, &strings_at, &positions_at);
    patch32(b, data_at, b->size());
    for (const auto& spectrum : p.raw)
        for (int32_t v : spectrum) put32(b, static_cast<uint32_t>(v));
    if (positions_at == 0) return;
    patch32(b, positions_at, b->size());
    for (const auto& [x, y] : p.positions)
        for (float v : {0.0f, x, y, 0.0f, 0.0f, 0.0f, 0.0f}) put_float(b, v);
}

}  // namespace

std::string sm4_file(const std::vector<sm4_made_page>& pages) {
    std::string b;
    put16(&b, 56);
    const std::string signature = "STiMage 005.006 1";
    for (size_t k = 0; k < 18; ++k)
        put16(&b, k < signature.size() ? static_cast<unsigned char>(signature[k]) : 0);
    const uint32_t count = static_cast<uint32_t>(pages.size());
    for (uint32_t v : {count, 1u, 12u, 0u, 0u}) put32(&b, v);
    const size_t index_header = put_object(&b, 1, 16);
    patch32(&b, index_header, b.size());
    for (uint32_t v : {count, 1u, 0u, 0u}) put32(&b, v);
    const size_t index = put_object(&b, 2, 32);
    patch32(&b, index, b.size());
    std::vector<size_t> headers, data;
    for (const auto& p : pages) {
        b.append(16, static_cast<char>(headers.size() + 1));  // the page's id
        for (uint32_t v : {p.data_type, 0u, 2u, 6u}) put32(&b, v);
        headers.push_back(put_object(&b, 3, 180));
        const auto size = static_cast<uint32_t>(4 * p.points * p.raw.size());
        data.push_back(put_object(&b, 4, p.data_size != 0 ? p.data_size : size));
    }
    for (size_t k = 0; k < pages.size(); ++k) put_page(&b, pages[k], headers[k], data[k]);
    return b;
}

}  // namespace testkit
