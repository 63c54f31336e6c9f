// The operations of a 2-D point group, as 2x2 orthogonal matrices in the
// lattice's own frame: x along the first Bragg vector.  Named groups:
// "1", "2", "m" (a mirror across x), "2mm", "4", "4mm", "3", "3m", "6",
// "6mm".  Or an explicit set, comma-separated: "rA" a rotation by A
// degrees, "mA" a mirror across the line at A degrees from x (so "m0" is
// x's own mirror, "m90" y's); the group is the one they generate (at most
// 48 operations), so that its average is invariant under each of them.
#ifndef FOURIER_POINT_GROUP_H
#define FOURIER_POINT_GROUP_H

#include <string>
#include <vector>

namespace sts {

struct point_operation {
    double xx = 1, xy = 0, yx = 0, yy = 1;  // (x, y) -> (xx x + xy y, yx x + yy y)
};

// The group's operations, the identity first; "" or the reason.
std::string point_group(const std::string& name, std::vector<point_operation>& operations);

}  // namespace sts

#endif
