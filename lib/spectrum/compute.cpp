// The computation of one spectrum, step by step in its fixed order.
#include <cmath>
#include <cstring>

#include "spectrum/finite_values.h"
#include "spectrum/normalise_internal.h"
#include "spectrum/spectrum.h"

namespace {

bool any_nonfinite(const float* v, int count) {
    return sts::any_nonfinite(v, static_cast<size_t>(count));
}

// Finite, strictly ascending biases let the normalisations find each
// midpoint's interval directly.
bool strictly_ascending(const float* bias, int n) {
    for (int j = 0; j < n; ++j) {
        if (!std::isfinite(bias[j])) return false;
        if (j > 0 && !(bias[j] > bias[j - 1])) return false;
    }
    return true;
}

spectrum_report fail(spectrum_report r, spectrum_step step, num_status failure) {
    r.status = spectrum_status::routine_failure;
    r.reached = step;
    r.failure = failure;
    return r;
}

// Why some results are inf or nan: the input, a zero divisor, or values
// beyond the float range.
int causes_of(const spectrum_arrays& a, int n, bool finite_input, int zero_divisors) {
    const int m = n - 1;
    const bool nonfinite = any_nonfinite(a.vmid.data(), m) || any_nonfinite(a.didv.data(), m) ||
                           any_nonfinite(a.iv_raw.data(), n) ||
                           any_nonfinite(a.current.data(), n) ||
                           any_nonfinite(a.norm_exp.data(), m) ||
                           any_nonfinite(a.norm_coff.data(), m) ||
                           any_nonfinite(a.norm_raw.data(), m);
    if (!nonfinite) return 0;
    int causes = finite_input ? 0 : CAUSE_NONFINITE_INPUT;
    if (zero_divisors > 0) causes |= CAUSE_ZERO_DIVISOR;
    return causes != 0 ? causes : CAUSE_RANGE;
}

// One spectrum's way through the computation, in stages, so that two can
// go through it in step.  `going` is false once the report is final.
struct spectrum_run {
    int n_read = 0;
    spectrum_workspace* w = nullptr;
    spectrum_arrays* a = nullptr;
    spectrum_report r;
    bool going = true;
    bool finite_input = false;
    bool direct = false;
};

void stop(spectrum_run* s, spectrum_step step, num_status failure) {
    s->r = fail(s->r, step, failure);
    s->going = false;
}

// Sorting and merging.
void start(spectrum_run* s) {
    spectrum_arrays* a = s->a;
    if (s->n_read > MAX_POINTS || s->n_read > a->capacity || s->n_read > s->w->capacity) {
        s->r.status = spectrum_status::too_many_points;
        s->going = false;
        return;
    }
    float* bias = a->bias.data();
    float* current = a->current.data();
    const int n = s->n_read < 2 ? s->n_read : sort_and_merge(bias, current, s->n_read);
    s->r.n = n;
    s->r.merged = s->n_read - n;
    if (n < 2) {
        s->r.status = spectrum_status::too_few_points;
        s->going = false;
        return;
    }
    s->finite_input = !any_nonfinite(bias, n) && !any_nonfinite(current, n);
}

// After the offset: I/V, dI/dV, the broadenings and the midpoints' tables.
void middle(spectrum_run* s, const norm_options& o) {
    spectrum_arrays* a = s->a;
    const float* bias = a->bias.data();
    const int n = s->r.n;
    current_over_bias(bias, a->current.data(), a->iv_raw.data(), n);
    differentiate(bias, a->current.data(), a->didv.data(), a->vmid.data(), n);
    for (int j = 0; j < n; ++j) a->iv_exp[j] = a->iv_coff[j] = a->iv_raw[j];
    if (const num_status st = broaden_exp(bias, a->iv_exp.data(), o.exp_width, n, s->w); !st.ok())
        return stop(s, spectrum_step::broaden, st);
    broaden_offset(a->iv_coff.data(), n, o.coff_offset);
    s->direct = strictly_ascending(bias, n);
    use_axis(&s->w->axis, bias, n);
    use_midpoints(&s->w->axis, a->vmid.data(), n - 1, s->direct);
}

bool all_midpoints_usable(const spectrum_run& s) {
    return s.w->axis.usable_midpoints == s.r.n - 1;
}

// The arguments of the three normalisations in step, pointing into s.
struct normalisation_lists {
    const float* divisors[3];
    float* outputs[3];
    float* kept[3];
};

normalisation_lists lists_of(spectrum_run* s) {
    spectrum_arrays* a = s->a;
    normalisation_lists l{{a->iv_exp.data(), a->iv_coff.data(), a->iv_raw.data()},
                          {a->norm_exp.data(), a->norm_coff.data(), a->norm_raw.data()},
                          {nullptr, nullptr, nullptr}};
    const auto cap = static_cast<size_t>(a->capacity);
    if (a->divisors.size() >= 3 * cap)
        for (size_t c = 0; c < 3; ++c) l.kept[c] = a->divisors.data() + c * cap;
    return l;
}

void done(spectrum_run* s, int zero_divisors) {
    s->r.reached = spectrum_step::done;
    s->r.causes = causes_of(*s->a, s->r.n, s->finite_input, zero_divisors);
    s->going = false;
}

// An interval the spline refuses: the normalisations one after the other,
// so that the report names the first one that failed.
void normalise_one_by_one(spectrum_run* s) {
    spectrum_arrays* a = s->a;
    const normalisation_lists l = lists_of(s);
    const spectrum_step steps[3] = {spectrum_step::norm_exp, spectrum_step::norm_coff,
                                    spectrum_step::norm_raw};
    int zero_divisors = 0;
    for (int k = 0; k < 3; ++k) {
        int zeros = 0;
        const num_status st =
            normalise_at_midpoints(a->vmid.data(), a->didv.data(), l.outputs[k], s->r.n - 1,
                                   a->bias.data(), l.divisors[k], s->r.n, s->direct, s->w, &zeros);
        if (!st.ok()) return stop(s, steps[k], st);
        zero_divisors += zeros;
    }
    done(s, zero_divisors);
}

// The normalisations of count (1 or 2) runs that share one axis and whose
// midpoints are all usable.
void normalise_usable(spectrum_run* const* runs, int count) {
    normalisation_lists l[2];
    three_normalisations jobs[2];
    for (int k = 0; k < count; ++k) {
        l[k] = lists_of(runs[k]);
        const bool keep = l[k].kept[0] != nullptr;
        jobs[k] = {runs[k]->a->didv.data(), l[k].outputs, l[k].divisors, runs[k]->w,
                   keep ? l[k].kept : nullptr, 0};
    }
    const spectrum_run& first = *runs[0];
    normalise_in_step(jobs, count, first.r.n - 1, first.a->bias.data(), first.r.n,
                      first.w->axis);
    for (int k = 0; k < count; ++k) done(runs[k], jobs[k].zero_divisors);
}

void normalise(spectrum_run* s) {
    if (all_midpoints_usable(*s))
        normalise_usable(&s, 1);
    else
        normalise_one_by_one(s);
}

void remove_offset_of(spectrum_run* s) {
    const num_status st = remove_offset(s->a->bias.data(), s->a->current.data(), s->r.n, s->w);
    if (!st.ok()) stop(s, spectrum_step::offset, st);
}

// Two going runs over the same sorted biases, bit for bit.
bool same_axis(const spectrum_run& p, const spectrum_run& q) {
    return p.going && q.going && p.r.n == q.r.n &&
           std::memcmp(p.a->bias.data(), q.a->bias.data(),
                       static_cast<size_t>(p.r.n) * sizeof(float)) == 0;
}

}  // namespace

