// The parameters of the reciprocal-space routes beyond those every route
// takes (query.h): a wave number in nm^-1 for a cut's ends, a point
// group's text, the window's name.  Checked before anything is read.
#ifndef STSVIEW_FOURIER_QUERY_H
#define STSVIEW_FOURIER_QUERY_H

#include <string>

#include "stsview/query.h"

namespace sts {

// A finite decimal number ("-1.25", "3e-2": digits, one point, an
// exponent; at most 32 characters); false with *error naming the
// parameter when missing or not such a number.
bool query_number(const query& q, const std::string& name, double* out, std::string* error);

// The optional point group: absent gives ""; else letters, digits and
// ",.-" (at most 64), as stsgrid --symmetrise takes it ("4mm", "r90,m0").
bool query_group(const query& q, std::string* out, std::string* error);

// The optional window: absent or "hann" gives true, "none" false.
bool query_window(const query& q, bool* hann, std::string* error);

}  // namespace sts

#endif
