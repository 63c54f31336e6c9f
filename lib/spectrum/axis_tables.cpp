// The per-axis tables: built on the first spectrum of an axis, compared bit
// for bit on every later one.
#include "spectrum/axis_tables.h"

#include <cstring>

#include "spectrum/spline_constants.h"

namespace {

bool same_floats(const std::vector<float>& kept, const float* values, int count) {
    return kept.size() == static_cast<size_t>(count) &&
           std::memcmp(kept.data(), values, static_cast<size_t>(count) * sizeof(float)) == 0;
}

// The interval SPLINT's bisection would bracket vmid[j] with, found without
// bisecting: vmid[j] lies in bias[j] .. bias[j+1] (1-based j+1 .. j+2),
// and is only at the upper end when the midpoint rounded onto it.
int midpoint_bracket(cfvec x, int n, int j, float t) {
    const int left = j + 1;
    return left + 1 <= n - 1 && x[left + 1] <= t ? left + 1 : left;
}

}  // namespace

void use_axis(axis_tables* t, const float* bias, int n) {
    if (same_floats(t->bias, bias, n)) return;
    t->bias.assign(bias, bias + n);
    const cfvec x = one_based(t->bias.data(), n);
    for (std::vector<float>* v : {&t->s, &t->p, &t->d2x}) v->assign(static_cast<size_t>(n) + 1, 0.0f);
    spline_axis_terms(x, n, NATURAL_END, fvec{t->s.data() + 1, 1, n}, fvec{t->p.data() + 1, 1, n},
                      fvec{t->d2x.data() + 1, 1, n});
    t->zero_usable = spline_terms_at(x, spline_bracket(x, n, 0.0f), 0.0f, &t->at_zero);
    t->midpoints_ready = false;
    t->weights_ready = false;
}

void use_midpoints(axis_tables* t, const float* vmid, int m, bool direct) {
    if (t->midpoints_ready && t->vmid_direct == direct && same_floats(t->vmid, vmid, m)) return;
    const int n = static_cast<int>(t->bias.size());
    const cfvec x = one_based(t->bias.data(), n);
    t->vmid.assign(vmid, vmid + m);
    t->vmid_direct = direct;
    t->at_midpoint.resize(static_cast<size_t>(m));
    t->usable_midpoints = m;
    for (int j = 0; j < m; ++j) {
        const int left = direct ? midpoint_bracket(x, n, j, vmid[j]) : spline_bracket(x, n, vmid[j]);
        if (!spline_terms_at(x, left, vmid[j], &t->at_midpoint[static_cast<size_t>(j)])) {
            t->usable_midpoints = j;
            break;
        }
    }
    t->midpoints_ready = true;
}
