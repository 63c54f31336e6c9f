// The line cut's closing line and picture (<output>_line.png), after the
// engine has written its file.
#ifndef STSGRID_LINE_PICTURE_H
#define STSGRID_LINE_PICTURE_H

#include <string>

#include "grid/grid_description.h"
#include "grid/grid_plan.h"
#include "grid/line_collector.h"

namespace sts {

// "stsgrid: wrote <out>_line.nc: ..." on standard output, then the picture;
// false with *error when it cannot be drawn.
bool report_and_draw_line(const grid_description& d, const grid_plan& p, const std::string& out,
                          const line_collector& c, std::string* error);

}  // namespace sts

#endif
