// The instrument file formats by name, and detection through the table of
// drivers (format_drivers.h).
#include "readers/file_format.h"

#include "readers/format_drivers.h"

namespace sts {

file_format detect_format(std::string_view bytes) {
    const format_driver* d = identify(bytes);
    return d ? d->format : file_format::unknown;
}

const char* format_name(file_format f) {
    if (f == file_format::automatic) return "auto";
    const format_driver* d = find_driver(f);
    return d ? d->name : "unknown";
}

bool format_from_name(std::string_view name, file_format* f) {
    if (name == "auto") {
        *f = file_format::automatic;
        return true;
    }
    for (const format_driver& d : format_drivers())
        if (name == d.name) {
            *f = d.format;
            return true;
        }
    return false;
}

}  // namespace sts
