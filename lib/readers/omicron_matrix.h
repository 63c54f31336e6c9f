// Omicron MATRIX curves: a data file (*.I(V)_mtrx) read with the parameter
// file of its session (*_0001.mtrx in the same folder).
//
// A data file ("ONTMATRX0101", then one BKLT block; layout in
// omicron_matrix_cursor.h) holds 4 bytes and two untimed blocks:
//   DESC  the channel's uint64 key in the parameter file's dictionary,
//         12 bytes, uint32 counts planned and recorded, the data type
//         ("SI32"), then 16 bytes
//   DATA  the recorded counts, int32 each
// The counts mean nothing without the parameter file: it gives the
// channel, the bias sweep and the transfer function from counts to
// amperes (omicron_matrix_parameters.h, omicron_matrix_curve.h).  The two
// are tied by name: <session>--<n>_<m>.<channel>_mtrx belongs to
// <session>_0001.mtrx, which records it in a BREF block.
#ifndef READERS_OMICRON_MATRIX_H
#define READERS_OMICRON_MATRIX_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// The parameter file a data file needs, from its name: the folder and the
// name up to the last "--", then "_0001.mtrx"; "" when the name has no
// "--".
std::string matrix_parameter_path(const std::string& data_path);

// Reads the I(V) curve of the data file `path`, whose bytes are given, with
// its parameter file read from disk, and appends its spectra to *out
// (omicron_matrix_curve.h says which).  false with *error (not naming the file)
// for a parameter file given instead of a data file, a missing parameter
// file (naming it), a damaged file, a curve that is not bias spectroscopy
// (I(t), I(Z), images), or an almost empty curve; *warning is set when the
// measurement was stopped and only its complete sweeps are read.
bool read_omicron_matrix(const std::string& path, std::string_view bytes,
                         const import_options& o, std::vector<imported_spectrum>* out,
                         std::string* error, std::string* warning);

// The same with the parameter file's bytes given.
bool read_matrix_curve(const std::string& path, std::string_view data, std::string_view parameters,
                       const import_options& o, std::vector<imported_spectrum>* out,
                       std::string* error, std::string* warning);

}  // namespace sts

#endif
