// stsgrid's --topography options: see topography_options.h.
#include "stsgrid/topography_options.h"

namespace sts {

namespace {

bool parse_topography(const std::string& value, grid_options* o, std::string* error) {
    if (value.empty()) {
        *error = "topography needs a Nanonis scan image (.sxm)";
        return false;
    }
    o->topography = value;
    return true;
}

bool parse_channel(const std::string& value, grid_options* o, std::string* error) {
    if (value.find_first_not_of(" \t") == std::string::npos) {
        *error = "topography-channel needs a channel name of the scan, like Z";
        return false;
    }
    o->topography_channel = value;
    o->topography_channel_given = true;
    return true;
}

bool parse_direction(const std::string& value, grid_options* o, std::string* error) {
    if (value != "forward" && value != "backward") {
        *error = "topography-direction must be forward or backward, not '" + value + "'";
        return false;
    }
    o->topography_backward = value == "backward";
    o->topography_direction_given = true;
    return true;
}

}  // namespace

const option_table<grid_options>& topography_option_rows() {
    static const option_table<grid_options> rows = {
        {{"--topography"}, true,
         {"      --topography=FILE  a Nanonis scan image (.sxm) whose frame overlaps the",
          "                         grid's: the scan whole (scan_image on scan_y, scan_x,",
          "                         its own frame's axes; scan_grid_x/_y its pixels in the",
          "                         grid's axes) and resampled bilinearly at each pixel's",
          "                         place (scan_topography, nm), drawn beside the maps;",
          "                         refused when no pixel of the grid lies on the scan"},
         parse_topography},
        {{"--topography-channel"}, true,
         {"      --topography-channel=NAME  the scan's channel (default Z; a channel in m",
          "                         is written in nm, others in their own unit)"},
         parse_channel},
        {{"--topography-direction"}, true,
         {"      --topography-direction=D  forward (default) or backward (mirrored back)"},
         parse_direction},
    };
    return rows;
}

bool check_topography_options(const grid_options* o, std::string* error) {
    if (o->topography.empty() && (o->topography_channel_given || o->topography_direction_given)) {
        *error = std::string(o->topography_channel_given ? "--topography-channel"
                                                         : "--topography-direction") +
                 " chooses the image of --topography=FILE.sxm, which is not given";
        return false;
    }
    return true;
}

}  // namespace sts
