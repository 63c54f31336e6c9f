// The routes of stsgrid --fit's results (fit_records.h), apart from the
// others in routes.cpp:
//
//   /api/fit?file&x&y                      one pixel's fit: its status in
//                                          words, the fit_* values with
//                                          units, the file's fit_curve
//   /api/export/curve.txt?...&fit=1        the pixel's curve with the
//                                          fit_curve as a third column
//
// and the fit's description in /api/files.  Parameters are checked first,
// then the store reads; nothing here computes a value.
#ifndef STSVIEW_FIT_ROUTE_H
#define STSVIEW_FIT_ROUTE_H

#include <string>

#include "stsview/grid_store.h"
#include "stsview/query.h"
#include "stsview/routes.h"

namespace sts {

// GET /api/fit.
reply fit_reply(grid_store& store, const query& q);

// "fit": the file's fit description, or null where it has none (appended
// to a file's object in /api/files; json_key's comma rules).
void fit_file_json(std::string* out, const fit_description& d);

// The curve export with fit=1: rows "bias value fit" for pixel (x, y) of
// v, whose record c the caller read; a 400 unless v is the fitted variable
// of a file with a fit.
reply fit_curve_text(grid_store& store, size_t file, const grid_variable& v, size_t x, size_t y,
                     const pixel_curve& c);

}  // namespace sts

#endif
