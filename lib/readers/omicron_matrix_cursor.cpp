// The little-endian pieces Omicron MATRIX files are made of.
#include "readers/omicron_matrix_cursor.h"

#include <cstring>

namespace sts {

namespace {

uint64_t little_endian(std::string_view part) {
    uint64_t v = 0;
    for (size_t k = part.size(); k-- > 0;) v = (v << 8) | static_cast<unsigned char>(part[k]);
    return v;
}

void append_utf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xc0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xe0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3f)));
    } else {
        out->push_back(static_cast<char>(0xf0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3f)));
    }
}

// UTF-16LE code units as UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8_of(std::string_view units) {
    std::string out;
    for (size_t k = 0; k + 1 < units.size(); k += 2) {
        uint32_t c = static_cast<uint32_t>(little_endian(units.substr(k, 2)));
        if (c >= 0xd800 && c < 0xdc00 && k + 3 < units.size()) {
            const uint32_t low = static_cast<uint32_t>(little_endian(units.substr(k + 2, 2)));
            if (low >= 0xdc00 && low < 0xe000) {
                c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                k += 2;
            }
        }
        if (c >= 0xd800 && c < 0xe000) c = 0xfffd;
        append_utf8(c, &out);
    }
    return out;
}

}  // namespace

bool matrix_cursor::take(size_t count, std::string_view* part) {
    if (count > left()) return false;
    *part = bytes_.substr(at_, count);
    at_ += count;
    return true;
}

bool matrix_cursor::skip(size_t count) {
    std::string_view ignored;
    return take(count, &ignored);
}

bool matrix_cursor::u32(uint32_t* v) {
    std::string_view part;
    if (!take(4, &part)) return false;
    *v = static_cast<uint32_t>(little_endian(part));
    return true;
}

bool matrix_cursor::u64(uint64_t* v) {
    std::string_view part;
    if (!take(8, &part)) return false;
    *v = little_endian(part);
    return true;
}

bool matrix_cursor::f64(double* v) {
    uint64_t bits = 0;
    if (!u64(&bits)) return false;
    std::memcpy(v, &bits, sizeof *v);
    return true;
}

bool matrix_cursor::tag(std::string* t) {
    std::string_view part;
    if (!take(4, &part)) return false;
    t->assign(part.rbegin(), part.rend());
    return true;
}

bool matrix_cursor::text(std::string* t) {
    const size_t start = at_;
    uint32_t units = 0;
    std::string_view part;
    // The count is checked against what is left before it is doubled.
    if (!u32(&units) || units > left() / 2 || !take(2 * static_cast<size_t>(units), &part)) {
        at_ = start;
        return false;
    }
    *t = utf8_of(part);
    return true;
}

bool matrix_cursor::value(matrix_value* v) {
    const size_t start = at_;
    std::string kind;
    uint32_t n = 0;
    bool ok = tag(&kind);
    *v = matrix_value();
    if (ok && (kind == "BOOL" || kind == "LONG")) {
        ok = u32(&n);
        v->number = kind == "BOOL" ? (n != 0 ? 1.0 : 0.0) : static_cast<double>(n);
    } else if (ok && kind == "DOUB") {
        ok = f64(&v->number);
    } else if (ok && kind == "STRG") {
        v->is_text = true;
        ok = text(&v->text);
    } else {
        ok = false;
    }
    if (!ok) at_ = start;
    return ok;
}

bool matrix_cursor::block(matrix_block* b, bool with_time) {
    const size_t start = at_;
    uint32_t length = 0;
    if (tag(&b->tag) && u32(&length) && (!with_time || skip(8)) && take(length, &b->content))
        return true;
    at_ = start;
    return false;
}

}  // namespace sts
