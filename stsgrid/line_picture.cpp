// The line cut's closing line and picture: see line_picture.h.
#include "stsgrid/line_picture.h"

#include <cstdio>

#include "grid/grid_setup.h"
#include "grid/line_output.h"
#include "output/printable.h"
#include "stsgrid/plots.h"

namespace sts {

bool report_and_draw_line(const grid_description& d, const grid_plan& p, const std::string& out,
                          const line_collector& c, std::string* error) {
    std::printf("stsgrid: wrote %s: %zu pixel%s along the line, %.9g %s long\n",
                printable(line_file_name(out)).c_str(), c.samples().size(),
                c.samples().size() == 1 ? "" : "s", c.samples().back().distance,
                d.xy_unit == "1" ? "pixels" : printable(d.xy_unit).c_str());
    return draw_line_cut(d, p.line, c, line_picture_names(d, p), companion(out, "_line.png"),
                         error);
}

}  // namespace sts
