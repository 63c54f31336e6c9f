// printable(): the escapes written out by hand from the byte values.
#include "output/printable.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sts::printable;

TEST(Printable, PlainTextUnchanged) {
    EXPECT_EQ(printable("imported 3 spectra into out/ (s1 .. s3)\t"),
              "imported 3 spectra into out/ (s1 .. s3)\t");
    EXPECT_EQ(printable("Current (A) \xc2\xb5m \xc3\xa9"), "Current (A) \xc2\xb5m \xc3\xa9");
    EXPECT_EQ(printable("Latin-1 \xb5m"), "Latin-1 \xb5m");  // a lone byte, not a control
    EXPECT_EQ(printable(""), "");
}

TEST(Printable, C0AndDelEscaped) {
    // A window title, a clear screen and a forged line.
    EXPECT_EQ(printable("\x1b]0;owned\x07"), "\\x1b]0;owned\\x07");
    EXPECT_EQ(printable("\x1b[2J\x1b[H"), "\\x1b[2J\\x1b[H");
    EXPECT_EQ(printable("x\r\nstsimport: imported 1 spectrum"),
              "x\\x0d\\x0astsimport: imported 1 spectrum");
    EXPECT_EQ(printable(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(printable("\x7f\x1f"), "\\x7f\\x1f");
}

TEST(Printable, C1EscapedAsBytesAndAsCharacters) {
    EXPECT_EQ(printable("\x9b" "2J"), "\\x9b2J");           // a lone CSI byte
    EXPECT_EQ(printable("\xc2\x9b" "2J"), "\\xc2\\x9b2J");  // U+009B in UTF-8
    EXPECT_EQ(printable("\xc2\x80 \xc2\x9f \xc2\xa0"), "\\xc2\\x80 \\xc2\\x9f \xc2\xa0");
    // A first byte whose character is cut short leaves its next byte alone.
    EXPECT_EQ(printable("\xe2\x9b"), "\xe2\\x9b");
    EXPECT_EQ(printable("\xe2\x82\xac"), "\xe2\x82\xac");  // the euro sign, whole
}

}  // namespace
