// The files an import writes: the numbered pair files and the index.
#ifndef STSIMPORT_SERIES_FILES_H
#define STSIMPORT_SERIES_FILES_H

#include <string>
#include <vector>

#include "command_line.h"
#include "readers/spectrum.h"

// The name of output k (from 0): "s<start + k>" or "stxt<start + k>p.txt".
std::string output_name(const command_line& c, size_t k);

// Writes every spectrum to its numbered file in c.out_dir, then the index
// stsimport-index.tsv, each file whole or not at all.  false with *error
// at the first file that cannot be written.
bool write_series(const command_line& c, const std::vector<sts::spectrum>& spectra,
                  std::string* error);

#endif
