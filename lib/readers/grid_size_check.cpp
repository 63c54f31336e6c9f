// The size of a grid against its header: see grid_size_check.h.
#include "readers/grid_size_check.h"

namespace sts {

bool check_grid_size(uint64_t declared, uint64_t pixel_bytes, uint64_t data_bytes, bool partial,
                     std::string* error) {
    const uint64_t present = data_bytes / pixel_bytes;  // no product to overflow
    const std::string holds = "the file holds " + std::to_string(data_bytes) +
                              " bytes of pixels (" + std::to_string(present) + " pixels of " +
                              std::to_string(pixel_bytes) + " bytes), its header declares " +
                              std::to_string(declared) + " pixels";
    if (present > declared) {
        *error = holds + ": the header's channel list or Grid dim does not describe the data";
        return false;
    }
    if (present < declared / PARTIAL_GRID_RATIO + (declared % PARTIAL_GRID_RATIO != 0)) {
        *error = holds + ": fewer than 1/" + std::to_string(PARTIAL_GRID_RATIO) +
                 " of them, too few to stand for the declared grid, even with --partial";
        return false;
    }
    if (!partial && present < declared - declared / 2) {
        *error = holds + ": fewer than half of them; --partial reads an interrupted grid (the "
                         "pixels not in the file marked missing)";
        return false;
    }
    return true;
}

}  // namespace sts
