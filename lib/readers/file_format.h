// The instrument file formats and how a file shows which it is.
#ifndef READERS_FILE_FORMAT_H
#define READERS_FILE_FORMAT_H

#include <string_view>

namespace sts {

enum class file_format {
    automatic,       // found from the contents
    nanonis_dat,     // "dat": Nanonis bias spectroscopy
    nanonis_grid,    // "3ds": Nanonis grid spectroscopy
    delimited_text,  // "csv": a text table with a header row
    createc_vert,    // "vert": Createc point spectrum
    plain_pairs,     // "pairs": bias and current pairs, no names (what normspec reads)
    omicron_matrix,  // "mtrx": Omicron MATRIX curve (*.I(V)_mtrx with its *_0001.mtrx)
    omicron_text,    // "omicron-text": Omicron MATRIX text export of point spectroscopy
    rhk_sm4,         // "sm4": RHK .sm4, binary, known by its signature
    nanonis_sxm,     // "sxm": Nanonis scan image, known by its first line ":NANONIS_VERSION:";
                     // an image, no spectrum: the spectrum readers refuse it
    unknown,         // none of these
};

// What a file looks like from its bytes: the format whose driver
// (format_drivers.h) scores them best.  The first 4096 bytes suffice
// except for a Nanonis .dat without its header line, which is found by a
// "[DATA]" line anywhere.  A Nanonis scan image (.sxm) begins with
// ":NANONIS_VERSION:" (as every version of the format does); bytes that
// begin so but pass for a spectrum format keep that format, as before
// images had one.  The binary formats are known by their first bytes;
// other bytes that are not text are `unknown` (see binary_content.h), never
// taken for a text format.  An Omicron text export is known by its "#"
// header.  Of the other text files, the first line that is neither blank
// nor a "#" comment decides: two blank-separated numbers make plain pairs;
// a comma, semicolon or tab makes a delimited table; blank-separated names
// make one when the next line holds numbers.  A binary file's signature is
// looked at before any text.  Never answers `automatic`.
file_format detect_format(std::string_view bytes);

// The name used on the command line ("auto", "dat", "3ds", "csv", "vert",
// "pairs", "mtrx", "omicron-text", "sm4", "sxm"), and back;
// false for an unknown name.  (The spectrum tools' --format takes none of
// the image formats: see import_option_parser.cpp.)
const char* format_name(file_format f);
bool format_from_name(std::string_view name, file_format* f);

}  // namespace sts

#endif
