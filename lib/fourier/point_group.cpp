#include "fourier/point_group.h"

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <sstream>

namespace sts {

namespace {

point_operation rotation(double degrees) {
    const double a = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    return {c, -s, s, c};
}

// Across the line at `degrees` from x: reflection matrix of angle 2a.
point_operation mirror(double degrees) {
    const double a = 2.0 * degrees * std::numbers::pi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    return {c, s, s, -c};
}

point_operation times(const point_operation& a, const point_operation& b) {
    return {a.xx * b.xx + a.xy * b.yx, a.xx * b.xy + a.xy * b.yy,
            a.yx * b.xx + a.yy * b.yx, a.yx * b.xy + a.yy * b.yy};
}

bool same(const point_operation& a, const point_operation& b) {
    return std::fabs(a.xx - b.xx) < 1e-9 && std::fabs(a.xy - b.xy) < 1e-9 &&
           std::fabs(a.yx - b.yx) < 1e-9 && std::fabs(a.yy - b.yy) < 1e-9;
}

std::string generators(const std::string& name, std::vector<point_operation>& g) {
    struct named {
        const char* name;
        int order;       // rotation 360/order
        bool mirrored;   // with the mirror across x
    };
    static const named groups[] = {{"1", 1, false}, {"2", 2, false}, {"m", 1, true},
                                   {"2mm", 2, true}, {"3", 3, false}, {"3m", 3, true},
                                   {"4", 4, false}, {"4mm", 4, true}, {"6", 6, false},
                                   {"6mm", 6, true}};
    for (const named& n : groups)
        if (name == n.name) {
            g.push_back(rotation(360.0 / n.order));
            if (n.mirrored) g.push_back(mirror(0));
            return "";
        }
    if (name.empty() || name.back() == ',') return "a point group ends in an operation, not \",\"";
    std::istringstream items(name);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item.size() < 2 || (item[0] != 'r' && item[0] != 'm'))
            return "unknown point group or operation \"" + item +
                   "\" (a group 2mm, 4mm, 6mm ... or rA, mA in degrees, comma-separated)";
        char* end = nullptr;
        const double angle = std::strtod(item.c_str() + 1, &end);
        if (*end != '\0' || !std::isfinite(angle) || std::fabs(angle) > 3600)
            return "\"" + item + "\" does not end in an angle in degrees";
        g.push_back(item[0] == 'r' ? rotation(angle) : mirror(angle));
    }
    if (g.empty()) return "no point group given";
    return "";
}

}  // namespace

std::string point_group(const std::string& name, std::vector<point_operation>& operations) {
    std::vector<point_operation> g;
    if (std::string problem = generators(name, g); !problem.empty()) return problem;
    operations.assign(1, point_operation{});
    // The closure: products of known operations with the generators until
    // nothing new appears.
    for (size_t k = 0; k < operations.size(); ++k)
        for (const point_operation& gen : g) {
            const point_operation p = times(operations[k], gen);
            bool known = false;
            for (const point_operation& o : operations) known = known || same(o, p);
            if (known) continue;
            if (operations.size() == 48) {
                operations.clear();
                return "the operations of \"" + name + "\" generate more than 48 (not a point group)";
            }
            operations.push_back(p);
        }
    return "";
}

}  // namespace sts
