// Reading any supported instrument file into spectra.
#include "readers/read_spectra.h"

#include <memory>

#include "readers/binary_content.h"
#include "readers/bias_sweep.h"
#include "readers/byte_source.h"
#include "readers/file_format.h"
#include "readers/format_drivers.h"
#include "readers/nanonis_grid.h"

namespace sts {

namespace {

const std::string unknown_format = std::string("not ") + readable_formats();

file_format format_of(std::string_view bytes, const import_options& o) {
    return o.format == file_format::automatic ? detect_format(bytes) : o.format;
}

// A reader's refusal names the format the file was read as, unless it
// names it (or any instrument's maker) already.
void name_format(file_format f, std::string* error) {
    const format_driver* d = find_driver(f);
    if (d == nullptr || error->find(d->title) != std::string::npos) return;
    for (const format_driver& other : format_drivers())
        if (other.maker && error->find(other.maker) != std::string::npos) return;
    *error = std::string(d->title) + ": " + *error;
}

const char* text_format_title(file_format f) {
    const format_driver* d = find_driver(f);
    return d ? d->text_title : nullptr;
}

// Binary bytes are never read as text, whatever format was asked for; an
// image is refused as unreadable_kind names it, before any option is
// looked at (as when it was not told apart from unknown bytes).
bool check_text(file_format f, std::string_view bytes, std::string* error) {
    const std::string_view head = bytes.substr(0, 4096);
    if (const format_driver* d = find_driver(f); d && d->can.image) {
        *error = unreadable_kind(head);  // "a Nanonis image (.sxm), not a spectrum"
        return false;
    }
    if (f != file_format::unknown && (!text_format_title(f) || !looks_binary(head))) return true;
    const std::string kind = unreadable_kind(head);
    *error = kind.empty() ? unknown_format
             : f == file_format::unknown ? kind
                                         : kind + ", not " + text_format_title(f);
    return false;
}

// A measured dI/dV channel and one numbered sweep are chosen among the
// columns of a table (Nanonis, delimited text; numbered sweeps also RHK);
// the other formats hold one channel a spectrum or sweeps of their own.
// (RHK and Createc files take the question and refuse it themselves,
// naming their channels.)
bool check_choices(const format_driver& d, const import_options& o, std::string* error) {
    if (!o.signal_channel.empty() && !d.can.lockin) {
        *error = "a measured dI/dV channel ('" + o.signal_channel +
                 "') is read from Nanonis .dat and .3ds files and delimited text only";
        return false;
    }
    if (o.sweep > 0 && !d.can.sweeps) {
        *error = "one numbered sweep (--sweep) is picked from Nanonis .dat and .3ds files, "
                 "delimited text and RHK .sm4 files only";
        return false;
    }
    return true;
}

bool read_format(file_format f, const std::string& path, std::string_view bytes,
                 const import_options& o, std::vector<imported_spectrum>* out, std::string* error,
                 std::string* warning) {
    const format_driver* d = find_driver(f);
    if (d == nullptr) {
        *error = unknown_format;
        return false;
    }
    return check_choices(*d, o, error) && d->read(path, bytes, o, out, error, warning);
}

// Every spectrum appended from `first` on sweeps its bias (a grid's pixels
// are checked as they are read).
bool check_sweeps(const std::vector<imported_spectrum>& spectra, size_t first,
                  const import_options& o, std::string* error) {
    for (size_t k = first; k < spectra.size(); ++k)
        if (!is_bias_sweep(spectra[k].bias, o.bias_scale == 1.0 ? "V" : "mV", error))
            return false;
    return true;
}

}  // namespace

const char* readable_formats() {
    return "a Nanonis .dat or .3ds file, a Createc .VERT file, an Omicron MATRIX curve or text "
           "export, an RHK .sm4 file, delimited text with a header row or plain pairs of numbers";
}

bool read_spectra(const std::string& path, std::string_view bytes, const import_options& o,
                  std::vector<imported_spectrum>* out, std::string* error, std::string* warning) {
    const file_format f = format_of(bytes, o);
    const size_t first = out->size();
    if (!check_text(f, bytes, error)) return false;
    if (read_format(f, path, bytes, o, out, error, warning) &&
        (f == file_format::nanonis_grid || check_sweeps(*out, first, o, error)))
        return true;
    out->resize(first);  // nothing of a refused file
    name_format(f, error);
    return false;
}

bool read_spectra_file(const std::string& path, const import_options& o,
                       std::vector<imported_spectrum>* out, std::string* error, std::string* warning) {
    std::shared_ptr<file_source> file = file_source::open(path, error);
    if (!file) return false;
    std::string bytes;
    if (file->regular()) {
        if (!read_head(*file, 4096, &bytes, error)) return false;
        if (format_of(bytes, o) == file_format::nanonis_grid) {
            if (read_nanonis_grid(path, file, o, out, error, warning)) return true;
            name_format(file_format::nanonis_grid, error);
            return false;
        }
    }
    return file->read_all(&bytes, error) && read_spectra(path, bytes, o, out, error, warning);
}

}  // namespace sts
