// Sizing the scratch space and the result arrays once, up front.
#include <new>

#include "spectrum/spectrum.h"

bool reserve_workspace(spectrum_workspace* w, int capacity) {
    if (capacity < 1 || capacity > MAX_POINTS) return false;
    const auto length = static_cast<size_t>(broadening_length(capacity));
    try {
        // Room for the three normalisations' splines side by side.
        w->d2.assign(3 * static_cast<size_t>(capacity), 0.0f);
        w->spline.assign(3 * static_cast<size_t>(capacity), 0.0f);
        w->padded.assign(length, 0.0f);
        w->kernel.assign(length, 0.0f);
        w->convolved.assign(2 * length, 0.0f);
        w->scratch.assign(2 * length, 0.0f);
        // Room for the largest axis, so that no later spectrum allocates.
        const auto points = static_cast<size_t>(capacity);
        axis_tables& t = w->axis;
        for (std::vector<float>* v : {&t.bias, &t.vmid}) v->reserve(points);
        for (std::vector<float>* v : {&t.s, &t.p, &t.d2x, &t.weights}) v->reserve(points + 1);
        t.at_midpoint.reserve(points);
    } catch (const std::bad_alloc&) {
        return false;
    }
    w->capacity = capacity;
    return true;
}

bool reserve_arrays(spectrum_arrays* a, int capacity) {
    if (capacity < 1) return false;
    try {
        for (std::vector<float>* v : {&a->bias, &a->current, &a->iv_raw, &a->iv_exp, &a->iv_coff,
                                      &a->vmid, &a->didv, &a->norm_exp, &a->norm_coff,
                                      &a->norm_raw})
            v->assign(static_cast<size_t>(capacity), 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    a->capacity = capacity;
    return true;
}

bool keep_divisors(spectrum_arrays* a) {
    try {
        a->divisors.assign(3 * static_cast<size_t>(a->capacity), 0.0f);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}
