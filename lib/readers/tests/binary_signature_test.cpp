// Bytes that are not text: never handed to a text parser, refused for what
// they look like.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "readers/binary_signature.h"
#include "readers/file_format.h"
#include "readers/read_spectra.h"

namespace {

TEST(BinarySignature, RefusedForWhatItLooksLike) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {std::string("1 2\n3\0 4\n", 9), "binary data (a byte 0x00 at offset 5)"},
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "a PNG image"},
        {std::string("\x1f\x8b\x08\x00", 4), "gzip-compressed data (unpack it first)"},
        {std::string("\xff\xfe" "1\0 \0" "2\0", 8),  // "1 2"
         "UTF-16 text, which is not read (save it as UTF-8)"}};
    for (const auto& [bytes, what] : cases) {
        EXPECT_EQ(sts::detect_format(bytes), sts::file_format::binary) << what;
        std::vector<sts::imported_spectrum> out;
        std::string error, warning;
        EXPECT_FALSE(sts::read_spectra("f", bytes, {}, &out, &error, &warning));
        EXPECT_EQ(error, "not text but " + what +
                             ", and not a binary format read here (Nanonis .3ds, Omicron MATRIX)");
    }
    // Text with a DOS end-of-file mark and form feeds is still text.
    EXPECT_EQ(sts::detect_format("1 2\n\f3 4\n\x1a"), sts::file_format::plain_pairs);
}

TEST(BinarySignature, TextIsNotBinary) {
    EXPECT_EQ(sts::binary_description("Bias (V)\tCurrent (A)\r\n1\t2\f\v\x1a"), "");
    EXPECT_EQ(sts::binary_description("caf\xc3\xa9 \xb5" "A"), "");  // UTF-8 and Latin-1 letters
    EXPECT_EQ(sts::binary_description(std::string("ab\x01", 3)),
              "binary data (a byte 0x01 at offset 2)");
}

}  // namespace
