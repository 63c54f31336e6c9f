// console: the answers the drivers read at their prompts.
//
// Kept apart from the numerical library, which reads nothing from a
// console, and shared by the tools that ask (normspec -l, pointmean).
#ifndef CONSOLE_CONSOLE_INPUT_H
#define CONSOLE_CONSOLE_INPUT_H

#include <cstdio>

namespace sts {

enum class scan_status { ok, no_number, out_of_range };

// Reads an integer from `in` the way the scanf conversion "%d" does: white
// space (line ends too) is skipped, then an optional sign and decimal digits;
// the character after the digits stays unread for the next read, so that
// several answers may stand on one line.  *value is written only on ok.
scan_status scan_int(std::FILE* in, int* value);

}  // namespace sts

#endif
