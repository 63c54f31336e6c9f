// Control bytes escaped for the terminal: see printable.h.
#include "output/printable.h"

namespace sts {

namespace {

void escape(unsigned char c, std::string* out) {
    static const char hex[] = "0123456789abcdef";
    *out += "\\x";
    *out += hex[c >> 4];
    *out += hex[c & 15];
}

// The length of the well-formed UTF-8 character at text[i] (Unicode 15,
// table 3-7), or 0 when the bytes there are not one.
size_t utf8_length(std::string_view text, size_t i) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = at(i);
    // The length the first byte announces and the range of the second.
    size_t n = 0;
    unsigned char low = 0x80, high = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
        n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
        n = 3;
        if (c == 0xe0) low = 0xa0;
        if (c == 0xed) high = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
        n = 4;
        if (c == 0xf0) low = 0x90;
        if (c == 0xf4) high = 0x8f;
    }
    if (n == 0 || i + n > text.size() || at(i + 1) < low || at(i + 1) > high) return 0;
    for (size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xbf) return 0;
    return n;
}

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            escape(c, &out);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += text[i++];
            continue;
        }
        const size_t n = utf8_length(text, i);
        const bool c1 = n == 2 && c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f;
        if (n == 0 && c <= 0x9f) {  // a lone C1 byte
            escape(c, &out);
            ++i;
        } else if (n == 0 || !c1) {  // another lone byte, or a character
            const size_t take = n == 0 ? 1 : n;
            out.append(text.substr(i, take));
            i += take;
        } else {
            escape(c, &out);
            escape(static_cast<unsigned char>(text[i + 1]), &out);
            i += 2;
        }
    }
    return out;
}

}  // namespace sts
