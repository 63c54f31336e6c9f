// Whether a file's leading bytes are text or binary, and what binary bytes
// look like: format detection asks this first, so that no reader of text
// ever meets binary data and no refusal of binary data speaks of lines.
#ifndef READERS_BINARY_CONTENT_H
#define READERS_BINARY_CONTENT_H

#include <string>
#include <string_view>

namespace sts {

// Whether the leading bytes of a file (a few kB) are binary data: they hold
// a NUL byte, or more than one in 16 of them are control characters other
// than tab, line feed, carriage return, form feed and escape.  Text in any
// 8-bit encoding (UTF-8, Latin-1) passes.
bool looks_binary(std::string_view head);

// What a file that no reader takes looks like, from its leading bytes, for
// the refusal: a known kind of file that holds no spectrum we read ("gzip-
// compressed data; uncompress it first", "a Nanonis image (.sxm), not a
// spectrum"), else "binary data of an unknown format" for binary bytes, and
// "" for text of no known kind.
std::string unreadable_kind(std::string_view head);

}  // namespace sts

#endif
