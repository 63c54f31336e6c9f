// Whether a file's leading bytes are text or binary, and what binary bytes
// look like.
#include "readers/binary_content.h"

namespace sts {

namespace {

// Files people may hand over by mistake, known by their first bytes.
struct known_kind {
    std::string_view magic;
    const char* kind;
};
constexpr known_kind kinds[] = {
    {"\x1f\x8b", "gzip-compressed data; uncompress it first"},
    {"PK\x03\x04", "a zip archive; unpack it first"},
    {"\x89HDF\r\n\x1a\n", "an HDF5 or netCDF-4 file (as stsgrid writes), not a spectrum"},
    {"CDF\x01", "a netCDF file, not a spectrum"},
    {"CDF\x02", "a netCDF file, not a spectrum"},
    {"\x89PNG", "a PNG image, not a spectrum"},
    {"%PDF", "a PDF document, not a spectrum"},
    {"\xff\xd8\xff", "a JPEG image, not a spectrum"},
    {"GIF8", "a GIF image, not a spectrum"},
    {std::string_view("II*\0", 4), "a TIFF image, not a spectrum"},
    {std::string_view("MM\0*", 4), "a TIFF image, not a spectrum"},
    {"BZh", "bzip2-compressed data; uncompress it first"},
    {std::string_view("\xfd" "7zXZ\0", 6), "xz-compressed data; uncompress it first"},
    {"\x7f" "ELF", "a program (ELF), not a spectrum"},
    {"\xff\xfe", "UTF-16 text; save it as UTF-8 (or Latin-1) first"},
    {"\xfe\xff", "UTF-16 text; save it as UTF-8 (or Latin-1) first"},
    {":NANONIS_VERSION:", "a Nanonis image (.sxm), not a spectrum"},
    {"[Paramco32]", "a Createc image (.dat), not a spectrum"},
    {"[Parameter]", "a Createc image (.dat), not a spectrum"},
};

bool control(unsigned char c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1b) ||
           c == 0x7f;
}

}  // namespace

bool looks_binary(std::string_view head) {
    size_t controls = 0;
    for (char ch : head) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0) return true;
        controls += control(c) ? 1 : 0;
    }
    return controls * 16 > head.size();
}

std::string unreadable_kind(std::string_view head) {
    for (const auto& k : kinds)
        if (head.substr(0, k.magic.size()) == k.magic) return k.kind;
    return looks_binary(head) ? "binary data of an unknown format" : "";
}

}  // namespace sts
