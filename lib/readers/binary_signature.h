// What a file that is not text looks like, so that binary bytes are refused
// for what they are and never handed to a text parser.
#ifndef READERS_BINARY_SIGNATURE_H
#define READERS_BINARY_SIGNATURE_H

#include <string>
#include <string_view>

namespace sts {

// "" when head is text: no NUL byte and no control character other than
// tab, line feed, vertical tab, form feed, carriage return and the DOS
// end-of-file mark 0x1A.  Otherwise what the bytes look like: a common
// file signature ("a PNG image", "gzip-compressed data (unpack it
// first)", "UTF-16 text ...") or "binary data" with the first byte that
// is not text and its offset.
std::string binary_description(std::string_view head);

}  // namespace sts

#endif
