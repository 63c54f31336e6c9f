// The files an import writes: the numbered pair files and the index.
#ifndef STSIMPORT_SERIES_FILES_H
#define STSIMPORT_SERIES_FILES_H

#include <string>
#include <vector>

#include "stsimport/command_line.h"
#include "readers/imported_spectrum.h"
#include "readers/spectrum_on_scan.h"

// The name of output k (from 0): "s<start + k>" or "stxt<start + k>p.txt".
std::string output_name(const command_line& c, size_t k);

// The paths an import of `count` spectra writes: the numbered files in
// c.out_dir, then the index.
std::vector<std::string> output_paths(const command_line& c, size_t count);

// Writes every spectrum to its numbered file in c.out_dir, then the index
// stsimport-index.tsv, each file whole or not at all, and none in place
// unless all could be written; with c.force the index keeps the rows of
// the files that stay.  false with *error at the first file that cannot be
// written.  With spots (--scan, one per spectrum) the index has four more
// columns: the scan's pixel (column, row) and the place (nm) in its frame.
bool write_series(const command_line& c, const std::vector<sts::imported_spectrum>& spectra,
                  const std::vector<sts::scan_spot>& spots, std::string* error);

// The line that says what was done: "imported 32 spectra from g.3ds into
// s1 ... s32".
std::string summary(const command_line& c, size_t count);

#endif