spectrum_report compute_spectrum(int n_read, const norm_options& o, spectrum_workspace* w,
                                 spectrum_arrays* a) {
    spectrum_run s;
    s.n_read = n_read;
    s.w = w;
    s.a = a;
    start(&s);
    if (s.going) remove_offset_of(&s);
    if (s.going) middle(&s, o);
    if (s.going) normalise(&s);
    return s.r;
}

void compute_spectra_in_step(const int* n_read, const norm_options& o,
                             spectrum_workspace* const* w, spectrum_arrays* const* a,
                             spectrum_report* r) {
    spectrum_run s[2];
    for (int k = 0; k < 2; ++k) {
        s[k].n_read = n_read[k];
        s[k].w = w[k];
        s[k].a = a[k];
        start(&s[k]);
    }
    if (same_axis(s[0], s[1])) {
        float* current[2] = {a[0]->current.data(), a[1]->current.data()};
        const num_status st =
            remove_offsets_in_step(a[0]->bias.data(), current, w, 2, s[0].r.n);
        if (!st.ok())
            for (spectrum_run& run : s) stop(&run, spectrum_step::offset, st);
    } else {
        for (spectrum_run& run : s)
            if (run.going) remove_offset_of(&run);
    }
    for (spectrum_run& run : s)
        if (run.going) middle(&run, o);
    spectrum_run* both[2] = {&s[0], &s[1]};
    if (same_axis(s[0], s[1]) && all_midpoints_usable(s[0])) {
        normalise_usable(both, 2);
    } else {
        for (spectrum_run& run : s)
            if (run.going) normalise(&run);
    }
    for (int k = 0; k < 2; ++k) r[k] = s[k].r;
}
