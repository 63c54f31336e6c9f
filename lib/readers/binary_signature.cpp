// What a file that is not text looks like.
#include "readers/binary_signature.h"

#include <cstdio>

namespace sts {

namespace {

struct signature {
    std::string_view magic;
    const char* what;
};

using namespace std::string_view_literals;

// Leading bytes of the files most often given by mistake.
constexpr signature signatures[] = {
    {"\x89PNG\r\n\x1a\n"sv, "a PNG image"},
    {"\xff\xd8\xff"sv, "a JPEG image"},
    {"GIF8"sv, "a GIF image"},
    {"II*\0"sv, "a TIFF image"},
    {"MM\0*"sv, "a TIFF image"},
    {"%PDF"sv, "a PDF document"},
    {"PK\x03\x04"sv, "a ZIP archive (unpack it first)"},
    {"\x1f\x8b"sv, "gzip-compressed data (unpack it first)"},
    {"BZh"sv, "bzip2-compressed data (unpack it first)"},
    {"\xfd" "7zXZ\0"sv, "xz-compressed data (unpack it first)"},
    {"\x89HDF\r\n\x1a\n"sv, "an HDF5 file"},
    {"CDF\x01"sv, "a netCDF file"},
    {"CDF\x02"sv, "a netCDF file"},
    {"\xff\xfe"sv, "UTF-16 text, which is not read (save it as UTF-8)"},
    {"\xfe\xff"sv, "UTF-16 text, which is not read (save it as UTF-8)"},
    {"\x7f" "ELF"sv, "a program (ELF)"},
};

bool text_byte(unsigned char c) {
    return c >= 0x20 || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
           c == 0x1a;
}

}  // namespace

std::string binary_description(std::string_view head) {
    size_t at = 0;
    while (at < head.size() && text_byte(static_cast<unsigned char>(head[at]))) ++at;
    if (at == head.size()) return "";
    for (const auto& s : signatures)
        if (head.substr(0, s.magic.size()) == s.magic) return s.what;
    char where[80];
    std::snprintf(where, sizeof where, "binary data (a byte 0x%02X at offset %zu)",
                  static_cast<unsigned char>(head[at]), at);
    return where;
}

}  // namespace sts
