// Gauss-Chebyshev nodes of the lock-in's semicircle: see modulation.h.
#include "spectrum/modulation.h"

#include <cmath>
#include <numbers>

namespace sts {

void make_modulation_rule(double vm, double strip, modulation_rule* r) {
    r->count = 0;
    if (!(vm > 0) || !std::isfinite(vm)) return;
    const double a = strip > 0 ? strip / vm : 0;
    const double rho = a + std::sqrt(1 + a * a);
    // rho^(-2M) = 1e-12; a strip of 0 (or a tiny one) takes the most nodes.
    const double want = rho > 1 ? std::ceil(std::log(1e12) / (2 * std::log(rho))) + 2 : 1e9;
    const int m = want > max_modulation_nodes ? max_modulation_nodes
                                              : (want < 4 ? 4 : static_cast<int>(want));
    for (int k = 1; k <= m; ++k) {
        const double theta = k * std::numbers::pi / (m + 1);
        const double s = std::sin(theta);
        r->shift[k - 1] = vm * std::cos(theta);
        r->weight[k - 1] = 2.0 / (m + 1) * s * s;
    }
    r->count = m;
}

}  // namespace sts
