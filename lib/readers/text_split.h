// Splitting and trimming the lines and fields of instrument text files.
#ifndef READERS_TEXT_SPLIT_H
#define READERS_TEXT_SPLIT_H

#include <string>
#include <string_view>
#include <vector>

namespace sts {

// The lines of a text without their "\n" or "\r\n" ends; a UTF-8 byte-order
// mark before the first line is dropped.  A last line without an end counts.
std::vector<std::string> lines_of(std::string_view text);

// The fields of a line between single delimiter characters, empty fields
// included ("a,,b" gives three).
std::vector<std::string> split(const std::string& line, char delimiter);

// The fields of a line between runs of blanks (spaces and tabs); no empty
// fields.
std::vector<std::string> split_blanks(const std::string& line);

// text without the white space (isspace) at either end.
std::string trim(const std::string& text);

// text without blanks, carriage returns and double quotes at either end:
// a field of a delimited table as it was meant.
std::string strip(const std::string& text);

// Whether two names agree when case is ignored ("input 3" and "Input 3").
bool same_name(const std::string& a, const std::string& b);

// Whether a channel or page name agrees with the name asked for, blanks at
// either end of both ignored as well as case: RHK labels its pages
// "Current " with a trailing blank, which nobody types.
bool same_channel(const std::string& a, const std::string& b);

}  // namespace sts

#endif
