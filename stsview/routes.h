// The data routes of the page, apart from the HTTP server: a path and its
// query in, a status, a type and a body out.  A route checks its
// parameters (stsview/query.h), asks the store (grid_store.h) and renders
// what it returns: a bad parameter gets a 4xx with a message in JSON
// before anything is read, and only the files of the store are ever read.
//
//   /api/files                                  the files, variables, status
//   /api/axis?file&variable                     x, y and the bias axis of a variable
//   /api/map?file&variable&index                one bias of every pixel
//   /api/map.f32?file&variable&index            the same as little-endian floats
//   /api/curve?file&variable&x&y                one pixel's record
//   /api/mean?file&variable                     the grid mean and SE (as stored)
//   /api/region?file&variable&x0&x1&y0&y1       a rectangle's mean and SE
//   /api/linecut?file&variable&x0&y0&x1&y1      nearest pixels along a line
//   /api/pixelmap.f32?file&variable             a (y, x) variable as floats
//   /api/export/{map,curve,mean,region,linecut}.txt   the same as text
//   /api/export/line.nc?file&x0&y0&x1&y1        the line as stsgrid's _line.nc
//   /api/qmap, /api/qcut and their exports      reciprocal space: fourier_routes.h
#ifndef STSVIEW_ROUTES_H
#define STSVIEW_ROUTES_H

#include <string>
#include <string_view>

#include "stsview/grid_store.h"
#include "stsview/query.h"

namespace sts {

struct reply {
    int status = 200;
    std::string type = "application/json";
    std::string body;
    std::string download;  // a file name to offer, or ""
    std::string cookie;    // a Set-Cookie value, or ""
};

// Answers a GET of path with its query, parsed once by the caller.
reply handle_api(grid_store& store, std::string_view path, const query& q);

}  // namespace sts

#endif
