// Text tables with a header row: comma, semicolon, tab or blank separated.
#ifndef READERS_DELIMITED_TEXT_H
#define READERS_DELIMITED_TEXT_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// Reads a table whose first line that is neither blank nor a "#" comment
// names the columns; the delimiter is a tab if that line has one, else a
// semicolon, else a comma, else runs of blanks.  Blank-separated names are
// parted so that there are as many as the first row has numbers: at every
// blank, at wide gaps ("Bias calc (V)   Current (A)"), or after each unit
// ("Bias calc (V) Current (A)").  Unless the delimiter is a comma, numbers
// may have a decimal comma.  Appends the selected spectra to *out with
// `path` as their source.  false with *error (not naming the file) when
// there is no header row, the first row holds numbers, the table is damaged
// or the columns are missing.
bool read_delimited(const std::string& path, std::string_view text, const import_options& o,
                    std::vector<imported_spectrum>* out, std::string* error);

}  // namespace sts

#endif
