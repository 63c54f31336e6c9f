// Nanonis bias-spectroscopy files (.dat).
#ifndef READERS_NANONIS_DAT_H
#define READERS_NANONIS_DAT_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// Reads the tab-separated table after the "[DATA]" line (its first
// non-blank line names the columns) and appends the spectra that the
// options select to *out, with `path` as their source.  The header above
// "[DATA]" is not needed.  false with *error (not naming the file) when
// there is no [DATA] section, the table is damaged or the columns are
// missing.
bool read_nanonis_dat(const std::string& path, std::string_view text, const import_options& o,
                      std::vector<imported_spectrum>* out, std::string* error);

}  // namespace sts

#endif
