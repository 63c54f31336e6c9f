// Reading any supported instrument file into spectra.
#include "readers/read_spectra.h"

#include <memory>

#include "readers/byte_source.h"
#include "readers/createc_vert.h"
#include "readers/delimited_text.h"
#include "readers/file_format.h"
#include "readers/nanonis_dat.h"
#include "readers/nanonis_grid.h"
#include "readers/plain_pairs.h"
#include "readers/rhk_sm4.h"

namespace sts {

namespace {

const char* const unknown_format =
    "not a Nanonis .dat or .3ds file, a Createc .VERT file, delimited text with a header row "
    "or plain pairs of numbers";

file_format format_of(std::string_view bytes, const import_options& o) {
    return o.format == file_format::automatic ? detect_format(bytes) : o.format;
}

}  // namespace

bool read_spectra(const std::string& path, std::string_view bytes, const import_options& o,
                  std::vector<imported_spectrum>* out, std::string* error, std::string* warning) {
    switch (format_of(bytes, o)) {
        case file_format::nanonis_dat: return read_nanonis_dat(path, bytes, o, out, error);
        case file_format::nanonis_grid:
            return read_nanonis_grid(path, std::make_shared<memory_source>(bytes), o, out, error,
                                     warning);
        case file_format::delimited_text: return read_delimited(path, bytes, o, out, error);
        case file_format::createc_vert: return read_createc_vert(path, bytes, o, out, error);
        case file_format::plain_pairs: return read_plain_pairs(path, bytes, o, out, error);
        case file_format::rhk_sm4: return read_rhk_sm4(path, bytes, o, out, error);
        case file_format::automatic:
        case file_format::unknown: break;
    }
    *error = unknown_format;
    return false;
}

bool read_spectra_file(const std::string& path, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error, std::string* warning) {
    std::shared_ptr<file_source> file = file_source::open(path, error);
    if (!file) return false;
    std::string bytes;
    if (file->regular()) {
        if (!read_head(*file, 4096, &bytes, error)) return false;
        if (format_of(bytes, o) == file_format::nanonis_grid)
            return read_nanonis_grid(path, file, o, out, error, warning);
    }
    return file->read_all(&bytes, error) && read_spectra(path, bytes, o, out, error, warning);
}

}  // namespace sts
