// The header of a point-spectrum file as (key, value) text, for tools that
// show or keep it (the Python package's attributes); the spectra's readers
// take what they need from it themselves.
#ifndef READERS_HEADER_ENTRIES_H
#define READERS_HEADER_ENTRIES_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "readers/file_format.h"

namespace sts {

using header_entry = std::pair<std::string, std::string>;

// The header lines of a file of format f, in their order:
//   nanonis_dat   the lines before "[DATA]", "key<TAB>value<TAB>": the key
//                 and the value fields (joined by tabs, the empty last ones
//                 dropped)
//   createc_vert  the lines after "[ParVERT..]" before "DATA", "key=value"
//                 split at the first "=" ("BiasVoltage / BiasVolt.[mV]")
// Keys and values are trimmed; lines without a key are left out.  Other
// formats (their headers are binary, or but a line of names) give none.
std::vector<header_entry> header_entries(file_format f, std::string_view bytes);

}  // namespace sts

#endif
