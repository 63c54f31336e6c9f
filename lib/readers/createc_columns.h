// The columns of a Createc point spectrum (.VERT), from the line after
// "DATA".
//
// That line holds the row count, the tip's x and y (DAC units) and the
// channel selection; [ParVERT32] files add four numbers, of which the
// third (the seventh of the line) is how many position columns follow the
// index: 2 (V, Z) or 3 (V, Z, X), then two more numbers (the tip position
// in nm).  The rows are the index, the position columns (V in mV) and one
// column per set bit of the channel selection, lowest bit first:
//   bit 0 I, 1 dI/dV, 2 d2I/dV2, 3-6 ADC0-ADC3, 7-9 NA01-NA03,
//   10 di_q, 11 di2_q, 12 DAC0
// (the names and order as the reader of chenxu2394/py_createc lists them,
// confirmed by the row widths of the real files: selection 3 gives I and
// dI/dV, 4209 gives I, ADC1, ADC2, ADC3 and DAC0).
#ifndef READERS_CREATEC_COLUMNS_H
#define READERS_CREATEC_COLUMNS_H

#include <string>
#include <vector>

namespace sts {

struct vert_columns {
    long rows = 0;                     // the announced row count
    long selection = 0;                // the channel selection, a bit set
    std::vector<std::string> names;    // "idx", "V", "Z"[, "X"], then the channels
};

// Reads the line after "DATA"; false with *error when it is not four
// numbers (or more, as [ParVERT32] writes), the row count is not a whole
// number from 1 up, or the selection is empty or names unknown channels.
bool parse_vert_columns(const std::string& line, vert_columns* out, std::string* error);

// The names of every channel a selection can name, ", "-separated.
std::string vert_channel_names();

}  // namespace sts

#endif
