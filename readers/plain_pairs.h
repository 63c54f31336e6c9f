// Plain files of (bias, current) number pairs, the files normspec and
// pointmean read.
#ifndef READERS_PLAIN_PAIRS_H
#define READERS_PLAIN_PAIRS_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/spectrum.h"

namespace sts {

// Reads pairs exactly as normspec does, with the C library's "%f%f" until a
// pair fails to parse (what follows is not read), and appends them as one
// spectrum, each value the float that "%f" gives.  The values are taken to
// be in the output units already: the file names none, and the options'
// units and channel do not apply.  false with *error when no pair reads or
// a direction other than forward is asked for.
bool read_plain_pairs(const std::string& path, std::string_view bytes, const import_options& o,
                      std::vector<spectrum>* out, std::string* error);

}  // namespace sts

#endif
