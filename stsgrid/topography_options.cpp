// stsgrid's --topography options: see topography_options.h.
#include "stsgrid/topography_options.h"

namespace sts {

namespace {

constexpr char topography_name[] = "topography", scan_channel_name[] = "topography-channel",
               scan_direction_name[] = "topography-direction";

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
         plan_value<topography_name>},
        {{"--topography-channel"}, true,
         {"      --topography-channel=NAME  the scan's channel (default Z; a channel in m",
          "                         is written in nm, others in their own unit)"},
         plan_value<scan_channel_name>},
        {{"--topography-direction"}, true,
         {"      --topography-direction=D  forward (default) or backward (mirrored back)"},
         plan_value<scan_direction_name>},
    };
    return rows;
}

}  // namespace sts
