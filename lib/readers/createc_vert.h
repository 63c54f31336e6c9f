// Createc point spectra (.VERT).
//
// The file as the real ones of 2018 to 2020 show it: a "[ParVERT30]" or
// "[ParVERT32]" header of "key=value" lines (Latin-1, CR LF; keys may read
// "Name / Label"), padded with NUL bytes, then a line "DATA", a line that
// announces the rows and their columns (createc_columns.h), and rows of
// tab-separated numbers: index, bias V (mV), z, maybe x, and the recorded
// channels, the current I (ADC units) among them.  Used from the header:
//   DAC-Type=20bit        ADC units: +-2^19 counts over +-10 V
//   GainPre 10^=9         preamplifier gain 10^9 V/A (key "Gainpreamp")
//   VertSpecBack=1        the first half of the rows is the forward sweep,
//                         the second half the backward sweep back to the start
//   Vertchannelselectval  the channel selection, as the DATA line has it
// so that I in A = counts * 10 V / 2^19 / 10^GainPre.  Other header
// versions, converters and damaged row counts are refused rather than
// guessed at; a time trace at constant bias is refused by the caller
// (bias_sweep.h).
#ifndef READERS_CREATEC_VERT_H
#define READERS_CREATEC_VERT_H

#include <string>
#include <string_view>
#include <vector>

#include "readers/import_options.h"
#include "readers/imported_spectrum.h"

namespace sts {

// Appends the spectrum of the current channel ("Current" or "I"; another
// recorded channel, such as the lock-in's "dI/dV", only when the output
// unit is given: its values are then taken as they are; the bias column is
// "V" or "Bias") to *out with `path` as its source: the forward
// half, the backward half in its recorded order (from the end of the sweep
// back to its start), or their point-by-point mean on the forward bias
// axis.  false with *error (not naming the file) for a header variant not
// read here, a damaged table, or a channel or direction the file lacks.
bool read_createc_vert(const std::string& path, std::string_view bytes, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error);

}  // namespace sts

#endif
