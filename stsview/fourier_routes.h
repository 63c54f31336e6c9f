// The reciprocal-space routes (the q-pane beside the map):
//
//   /api/qmap?file&variable&index[&group][&window]   one slice's |F| on q axes,
//                                                    the Bragg vectors
//   /api/qmap.f32?(the same)                         its |F| alone as little-endian floats
//   /api/qcut?file&variable&q0x&q0y&q1x&q1y[&group][&window]
//                                                    |F| along q0 -> q1 at every bias
//   /api/export/qmap.txt, /api/export/qcut.txt       the same as text, # header
//   /api/export/qcut.nc                              the cut as netCDF (q_cut_file.h)
//
// window: hann (stsgrid's default) or none; group: a point group as
// stsgrid --symmetrise takes it.  Parameters are checked (fourier_query.h,
// query.h), then the request as stsgrid --fft checks it (fourier_view.h),
// before anything is read.
#ifndef STSVIEW_FOURIER_ROUTES_H
#define STSVIEW_FOURIER_ROUTES_H

#include <string_view>

#include "stsview/grid_store.h"
#include "stsview/query.h"
#include "stsview/routes.h"

namespace sts {

// true with *out when name (the path after /api/ or /api/export/, text
// saying which) is one of these routes.
bool fourier_api(grid_store& store, std::string_view name, bool text, const query& q, reply* out);

}  // namespace sts

#endif
