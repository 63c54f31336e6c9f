// Text from a file or a path made safe to print on a terminal.
//
// A column name, a value or a file name holding ESC sequences reached the
// terminal as they were: they could set the window title, clear the screen,
// or draw a forged "imported 1 spectrum" line over a refusal.  Every message
// that carries such text goes through printable() as it is printed.
#ifndef OUTPUT_PRINTABLE_H
#define OUTPUT_PRINTABLE_H

#include <string>
#include <string_view>

namespace sts {

// text with every byte a terminal may take as a control written as
// "\xNN" (lower-case hex): the C0 controls but tab (newline and carriage
// return too: a message is one line), DEL, the C1 controls both as single
// bytes (0x80 - 0x9f outside a UTF-8 character) and as UTF-8 characters
// (U+0080 - U+009F, each of its two bytes escaped).  Everything else,
// other UTF-8 and other single bytes (a Latin-1 "µ"), stays as it is, so
// that text without controls prints unchanged.
std::string printable(std::string_view text);

}  // namespace sts

#endif
