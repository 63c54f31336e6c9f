// Reading any supported instrument file into spectra: the one entry point
// for drivers.
#ifndef READERS_READ_SPECTRA_H
#define READERS_READ_SPECTRA_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// The formats read, as a phrase for messages ("a Nanonis .dat or .3ds
// file, ..., or plain pairs of numbers").
const char* readable_formats();

// Reads every spectrum of a file held in memory, in o.format or, when that
// is `automatic`, the format detect_format finds, and appends them to *out
// with `path` as their source.  false with *error (not naming the file,
// naming its format: "Nanonis .dat: line 5: ...") when the format is
// unknown, the bytes are binary but no binary format, the file cannot be
// read as that format or a spectrum does not sweep its bias (bias_sweep.h);
// *warning is set on success when a grid is incomplete.
bool read_spectra(const std::string& path, std::string_view bytes, const import_options& o,
                  std::vector<imported_spectrum>* out, std::string* error, std::string* warning);

// The same for a file on disk.  A grid is read pixel by pixel, so that only
// the spectra are held in memory, not the file; other files are read whole.
// Errors also cover a file that cannot be opened ("cannot open: ...") or is
// a directory ("is a directory").
bool read_spectra_file(const std::string& path, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error, std::string* warning);

}  // namespace sts

#endif
